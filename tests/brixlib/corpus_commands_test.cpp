// The real maps of the corpus against their own written copies: a written map
// must hold exactly what the original holds, so extract finds all of it and
// concat adds none of it.
#include <gtest/gtest.h>

#include <algorithm>
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

namespace
{

fs::path CorpusMap(const char *Name)
{
    return fs::path(BRIX_CORPUS_DIR) / Name;
}

/// The stored patches, or the stored brushes, of the stored entities.
std::size_t StoredItems(const TMapFile &Map, bool Patches)
{
    std::size_t N = 0;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        for (const TBrush &B : Map[I].Brushes) {
            N += Map[I].IsStored() && B.IsStored() && B.IsPatch() == Patches ? 1U : 0U;
        }
    }
    return N;
}

/// The map as written and read again: what a run's destination holds.
TMapFile Reread(const TMapFile &Map)
{
    return Load(CorpusMap("reread.map"), Written(Map));
}

} // namespace

TEST(Corpus, Quake3MapsThroughTheCommands)
{
    for (const char *Name : {"am_harv-sod.map", "fan.map", "kaos.map", "oa_bases3cl.map"}) {
        if (!fs::is_regular_file(CorpusMap(Name))) {
            GTEST_SKIP() << "no " << Name;
        }
    }
    const fs::path Kaos = CorpusMap("kaos.map");
    {
        SCOPED_TRACE("concat with a map of plain brushes keeps every patch");
        TMapFile Dest("out.map"), Source = Load(CorpusMap("am_harv-sod.map"));
        TMapFileList Add;
        Add.Add(std::make_unique<TMapFile>(Load(CorpusMap("fan.map"))));
        const std::size_t Brushes = StoredItems(Source, false);
        Concat(Dest, Source, Add);
        const TMapFile Result = Reread(Dest);
        EXPECT_EQ(StoredItems(Result, true), 15u);
        EXPECT_GT(StoredItems(Result, false), Brushes);
    }
    {
        SCOPED_TRACE("concat with its own copy adds no world brush or patch");
        TMapFile Dest("out.map"), Source = Load(Kaos);
        const std::size_t World = Source.FindEntity("worldspawn")->Brushes.Count();
        TMapFileList Add;
        Add.Add(std::make_unique<TMapFile>(Reread(Source)));
        Concat(Dest, Source, Add);
        EXPECT_EQ(Dest.FindEntity("worldspawn")->Brushes.Count(), World);
    }
    {
        SCOPED_TRACE("extract against every other brush and patch leaves the rest");
        TMapFile Source = Load(Kaos), Half = Load(Kaos);
        std::size_t Left[2] = {0, 0}; // brushes, patches
        for (std::size_t I = 0; I < Half.Count(); ++I) {
            TBrushList &Items = Half[I].Brushes;
            Half[I].SetIsStored(!Items.Empty()); // point entities stay in the source
            for (std::size_t J = 1; J < Items.Count(); J += 2) {
                Items[J].SetIsStored(false);
                ++Left[Items[J].IsPatch() ? 1 : 0];
            }
        }
        ASSERT_GT(Left[1], 0u);
        TMapFileList Add;
        Add.Add(std::make_unique<TMapFile>(Reread(Half)));
        TMapFile Rest("rest.map");
        Extract(Rest, Source, Add);
        const TMapFile Result = Reread(Rest);
        EXPECT_EQ(StoredItems(Result, false), Left[0]);
        EXPECT_EQ(StoredItems(Result, true), Left[1]);
    }
    {
        SCOPED_TRACE("-dt removes exactly the brushes with a caulk face");
        TMapFile Map = Load(CorpusMap("oa_bases3cl.map"));
        std::vector<bool> Caulked;
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            for (const TBrush &B : Map[I].Brushes) {
                const auto &Sides = B.SideList();
                Caulked.push_back(std::any_of(
                    Sides.begin(), Sides.end(), [](const TBrushSide &S) { return S.texture == "common/caulk"; }));
            }
        }
        ASSERT_GT(std::count(Caulked.begin(), Caulked.end(), true), 0);
        TRules Rules;
        Rules.AddRule(TRuleKind::rkDt, "common/caulk");
        ApplyRules(Rules, Map, TMapRole::mrDestination);
        std::size_t K = 0;
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            for (const TBrush &B : Map[I].Brushes) {
                EXPECT_EQ(B.IsStored(), !Caulked[K]) << "brush " << K;
                ++K;
            }
        }
    }
    {
        SCOPED_TRACE("-ba keeps the patches whose control points' box has its centre inside");
        TMapFile Map = Load(Kaos);
        // The centre of each world patch, from its control points.
        std::vector<double> CentreX;
        std::vector<const TBrush *> Patches;
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            if (!Map[I].WorldSpawn() && !IsWorldGeometry(Map[I])) {
                continue;
            }
            for (const TBrush &B : Map[I].Brushes) {
                if (const TPatch *P = B.Patch()) {
                    const auto [Lo, Hi] = std::minmax_element(P->Points().begin(), P->Points().end(),
                        [](const TPatchPoint &A, const TPatchPoint &C) { return A.p.x < C.p.x; });
                    CentreX.push_back((Lo->p.x + Hi->p.x) / 2);
                    Patches.push_back(&B);
                }
            }
        }
        ASSERT_GT(Patches.size(), 2u);
        // A box that ends at the patches' middle centre on x and holds all of y and z.
        std::vector<double> Sorted = CentreX;
        std::sort(Sorted.begin(), Sorted.end());
        const int Cut = static_cast<int>(Sorted[Sorted.size() / 2]);
        const std::string Box = "b/-100000/-100000/-100000/" + std::to_string(Cut) + "/100000/100000";
        TAreaList BrushAreas, None;
        ParseAreaSpec(BrushAreas.Add(), Box, "-ba:" + Box);
        CutOffAreas(Map, BrushAreas, None);
        std::size_t Kept = 0;
        for (std::size_t I = 0; I < Patches.size(); ++I) {
            EXPECT_EQ(Patches[I]->IsStored(), CentreX[I] <= Cut) << "patch " << I;
            Kept += Patches[I]->IsStored() ? 1U : 0U;
        }
        EXPECT_GT(Kept, 0u);
        EXPECT_LT(Kept, Patches.size());
    }
}
