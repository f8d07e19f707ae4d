// The real maps of the corpus against their own written copies: a written map
// must hold exactly what the original holds, so extract finds all of it and
// concat adds none of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "brixlib/commands.h"
#include "written.h"

using namespace brix;
namespace fs = std::filesystem;

namespace
{

/// The maps of the corpus; empty when there is no corpus.
std::vector<fs::path> CorpusMaps()
{
    std::vector<fs::path> Maps;
    const fs::path Dir = BRIX_CORPUS_DIR;
    if (!fs::is_directory(Dir)) {
        return Maps;
    }
    for (const fs::directory_entry &Item : fs::directory_iterator(Dir)) {
        if (Item.path().extension() == ".map") {
            Maps.push_back(Item.path());
        }
    }
    return Maps;
}

TMapFile Load(const fs::path &Path, std::string_view Text = {})
{
    TMapFile Map(Path.filename().string());
    std::string Error;
    if (Text.empty()) {
        Map.LoadFromFile(Path.string(), Error);
    } else {
        Map.LoadFromText(Text, Error);
    }
    EXPECT_EQ(Error, "");
    return Map;
}

/// Whether Brushes holds B more than once (same faces and textures).
bool IsRepeat(const TBrushList &Brushes, const TBrush &B)
{
    std::size_t Equal = 0;
    for (const TBrush &Other : Brushes) {
        Equal += Other.Cmp(B, true) ? 1U : 0U;
    }
    return Equal > 1;
}

} // namespace

TEST(Corpus, EachMapAgainstItsOwnCopy)
{
    const std::vector<fs::path> Maps = CorpusMaps();
    if (Maps.empty()) {
        GTEST_SKIP() << "no map corpus at " << BRIX_CORPUS_DIR;
    }
    for (const fs::path &Path : Maps) {
        SCOPED_TRACE(Path.filename().string());
        // Extract leaves only the worldspawn, and of its brushes only the
        // repeats of a brush: the lookup finds the first copy.
        TMapFile Original = Load(Path);
        TMapFileList Copies;
        Copies.Add(std::make_unique<TMapFile>(Load(Path, Written(Original))));
        TMapFile Rest("rest.map");
        Extract(Rest, Original, Copies);
        for (std::size_t I = 0; I < Rest.Count(); ++I) {
            const TEntity &E = Rest[I];
            if (!E.IsStored()) {
                continue;
            }
            EXPECT_TRUE(E.WorldSpawn()) << "entity " << I << " stays: " << E.PropValue("classname");
            for (const TBrush &B : E.Brushes) {
                if (B.IsStored()) {
                    EXPECT_TRUE(IsRepeat(E.Brushes, B)) << "a brush of entity " << I << " stays";
                }
            }
        }

        // Concat adds nothing: with ids on every entity, every entity of the
        // copy merges into its original.
        TMapFile WithIds(Path.filename().string());
        TMapFile Again = Load(Path);
        TMapFileList None;
        MakeIds(WithIds, Again, None);
        const std::string Text = Written(WithIds);
        TMapFileList IdCopies;
        IdCopies.Add(std::make_unique<TMapFile>(Load(Path, Text)));
        TMapFile Merged("merged.map");
        Concat(Merged, WithIds, IdCopies);
        EXPECT_TRUE(Written(Merged) == Text);
    }
}

TEST(Corpus, TrenchBroomHeaderComesThrough)
{
    const fs::path Path = fs::path(BRIX_CORPUS_DIR) / "e3m4.map";
    if (!fs::is_regular_file(Path)) {
        GTEST_SKIP() << "no " << Path.string();
    }
    const std::string Expected = "// Game: Quake\r\n// Format: Valve\r\n\r\n// entity 0\r\n{\r\n";
    EXPECT_EQ(Written(Load(Path)).substr(0, Expected.size()), Expected);
}
