#include <gtest/gtest.h>

#include <string>

#include "brixlib/mapfile.h"

using namespace brix;

namespace
{

const char *const BoxFaces = "( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) t 0 0 0 1 1\n"
                             "( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) t 0 0 0 1 1\n"
                             "( 0 0 0 ) ( 0 64 0 ) ( 0 0 64 ) t 0 0 0 1 1\n"
                             "( 64 0 0 ) ( 64 0 64 ) ( 64 64 0 ) t 0 0 0 1 1\n"
                             "( 0 0 0 ) ( 0 0 64 ) ( 64 0 0 ) t 0 0 0 1 1\n"
                             "( 0 64 0 ) ( 64 64 0 ) ( 0 64 64 ) t 0 0 0 1 1\n";

// Reads the lines of Text as the rest of an entity block.
std::string LoadEntity(TEntity &Ent, const std::string &Text, std::size_t &Index)
{
    const TLineList Lines = SplitLines(Text);
    std::string Error;
    Index = 0;
    Ent.LoadFromList(Lines, Index, Error);
    return Error;
}

} // namespace

TEST(TEntity, LoadFromListReadsPropertyLines)
{
    struct Case
    {
        const char *Text;
        const char *Error;
        std::size_t Index;
        const char *LastKey, *LastValue;
        bool WorldSpawn;
    };
    // A malformed block leaves Index at the line that holds the fault.
    const Case Cases[] = {
        {"\"classname\" \"worldspawn\"\n}", "", 2, "classname", "worldspawn", true},
        {"\"classname\" \"WorldSpawn\"\n}", "", 2, "classname", "WorldSpawn", false},
        {"\"classname\" \"worldspawn\"\n\"classname\" \"light\"\n}", "", 3, "classname", "light", false},
        {"  // note\n\n\t\"a b\"\t\" c \"  \n}\nrest", "", 4, "a b", " c ", false},
        {"\"k\"\"v\"\n}", "", 2, "k", "v", false},
        {"\"\" \"\"\n}", "", 2, "", "", false},
        {"\"msg\" \"say \"hi\" now\"\n}", "", 2, "msg", "say \"hi\" now", false},
        {"\"a\" \"1\"\n\"key\"\n}", "'\"' expected", 1, "a", "1", false},
        {"\"key\" \"v\" // c\n}", "'\"' expected", 0, "", "", false},
        {"\"key\" \"v\n}", "'\"' expected", 0, "", "", false},
        {"\"key\" \"\n}", "'\"' expected", 0, "", "", false},
        {"key \"v\"\n}", "'\"' expected", 0, "", "", false},
        {"\"key \"v\"\n}", "'\"' expected", 0, "", "", false},
        {"{ x\n}", "'\"' expected", 0, "", "", false},
        {"\"a\" \"1\"", "Unexpected end of file", 1, "a", "1", false},
        {"", "Unexpected end of file", 0, "", "", false},
        {"{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) t 0\n", "Unexpected end of file", 2, "", "", false},
        {"{\nABC\n}\n}", "Unknown block: ABC", 1, "", "", false},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Text);
        TEntity Ent;
        std::size_t Index = 0;
        EXPECT_EQ(LoadEntity(Ent, C.Text, Index), C.Error);
        EXPECT_EQ(Index, C.Index);
        ASSERT_EQ(Ent.Props.size(), Ent.Values.size());
        if (*C.LastKey || *C.LastValue) {
            ASSERT_FALSE(Ent.Props.empty());
            EXPECT_EQ(Ent.Props.back(), C.LastKey);
            EXPECT_EQ(Ent.Values.back(), C.LastValue);
        }
        EXPECT_EQ(Ent.WorldSpawn(), C.WorldSpawn);
    }
}

TEST(TEntity, KeepsPartlyReadBrush)
{
    TEntity Ent;
    std::size_t Index = 0;
    EXPECT_EQ(LoadEntity(Ent, "{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) t 0\nABC\n", Index), "'(' expected");
    ASSERT_EQ(Ent.Brushes.Count(), 1u);
    EXPECT_EQ(Ent.Brushes[0].Count(), 1u);
}

// The brushes of one read share their face room, which outlives the entity
// for a brush moved away; a copy, and a brush grown later, own theirs.
TEST(TEntity, BrushesReadTogetherShareTheirFaceRoom)
{
    TBrushList Kept;
    {
        TEntity Ent;
        std::size_t Index = 0;
        ASSERT_EQ(LoadEntity(Ent, std::string("{\n") + BoxFaces + "}\n{\n" + BoxFaces + "}\n}", Index), "");
        const auto *const Arena = Ent.Brushes[0].SideList().get_allocator().Arena();
        EXPECT_NE(Arena, nullptr);
        EXPECT_EQ(Ent.Brushes[1].SideList().get_allocator().Arena(), Arena);
        EXPECT_EQ(TBrush(Ent.Brushes[0]).SideList().get_allocator().Arena(), nullptr);
        Kept.Add(std::move(Ent.Brushes[1]));
    }
    TSideList &Sides = Kept[0].SideList();
    Sides.push_back(Sides[0]);
    TBrush Copy = Kept[0];
    Kept[0] = Copy;
    ASSERT_EQ(Kept[0].Count(), 7u);
    EXPECT_EQ(Kept[0].Sides(6).ToString(), "( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) t 0 0 0 1 1");
}

TEST(TEntity, SaveToListNumbersStoredBrushes)
{
    TEntity Ent;
    std::size_t Index = 0;
    const std::string Face = "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) t 0 0 0 1 1\n";
    ASSERT_EQ(LoadEntity(Ent, "{\n" + Face + "}\n\"b\" \"2\"\n{\n}\n\"a\"   \"1\"\n{\n" + Face + "}\n}", Index), "");
    Ent.Brushes[1].SetIsStored(false);
    TLineWriter W;
    Ent.SaveToList(W);
    const std::string Block = "{\r\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) t 0 0 0 1 1\r\n}\r\n";
    EXPECT_EQ(
        W.Text(), "{\r\n\"b\" \"2\"\r\n\"a\" \"1\"\r\n// brush 0\r\n" + Block + "// brush 1\r\n" + Block + "}\r\n");
}

TEST(TEntity, Identifiers)
{
    TEntity Ent;
    Ent.SetPropValue("id", "");
    EXPECT_FALSE(Ent.Indexed());
    Ent.SetID("a#1");
    EXPECT_EQ(Ent.Props.size(), 1u);
    EXPECT_EQ(Ent.ID(), "a#1");
    EXPECT_TRUE(Ent.Indexed());
    Ent.SetPropValue("id", "second");
    Ent.Props.push_back("id");
    Ent.Values.push_back("third");
    EXPECT_TRUE(Ent.RemoveID());
    EXPECT_EQ(Ent.ID(), "third");

    TEntity World;
    World.SetWorldSpawn(true);
    World.SetID("x");
    EXPECT_TRUE(World.Props.empty());
    EXPECT_EQ(World.ID(), "worldspawn");
    EXPECT_TRUE(World.Indexed());
    EXPECT_FALSE(World.RemoveID());
    World.Props = {"id"};
    World.Values = {"w"};
    EXPECT_TRUE(World.RemoveID());
    EXPECT_TRUE(World.Props.empty() && World.Values.empty());
}

TEST(TEntity, CalcMinMaxOfPointEntities)
{
    struct Case
    {
        const char *ClassName, *Origin, *Error;
        double Cx, Cy, Cz;
    };
    const Case Cases[] = {
        {"light", " 128 -64  32 ", "", 128, -64, 32},
        {"light", "1 2", "Error in a format of a point: 1 2", 0, 0, 0},
        {"light", "1\t2\t3", "Error in a format of a point: 1\t2\t3", 0, 0, 0},
        {"info_null", nullptr, "Error entity arrangement: info_null", 0, 0, 0},
        {nullptr, "", "Error entity arrangement: ", 0, 0, 0},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Error);
        TEntity Ent;
        if (C.ClassName) {
            Ent.SetPropValue("classname", C.ClassName);
        }
        if (C.Origin) {
            Ent.SetPropValue("origin", C.Origin);
        }
        if (*C.Error) {
            try {
                Ent.CalcMinMax();
                ADD_FAILURE() << "no error raised";
            } catch (const EBrixError &E) {
                EXPECT_STREQ(E.what(), C.Error);
            }
            continue;
        }
        Ent.CalcMinMax();
        EXPECT_EQ(Ent.Bounds.Center.x, C.Cx);
        EXPECT_EQ(Ent.Bounds.Center.y, C.Cy);
        EXPECT_EQ(Ent.Bounds.Center.z, C.Cz);
        EXPECT_EQ(Ent.Bounds.Min.x, Ent.Bounds.Max.x);
    }
}

TEST(TEntity, CalcMinMaxSpansAllBrushesAndCopiesDropBounds)
{
    // A 64 box and the same box moved by 192 along x: the centre of the box
    // round both, not the mean of the two centres weighted otherwise.
    std::string Moved;
    for (const std::string_view Line : SplitLines(BoxFaces)) {
        TBrushSide Side;
        std::string Error;
        Side.Load(Line, Error);
        ASSERT_EQ(Error, "");
        Side.p1.x += 192;
        Side.p2.x += 192;
        Side.p3.x += 192;
        Moved += Side.ToString() + "\n";
    }
    TEntity Ent;
    std::size_t Index = 0;
    ASSERT_EQ(LoadEntity(Ent, std::string("{\n") + BoxFaces + "}\n{\n" + Moved + "}\n}", Index), "");
    Ent.CalcMinMax();
    EXPECT_EQ(Ent.Bounds.Min.x, 0);
    EXPECT_EQ(Ent.Bounds.Max.x, 256);
    EXPECT_EQ(Ent.Bounds.Max.z, 64);
    EXPECT_EQ(Ent.Bounds.Center.x, 128);
    EXPECT_EQ(Ent.Bounds.Center.y, 32);

    TEntity Copy;
    Copy.Brushes = Ent.Brushes;
    Copy.CalcMinMax(); // bounds in the brushes that the copy replaces must not survive
    Copy = Ent;
    EXPECT_EQ(Copy.Brushes[1].Bounds.Max.x, 0);
    EXPECT_EQ(Copy.Brushes.Count(), 2u);
    EXPECT_EQ(Ent.Duplicate()->Bounds.Center.x, 0);
}
