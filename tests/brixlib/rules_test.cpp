#include <gtest/gtest.h>

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

class TRuleTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetSwitches(); }
    void TearDown() override { ResetSwitches(); }
};

TMapFile LoadMap(const char *Text)
{
    TMapFile Map;
    std::string Error;
    Map.LoadFromText(Text, Error);
    EXPECT_EQ(Error, "");
    return Map;
}

std::vector<bool> StoredEntities(const TMapFile &Map)
{
    std::vector<bool> Out;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        Out.push_back(Map[I].IsStored());
    }
    return Out;
}

// worldspawn, two lights (one with an id), a door with an id, an entity
// without a class name, and one whose class name looks like an identifier.
constexpr const char *EntityMap = R"(
{
"classname" "worldspawn"
}
{
"classname" "light"
"origin" "0 0 0"
"id" "a.map#12"
}
{
"classname" "Light_Spot"
"origin" "8 8 8"
}
{
"classname" "func_door"
"id" "a.map#2"
}
{
"origin" "1 1 1"
}
{
"classname" "odd#12"
"origin" "2 2 2"
}
)";

} // namespace

TEST_F(TRuleTest, CmpMatchesWholeValueWithoutCase)
{
    struct Case
    {
        const char *Mask;
        const char *Value;
        bool Expected;
    };
    const Case Cases[] = {
        {"light*", "LIGHT_spot", true},
        {"light*", "xlight", false},
        {"light", "Light", true},
        {"light", "lights", false},
        {"?", "a", true},
        {"?", "ab", false},
        {"*", "", false}, // an empty value never matches
        {"", "", false},
        {"", "a", false},
        {"[abc", "", false}, // an empty value does not even look at a bad mask
        {"*#12", "a.map#12", true},
        {"*#12", "a.map#120", false},
        {"[a-c]x", "Bx", true},
        {"[!a-c]x", "bx", false},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(std::string(C.Mask) + " / " + C.Value);
        const TRule Rule(TRuleKind::rkDe, C.Mask);
        EXPECT_EQ(Rule.Cmp(C.Value), C.Expected);
    }
}

TEST_F(TRuleTest, CmpRaisesForBadMask)
{
    const TRule Rule(TRuleKind::rkDe, "[abc");
    try {
        Rule.Cmp("a");
        FAIL() << "no error";
    } catch (const std::exception &E) {
        EXPECT_STREQ(E.what(), "'[abc' is an invalid mask at (5)");
    }
}

TEST_F(TRuleTest, IDMaskLooksForHashAnywhere)
{
    struct Case
    {
        const char *Param;
        bool Expected;
    };
    const Case Cases[] = {{"*#12", true}, {"#", true}, {"a.map#*", true}, {"light*", false}, {"", false}};
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Param);
        EXPECT_EQ(TRule(TRuleKind::rkDse, C.Param).IDMask(), C.Expected);
    }
}

TEST_F(TRuleTest, ApplyToEntityByClassNameOrID)
{
    struct Case
    {
        const char *Param;
        std::vector<bool> Stored; // worldspawn, light, Light_Spot, func_door, no class name, odd#12
    };
    const std::vector<Case> Cases = {
        {"light*", {true, false, false, true, true, true}},
        {"LIGHT", {true, false, true, true, true, true}},
        {"*#12", {true, false, true, true, true, true}},
        // an identifier mask does not look at class names, and the worldspawn's id is "worldspawn"
        {"*#*", {true, false, true, false, true, true}},
        {"worldspawn", {false, true, true, true, true, true}},
        {"*", {false, false, false, false, true, false}},
        {"func_*", {true, true, true, false, true, true}},
        {"", {true, true, true, true, true, true}},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Param);
        TMapFile Map = LoadMap(EntityMap);
        ASSERT_EQ(Map.Count(), 6u);
        const TRule Rule(TRuleKind::rkDe, C.Param);
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            Rule.ApplyToEntity(Map[I]);
        }
        EXPECT_EQ(StoredEntities(Map), C.Stored);
    }
}

TEST_F(TRuleTest, ClearedFlagStaysCleared)
{
    TMapFile Map = LoadMap(EntityMap);
    TRules Rules;
    Rules.AddRule(TRuleKind::rkDe, "light");
    Rules.AddRule(TRuleKind::rkDe, "func_door");
    Rules.AddRule(TRuleKind::rkDe, "nothing");
    for (const TRule &Rule : Rules) {
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            Rule.ApplyToEntity(Map[I]);
        }
    }
    EXPECT_EQ(StoredEntities(Map), (std::vector<bool>{true, false, true, false, true, true}));
}

TEST_F(TRuleTest, BadMaskRaisesOnlyWhenAClassNameExists)
{
    struct Case
    {
        const char *Text;
        bool Raises;
    };
    const Case Cases[] = {
        {"{\n\"origin\" \"0 0 0\"\n}\n", false},
        {"{\n\"classname\" \"\"\n}\n", false},
        {"{\n\"origin\" \"0 0 0\"\n}\n{\n\"classname\" \"light\"\n}\n", true},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Text);
        TMapFile Map = LoadMap(C.Text);
        const TRule Rule(TRuleKind::rkDe, "[abc");
        std::string Message;
        try {
            for (std::size_t I = 0; I < Map.Count(); ++I) {
                Rule.ApplyToEntity(Map[I]);
            }
        } catch (const std::exception &E) {
            Message = E.what();
        }
        EXPECT_EQ(Message, C.Raises ? "'[abc' is an invalid mask at (5)" : "");
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            EXPECT_TRUE(Map[I].IsStored());
        }
    }
}

TEST_F(TRuleTest, ApplyToBrushesByTexture)
{
    // Brushes: all sky, one sky face among walls, all walls.
    constexpr const char *Text = R"(
{
"classname" "func_wall"
{
( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) sky1 0 0 0 1 1
( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) sky1 0 0 0 1 1
}
{
( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) wall 0 0 0 1 1
( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) SKY2 0 0 0 1 1
}
{
( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) wall 0 0 0 1 1
( 0 0 64 ) ( 0 64 64 ) ( 64 0 64 ) wall 0 0 0 1 1
}
}
)";
    struct Case
    {
        const char *Param;
        std::vector<bool> Stored;
    };
    const std::vector<Case> Cases = {
        {"sky*", {false, false, true}},
        {"SKY1", {false, true, true}},
        {"wall", {true, false, false}},
        {"*", {false, false, false}},
        {"", {true, true, true}},
        {"floor", {true, true, true}},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Param);
        TMapFile Map = LoadMap(Text);
        ASSERT_EQ(Map.Count(), 1u);
        TEntity &E = Map[0];
        ASSERT_EQ(E.Brushes.Count(), 3u);
        TRule(TRuleKind::rkDt, C.Param).ApplyToBrushes(E);
        std::vector<bool> Stored;
        for (const TBrush &B : E.Brushes) {
            Stored.push_back(B.IsStored());
        }
        EXPECT_EQ(Stored, C.Stored);
        EXPECT_TRUE(E.IsStored()); // the entity itself is left to the command
    }
}

TEST_F(TRuleTest, ApplyToBrushesBadMask)
{
    TMapFile Map = LoadMap("{\n\"classname\" \"light\"\n\"origin\" \"0 0 0\"\n}\n"
                           "{\n\"classname\" \"func_wall\"\n{\n( 0 0 0 ) ( 64 0 0 ) ( 0 64 0 ) sky1 0 0 0 1 1\n}\n}\n");
    ASSERT_EQ(Map.Count(), 2u);
    const TRule Rule(TRuleKind::rkDt, "[abc");
    EXPECT_NO_THROW(Rule.ApplyToBrushes(Map[0])); // no brush, nothing to test
    try {
        Rule.ApplyToBrushes(Map[1]);
        FAIL() << "no error";
    } catch (const std::exception &E) {
        EXPECT_STREQ(E.what(), "'[abc' is an invalid mask at (5)");
    }
}
