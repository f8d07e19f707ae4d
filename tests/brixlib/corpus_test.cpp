#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../testplatform.h"
#include "brixlib/mapfile.h"
#include "written.h"

using namespace brix;
namespace fs = std::filesystem;

TEST(TMapFile, CorpusRoundTrip)
{
    const fs::path Dir = BRIX_CORPUS_DIR;
    if (!fs::is_directory(Dir)) {
        GTEST_SKIP() << "no map corpus at " << Dir.string();
    }
    std::size_t Maps = 0;
    for (const fs::directory_entry &Item : fs::directory_iterator(Dir)) {
        if (Item.path().extension() != ".map") {
            continue;
        }
        const std::string Name = Item.path().filename().string();
        SCOPED_TRACE(Name);
        ++Maps;
        TMapFile First;
        std::string Error;
        First.LoadFromFile(Item.path().string(), Error);
        ASSERT_EQ(Error, "");
        ASSERT_GT(First.Count(), 0u);
        const std::string Once = Written(First);
        TMapFile Second;
        Second.LoadFromText(Once, Error);
        ASSERT_EQ(Error, "");
        EXPECT_EQ(Second.Count(), First.Count());
        EXPECT_TRUE(Written(Second) == Once) << "second write differs";
    }
    EXPECT_EQ(Maps, 26u);
}

namespace
{

/// Every number of every brush and patch, in map order: face points and
/// texture matrices, patch headers and control points.
std::vector<double> Coordinates(const TMapFile &Map)
{
    std::vector<double> Values;
    for (std::size_t E = 0; E < Map.Count(); ++E) {
        const TBrushList &Brushes = Map[E].Brushes;
        for (std::size_t B = 0; B < Brushes.Count(); ++B) {
            for (std::size_t F = 0; F < Brushes[B].Count(); ++F) {
                const TBrushSide &Side = Brushes[B].Sides(F);
                Values.insert(Values.end(), {Side.p1.x, Side.p1.y, Side.p1.z, Side.p2.x, Side.p2.y, Side.p2.z,
                                                Side.p3.x, Side.p3.y, Side.p3.z});
                const std::array<double, 6> &M = Brushes[B].Matrix(F);
                Values.insert(Values.end(), M.begin(), M.end());
            }
            if (const TPatch *P = Brushes[B].Patch()) {
                Values.insert(Values.end(), P->header.begin(), P->header.end());
                for (const TPatchPoint &Pt : P->Points()) {
                    Values.insert(Values.end(), {Pt.p.x, Pt.p.y, Pt.p.z, Pt.u, Pt.v});
                }
            }
        }
    }
    return Values;
}

} // namespace

TEST(TMapFile, CorpusNumbersReadBackAsTheSameDoubles)
{
    const fs::path Dir = BRIX_CORPUS_DIR;
    if (!fs::is_directory(Dir)) {
        GTEST_SKIP() << "no map corpus at " << Dir.string();
    }
    std::size_t Compared = 0;
    for (const fs::directory_entry &Item : fs::directory_iterator(Dir)) {
        if (Item.path().extension() != ".map") {
            continue;
        }
        const std::string Name = Item.path().filename().string();
        SCOPED_TRACE(Name);
        TMapFile Original, Again;
        std::string Error;
        Original.LoadFromFile(Item.path().string(), Error);
        ASSERT_EQ(Error, "");
        Again.LoadFromText(Written(Original), Error);
        const std::vector<double> Read = Coordinates(Original), ReadBack = Coordinates(Again);
        const auto Differ = std::mismatch(Read.begin(), Read.end(), ReadBack.begin(), ReadBack.end());
        EXPECT_TRUE(Differ.first == Read.end() && Differ.second == ReadBack.end())
            << "coordinate " << Differ.first - Read.begin() << " of " << Read.size() << " differs";
        Compared += Read.size();
    }
    EXPECT_GT(Compared, 0u);
    std::printf("[          ] %zu numbers compared\n", Compared);
}

TEST(TMapFile, LineEndsAndEncodingsReadAlike)
{
    const std::string Lf = "// entity 0\n{\n\"classname\" \"worldspawn\"\n\"message\" \"caf\xC3\xA9\"\n// brush 0\n{\n"
                           "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) tex 0 0 0 1 1\n}\n}\n{\n\"classname\" \"light\"\n}";
    std::string CrLf, Cr, Le = "\xFF\xFE", Be = "\xFE\xFF";
    for (const char C : Lf) {
        CrLf += C == '\n' ? std::string("\r\n") : std::string(1, C);
        Cr += C == '\n' ? '\r' : C;
    }
    // The text is ASCII but for one "é" (U+00E9), so UTF-16 is each byte widened.
    std::string Ascii = Lf;
    const std::size_t Accent = Ascii.find("\xC3\xA9");
    Ascii.erase(Accent, 1);
    Ascii[Accent] = '\xE9';
    for (const char C : Ascii) {
        Le += C;
        Le += '\0';
        Be += '\0';
        Be += C;
    }
    TMapFile Reference;
    std::string Error;
    Reference.LoadFromText(Lf, Error);
    ASSERT_EQ(Error, "");
    ASSERT_EQ(Reference.Count(), 2u);
    EXPECT_EQ(Reference[0].Brushes.Count(), 1u);
    // Text with a byte-order mark is decoded to the system's text; bytes
    // without one are kept as they are.
    TMapFile Decoded;
    Decoded.LoadFromText(testplatform::Native(Lf), Error);
    ASSERT_EQ(Error, "");
    const std::string Bom = "\xEF\xBB\xBF";
    const std::pair<std::string, const TMapFile *> Cases[] = {{CrLf, &Reference}, {Cr, &Reference},
        {Bom + Lf, &Decoded}, {Bom + CrLf, &Decoded}, {Le, &Decoded}, {Be, &Decoded}};
    for (const auto &[Text, Expected] : Cases) {
        SCOPED_TRACE(Text.substr(0, 4));
        TMapFile Map;
        Map.LoadFromText(Text, Error);
        EXPECT_EQ(Error, "");
        EXPECT_EQ(Written(Map), Written(*Expected));
    }
}
