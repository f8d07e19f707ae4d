// The commands called directly, as a tool built on the library calls them:
// maps made from text, results compared in their written form.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "brixlib/commands.h"
#include "brixlib/mapfile.h"
#include "brixlib/messages.h"
#include "brixlib/rules.h"
#include "written.h"

using namespace brix;

namespace
{

/// A 16-unit cube with its lowest corner at (X, 0, 0): brushes that differ in
/// X differ in shape, and their centres lie at X + 8.
std::string Box(int X, const std::string &Texture = "WALL")
{
    // A and B stand for the low and the high x, T for the texture.
    constexpr std::string_view Faces = "{\n"
                                       "( A 0 0 ) ( A 16 0 ) ( A 0 16 ) T 0 0 0 1 1\n"
                                       "( B 0 0 ) ( B 0 16 ) ( B 16 0 ) T 0 0 0 1 1\n"
                                       "( A 0 0 ) ( A 0 16 ) ( B 0 0 ) T 0 0 0 1 1\n"
                                       "( A 16 0 ) ( B 16 0 ) ( A 16 16 ) T 0 0 0 1 1\n"
                                       "( A 0 0 ) ( B 0 0 ) ( A 16 0 ) T 0 0 0 1 1\n"
                                       "( A 0 16 ) ( A 16 16 ) ( B 0 16 ) T 0 0 0 1 1\n"
                                       "}\n";
    std::string Text;
    for (const char C : Faces) {
        if (C == 'A') {
            Text += std::to_string(X);
        } else if (C == 'B') {
            Text += std::to_string(X + 16);
        } else if (C == 'T') {
            Text += Texture;
        } else {
            Text += C;
        }
    }
    return Text;
}

/// A patch of one row of two control points, from (X, 0, 0) to (X + 16, 16, 16):
/// its centre lies at X + 8, as a box's.
std::string Patch(int X, const std::string &Texture = "WALL")
{
    return "{\npatchDef2\n{\n" + Texture + "\n( 1 2 0 0 0 )\n(\n( ( " + std::to_string(X) + " 0 0 0 0 ) ( " +
           std::to_string(X + 16) + " 16 16 1 1 ) )\n)\n}\n}\n";
}

/// An entity block from "key=value|key=value" and the texts of its brushes.
std::string Ent(std::string_view Props, const std::string &Brushes = "")
{
    std::string Text = "{\n";
    while (!Props.empty()) {
        const std::size_t Bar = std::min(Props.find('|'), Props.size());
        const std::string_view Prop = Props.substr(0, Bar);
        const std::size_t Eq = Prop.find('=');
        // Appended piece by piece: GCC 12 warns falsely on "text" + std::string.
        Text.append("\"").append(Prop.substr(0, Eq)).append("\" \"").append(Prop.substr(Eq + 1)).append("\"\n");
        Props.remove_prefix(std::min(Bar + 1, Props.size()));
    }
    return Text + Brushes + "}\n";
}

TMapFile MapOf(const std::string &Text, const std::string &FileName = "a.map")
{
    TMapFile Map(FileName);
    std::string Error;
    Map.LoadFromText(Text, Error);
    EXPECT_EQ(Error, "") << Text;
    return Map;
}

/// Additional maps named b.map, c.map, ... in order.
TMapFileList ListOf(const std::vector<std::string> &Texts)
{
    TMapFileList List;
    for (std::size_t I = 0; I < Texts.size(); ++I) {
        List.Add(std::make_unique<TMapFile>(MapOf(Texts[I], std::string(1, char('b' + I)) + ".map")));
    }
    return List;
}

const std::string World = "classname=worldspawn";

} // namespace

TEST(Commands, Concat)
{
    struct Case
    {
        const char *Name;
        std::string Source;
        std::vector<std::string> Added;
        std::string Expected;
        bool ReplaceTextures = false;
        const char *NonUniqueId = "";
    };
    const Case Cases[] = {
        {"a brush that is there is not repeated; the source's worldspawn keeps its properties",
            Ent(World + "|message=A", Box(0) + Box(32)), {Ent(World + "|message=B", Box(32) + Box(64))},
            Ent(World + "|message=A", Box(0) + Box(32) + Box(64))},
        {"the same shape in another texture is another brush", Ent(World, Box(0)), {Ent(World, Box(0, "SKY"))},
            Ent(World, Box(0) + Box(0, "SKY"))},
        {"with ReplaceTextures the brush that is there takes the textures", Ent(World, Box(0) + Box(32)),
            {Ent(World, Box(0, "SKY"))}, Ent(World, Box(0, "SKY") + Box(32)), true},
        {"an entity with an id is merged brush by brush, its properties stay",
            Ent(World) + Ent("classname=func_door|id=d1", Box(32)),
            {Ent("classname=func_door|id=d1|angle=90", Box(32) + Box(64))},
            Ent(World) + Ent("classname=func_door|id=d1", Box(32) + Box(64))},
        {"an id appended from one additional map is merged with the next", Ent(World),
            {Ent("classname=func_wall|id=w", Box(0)), Ent("classname=func_wall|id=w", Box(0) + Box(32))},
            Ent(World) + Ent("classname=func_wall|id=w", Box(0) + Box(32))},
        {"an id named non-unique is appended, letter case ignored",
            Ent(World) + Ent("classname=func_door|id=d1", Box(32)), {Ent("classname=func_door|id=d1", Box(32))},
            Ent(World) + Ent("classname=func_door|id=d1", Box(32)) + Ent("classname=func_door|id=d1", Box(32)), false,
            "D1"},
        {"#temp is never merged", Ent(World) + Ent("classname=light|id=#temp|origin=0 0 0"),
            {Ent("classname=light|id=#temp|origin=0 0 0")},
            Ent(World) + Ent("classname=light|id=#temp|origin=0 0 0") + Ent("classname=light|id=#temp|origin=0 0 0")},
        {"entities without id are appended, even equal ones",
            Ent(World) + Ent("classname=light|origin=0 0 0") + Ent("classname=func_wall", Box(0)),
            {Ent("classname=light|origin=0 0 0") + Ent("classname=func_wall", Box(0))},
            Ent(World) + Ent("classname=light|origin=0 0 0") + Ent("classname=func_wall", Box(0)) +
                Ent("classname=light|origin=0 0 0") + Ent("classname=func_wall", Box(0))},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TMapFile Source = MapOf(C.Source);
        TMapFileList AddMaps = ListOf(C.Added);
        TConcatOptions Options;
        Options.ReplaceTextures = C.ReplaceTextures;
        if (*C.NonUniqueId != '\0') {
            Options.AddNonUniqueId(C.NonUniqueId);
        }
        TMapFile Dest("dest.map");
        Concat(Dest, Source, AddMaps, Options);
        EXPECT_EQ(Written(Dest), Written(MapOf(C.Expected)));
        EXPECT_EQ(Source.Count(), 0u);
        for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
            EXPECT_EQ(AddMaps[M].Count(), 0u);
        }
    }
}

TEST(Commands, Extract)
{
    struct Case
    {
        const char *Name;
        std::string Source;
        std::vector<std::string> Added;
        std::string Expected;
    };
    const std::string Door = "classname=func_door|id=d1|spawnflags=1";
    const Case Cases[] = {
        {"a point entity with the same origin text is left out",
            Ent(World) + Ent("classname=light|origin=0 0 0") + Ent("classname=light|origin=8 0 0") +
                Ent("classname=light|origin=16 0 0"),
            {Ent("classname=light|origin=0 0 0|light=300") + Ent("classname=light|origin=16 0 0.0")},
            Ent(World) + Ent("classname=light|origin=8 0 0") + Ent("classname=light|origin=16 0 0")},
        {"a brush found elsewhere is left out, one in another texture is not", Ent(World, Box(0) + Box(32) + Box(64)),
            {Ent(World, Box(32) + Box(64, "SKY"))}, Ent(World, Box(0) + Box(64))},
        {"an entity that loses all its brushes is left out, one that loses some is not",
            Ent(World) + Ent("classname=func_wall", Box(0)) + Ent("classname=func_wall", Box(32) + Box(64)),
            {Ent("classname=func_wall", Box(0) + Box(32))}, Ent(World) + Ent("classname=func_wall", Box(64))},
        {"the worldspawn stays with its properties when all its brushes are found",
            Ent(World + "|message=A", Box(0)) + Ent("classname=light|origin=0 0 0"), {Ent(World, Box(0))},
            Ent(World + "|message=A") + Ent("classname=light|origin=0 0 0")},
        {"an id entity is left out when class name and spawn flags match, other keys aside",
            Ent(World) + Ent(Door, Box(0)), {Ent(Door + "|angle=90", Box(0))}, Ent(World)},
        {"an id entity of other spawn flags or class name stays", Ent(World) + Ent(Door, Box(0)),
            {Ent("classname=func_door|id=d1", Box(0)) + Ent("classname=func_wall|id=d1|spawnflags=1", Box(0))},
            Ent(World) + Ent(Door, Box(0))},
        {"a worldspawn without brushes stays, as one with brushes does", Ent(World + "|message=A"),
            {Ent(World + "|message=A")}, Ent(World + "|message=A")},
        {"an entity without id is not compared with id entities", Ent(World) + Ent(Door, Box(0)),
            {Ent("classname=func_door|spawnflags=1", Box(0))}, Ent(World) + Ent(Door, Box(0))},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TMapFile Source = MapOf(C.Source);
        TMapFileList AddMaps = ListOf(C.Added);
        TMapFile Dest("dest.map");
        Extract(Dest, Source, AddMaps);
        EXPECT_EQ(Written(Dest), Written(MapOf(C.Expected)));
        for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
            EXPECT_EQ(Written(AddMaps[M]), Written(MapOf(C.Added[M])));
        }
    }
}

TEST(Commands, IdentifierCommands)
{
    using TCommand = void (*)(TMapFile &, TMapFile &, TMapFileList &);
    struct Case
    {
        const char *Name;
        TCommand Command;
        std::string Source;
        std::vector<std::string> Added;
        std::string Expected;
        std::vector<std::string> ExpectedAdded;
        std::vector<bool> NeedSave;
    };
    const std::string Light = "classname=light|origin=0 0 0";
    const Case Cases[] = {
        {"mkid numbers on from the highest number in use, with the destination's bare name", MakeIds,
            Ent(World) + Ent(Light + "|id=a#3") + Ent(Light) + Ent(Light + "|id=other.map#7") + Ent(Light),
            {Ent(World) + Ent(Light), Ent(Light + "|id=c.map#1")},
            Ent(World) + Ent(Light + "|id=a#3") + Ent(Light + "|id=x.map#8") + Ent(Light + "|id=other.map#7") +
                Ent(Light + "|id=x.map#9"),
            {Ent(World) + Ent(Light + "|id=b.map#1"), Ent(Light + "|id=c.map#1")}, {true, false}},
        {"rmid removes every id", RemoveIds, Ent(World) + Ent(Light + "|id=a") + Ent(Light),
            {Ent(Light + "|id=b"), Ent(Light)}, Ent(World) + Ent(Light) + Ent(Light), {Ent(Light), Ent(Light)},
            {true, false}},
        {"rmdpid keeps the first of ids equal without regard to letter case", RemoveDupIds,
            Ent(World) + Ent(Light + "|id=a") + Ent(Light + "|id=A") + Ent(Light + "|id=b") + Ent(Light + "|id=a"),
            {Ent(Light + "|id=x") + Ent(Light + "|id=X"), Ent(Light + "|id=a")},
            Ent(World) + Ent(Light + "|id=a") + Ent(Light) + Ent(Light + "|id=b") + Ent(Light),
            {Ent(Light + "|id=x") + Ent(Light), Ent(Light + "|id=a")}, {true, false}},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TMapFile Source = MapOf(C.Source);
        TMapFileList AddMaps = ListOf(C.Added);
        TMapFile Dest("maps/x.map");
        C.Command(Dest, Source, AddMaps);
        EXPECT_EQ(Written(Dest), Written(MapOf(C.Expected)));
        ASSERT_EQ(AddMaps.Count(), C.ExpectedAdded.size());
        for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
            EXPECT_EQ(Written(AddMaps[M]), Written(MapOf(C.ExpectedAdded[M])));
            EXPECT_EQ(AddMaps[M].NeedSave(), C.NeedSave[M]) << AddMaps[M].FileName();
        }
    }
}

TEST(Commands, ApplyRulesByRole)
{
    struct Case
    {
        const char *Name;
        TRuleKind Kind;
        const char *Mask;
        TMapRole Role;
        std::string Expected;
    };
    const std::string Light = "classname=light|origin=0 0 0|id=a#12";
    const std::string Map =
        Ent(World, Box(0) + Box(32, "SKY1")) + Ent(Light) + Ent("classname=func_wall", Box(64, "sky2"));
    const Case Cases[] = {
        {"dse in the source, letter case ignored", TRuleKind::rkDse, "LIGHT", TMapRole::mrSource,
            Ent(World, Box(0) + Box(32, "SKY1")) + Ent("classname=func_wall", Box(64, "sky2"))},
        {"dse not in an additional map", TRuleKind::rkDse, "light", TMapRole::mrAdditional, Map},
        {"de by id in an additional map", TRuleKind::rkDe, "*#12", TMapRole::mrAdditional,
            Ent(World, Box(0) + Box(32, "SKY1")) + Ent("classname=func_wall", Box(64, "sky2"))},
        {"de never in the destination", TRuleKind::rkDe, "*#12", TMapRole::mrDestination, Map},
        {"dat in an additional map: the emptied brush entity goes too", TRuleKind::rkDat, "sky*",
            TMapRole::mrAdditional, Ent(World, Box(0)) + Ent(Light)},
        {"dat not in the source", TRuleKind::rkDat, "sky*", TMapRole::mrSource, Map},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TRules Rules;
        Rules.AddRule(C.Kind, C.Mask);
        TMapFile Target = MapOf(Map);
        ApplyRules(Rules, Target, C.Role);
        EXPECT_EQ(Written(Target), Written(MapOf(C.Expected)));
    }
}

TEST(Commands, CutOffAreas)
{
    struct Case
    {
        const char *BrushArea, *EntityArea;
        std::string Expected;
        std::string Source = {}; ///< Map when empty
    };
    // Brush centres at x = 8, 40 and 72; the light at x = 100.
    const std::string Map = Ent(World, Box(0) + Box(32) + Box(64)) + Ent("classname=light|origin=100 8 8") +
                            Ent("classname=func_wall", Box(64));
    // World geometry: a group with brushes, a detail entity, a group of point
    // entities (no brush, no origin); a class that differs in letter case is not.
    const std::string Group = Ent("classname=func_group|_tb_type=_tb_group|_tb_id=1", Box(32) + Box(64));
    const std::string Detail = Ent("classname=func_detail_wall", Box(64));
    const std::string PointGroup = Ent("classname=func_group|_tb_type=_tb_group|_tb_id=2");
    const std::string Light = Ent("classname=light|origin=100 8 8|_tb_group=2");
    const std::string Wall = Ent("classname=func_wall", Box(32));
    const std::string NotGroup = Ent("classname=Func_Group", Box(64));
    const std::string Groups = Ent(World, Box(0)) + Group + Detail + PointGroup + Light + Wall + NotGroup;
    const Case Cases[] = {
        {"b/0/0/0/40/16/16", "",
            Ent(World, Box(0) + Box(32)) + Ent("classname=light|origin=100 8 8") + Ent("classname=func_wall", Box(64))},
        {"", "b/64/0/0/100/16/16", Map},
        {"", "b/80/0/0/100/16/16", Ent(World, Box(0) + Box(32) + Box(64)) + Ent("classname=light|origin=100 8 8")},
        {"r/8/8/4", "r/72/8/8/0", Ent(World, Box(0)) + Ent("classname=func_wall", Box(64))},
        {"b/0/0/0/48/16/16", "",
            Ent(World, Box(0)) + Ent("classname=func_group|_tb_type=_tb_group|_tb_id=1", Box(32)) + PointGroup + Light +
                Wall + NotGroup,
            Groups},
        {"", "b/0/0/0/48/16/16", Ent(World, Box(0)) + Group + Detail + PointGroup + Wall, Groups},
        // Round groups: the one with brushes centres a column at x = 56, the
        // one without centres none.
        {"", "r/func_group/20", Ent(World, Box(0)) + Group + Detail + PointGroup + Wall + NotGroup, Groups},
        // Patches are cut by the centre of their control points, in the world
        // and in groups; an entity of patches alone is placed by them.
        {"b/0/0/0/48/16/16", "b/0/0/0/48/16/16",
            Ent(World, Patch(0) + Patch(32)) + Ent("classname=func_group", Patch(32)) +
                Ent("classname=func_wall", Patch(16)),
            Ent(World, Patch(0) + Patch(32) + Patch(64)) + Ent("classname=func_group", Patch(64) + Patch(32)) +
                Ent("classname=func_wall", Patch(16)) + Ent("classname=func_wall", Patch(48))},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(std::string(C.BrushArea) + " " + C.EntityArea);
        TAreaList BrushAreas;
        TAreaList EntityAreas;
        if (*C.BrushArea != '\0') {
            ParseAreaSpec(BrushAreas.Add(), C.BrushArea, C.BrushArea);
        }
        if (*C.EntityArea != '\0') {
            ParseAreaSpec(EntityAreas.Add(), C.EntityArea, C.EntityArea);
        }
        TMapFile Target = MapOf(C.Source.empty() ? Map : C.Source);
        CutOffAreas(Target, BrushAreas, EntityAreas);
        EXPECT_EQ(Written(Target), Written(MapOf(C.Expected)));
    }

    ResetSwitches();
    TAreaList None;
    TAreaList Anywhere;
    ParseAreaSpec(Anywhere.Add(), "c/0/0/100000", "c/0/0/100000");
    TMapFile Placeless = MapOf(Ent(World) + Ent("classname=info_null"));
    try {
        CutOffAreas(Placeless, None, Anywhere);
        ADD_FAILURE() << "an entity without a place was not reported";
    } catch (const EBrixError &E) {
        EXPECT_STREQ(E.what(), "Error entity arrangement: info_null");
    }
}

TEST(Commands, TakeWorldspawnProperties)
{
    const std::string Props = "classname=worldspawn|wad=a.wad";
    struct Case
    {
        const char *Map, *Donor, *Expected; ///< Expected "" when the donor has no worldspawn
    };
    const std::string WithWorld = Ent("classname=worldspawn|message=old", Box(0)) + Ent("classname=light");
    const std::string NoWorld = Ent("classname=light");
    const std::string Donor = Ent(Props, Box(64));
    const std::string Merged = Ent(Props, Box(0)) + Ent("classname=light");
    const std::string Appended = Ent("classname=light") + Ent(Props);
    const std::string Lacking = Ent("classname=info_null");
    const Case Cases[] = {
        {WithWorld.c_str(), Donor.c_str(), Merged.c_str()},
        {NoWorld.c_str(), Donor.c_str(), Appended.c_str()},
        // A donor without worldspawn changes nothing, not even a map without one.
        {NoWorld.c_str(), Lacking.c_str(), ""},
        {WithWorld.c_str(), Lacking.c_str(), ""},
    };
    for (const Case &C : Cases) {
        TMapFile Target = MapOf(C.Map);
        const TMapFile Source = MapOf(C.Donor, "donor.map");
        if (*C.Expected != '\0') {
            TakeWorldspawnProperties(Target, Source);
            EXPECT_EQ(Written(Target), Written(MapOf(C.Expected)));
            continue;
        }
        EXPECT_THROW(TakeWorldspawnProperties(Target, Source), EBrixError);
        EXPECT_EQ(Written(Target), Written(MapOf(C.Map)));
    }
}

TEST(Commands, LayerRules)
{
    // Two layers; a group in "rooms" holding a group holding a light; a
    // detail entity and a light in "lights"; in the default layer a group
    // with a member, a light, a cycle of groups and a light naming no layer.
    const std::string Worldspawn = World + "|message=Layers";
    const std::string Rooms =
        Ent("classname=func_group|_tb_type=_tb_layer|_tb_name=rooms|_tb_id=1", Box(32)) +
        Ent("classname=func_group|_tb_type=_tb_group|_tb_name=hall|_tb_id=3|_tb_layer=1", Box(64)) +
        Ent("classname=func_group|_tb_type=_tb_group|_tb_name=lamp|_tb_id=4|_tb_group=3") +
        Ent("classname=light|origin=0 0 0|_tb_group=4");
    const std::string Lights = Ent("classname=func_group|_tb_type=_tb_layer|_tb_name=lights|_tb_id=2") +
                               Ent("classname=light|origin=8 0 0|_tb_layer=2") +
                               Ent("classname=func_detail|_tb_layer=2", Box(96));
    const std::string Default = Ent("classname=func_group|_tb_type=_tb_group|_tb_name=crates|_tb_id=5", Box(128)) +
                                Ent("classname=info_player_start|origin=0 0 24|_tb_group=5") +
                                Ent("classname=light|origin=16 0 0") +
                                Ent("classname=func_group|_tb_type=_tb_group|_tb_id=6|_tb_group=7") +
                                Ent("classname=func_group|_tb_type=_tb_group|_tb_id=7|_tb_group=6") +
                                Ent("classname=light|origin=24 0 0|_tb_layer=9");
    // A layer without a number, which nothing can name.
    const std::string Orphan = Ent("classname=func_group|_tb_type=_tb_layer|_tb_name=orphan");
    const std::string Map = Ent(Worldspawn, Box(0)) + Rooms + Lights + Orphan + Default;
    const std::string Bare = Ent(Worldspawn);
    const std::string DefaultOnly = Ent(Worldspawn, Box(0)) + Default;
    using TLayerRules = std::vector<std::pair<TRuleKind, const char *>>;
    struct Case
    {
        const char *Name;
        TLayerRules Rules;
        std::string Expected;
        TMapRole Role = TMapRole::mrSource;
    };
    const Case Cases[] = {
        {"-kl:rooms keeps that layer and the worldspawn's properties", {{TRuleKind::rkKl, "rooms"}}, Bare + Rooms},
        {"-dl:* keeps the default layer", {{TRuleKind::rkDl, "*"}}, DefaultOnly},
        {"the default layer by its name", {{TRuleKind::rkKl, "default layer"}}, DefaultOnly},
        {"-dl:ROOMS in an additional map", {{TRuleKind::rkDl, "ROOMS"}},
            Ent(Worldspawn, Box(0)) + Lights + Orphan + Default, TMapRole::mrAdditional},
        {"two -dl", {{TRuleKind::rkDl, "rooms"}, {TRuleKind::rkDl, "lights"}},
            Ent(Worldspawn, Box(0)) + Orphan + Default},
        {"a layer without a number holds itself only", {{TRuleKind::rkKl, "orphan"}}, Bare + Orphan},
        {"two -kl", {{TRuleKind::rkKl, "rooms"}, {TRuleKind::rkKl, "lights"}}, Bare + Rooms + Lights},
        {"-dl and -kl", {{TRuleKind::rkDl, "rooms"}, {TRuleKind::rkKl, "r*"}}, Bare},
        {"-kl:* keeps every layer, the default one too", {{TRuleKind::rkKl, "*"}}, Map},
        {"not in the destination", {{TRuleKind::rkDl, "*"}}, Map, TMapRole::mrDestination},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TRules Rules;
        for (const auto &[Kind, Mask] : C.Rules) {
            Rules.AddRule(Kind, Mask);
        }
        TMapFile Target = MapOf(Map);
        ApplyRules(Rules, Target, C.Role);
        EXPECT_EQ(Written(Target), Written(MapOf(C.Expected)));
    }
}

TEST(Commands, RenameTextures)
{
    const auto Renamed = [](const std::vector<TTextureRename> &Renames) {
        TMapFile Target = MapOf(Ent(World, Box(0, "__TB_empty") + Box(32) + Patch(64, "__TB_empty")));
        RenameTextures(Target, Renames);
        return Written(Target);
    };
    const auto Expected = [](const std::string &First, const std::string &Second) {
        return Written(MapOf(Ent(World, Box(0, First) + Box(32, Second) + Patch(64, First))));
    };
    EXPECT_EQ(Renamed({{TMask("__tb_empty"), "NULL"}}), Expected("NULL", "WALL"));
    EXPECT_EQ(Renamed({{TMask("*"), "X"}, {TMask("X"), "Y"}}), Expected("Y", "Y"));
    EXPECT_EQ(Renamed({{TMask("W*"), "X"}, {TMask("__TB_empty"), "WALL"}}), Expected("WALL", "X"));
    // A bad mask is reported even where no face would have tested it.
    TMapFile Empty = MapOf(Ent(World));
    EXPECT_THROW(RenameTextures(Empty, {{TMask("[a"), "X"}}), EBrixError);
}
