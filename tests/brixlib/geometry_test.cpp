#include "brixlib/geometry.h"
#include "brixlib/messages.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace brix;

namespace
{

TBrushSide Face(const std::string &Line)
{
    TBrushSide Side;
    std::string Error;
    Side.Load(Line, Error);
    EXPECT_EQ(Error, "") << Line;
    return Side;
}

TBrush MakeBrush(const std::vector<std::string> &Lines)
{
    TBrush Brush;
    for (const std::string &Line : Lines) {
        Brush.SideList().push_back(Face(Line));
    }
    return Brush;
}

TPlane Plane(double A, double B, double C, double D)
{
    return {A, B, C, D};
}

// The faces of the box 0..64; each face's points are listed so that its
// inner side faces the box.
const std::vector<std::string> Box = {
    "( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) T 0 0 0 1 1",
    "( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) T 0 0 0 1 1",
    "( 0 0 0 ) ( 0 64 0 ) ( 0 0 64 ) T 0 0 0 1 1",
    "( 64 0 0 ) ( 64 0 64 ) ( 64 64 0 ) T 0 0 0 1 1",
    "( 0 0 0 ) ( 0 0 64 ) ( 64 0 0 ) T 0 0 0 1 1",
    "( 0 64 0 ) ( 64 64 0 ) ( 0 64 64 ) T 0 0 0 1 1",
};

// The box from Lo to Hi, built from the 0..64 box by mapping 0 to Lo and 64 to Hi.
TBrush BoxBrush(const T3DPoint &Lo, const T3DPoint &Hi, bool InsideOut = false)
{
    TBrush Brush = MakeBrush(Box);
    for (TBrushSide &S : Brush.SideList()) {
        for (T3DPoint *P : {&S.p1, &S.p2, &S.p3}) {
            for (std::size_t I = 0; I < 3; ++I) {
                P->coords(I) = P->coords(I) == 0 ? Lo.coords(I) : Hi.coords(I);
            }
        }
        if (InsideOut) {
            std::swap(S.p2, S.p3);
        }
    }
    return Brush;
}

void ExpectPoint(const T3DPoint &P, double x, double y, double z)
{
    EXPECT_EQ(P.x, x);
    EXPECT_EQ(P.y, y);
    EXPECT_EQ(P.z, z);
}

} // namespace

TEST(T3DPoint, ReadPoint)
{
    struct Case
    {
        std::string Text;
        std::string Error;
        double x, y, z;
        std::string Rest;
    } Cases[] = {
        {"( 1 2 3 )", "", 1, 2, 3, ""},
        {"(1 2 3)", "", 1, 2, 3, ""},
        {"(  1   2   3  )", "", 1, 2, 3, ""},
        {"( 1.5e2 -0.25 +3 ) TEX", "", 150, -0.25, 3, "TEX"},
        {"( 1 2 3)(4 5 6)", "", 1, 2, 3, "(4 5 6)"},
        {"( 1,5 2 3 )", "'1,5' is not a valid floating point value", 0, 0, 0, ""},
        {"( 1 2 )", "'' is not a valid floating point value", 1, 2, 0, ""},
        {"( 1 2 x )", "'x ' is not a valid floating point value", 1, 2, 0, ""},
        {"( 1\t2 3 )", "'1\t2' is not a valid floating point value", 0, 0, 0, ""},
        {"( 1 2 3", "Format error", 1, 2, 0, ""},
        {"( 1", "Format error", 0, 0, 0, ""},
        {"1 2 3 )", "'(' expected", 0, 0, 0, ""},
        {"", "'(' expected", 0, 0, 0, ""},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Text);
        std::string_view Rest = C.Text;
        T3DPoint P;
        std::string Error;
        EXPECT_EQ(ReadPoint(Rest, P, Error), C.Error.empty());
        EXPECT_EQ(Error, C.Error);
        ExpectPoint(P, C.x, C.y, C.z); // a failure keeps what was read before it
        if (C.Error.empty()) {
            EXPECT_EQ(Rest, C.Rest);
        }
    }
}

TEST(T3DPoint, TextAndEquality)
{
    EXPECT_EQ(PointToStr({128, -64, 0.5}), "( 128 -64 0.5 )");
    EXPECT_EQ(PointToStr({-0.0, 1e15, 1.0 / 3}), "( 0 1E15 0.3333333333333333 )");
    EXPECT_TRUE(PointsEqual({0, 1, 2}, {-0.0, 1, 2}));
    EXPECT_FALSE(PointsEqual({0, 1, 2}, {0, 1, 2.0000000001}));
    EXPECT_FALSE(PointsEqual({0, 1, 2}, {0, 2, 1}));
}

TEST(TBrushSide, LoadAndSave)
{
    struct Case
    {
        std::string Line;
        std::string Error;
        std::string Texture, Params, Written;
    } Cases[] = {
        {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX 0 0 0 1 1", "", "TEX", "0 0 0 1 1",
            "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX 0 0 0 1 1"},
        {"(0 0 64)(0 64 64)(64 0 64)   BRICK1   0 0  0 1 1", "", "BRICK1", "0 0  0 1 1",
            "( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) BRICK1 0 0  0 1 1"},
        {" \t( 64.000 -0 1e-5 ) ( 0 1 0 ) ( 1 0 0 ) *lava1 1\t2 \r", "", "*lava1", "1\t2",
            "( 64 0 1E-5 ) ( 0 1 0 ) ( 1 0 0 ) *lava1 1\t2"},
        {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX\t0 0 0 1 1", "", "TEX\t0", "0 0 1 1",
            "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX\t0 0 0 1 1"},
        {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 )", "Texture name expected", "", "", ""},
        {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX", "Unexpected end of line", "", "", ""},
        {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX\t1", "Unexpected end of line", "", "", ""},
        {"( 0 0 0 ) ( 0 1 0 ) TEX 0 0 0 1 1", "'(' expected", "", "", ""},
        {"( 0 0 0 ) ( 0 1 ) ( 1 0 0 ) TEX 0", "'' is not a valid floating point value", "", "", ""},
        {"( 0 0 0 ) ( 0 1 0 ( 1 0 0 ) TEX 0", "'0 ( 1 0 0 ' is not a valid floating point value", "", "", ""},
        {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0", "Format error", "", "", ""},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Line);
        TBrushSide Side;
        std::string Error;
        Side.Load(C.Line, Error);
        EXPECT_EQ(Error, C.Error);
        EXPECT_EQ(Side.texture, C.Texture);
        EXPECT_EQ(Side.params, C.Params);
        if (C.Error.empty()) {
            EXPECT_EQ(Side.ToString(), C.Written);
            TLineWriter W;
            Side.Save(W);
            Side.Save(W);
            EXPECT_EQ(W.Text(), C.Written + "\r\n" + C.Written + "\r\n");
        }
    }
}

TEST(TBrushSide, Plane)
{
    struct Case
    {
        std::string Line;
        double A, B, C, D;
    } Cases[] = {
        {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) T 0", 0, 0, -1, 0},
        {"( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) T 0", 0, 0, -4096, 262144},
        {"( 1 2 3 ) ( 4 6 5 ) ( -2 0 7 ) T 0", 20, -18, 6, -2},
        {"( 1 1 1 ) ( 2 2 2 ) ( 3 3 3 ) T 0", 0, 0, 0, 0},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Line);
        const TBrushSide S = Face(C.Line);
        const TPlane Pl = S.Plane();
        EXPECT_EQ(Pl.A, C.A);
        EXPECT_EQ(Pl.B, C.B);
        EXPECT_EQ(Pl.C, C.C);
        EXPECT_EQ(Pl.D, C.D);
        for (const T3DPoint &P : {S.p1, S.p2, S.p3}) {
            EXPECT_EQ(Pl.PointValues(P.x, P.y, P.z), 0);
        }
    }
}

TEST(TPlane, Parallel)
{
    struct Case
    {
        double A1, B1, C1, A2, B2, C2;
        bool Expected;
    } Cases[] = {
        {1, 2, 3, 2, 4, 6, true},
        {1, 2, 3, -1, -2, -3, true},
        {1, 0, 0, 0, 1, 0, false},
        {0, 0, 1, 0, 0, 5, true},
        {1, 2, 0, 1, 3, 0, false},
        {0, 0, 0, 0, 0, 0, true},
        {1, 2, 3, 1, 2, 4, false},
        {0, 2, 3, 1, 2, 3, false},
        {0, 2, 3, 0, 4, 6, true},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(
            testing::Message() << C.A1 << ' ' << C.B1 << ' ' << C.C1 << " / " << C.A2 << ' ' << C.B2 << ' ' << C.C2);
        // D never counts: the same normal on another plane is parallel too.
        EXPECT_EQ(Plane(C.A1, C.B1, C.C1, 7).Parallel(Plane(C.A2, C.B2, C.C2, -3)), C.Expected);
        EXPECT_EQ(Plane(C.A2, C.B2, C.C2, 0).Parallel(Plane(C.A1, C.B1, C.C1, 0)), C.Expected);
    }
}

TEST(TPlane, IntersectPlanes)
{
    struct Case
    {
        const char *Name;
        TPlane S1, S2, S3;
        bool Found;
        double x, y, z;
    } Cases[] = {
        {"first has A = 0", Plane(0, 0, 1, -5), Plane(1, 0, 0, -2), Plane(0, 1, 0, -3), true, 2, 3, 5},
        {"second and third exchanged", Plane(1, 0, 0, -2), Plane(0, 0, 1, -5), Plane(0, 1, 0, -3), true, 2, 3, 5},
        {"only third has A", Plane(0, 1, 0, -3), Plane(0, 0, 1, -5), Plane(2, 0, 0, -4), true, 2, 3, 5},
        {"oblique", Plane(1, 1, 1, -6), Plane(1, -1, 0, 0), Plane(0, 1, -1, 0), true, 2, 2, 2},
        {"two parallel", Plane(1, 0, 0, -1), Plane(2, 0, 0, -4), Plane(0, 1, 0, 0), false, 0, 0, 0},
        {"parallel third", Plane(1, 0, 0, -1), Plane(0, 1, 0, 0), Plane(0, -1, 0, 9), false, 0, 0, 0},
        {"normals in one plane", Plane(1, 0, 0, 0), Plane(0, 1, 0, 0), Plane(1, 1, 0, -1), false, 0, 0, 0},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        double x = 0, y = 0, z = 0;
        ASSERT_EQ(IntersectPlanes(C.S1, C.S2, C.S3, x, y, z), C.Found);
        if (C.Found) {
            EXPECT_EQ(x, C.x);
            EXPECT_EQ(y, C.y);
            EXPECT_EQ(z, C.z);
        }
    }
}

TEST(TBrush, LoadFromList)
{
    // The lists hold views: the texts they point into must outlive them.
    const std::string F = "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX 0 0 0 1 1";
    const std::string Padded = "  " + F + "\t", NoParams = F.substr(0, 33);
    struct Case
    {
        const char *Name;
        TLineList Lines;
        std::size_t Start;
        std::string Error;
        std::size_t Index, Faces;
    } Cases[] = {
        {"blank and comment", {"", "// note", F, "}"}, 0, "", 4, 1},
        {"closing with text", {F, "} trailing text", "after"}, 0, "", 2, 1},
        {"no faces", {"}", F}, 0, "", 1, 0},
        {"starts inside the list", {"{", Padded, F, "}", "{"}, 1, "", 4, 2},
        {"no closing brace", {F, "", F}, 0, "Unexpected end of file", 3, 2},
        {"no lines", {}, 0, "Unexpected end of file", 0, 0},
        {"stray text", {F, "ABC", "}"}, 0, "'(' expected", 1, 1},
        {"a word first names a block", {"", "Curve", F, "}"}, 0, "Unknown block: Curve", 1, 0},
        {"other text first is no face", {"\"a\" \"b\"", "}"}, 0, "'(' expected", 0, 0},
        {"bad face stays", {"  ", NoParams, "}"}, 0, "Unexpected end of line", 1, 1},
        {"bad number", {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 q ) T 0", "}"}, 0, "'q ' is not a valid floating point value", 0, 1},
    };
    for (Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TBrush Brush;
        std::size_t Index = C.Start;
        std::string Error;
        Brush.LoadFromList(C.Lines, Index, Error);
        EXPECT_EQ(Error, C.Error);
        EXPECT_EQ(Index, C.Index);
        EXPECT_EQ(Brush.Count(), C.Faces);
    }
}

TEST(TBrush, SaveToListRoundTrip)
{
    const std::string Text = "{\r\n( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX 0 0 0 1 1\r\n"
                             "( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) sky1 0 0  0 1 1\r\n}\r\n";
    TLineList Lines = {
        "(0 0 0)(0 1 0)(1 0 0) TEX 0 0 0 1 1", " ( 0 0 64.0 ) ( 0 64 64 ) ( 64 0 64 ) sky1  0 0  0 1 1", "}"};
    for (int Pass = 0; Pass < 2; ++Pass) {
        TBrush Brush;
        std::size_t Index = 0;
        std::string Error;
        Brush.LoadFromList(Lines, Index, Error);
        ASSERT_EQ(Error, "");
        Brush.SetIsStored(false); // written whatever the flag says
        TLineWriter W;
        Brush.SaveToList(W);
        EXPECT_EQ(W.Text(), Text);
        Lines = SplitLines(Text);
        Lines.erase(Lines.begin()); // the "{" is read by the entity
    }
}

// A brush writes numbers it met before from what it wrote then: with more
// numbers than it keeps, of every length, each must still be FloatToStr's.
TEST(TBrush, SaveToListWritesEveryNumberAsFloatToStr)
{
    std::mt19937_64 Random(7);
    std::vector<double> Values = {0, -0.0, 1e15, -1e15, 1.5e-300, -123456789.012345, 0.1, 2.0 / 3, 1e300};
    for (int I = 0; I < 200; ++I) {
        Values.push_back(static_cast<double>(static_cast<std::int64_t>(Random() % 65536) - 32768) / 16);
        Values.push_back(std::bit_cast<double>(Random() & 0xBFFFFFFFFFFFFFFFull)); // no NaN
    }
    TBrush Brush;
    std::string Expected = "{\r\n";
    for (int F = 0; F < 300; ++F) {
        TBrushSide &Side = Brush.SideList().emplace_back();
        Side.texture = "T";
        Side.params = "0 0 0 1 1";
        for (T3DPoint *P : {&Side.p1, &Side.p2, &Side.p3}) {
            Expected += "( ";
            for (std::size_t I = 0; I < 3; ++I) {
                P->coords(I) = Values[Random() % Values.size()];
                Expected += FloatToStr(P->coords(I)) + " ";
            }
            Expected += ") ";
        }
        Expected += "T 0 0 0 1 1\r\n";
    }
    TLineWriter W;
    Brush.SaveToList(W);
    EXPECT_EQ(W.Text(), Expected + "}\r\n");
}

TEST(TBrush, CalcMinMax)
{
    TBrush Wedge = MakeBrush(Box);
    Wedge.Sides(1) = Face("( 0 0 64 ) ( 0 64 64 ) ( 64 0 0 ) T 0 0 0 1 1");
    TBrush Short = MakeBrush({Box[0], Box[1]});
    TBrush Open = BoxBrush({8, 8, 8}, {72, 40, 24}); // three faces left: one corner
    for (const std::size_t I : {std::size_t(5), std::size_t(3), std::size_t(1)}) {
        Open.SideList().erase(Open.SideList().begin() + static_cast<std::ptrdiff_t>(I));
    }
    struct Case
    {
        const char *Name;
        TBrush Brush;
        T3DPoint Min, Max, Center;
    } Cases[] = {
        {"box", MakeBrush(Box), {0, 0, 0}, {64, 64, 64}, {32, 32, 32}},
        {"inside-out box", BoxBrush({0, 0, 0}, {64, 64, 64}, true), {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
        {"wedge", Wedge, {0, 0, 0}, {64, 64, 64}, {32, 32, 32}},
        {"moved box", BoxBrush({-16, 8, -100.5}, {48, 24, 3}), {-16, 8, -100.5}, {48, 24, 3}, {16, 16, -48.75}},
        {"two faces", Short, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
        {"three faces", Open, {8, 8, 8}, {8, 8, 8}, {8, 8, 8}},
        {"no faces", TBrush(), {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
    };
    for (Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        C.Brush.CalcMinMax();
        ExpectPoint(C.Brush.Bounds.Min, C.Min.x, C.Min.y, C.Min.z);
        ExpectPoint(C.Brush.Bounds.Max, C.Max.x, C.Max.y, C.Max.z);
        ExpectPoint(C.Brush.Bounds.Center, C.Center.x, C.Center.y, C.Center.z);
    }
}

TEST(TBrush, BoundsAreNotCopiedAndSurviveAnEmptyResult)
{
    TBrush Brush = BoxBrush({8, 8, 8}, {72, 40, 24});
    Brush.CalcMinMax();
    EXPECT_TRUE(Brush.Planes().empty()); // bounds need no planes kept
    Brush.PreparePlans();
    EXPECT_EQ(Brush.Planes()[0].C, 64 * 32);
    std::unique_ptr<TBrush> Copy = Brush.Duplicate();
    ExpectPoint(Copy->Bounds.Max, 0, 0, 0);
    ExpectPoint(Copy->Bounds.Center, 0, 0, 0);
    Copy->CalcMinMax();
    ExpectPoint(Copy->Bounds.Max, 72, 40, 24);

    // Inside-out faces give no corner: the previous bounds stay.
    Brush.SideList() = BoxBrush({0, 0, 0}, {1, 1, 1}, true).SideList();
    Brush.CalcMinMax();
    ExpectPoint(Brush.Bounds.Min, 8, 8, 8);
    ExpectPoint(Brush.Bounds.Max, 72, 40, 24);
    ExpectPoint(Brush.Bounds.Center, 40, 24, 16);
}

TEST(TBrush, Cmp)
{
    const std::string F = "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX 0 0 0 1 1";
    std::vector<std::string> Reordered = Box, Retextured = Box;
    std::swap(Reordered[0], Reordered[1]);
    Retextured[3] = "( 64 0 0 ) ( 64 0 64 ) ( 64 64 0 ) t 0 0 0 1 1";
    struct Case
    {
        const char *Name;
        std::vector<std::string> A, B;
        bool SameIgnoringTexture, SameWithTexture;
    } Cases[] = {
        {"same", Box, Box, true, true},
        {"other order", Box, Reordered, false, false},
        {"other texture", Box, Retextured, true, false},
        {"fewer faces", Box, {Box.begin(), Box.end() - 1}, false, false},
        {"no faces", {}, {}, true, true},
        {"texture case", {F}, {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) tex 0 0 0 1 1"}, true, false},
        {"params only", {F}, {"( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) TEX 8 8 90 2 2"}, true, true},
        {"points rotated", {F}, {"( 0 1 0 ) ( 1 0 0 ) ( 0 0 0 ) TEX 0 0 0 1 1"}, false, false},
        {"points reversed", {F}, {"( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) TEX 0 0 0 1 1"}, false, false},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        const TBrush A = MakeBrush(C.A), B = MakeBrush(C.B);
        EXPECT_EQ(A.Cmp(B, false), C.SameIgnoringTexture);
        EXPECT_EQ(A.Cmp(B, true), C.SameWithTexture);
        EXPECT_EQ(B.Cmp(A, true), C.SameWithTexture);
    }
}

TEST(TBrush, IsTextured)
{
    struct Case
    {
        std::string Mask;
        std::vector<std::string> Textures;
        bool Expected;
    } Cases[] = {
        {"*", {"A"}, true}, {"*", {}, false}, {"sky*", {"BRICK", "SKY1"}, true}, {"sky*", {"BRICK", "ASKY1"}, false},
        {"[abc]?", {"B1"}, true}, {"[abc", {}, false}, // nothing is matched, so the mask is never read
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Mask);
        TBrush Brush;
        for (const std::string &T : C.Textures) {
            Brush.SideList().push_back(Face("( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) " + T + " 0 0 0 1 1"));
        }
        EXPECT_EQ(Brush.IsTextured(C.Mask), C.Expected);
        EXPECT_EQ(Brush.IsTextured(TMask(C.Mask)), C.Expected);
    }
    const TBrush Brush = MakeBrush(Box);
    try {
        Brush.IsTextured("[abc");
        ADD_FAILURE() << "no error";
    } catch (const EBrixError &E) {
        EXPECT_STREQ(E.what(), "'[abc' is an invalid mask at (5)");
    }
}

TEST(TBrush, ReplaceTextures)
{
    TBrush Target = MakeBrush({Box[0], Box[1], Box[2]});
    TBrush Source = MakeBrush({
        "( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) FIRST 1 1 1 1 1",
        "( 0 64 0 ) ( 64 64 0 ) ( 0 64 64 ) OTHER 2 2 2 2 2",
        "( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) LAST 3 3  3 3 3",
        "( 0 0 64 ) ( 64 0 64 ) ( 0 64 64 ) REVERSED 4 4 4 4 4",
    });
    Source.SetIsStored(false);
    Target.ReplaceTextures(Source);
    EXPECT_EQ(Target.Sides(0).ToString(), Face(Box[0]).ToString());
    EXPECT_EQ(Target.Sides(1).ToString(), "( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) LAST 3 3  3 3 3");
    EXPECT_EQ(Target.Sides(2).ToString(), Face(Box[2]).ToString());
    EXPECT_FALSE(Target.IsStored());
}

TEST(TBrushList, FindAnalogAndIsStored)
{
    TBrushList List;
    EXPECT_FALSE(List.IsStored());
    EXPECT_EQ(List.FindAnalog(MakeBrush(Box), false), -1);

    std::vector<std::string> Retextured = Box;
    Retextured[0] = "( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) OTHER 0 0 0 1 1";
    List.Add(MakeBrush({Box[0]})).SetIsStored(false);
    List.Add(MakeBrush(Box)).SetIsStored(false);
    EXPECT_FALSE(List.IsStored());
    List.Add(MakeBrush(Box));
    EXPECT_TRUE(List.IsStored());

    struct Case
    {
        const char *Name;
        std::vector<std::string> Brush;
        bool cmpTexture;
        std::ptrdiff_t Expected;
    } Cases[] = {
        {"first of two, even unstored", Box, true, 1},
        {"one face", {Box[0]}, true, 0},
        {"texture differs, ignored", Retextured, false, 1},
        {"texture differs, compared", Retextured, true, -1},
        {"absent", {Box[1]}, false, -1},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        EXPECT_EQ(List.FindAnalog(MakeBrush(C.Brush), C.cmpTexture), C.Expected);
    }
}

namespace
{

/// The item read from the lines of a block after its "{" line.
TBrush ReadBlock(const std::string &Text)
{
    const TLineList Lines = SplitLines(Text);
    TBrush Brush;
    std::size_t Index = 0;
    std::string Error;
    EXPECT_EQ(Brush.LoadFromList(Lines, Index, Error), TReadResult::rrDone) << Error;
    EXPECT_EQ(Index, Lines.size());
    return Brush;
}

std::string WrittenBlock(const TBrush &Brush)
{
    TLineWriter W;
    Brush.SaveToList(W);
    return W.Text();
}

// A 2 by 2 patch whose control points span (0, 0, 0) .. (64, 32, 16).
const std::string PatchBlock = "patchDef2\n{\nT\n( 2 2 0 0 0 )\n(\n"
                               "( ( 0 0 0 0 0 ) ( 64 0 16 1 0 ) )\n( ( 0 32 0 0 1 ) ( 64 32 8 1 1 ) )\n)\n}\n}";

} // namespace

TEST(TBrush, KeywordBlocksReadAndWriteInOneForm)
{
    // Blank lines, comments, odd spacing and "-0" in; one space between
    // tokens and CR LF out, and the same text from what was written.
    const struct
    {
        std::string In, Out;
        TBrushKind Kind;
    } Cases[] = {
        {"  brushDef\n// c\n{\n(0 0 0)(0 1 0) ( 1 0 0 )  ( (0.5 0 -0) ( 0 1 0 ))  T/a  1   0\t0\n\n}\n  }",
            "{\r\nbrushDef\r\n{\r\n( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) ( ( 0.5 0 0 ) ( 0 1 0 ) ) T/a 1 0 0\r\n}\r\n}\r\n",
            TBrushKind::bkPrimitive},
        {"patchDef2\n{\n  e7/floor\n(3 1 0 0 -0)\n(\n( (1 2 3 0.25 1e-7) )\n\n// c\n( ( 0 0 0 0 0 ))\n"
         "(( 1.50 0 0 0 0 ) )\n)\n}\n}",
            "{\r\npatchDef2\r\n{\r\ne7/floor\r\n( 3 1 0 0 0 )\r\n(\r\n( ( 1 2 3 0.25 1E-7 ) )\r\n"
            "( ( 0 0 0 0 0 ) )\r\n( ( 1.5 0 0 0 0 ) )\r\n)\r\n}\r\n}\r\n",
            TBrushKind::bkPatch},
        {"brushDef\n{\n}\n}", "{\r\nbrushDef\r\n{\r\n}\r\n}\r\n", TBrushKind::bkPrimitive},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.In);
        const TBrush Brush = ReadBlock(C.In);
        EXPECT_EQ(Brush.Kind(), C.Kind);
        EXPECT_EQ(WrittenBlock(Brush), C.Out);
        const std::string Again = C.Out.substr(C.Out.find('\n') + 1); // the "{" is the entity's
        EXPECT_EQ(WrittenBlock(ReadBlock(Again)), C.Out);
    }
    const TBrush Patch = ReadBlock(PatchBlock);
    ASSERT_NE(Patch.Patch(), nullptr);
    EXPECT_EQ(Patch.Count(), 0u);
    EXPECT_EQ(Patch.Patch()->Rows(), 2u);
    EXPECT_EQ(Patch.Patch()->Cols(), 2u);
    EXPECT_EQ(Patch.Patch()->Point(1, 0).p.y, 32);
    EXPECT_EQ(Patch.Patch()->Point(1, 0).v, 1);
}

TEST(TPatch, BoundsComparisonAndTextures)
{
    TBrush Patch = ReadBlock(PatchBlock);
    Patch.CalcMinMax();
    ExpectPoint(Patch.Bounds.Min, 0, 0, 0);
    ExpectPoint(Patch.Bounds.Max, 64, 32, 16);
    ExpectPoint(Patch.Bounds.Center, 32, 16, 8);
    EXPECT_TRUE(Patch.IsTextured("t"));
    EXPECT_FALSE(Patch.IsTextured("T?*"));

    const auto Changed = [](const std::string &From, const std::string &To) {
        std::string Text = PatchBlock;
        Text.replace(Text.find(From), From.size(), To);
        return ReadBlock(Text);
    };
    const std::string Face = "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 )";
    const TBrush Plain = ReadBlock(Face + " T 0 0 0 1 1\n}");
    const TBrush Primitive = ReadBlock("brushDef\n{\n" + Face + " ( ( 1 0 0 ) ( 0 1 0 ) ) T 0 0 0\n}\n}");
    const struct
    {
        const char *Name;
        TBrush A, B;
        bool SameIgnoringTexture, SameWithTexture;
    } Cases[] = {
        {"same", Patch, ReadBlock(PatchBlock), true, true},
        {"texture", Patch, Changed("\nT\n", "\nU\n"), true, false},
        {"header", Patch, Changed("2 2 0 0 0", "2 2 0 1 0"), false, false},
        {"a texture coordinate", Patch, Changed("64 32 8 1 1", "64 32 8 1 2"), false, false},
        {"a patch and a brush", Patch, TBrush(), false, false},
        {"a brush primitive and a plain brush", Primitive, Plain, false, false},
        {"brush primitives differ in their matrix", Primitive,
            ReadBlock("brushDef\n{\n" + Face + " ( ( 2 0 0 ) ( 0 1 0 ) ) T 1 0 0\n}\n}"), true, true},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        EXPECT_EQ(C.A.Cmp(C.B, false), C.SameIgnoringTexture);
        EXPECT_EQ(C.A.Cmp(C.B, true), C.SameWithTexture);
        EXPECT_EQ(C.B.Cmp(C.A, true), C.SameWithTexture);
    }

    // Textures are taken whole: the patch's name, a face's matrix with it;
    // from an item of another kind nothing but the flag.
    TBrush Retextured = Changed("\nT\n", "\nU\n");
    Retextured.SetIsStored(false);
    Patch.ReplaceTextures(Retextured);
    EXPECT_EQ(Patch.Patch()->texture, "U");
    EXPECT_FALSE(Patch.IsStored());
    TBrush Target = Primitive;
    Target.ReplaceTextures(ReadBlock("brushDef\n{\n" + Face + " ( ( 2 0 0 ) ( 0 1 0 ) ) V 1 0 0\n}\n}"));
    EXPECT_EQ(WrittenBlock(Target), "{\r\nbrushDef\r\n{\r\n" + Face + " ( ( 2 0 0 ) ( 0 1 0 ) ) V 1 0 0\r\n}\r\n}\r\n");
    Target.ReplaceTextures(Plain);
    EXPECT_EQ(Target.Sides(0).texture, "V");
}
