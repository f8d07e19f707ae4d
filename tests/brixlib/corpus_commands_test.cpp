// The real maps of the corpus against their own written copies: a written map
// must hold exactly what the original holds, so extract finds all of it and
// concat adds none of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "brixlib/commands.h"
#include "brixlib/numbers.h"
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
        TCommandStats WholeStats;
        Extract(Rest, Original, Copies, WholeStats);
        // Read in pieces against the same copy, the source loses the same.
        TExtractStream Extracting(Copies);
        TCommandStats Stats;
        TLineWriter Streamed;
        std::string Error;
        const auto Process = [&](TEntity &E, bool Whole) {
            if (!Whole && (E.Brushes.Empty() || !E.WorldSpawn())) {
                return false;
            }
            E.SetIsStored(Extracting.Apply(E, Whole, Stats) && E.IsStored());
            return true;
        };
        EXPECT_TRUE(TMapStream().Run(Path.string(), Streamed, Process, Error, 1000));
        EXPECT_TRUE(Streamed.Text() == Written(Rest));
        EXPECT_EQ(Stats.EntitiesLeftOut, WholeStats.EntitiesLeftOut);
        EXPECT_EQ(Stats.BrushesLeftOut, WholeStats.BrushesLeftOut);
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

TEST(Corpus, ConcatReadInPiecesWritesWhatConcatWrites)
{
    const std::vector<fs::path> Maps = CorpusMaps();
    if (Maps.size() < 3) {
        GTEST_SKIP() << "no map corpus at " << BRIX_CORPUS_DIR;
    }
    struct TRow
    {
        bool Rename;
        const char *NonUnique;
    };
    // Each map with the next two (their worldspawns, groups, layers and target
    // names meet), and with its own copy given ids (every entity merges).
    for (const TRow &Row : {TRow{false, ""}, TRow{true, "worldspawn"}}) {
        TConcatOptions Options;
        Options.RenameTargetNames = Row.Rename;
        if (*Row.NonUnique != '\0') {
            Options.AddNonUniqueId(Row.NonUnique);
        }
        for (std::size_t I = 0; I < Maps.size(); ++I) {
            const fs::path &Path = Maps[I];
            SCOPED_TRACE(Path.filename().string() + (Row.Rename ? " -rntn" : ""));
            TMapFile WithIds("ids.map");
            TMapFile Original = Load(Path);
            TMapFileList None;
            MakeIds(WithIds, Original, None);
            const std::string IdText = Written(WithIds);
            const auto AddMaps = [&] {
                TMapFileList List;
                for (const fs::path &Other : {Maps[(I + 1) % Maps.size()], Maps[(I + 2) % Maps.size()]}) {
                    List.Add(std::make_unique<TMapFile>(Load(Other)));
                }
                List.Add(std::make_unique<TMapFile>(Load(Path, IdText)));
                return List;
            };
            TMapFileList InMemory = AddMaps();
            TMapFile Source = Load(Path);
            TMapFile Dest("dest.map");
            TCommandStats WholeStats;
            Concat(Dest, Source, InMemory, Options, WholeStats);

            TMapFileList Added = AddMaps();
            TConcatStream Concatenating(Added, Options);
            TCommandStats Stats;
            TLineWriter Streamed;
            std::string Error;
            const TMapStream::TProcess Process = [&](TEntity &E, bool Whole) {
                if (!Whole && E.Brushes.Empty()) {
                    return false; // properties may still come
                }
                Concatenating.Apply(E, Whole, Stats);
                return true;
            };
            TMapStream Stream;
            EXPECT_TRUE(Stream.Run(Path.string(), Streamed, Process, Error, 1000));
            const TMapStream::TProcess Keep = [](TEntity &, bool) { return true; };
            Concatenating.Finish([&](TEntity &E) { Stream.Append(E, Streamed, Keep); }, Stats);
            EXPECT_TRUE(Streamed.Text() == Written(Dest));
            EXPECT_EQ(Stats.BrushesAdded, WholeStats.BrushesAdded);
            EXPECT_EQ(Stats.BrushesThere, WholeStats.BrushesThere);
            EXPECT_EQ(Stats.EntitiesAppended, WholeStats.EntitiesAppended);
            EXPECT_EQ(Stats.EntitiesMerged, WholeStats.EntitiesMerged);
        }
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

// --- maps by different authors ---------------------------------------------------

namespace
{

/// The corpus maps of these names; empty when one is missing.
std::vector<TMapFile> LoadAll(const std::vector<std::string> &Names)
{
    std::vector<TMapFile> Maps;
    for (const std::string &Name : Names) {
        const fs::path Path = fs::path(BRIX_CORPUS_DIR) / Name;
        if (!fs::is_regular_file(Path)) {
            return {};
        }
        Maps.push_back(Load(Path));
    }
    return Maps;
}

/// Concat of the first map with the others.
TMapFile ConcatAll(std::vector<TMapFile> &&Maps, const TConcatOptions &Options = {})
{
    TMapFileList Added;
    for (std::size_t M = 1; M < Maps.size(); ++M) {
        Added.Add(std::make_unique<TMapFile>(std::move(Maps[M])));
    }
    TMapFile Dest("dest.map");
    Concat(Dest, Maps[0], Added, Options);
    return Dest;
}

using TLinks = std::set<std::pair<std::size_t, std::size_t>>;

/// Every link from an entity's target key to an entity whose "targetname" it
/// names, both given as Position(index in Map).
template <class TPosition> TLinks Links(const TMapFile &Map, TPosition Position)
{
    const std::set<std::string> Keys = {
        "target", "killtarget", "target2", "target3", "target4", "deathtarget", "pathtarget", "combattarget"};
    std::map<std::string, std::vector<std::size_t>> Named;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        for (std::size_t P = 0; P < Map[I].Props.size(); ++P) {
            if (Map[I].Props[P] == "targetname") {
                Named[Map[I].Values[P]].push_back(Position(I));
            }
        }
    }
    TLinks Result;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        for (std::size_t P = 0; P < Map[I].Props.size(); ++P) {
            if (Keys.count(Map[I].Props[P]) != 0) {
                for (const std::size_t J : Named[Map[I].Values[P]]) {
                    Result.insert({Position(I), J});
                }
            }
        }
    }
    return Result;
}

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

TEST(Corpus, TargetNamesOfTwoMapsStayApart)
{
    const std::vector<TMapFile> Maps = LoadAll({"e1m1.map", "e3m2.map"});
    if (Maps.empty()) {
        GTEST_SKIP() << "no e1m1.map and e3m2.map in " << BRIX_CORPUS_DIR;
    }
    // The result holds e1m1's entities, then e3m2's after its worldspawn.
    const std::size_t First = Maps[0].Count();
    ASSERT_TRUE(Maps[1][0].WorldSpawn());
    TLinks Expected = Links(Maps[0], [](std::size_t I) { return I; });
    const TLinks Second = Links(Maps[1], [First](std::size_t I) { return I == 0 ? 0 : First + I - 1; });
    Expected.insert(Second.begin(), Second.end());

    const auto Merged = [](bool Rename) {
        TConcatOptions Options;
        Options.RenameTargetNames = Rename;
        return Links(ConcatAll(LoadAll({"e1m1.map", "e3m2.map"}), Options), [](std::size_t I) { return I; });
    };
    // The maps share names: merged as they are, triggers reach the other map.
    EXPECT_TRUE(Merged(false) != Expected);
    EXPECT_TRUE(Merged(true) == Expected);
}

TEST(Corpus, TrenchBroomGroupsOfThreeMapsStayApart)
{
    std::vector<TMapFile> Maps = LoadAll({"e3m4.map", "light_general.map", "q1_tjunc_matrix.map"});
    if (Maps.empty()) {
        GTEST_SKIP() << "no TrenchBroom maps in " << BRIX_CORPUS_DIR;
    }
    const auto IsGroupOrLayer = [](const TEntity &E) {
        return E.PropValue("_tb_type") == "_tb_group" || E.PropValue("_tb_type") == "_tb_layer";
    };
    // Each entity is marked with its map; the maps' numbers clash.
    std::map<std::string, std::set<std::size_t>> MapsOfId;
    for (std::size_t M = 0; M < Maps.size(); ++M) {
        for (std::size_t I = 0; I < Maps[M].Count(); ++I) {
            Maps[M][I].SetPropValue("origin_map", std::to_string(M));
            if (IsGroupOrLayer(Maps[M][I])) {
                MapsOfId[Maps[M][I].PropValue("_tb_id")].insert(M);
            }
        }
    }
    EXPECT_TRUE(std::any_of(MapsOfId.begin(), MapsOfId.end(), [](const auto &Id) { return Id.second.size() > 1; }));

    TMapFile Dest = ConcatAll(std::move(Maps));
    std::map<std::string, const TEntity *> ById;
    for (std::size_t I = 0; I < Dest.Count(); ++I) {
        if (IsGroupOrLayer(Dest[I])) {
            EXPECT_TRUE(ById.emplace(Dest[I].PropValue("_tb_id"), &Dest[I]).second)
                << "_tb_id " << Dest[I].PropValue("_tb_id") << " twice";
        }
    }
    std::size_t References = 0;
    for (std::size_t I = 0; I < Dest.Count(); ++I) {
        for (const char *Key : {"_tb_group", "_tb_layer"}) {
            if (!Dest[I].PropExists(Key)) {
                continue;
            }
            ++References;
            const auto It = ById.find(Dest[I].PropValue(Key));
            ASSERT_TRUE(It != ById.end()) << "entity " << I << " names no group: " << Dest[I].PropValue(Key);
            EXPECT_EQ(It->second->PropValue("_tb_type"), Key);
            EXPECT_EQ(It->second->PropValue("origin_map"), Dest[I].PropValue("origin_map")) << "entity " << I;
        }
    }
    EXPECT_GT(References, 0u);

    // The merge mixes both face forms, which the editor cannot open; -valve
    // leaves one.
    ConvertToValve(Dest);
    for (std::size_t I = 0; I < Dest.Count(); ++I) {
        for (const TBrush &B : Dest[I].Brushes) {
            for (const TBrushSide &Side : B.SideList()) {
                ASSERT_EQ(Side.params.str().substr(0, 2), "[ ") << "entity " << I << ": " << Side.ToString();
            }
        }
    }
}

TEST(Corpus, HalfLifeTextureListsJoin)
{
    const std::vector<TMapFile> Maps = LoadAll({"hl_basic.map", "hl_currents.map"});
    if (Maps.empty()) {
        GTEST_SKIP() << "no Half-Life maps in " << BRIX_CORPUS_DIR;
    }
    EXPECT_EQ(Maps[0][0].PropValue("wad"), "deprecated/hlwad.wad");
    const TMapFile Dest = ConcatAll(LoadAll({"hl_basic.map", "hl_currents.map"}));
    EXPECT_EQ(Dest[0].PropValue("wad"), "deprecated/hlwad.wad;textures/hl/hl_currents.wad");
}

TEST(Corpus, ValveFormOfAStandardMap)
{
    std::vector<TMapFile> Maps = LoadAll({"dm6.map"});
    if (Maps.empty()) {
        GTEST_SKIP() << "no dm6.map in " << BRIX_CORPUS_DIR;
    }
    TMapFile &Map = Maps[0];
    ConvertToValve(Map);
    // The axes of rot 0 on a face whose normal lies along x, y or z.
    const std::string Axes[3] = {"0 1 0 0 0 -1", "1 0 0 0 0 -1", "1 0 0 0 -1 0"};
    std::size_t Faces = 0, Aligned = 0;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        for (TBrush &B : Map[I].Brushes) {
            for (TBrushSide &Side : B.SideList()) {
                SCOPED_TRACE(Side.ToString());
                ++Faces;
                // "[ ux uy uz xoff ] [ vx vy vz yoff ] rot xscale yscale"
                std::istringstream In(Side.params);
                std::vector<std::string> T;
                for (std::string Word; In >> Word;) {
                    T.push_back(Word);
                }
                ASSERT_EQ(T.size(), 15u);
                ASSERT_TRUE(T[0] == "[" && T[5] == "]" && T[6] == "[" && T[11] == "]");
                const TPlane Pl = Side.Plane();
                const int Zeros = (Pl.A == 0) + (Pl.B == 0) + (Pl.C == 0);
                if (Zeros == 2 && StrToFloat(T[12]) == 0) {
                    ++Aligned;
                    const std::size_t Axis = Pl.A != 0 ? 0 : (Pl.B != 0 ? 1 : 2);
                    EXPECT_EQ(T[1] + " " + T[2] + " " + T[3] + " " + T[7] + " " + T[8] + " " + T[9], Axes[Axis]);
                }
            }
        }
    }
    EXPECT_GT(Aligned, 0u);
    EXPECT_GT(Faces, Aligned);
    EXPECT_EQ(Map[0].PropValue("mapversion"), "220");
}

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
