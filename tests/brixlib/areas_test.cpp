#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "brixlib/files.h"
#include "brixlib/mapfile.h"
#include "brixlib/messages.h"
#include "brixlib/numbers.h"
#include "brixlib/rules.h"
#include "brixlib/text.h"

using namespace brix;

namespace
{

class TAreaInfoTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetSwitches(); }
    void TearDown() override { ResetSwitches(); }
};

struct TExpectedArea
{
    TAreaType AreaType;
    TAreaCenterType AreaCenterType;
    double x1, y1, z1, x2, y2, z2, R;
    bool Coord3Exists;
    const char *EntityClass;
};

void ExpectArea(const TAreaInfo &A, const TExpectedArea &E)
{
    EXPECT_EQ(A.AreaType, E.AreaType);
    EXPECT_EQ(A.AreaCenterType, E.AreaCenterType);
    EXPECT_EQ(A.x1, E.x1);
    EXPECT_EQ(A.y1, E.y1);
    EXPECT_EQ(A.z1, E.z1);
    EXPECT_EQ(A.x2, E.x2);
    EXPECT_EQ(A.y2, E.y2);
    EXPECT_EQ(A.z2, E.z2);
    EXPECT_EQ(A.R, E.R);
    EXPECT_EQ(A.Coord3Exists, E.Coord3Exists);
    EXPECT_EQ(A.EntityClass, E.EntityClass);
}

/// The message of the error ParseAreaSpec raises, "" when it raises none.
std::string ParseError(const std::string &Value)
{
    TAreaInfo Area;
    try {
        ParseAreaSpec(Area, Value, "-ba:" + Value);
    } catch (const EBrixError &E) { // every parse failure ends the run through the general error
        return E.what();
    }
    return "";
}

TMapFile LoadMap(const std::string &Text)
{
    TMapFile Map;
    std::string Error;
    Map.LoadFromText(Text, Error);
    EXPECT_EQ(Error, "");
    return Map;
}

T3DPoint Pt(double x, double y, double z)
{
    return T3DPoint{x, y, z};
}

/// Box faces between Lo and Hi on every axis, inner sides inwards.
std::string BoxBrush(int Lo, int Hi)
{
    const std::string L = std::to_string(Lo), H = std::to_string(Hi);
    auto Face = [](const std::string &A, const std::string &B, const std::string &C) {
        return "( " + A + " ) ( " + B + " ) ( " + C + " ) wall 0 0 0 1 1\n";
    };
    return "{\n" + Face(L + " " + L + " " + L, H + " " + L + " " + L, L + " " + H + " " + L) +
           Face(L + " " + L + " " + H, L + " " + H + " " + H, H + " " + L + " " + H) +
           Face(L + " " + L + " " + L, L + " " + H + " " + L, L + " " + L + " " + H) +
           Face(H + " " + L + " " + L, H + " " + L + " " + H, H + " " + H + " " + L) +
           Face(L + " " + L + " " + L, L + " " + L + " " + H, H + " " + L + " " + L) +
           Face(L + " " + H + " " + L, H + " " + H + " " + L, L + " " + H + " " + H) + "}\n";
}

/// Runs the test body inside a fresh scratch directory: map files of the "m"
/// form cannot carry a "/" in their name.
class TAreaMapFileTest : public TAreaInfoTest
{
protected:
    void SetUp() override
    {
        TAreaInfoTest::SetUp();
        FOld = std::filesystem::current_path();
        FDir = std::filesystem::temp_directory_path() /
               ("brix_areas_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(FDir);
        std::filesystem::create_directories(FDir);
        std::filesystem::current_path(FDir);
    }
    void TearDown() override
    {
        std::filesystem::current_path(FOld);
        std::filesystem::remove_all(FDir);
        TAreaInfoTest::TearDown();
    }
    static void Write(const std::string &Name, const std::string &Text) { WriteFileAtomic(Name, Text); }

    std::filesystem::path FOld, FDir;
};

using enum TAreaType;
using enum TAreaCenterType;

} // namespace

TEST_F(TAreaInfoTest, ParseForms)
{
    struct Case
    {
        const char *Value;
        TExpectedArea Expected;
    };
    const Case Cases[] = {
        {"r/0/0/64", {atRect, actPoint, 0, 0, 0, 0, 0, 0, 64, false, ""}},
        {"r/0/0/64/", {atRect, actPoint, 0, 0, 0, 0, 0, 0, 64, false, ""}},
        {"r/0/0/0/64", {atRect, actPoint, 0, 0, 0, 0, 0, 0, 64, true, ""}},
        {"c/-5/7/-9/3", {atRound, actPoint, -5, 7, -9, 0, 0, 0, 3, true, ""}},
        {"c/light/128", {atRound, actEntityClass, 0, 0, 0, 0, 0, 0, 128, false, "light"}},
        {"c/light*/128", {atRound, actEntityClass, 0, 0, 0, 0, 0, 0, 128, false, "light*"}},
        {"r/_Mine/1", {atRect, actEntityClass, 0, 0, 0, 0, 0, 0, 1, false, "_Mine"}},
        {"r/e1m1.map#3/50", {atRect, actID, 0, 0, 0, 0, 0, 0, 50, false, "e1m1.map#3"}},
        {"r/a[#]*/2", {atRect, actID, 0, 0, 0, 0, 0, 0, 2, false, "a[#]*"}},
        {"c/1/2/-3", {atRound, actPoint, 1, 2, 0, 0, 0, 0, -3, false, ""}},
        // whole numbers: hex prefixes, signs, leading blanks, the int32 range
        {"r/0x10/$1f/ -$20/X7", {atRect, actPoint, 16, 31, -32, 0, 0, 0, 7, true, ""}},
        {"r/0X1F/x10/ 12", {atRect, actPoint, 31, 16, 0, 0, 0, 0, 12, false, ""}},
        {"r/2147483647/-2147483648/0", {atRect, actPoint, 2147483647, -2147483648.0, 0, 0, 0, 0, 0, false, ""}},
        {"r/-0/$7FFFFFFF/1", {atRect, actPoint, 0, 2147483647, 0, 0, 0, 0, 1, false, ""}},
        {"b/0/0/10/10", {atBounds, actPoint, 0, 0, 0, 10, 10, 0, 0, false, ""}},
        {"b/1/2/3/4/5/6", {atBounds, actPoint, 1, 2, 3, 4, 5, 6, 0, true, ""}},
        {"b/$10/-1/0x20/ 4/", {atBounds, actPoint, 16, -1, 0, 32, 4, 0, 0, false, ""}},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Value);
        TAreaInfo Area;
        ParseAreaSpec(Area, C.Value, std::string("-ba:") + C.Value);
        ExpectArea(Area, C.Expected);
        EXPECT_FALSE(Area.HasAreas());
    }
}

TEST_F(TAreaInfoTest, ParseFailures)
{
    struct Case
    {
        const char *Value;
        const char *Message; // null: the format error quoting the whole argument
    };
    const Case Cases[] = {
        {"", nullptr},
        {"/", nullptr},
        {"r", nullptr},
        {"r/0/64", nullptr},   // a point centre needs cx and cy
        {"R/0/0/64", nullptr}, // kind letters are compared with case
        {"x/0/0/64", nullptr},
        {"rr/0/0/64", nullptr},
        {"/r/0/0/64", nullptr},
        {"r//0/64", nullptr},
        {"b/0//10/10", nullptr},   // an empty part is a format error, not a bad number
        {"r/0/0/64//", nullptr},   // only one "/" at the end is dropped
        {"r/*light/100", nullptr}, // a mask must begin with a letter or "_"
        {"r/+1/0/5", nullptr},
        {"r/$10/0/5", nullptr}, // nor a point with "$"
        {"c/light", nullptr},
        {"c/light/128/5", nullptr},
        {"r/0/0/0/0/64", nullptr},
        {"r/light/x", nullptr},
        {"r/light/1.5", nullptr},
        {"r/0/0/1.5", nullptr},
        {"r/0/abc/1", nullptr},
        {"r/0/0/0x/1", nullptr},
        {"r/0/0/64 ", nullptr}, // nothing may follow the digits
        {"r/2147483648/0/1", nullptr},
        {"r/0/-2147483649/1", nullptr},
        {"r/0/$80000000/1", nullptr},
        {"b/0/0/10", nullptr},
        {"b/0/0/0/10/10", nullptr},
        {"b/1/2/3/4/5/6/7/8", nullptr},
        {"m", nullptr},
        {"m/a/b.map", nullptr}, // a "/" in the name splits it
        {"b/0/x/10/10", "''x'' is not a valid integer value"},
        {"b/0/0/10/1.5", "''1.5'' is not a valid integer value"},
        {"b/1/2/3/4/5/$80000000", "''$80000000'' is not a valid integer value"},
        {"b/a/b/10/10", "''a'' is not a valid integer value"},
        {"m/no_such_file.map", "File not found: no_such_file.map"},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Value);
        const std::string Expected =
            C.Message ? C.Message : std::string("Incorrect format of parameter: -ba:") + C.Value;
        EXPECT_EQ(ParseError(C.Value), Expected);
    }
}

TEST_F(TAreaInfoTest, PointInAreaOnBoundaries)
{
    struct Case
    {
        const char *Value;
        T3DPoint P;
        bool Expected;
    };
    const Case Cases[] = {
        {"r/0/0/64", Pt(64, 64, 1e9), true},
        {"r/0/0/64", Pt(-64, -64, -1e9), true},
        {"r/0/0/64", Pt(64.0001, 0, 0), false},
        {"r/0/0/64", Pt(0, -64.5, 0), false},
        {"r/10/20/5", Pt(15, 15, 0), true},
        {"r/10/20/5", Pt(4, 20, 0), false},
        {"r/0/0/0/64", Pt(64, -64, 64), true},
        {"r/0/0/0/64", Pt(0, 0, -64), true},
        {"r/0/0/0/64", Pt(0, 0, 64.5), false},
        {"r/0/0/0/64", Pt(0, 0, -65), false},
        {"r/0/0/-1", Pt(0, 0, 0), false},
        {"r/0/0/0", Pt(0, 0, 123), true},
        {"r/0/0/0", Pt(0, 0.5, 0), false},
        {"c/0/0/5", Pt(3, 4, 999), true},
        {"c/0/0/5", Pt(-3, -4, 0), true},
        {"c/0/0/5", Pt(3, 4.01, 0), false},
        {"c/0/0/0/5", Pt(0, 3, 4), true},
        {"c/0/0/0/5", Pt(3, 4, 1), false},
        {"c/1/1/0", Pt(1, 1, 77), true},
        {"c/1/1/0", Pt(1, 1.001, 0), false},
        {"c/1/1/1/0", Pt(1, 1, 1), true},
        {"c/1/1/1/0", Pt(1, 1, 2), false},
        {"c/0/0/-1", Pt(0, 0, 0), false},
        {"b/0/0/10/10", Pt(5, 5, -1000), true},
        {"b/0/0/10/10", Pt(10, 10, 3), true},
        {"b/0/0/10/10", Pt(0, 0, 0), true},
        {"b/0/0/10/10", Pt(10.5, 5, 0), false},
        {"b/0/0/10/10", Pt(5, -0.5, 0), false},
        {"b/10/10/0/0", Pt(5, 5, 0), false},
        {"b/10/10/0/0", Pt(10, 10, 0), false},
        {"b/10/0/0/10", Pt(5, 5, 0), false},
        {"b/0/0/0/10/10/10", Pt(10, 10, 10), true},
        {"b/0/0/0/10/10/10", Pt(5, 5, 11), false},
        {"b/0/0/0/10/10/10", Pt(5, 5, -0.1), false},
        {"b/0/0/10/10/10/0", Pt(5, 5, 5), false},
    };
    TMapFile Empty;
    for (const Case &C : Cases) {
        SCOPED_TRACE(std::string(C.Value) + " at " + PointToStr(C.P));
        TAreaInfo Area;
        ParseAreaSpec(Area, C.Value, C.Value);
        EXPECT_EQ(Area.PointInArea(C.P), C.Expected);
        Area.UpdateAreas(Empty); // a point area stays what it is
        EXPECT_EQ(Area.PointInArea(C.P), C.Expected);
    }
}

TEST_F(TAreaInfoTest, ListHoldsUnionOfItsAreas)
{
    TAreaList List;
    EXPECT_FALSE(List.PointInArea(Pt(0, 0, 0)));
    ParseAreaSpec(List.Add(), "b/0/0/10/10", "a");
    ParseAreaSpec(List.Add(), "c/100/100/5", "b");
    struct Case
    {
        T3DPoint P;
        bool Expected;
    };
    const Case Cases[] = {{Pt(5, 5, 0), true}, {Pt(100, 105, 0), true}, {Pt(50, 50, 0), false}};
    for (const Case &C : Cases) {
        SCOPED_TRACE(PointToStr(C.P));
        EXPECT_EQ(List.PointInArea(C.P), C.Expected);
    }
}

TEST_F(TAreaInfoTest, DuplicateCopiesNumbersNotSubAreas)
{
    TAreaInfo Area;
    ParseAreaSpec(Area, "c/light*/12", "x");
    Area.x1 = 1;
    Area.z2 = 2;
    Area.Areas().Add();
    Area.Brush();
    const std::unique_ptr<TAreaInfo> Copy = Area.Duplicate();
    ExpectArea(*Copy, {atRound, actEntityClass, 1, 0, 0, 0, 0, 2, 12, false, "light*"});
    EXPECT_FALSE(Copy->HasAreas());
    EXPECT_TRUE(Area.HasAreas());
}

TEST_F(TAreaInfoTest, BrushWithoutFacesHoldsEveryPoint)
{
    TAreaInfo Area;
    Area.AreaType = atMap;
    Area.AreaCenterType = actPoint;
    EXPECT_TRUE(Area.PointInArea(Pt(1e9, -1e9, 0)));
    Area.Brush();
    EXPECT_TRUE(Area.PointInArea(Pt(-5, 5, 7)));
}

namespace
{

// A worldspawn with a box, two lights (one with an id and not stored), a
// light_spot, a door box 0..64 with an id, and an info_null without id.
std::string ResolutionMap()
{
    return "{\n\"classname\" \"worldspawn\"\n" + BoxBrush(-512, 512) +
           "}\n"
           "{\n\"classname\" \"light\"\n\"origin\" \"100 0 0\"\n}\n"
           "{\n\"classname\" \"LIGHT\"\n\"origin\" \"-100 50 8\"\n\"id\" \"a.map#1\"\n}\n"
           "{\n\"classname\" \"light_spot\"\n\"origin\" \"0 300 -40\"\n}\n"
           "{\n\"classname\" \"func_door\"\n\"id\" \"a.map#2\"\n" +
           BoxBrush(0, 64) +
           "}\n"
           "{\n\"classname\" \"info_null\"\n\"origin\" \"7 7 7\"\n}\n";
}

} // namespace

TEST_F(TAreaInfoTest, ResolutionAgainstEntities)
{
    struct Probe
    {
        T3DPoint P;
        bool Expected;
    };
    struct Case
    {
        const char *Value;
        std::vector<T3DPoint> Centres; // of the sub-areas, in map order
        std::vector<Probe> Probes;
    };
    const std::vector<Case> Cases = {
        {"c/light/10", {Pt(100, 0, 0), Pt(-100, 50, 8)},
            {{Pt(106, 8, 1e6), true}, {Pt(100, 10.5, 0), false}, {Pt(-100, 60, -5), true}, {Pt(0, 0, 0), false}}},
        {"c/light*/10", {Pt(100, 0, 0), Pt(-100, 50, 8), Pt(0, 300, -40)}, {{Pt(0, 310, 0), true}}},
        {"r/func_door/32", {Pt(32, 32, 32)}, {{Pt(0, 0, -500), true}, {Pt(64, 64, 0), true}, {Pt(65, 0, 0), false}}},
        {"r/a.map#*/1", {Pt(-100, 50, 8), Pt(32, 32, 32)}, {{Pt(-101, 51, 0), true}, {Pt(100, 0, 0), false}}},
        {"r/world*/0", {Pt(0, 0, 0)}, {{Pt(0, 0, 99), true}, {Pt(1, 0, 0), false}}},
        // a mask that matches nothing holds no point, not even round the origin
        {"c/nomatch/1000", {}, {{Pt(0, 0, 0), false}, {Pt(1, 1, 1), false}}},
        {"r/nomatch#1/1000", {}, {{Pt(0, 0, 0), false}}},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Value);
        TMapFile Map = LoadMap(ResolutionMap());
        ASSERT_EQ(Map.Count(), 6u);
        Map[2].SetIsStored(false); // resolution looks at entities that are not stored too
        TAreaInfo Area;
        ParseAreaSpec(Area, C.Value, C.Value);
        for (int Round = 0; Round < 2; ++Round) { // resolving again starts afresh
            Area.UpdateAreas(Map);
            ASSERT_EQ(Area.Areas().Count(), C.Centres.size());
            for (std::size_t I = 0; I < C.Centres.size(); ++I) {
                const TAreaInfo &Sub = Area.Areas()[I];
                EXPECT_EQ(Sub.AreaCenterType, actPoint);
                EXPECT_EQ(Sub.AreaType, Area.AreaType);
                EXPECT_EQ(Sub.R, Area.R);
                EXPECT_FALSE(Sub.Coord3Exists);
                EXPECT_TRUE(PointsEqual(Pt(Sub.x1, Sub.y1, Sub.z1), C.Centres[I])) << I;
            }
            for (const Probe &P : C.Probes) {
                EXPECT_EQ(Area.PointInArea(P.P), P.Expected) << PointToStr(P.P);
            }
        }
    }
}

TEST_F(TAreaInfoTest, IDMaskSkipsEntitiesWithoutID)
{
    TMapFile Map = LoadMap(ResolutionMap());
    TAreaInfo Area;
    Area.AreaType = atRect;
    Area.AreaCenterType = actID;
    Area.EntityClass = "*";
    Area.R = 1;
    Area.UpdateAreas(Map);
    // worldspawn, the light with an id and the door
    ASSERT_EQ(Area.Areas().Count(), 3u);
    EXPECT_EQ(Area.Areas()[1].x1, -100);
    EXPECT_EQ(Area.Areas()[2].x1, 32);
}

TEST_F(TAreaInfoTest, ResolutionErrors)
{
    struct Case
    {
        const char *MapText;
        const char *Value;
        const char *Message;
    };
    const Case Cases[] = {
        {"{\n\"classname\" \"light\"\n}\n", "c/light/5", "Error entity arrangement: light"},
        {"{\n\"classname\" \"light\"\n\"origin\" \"1 2\"\n}\n", "c/lig*/5", "Error in a format of a point: 1 2"},
        {"{\n\"classname\" \"light\"\n\"origin\" \"1 2 x\"\n\"id\" \"m#1\"\n}\n", "r/m#1/5",
            "Error in a format of a point: 1 2 x"},
        // an entity the mask does not pick is not measured
        {"{\n\"classname\" \"light\"\n}\n", "c/lamp/5", ""},
        {"{\n\"classname\" \"light\"\n\"origin\" \"0 0 0\"\n}\n", "c/a[bc/5", "'a[bc' is an invalid mask at (5)"},
        {"", "c/a[bc/5", ""},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(std::string(C.Value) + " on " + C.MapText);
        TMapFile Map = LoadMap(C.MapText);
        TAreaList List;
        ParseAreaSpec(List.Add(), C.Value, C.Value);
        std::string Message;
        try {
            List.UpdateAreas(Map);
        } catch (const std::exception &E) {
            Message = E.what();
        }
        EXPECT_EQ(Message, C.Message);
        EXPECT_FALSE(List[0].HasAreas());
    }
}

TEST_F(TAreaMapFileTest, MapAreaHoldsWorldspawnBrushes)
{
    // A patch encloses nothing and makes no area.
    const std::string Patch = "{\npatchDef2\n{\nT\n( 1 1 0 0 0 )\n(\n( ( 80 80 80 0 0 ) )\n)\n}\n}\n";
    Write("cut.map", "// comment\r\n{\r\n\"classname\" \"info_null\"\r\n" + BoxBrush(1000, 1100) +
                         "}\r\n{\r\n\"classname\" \"worldspawn\"\r\n" + BoxBrush(0, 64) + Patch + BoxBrush(100, 164) +
                         "}\r\n");
    TAreaInfo Area;
    ParseAreaSpec(Area, "m/cut.map", "-ba:m/cut.map");
    EXPECT_EQ(Area.AreaType, atMap);
    EXPECT_EQ(Area.AreaCenterType, actPoint);
    ASSERT_EQ(Area.Areas().Count(), 2u);
    EXPECT_EQ(Area.Areas()[0].AreaType, atMap);
    EXPECT_EQ(Area.Areas()[1].Brush().Count(), 6u);
    EXPECT_EQ(Area.Areas()[1].Brush().Sides(0).p1.x, 100);

    struct Case
    {
        T3DPoint P;
        bool Expected;
    };
    const Case Cases[] = {
        {Pt(32, 32, 32), true},
        {Pt(0, 0, 0), true},
        {Pt(64, 64, 64), true},
        {Pt(64, 32, 0), true},
        {Pt(64.5, 32, 32), false},
        {Pt(32, -0.5, 32), false},
        {Pt(32, 32, 65), false},
        {Pt(80, 80, 80), false},
        {Pt(164, 100, 132), true},
        {Pt(1050, 1050, 1050), false},
    };
    TMapFile Destination;
    Area.UpdateAreas(Destination);
    for (const Case &C : Cases) {
        SCOPED_TRACE(PointToStr(C.P));
        EXPECT_EQ(Area.PointInArea(C.P), C.Expected);
    }
}

TEST_F(TAreaMapFileTest, MapAreaFailures)
{
    struct Case
    {
        const char *FileText; // null: no file is written
        const char *Message;
        bool LoadError;
    };
    const Case Cases[] = {
        {nullptr, "File not found: cut.map", false},
        {"{\n\"classname\" \"worldspawn\n}\n", "cut.map:2: '\"' expected", true},
        {"{\n\"classname\" \"worldspawn\"\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) a 0 0 0 1 1\n",
            "cut.map:4: Unexpected end of file", true},
        {"{\n\"classname\" \"worldspawn\"\n{\nABC\n}\n}\n", "cut.map:4: Unknown block: ABC", true},
        {"{\n\"classname\" \"light\"\n}\n", "The entity \"worldspawn\" is not found in a file cut.map", false},
        {"{\n\"classname\" \"WorldSpawn\"\n}\n", "The entity \"worldspawn\" is not found in a file cut.map", false},
        {"", "The entity \"worldspawn\" is not found in a file cut.map", false},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.FileText ? C.FileText : "(no file)");
        std::filesystem::remove("cut.map");
        if (C.FileText) {
            Write("cut.map", C.FileText);
        }
        TAreaInfo Area;
        std::string Message;
        bool LoadError = false;
        try {
            ParseAreaSpec(Area, "m/cut.map", "-ba:m/cut.map");
        } catch (const EMapLoadError &E) {
            LoadError = true;
            Message = E.what();
        } catch (const EBrixError &E) {
            Message = E.what();
        }
        EXPECT_EQ(Message, C.Message);
        EXPECT_EQ(LoadError, C.LoadError);
    }
}

TEST_F(TAreaMapFileTest, BrushlessWorldspawnHoldsEveryPoint)
{
    Write("empty.map", "{\n\"classname\" \"worldspawn\"\n\"message\" \"x\"\n}\n");
    TAreaList List;
    ParseAreaSpec(List.Add(), "m/empty.map", "-ea:m/empty.map");
    EXPECT_FALSE(List[0].HasAreas());
    TMapFile Destination;
    List.UpdateAreas(Destination);
    struct Case
    {
        T3DPoint P;
    };
    const Case Cases[] = {{Pt(0, 0, 0)}, {Pt(-1e6, 3, 1e6)}, {Pt(12345, -7, 0.5)}};
    for (const Case &C : Cases) {
        SCOPED_TRACE(PointToStr(C.P));
        EXPECT_TRUE(List.PointInArea(C.P));
    }
}
