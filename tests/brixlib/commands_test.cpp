// The commands called directly, as a tool built on the library calls them:
// maps made from text, results compared in their written form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "brixlib/commands.h"
#include "brixlib/mapfile.h"
#include "brixlib/messages.h"
#include "brixlib/numbers.h"
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
        bool RenameTargetNames = false;
    };
    const std::string Group = "classname=func_group|_tb_type=_tb_group|_tb_id=";
    const std::string Layer = "classname=func_group|_tb_type=_tb_layer|_tb_id=";
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
        // The additional map's highest number is 7: its 1 becomes 8, its 2
        // becomes 9; 3 and 7 clash with nothing. Members come before and
        // after their groups; group 3 nests in group 1; the link id is no
        // group's number.
        {"appended groups and layers whose number the result holds get new ones, and their members the new names",
            Ent(World) + Ent(Group + "1") + Ent(Layer + "2"),
            {Ent("classname=light|origin=0 0 0|_tb_group=1") +
                Ent(Group + "1|_tb_layer=2|_tb_linked_group_id=1", Box(0)) + Ent(Group + "3|_tb_group=1") +
                Ent(Layer + "2") + Ent("classname=light|origin=8 0 0|_tb_layer=2") + Ent(Group + "7") +
                Ent("classname=light|origin=16 0 0|_tb_group=7")},
            Ent(World) + Ent(Group + "1") + Ent(Layer + "2") + Ent("classname=light|origin=0 0 0|_tb_group=8") +
                Ent(Group + "8|_tb_layer=9|_tb_linked_group_id=1", Box(0)) + Ent(Group + "3|_tb_group=8") +
                Ent(Layer + "9") + Ent("classname=light|origin=8 0 0|_tb_layer=9") + Ent(Group + "7") +
                Ent("classname=light|origin=16 0 0|_tb_group=7")},
        {"a group merged by id keeps its number; one appended from the next map is numbered above both",
            Ent(World) + Ent(Group + "1|id=g", Box(0)),
            {Ent(Group + "1|id=g|_tb_name=other", Box(32)) + Ent(Group + "1"), Ent(Group + "01")},
            Ent(World) + Ent(Group + "1|id=g", Box(0) + Box(32)) + Ent(Group + "2") + Ent(Group + "3")},
        {"a number beyond 64 bits counts up all the same", Ent(World) + Ent(Layer + "18446744073709551615"),
            {Ent(Layer + "18446744073709551615") + Ent("classname=light|origin=0 0 0|_tb_layer=18446744073709551615")},
            Ent(World) + Ent(Layer + "18446744073709551615") + Ent(Layer + "18446744073709551616") +
                Ent("classname=light|origin=0 0 0|_tb_layer=18446744073709551616")},
        {"wad paths the result lacks are appended, letter case and slashes aside; no other worldspawn key is taken",
            Ent(World + "|wad=a.wad; sub\\b.wad"), {Ent(World + "|wad=A.WAD;sub/B.wad ; c.wad|message=B")},
            Ent(World + "|wad=a.wad; sub\\b.wad;c.wad")},
        {"a worldspawn without wad gets it last, each path once", Ent(World + "|message=A"),
            {Ent(World + "|wad=x.wad;X.wad"), Ent(World + "|wad=;"), Ent(World + "|wad=y.wad")},
            Ent(World + "|message=A|wad=x.wad;y.wad")},
        // "door": door_2 is the result's, door_3 the additional map's, so door_4.
        {"target names the result uses are renamed in the entities of the map that repeats them",
            Ent(World) + Ent("classname=trigger_once|target=door") + Ent("classname=func_door|targetname=door") +
                Ent("classname=info_null|targetname=door_2") + Ent("classname=func_door|id=d1|targetname=shared"),
            {Ent("classname=trigger_multiple|target=door|killtarget=door|message=door") +
                    Ent("classname=func_door|targetname=door") + Ent("classname=info_null|target=door_3") +
                    Ent("classname=multi_manager|targetname=mm|door=0.5|Door=1") +
                    Ent("classname=trigger_relay|targetname=Door|target=shared") +
                    Ent("classname=func_door|id=d1|targetname=shared") + Ent("classname=light|targetname=lamp"),
                Ent("classname=func_button|target=lamp") + Ent("classname=light|targetname=lamp")},
            Ent(World) + Ent("classname=trigger_once|target=door") + Ent("classname=func_door|targetname=door") +
                Ent("classname=info_null|targetname=door_2") + Ent("classname=func_door|id=d1|targetname=shared") +
                Ent("classname=trigger_multiple|target=door_4|killtarget=door_4|message=door") +
                Ent("classname=func_door|targetname=door_4") + Ent("classname=info_null|target=door_3") +
                Ent("classname=multi_manager|targetname=mm|door_4=0.5|Door=1") +
                Ent("classname=trigger_relay|targetname=Door|target=shared") + Ent("classname=light|targetname=lamp") +
                Ent("classname=func_button|target=lamp_2") + Ent("classname=light|targetname=lamp_2"),
            false, "", true},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TMapFile Source = MapOf(C.Source);
        TMapFileList AddMaps = ListOf(C.Added);
        TConcatOptions Options;
        Options.ReplaceTextures = C.ReplaceTextures;
        Options.RenameTargetNames = C.RenameTargetNames;
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

TEST(Commands, ConvertToValve)
{
    // Points whose plane normal is the row's (or, for the last, between the
    // ceiling and the east wall: the first of the two wins).
    struct Case
    {
        const char *Name;
        const char *Points;
        const char *Params;
        const char *Expected;
    };
    const Case Cases[] = {
        {"floor, offsets and scales kept", "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )", "8 -16 0 0.5 2",
            "[ 1 0 0 8 ] [ 0 -1 0 -16 ] 0 0.5 2"},
        {"floor, 90", "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )", "0 0 90 1 1", "[ 0 1 0 0 ] [ 1 0 0 0 ] 90 1 1"},
        {"ceiling, numbers in the project's form", "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 )", "0 0 0 1.000000 1.000000",
            "[ 1 0 0 0 ] [ 0 -1 0 0 ] 0 1 1"},
        {"west wall, 180", "( 0 0 0 ) ( 0 1 0 ) ( 0 0 1 )", "4 2 180 1 1", "[ 0 -1 0 4 ] [ 0 0 1 2 ] 180 1 1"},
        {"east wall, -90", "( 0 0 0 ) ( 0 0 1 ) ( 0 1 0 )", "0 0 -90 1 1", "[ 0 0 -1 0 ] [ 0 -1 0 0 ] -90 1 1"},
        {"south wall, 270", "( 0 0 0 ) ( 0 0 1 ) ( 1 0 0 )", "0 0 270 1 1", "[ 0 0 -1 0 ] [ -1 0 0 0 ] 270 1 1"},
        {"north wall, 45", "( 0 0 0 ) ( 1 0 0 ) ( 0 0 1 )", "0 0 45 1 1",
            "[ 0.70710678118654752 0 0.70710678118654752 0 ] [ 0.70710678118654752 0 -0.70710678118654752 0 ] 45 1 1"},
        {"Quake 2 surface numbers kept", "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )", "16 -8 90 0.5 2 1 64 300",
            "[ 0 1 0 16 ] [ 1 0 0 -8 ] 90 0.5 2 1 64 300"},
        {"a tie takes the first row", "( 0 0 0 ) ( 0 1 0 ) ( 1 0 -1 )", "0 0 0 1 1", "[ 1 0 0 0 ] [ 0 -1 0 0 ] 0 1 1"},
        {"the Valve form is left alone", "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )", "[ 0 0 1 3 ] [ 0 1 0 4 ] 0 1 1",
            "[ 0 0 1 3 ] [ 0 1 0 4 ] 0 1 1"},
        {"other parameters are left alone", "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )", "0 0 0 1", "0 0 0 1"},
    };
    // Numbers compare by value, to the last bits of a sine.
    const auto SameParams = [](std::string_view A, std::string_view B) {
        std::istringstream SA{std::string(A)}, SB{std::string(B)};
        std::string TA, TB;
        while (SA >> TA) {
            double VA = 0, VB = 0;
            if (!(SB >> TB) ||
                (TA != TB && !(TryStrToFloat(TA, VA) && TryStrToFloat(TB, VB) && std::abs(VA - VB) < 1e-15))) {
                return false;
            }
        }
        return !(SB >> TB);
    };
    std::string Faces;
    for (const Case &C : Cases) {
        Faces.append(C.Points).append(" T ").append(C.Params).append("\n");
    }
    TMapFile Map = MapOf("// Game: Quake\n// Format: Standard\n" + Ent(World + "|wad=a.wad", "{\n" + Faces + "}\n"));
    ConvertToValve(Map);
    const TSideList &Sides = Map[0].Brushes[0].SideList();
    ASSERT_EQ(Sides.size(), std::size(Cases));
    for (std::size_t I = 0; I < Sides.size(); ++I) {
        SCOPED_TRACE(Cases[I].Name);
        EXPECT_TRUE(SameParams(Sides[I].params, Cases[I].Expected)) << Sides[I].params;
    }
    EXPECT_EQ(Map[0].Props, (std::vector<TPooledText>{"classname", "wad", "mapversion"}));
    EXPECT_EQ(Map[0].PropValue("mapversion"), "220");
    EXPECT_EQ(Map.Header(), (std::vector<std::string>{"// Game: Quake", "// Format: Valve"}));
    TMapFile Versioned = MapOf(Ent(World + "|mapversion=100|message=M"));
    ConvertToValve(Versioned);
    EXPECT_EQ(Versioned[0].Values, (std::vector<std::string>{"worldspawn", "220", "M"}));
}
