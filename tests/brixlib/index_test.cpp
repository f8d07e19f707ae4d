// The lookups of brush lists and maps answer exactly what a scan in list
// order answers: the first match, with duplicates in the list, after items
// are appended, and after items are changed and the change reported.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "brixlib/mapfile.h"
#include "lookup.h"

using namespace brix;

namespace
{

/// A box brush of side Size at (X, Y, 0), every face textured Texture.
TBrush Box(double X, double Y, double Size, const std::string &Texture = "WALL")
{
    const double S = Size;
    const double Faces[6][9] = {
        {0, 0, 0, S, 0, 0, 0, S, 0},
        {0, 0, S, 0, S, S, S, 0, S},
        {0, 0, 0, 0, S, 0, 0, 0, S},
        {S, 0, 0, S, 0, S, S, S, 0},
        {0, 0, 0, 0, 0, S, S, 0, 0},
        {0, S, 0, S, S, 0, 0, S, S},
    };
    TBrush B;
    for (const auto &F : Faces) {
        TBrushSide Side;
        Side.p1 = {X + F[0], Y + F[1], F[2]};
        Side.p2 = {X + F[3], Y + F[4], F[5]};
        Side.p3 = {X + F[6], Y + F[7], F[8]};
        Side.texture = Texture;
        Side.params = "0 0 0 1 1";
        B.SideList().push_back(Side);
    }
    return B;
}

/// What FindAnalog must answer.
std::ptrdiff_t ScanBrushes(const TBrushList &List, const TBrush &B, bool cmpTexture)
{
    for (std::size_t I = 0; I < List.Count(); ++I) {
        if (List[I].Cmp(B, cmpTexture)) {
            return static_cast<std::ptrdiff_t>(I);
        }
    }
    return -1;
}

/// 20 different boxes, long enough for the list to be indexed.
TBrushList Boxes()
{
    TBrushList List;
    for (int I = 0; I < 20; ++I) {
        List.Add(Box(64.0 * I, 0, 32));
    }
    return List;
}

std::unique_ptr<TEntity> Entity(const std::vector<std::pair<std::string, std::string>> &Props, int Brushes = 0)
{
    auto E = std::make_unique<TEntity>();
    for (const auto &[K, V] : Props) {
        if (K == "classname") {
            E->SetWorldSpawn(V == "worldspawn");
        }
        E->Props.push_back(K);
        E->Values.push_back(V);
    }
    for (int I = 0; I < Brushes; ++I) {
        E->Brushes.Add(Box(I, 0, 8));
    }
    return E;
}

TEntity *ScanEntity(TMapFile &Map, std::string_view ID)
{
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        const TEntity &E = std::as_const(Map)[I];
        if (E.Indexed() && E.ID() == ID) {
            return &Map[I];
        }
    }
    return nullptr;
}

TEntity *ScanAnalog(TMapFile &Map, const TEntity &Ent)
{
    if (Ent.Indexed()) {
        return ScanEntity(Map, Ent.ID());
    }
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        const TEntity &E = std::as_const(Map)[I];
        if (E.PropValue("classname") == Ent.PropValue("classname") &&
            E.PropValue("spawnflags") == Ent.PropValue("spawnflags") &&
            (!E.Brushes.Empty() || E.PropValue("origin") == Ent.PropValue("origin"))) {
            return &Map[I];
        }
    }
    return nullptr;
}

void ChangedAll(const TMapFile &Map, TEntityLookup &Lookup)
{
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        Lookup.Changed(I);
    }
}

} // namespace

TEST(TBrushLookup, FindsTheFirstMatch)
{
    const TBrush Wall3 = Box(64.0 * 3, 0, 32);
    struct Case
    {
        const char *Name;
        std::function<void(TBrushList &, TBrushLookup &)> Change; ///< made after a first search built the index
        TBrush Query;
        bool cmpTexture;
        std::ptrdiff_t Expected;
    };
    const Case Cases[] = {
        {"unchanged", [](TBrushList &, TBrushLookup &) {}, Wall3, true, 3},
        {"a duplicate appended stays behind the first", [&](TBrushList &L, TBrushLookup &) { L.Add(Wall3); }, Wall3,
            true, 3},
        {"a new brush appended is found", [](TBrushList &L, TBrushLookup &) { L.Add(Box(-500, 0, 8)); },
            Box(-500, 0, 8), true, 20},
        {"unstored brushes count", [](TBrushList &L, TBrushLookup &) { L[3].SetIsStored(false); }, Wall3, true, 3},
        {"retextured in place, textures compared",
            [&](TBrushList &L, TBrushLookup &Lookup) {
                L.Add(Wall3);
                L[3].ReplaceTextures(Box(64.0 * 3, 0, 32, "SKY"));
                Lookup.Changed(3);
            },
            Wall3, true, 20},
        {"retextured in place, textures ignored",
            [&](TBrushList &L, TBrushLookup &Lookup) {
                L.Add(Wall3);
                L[3].ReplaceTextures(Box(64.0 * 3, 0, 32, "SKY"));
                Lookup.Changed(3);
            },
            Wall3, false, 3},
        {"a texture set face by face",
            [](TBrushList &L, TBrushLookup &Lookup) {
                L[7].Sides(2).texture = "SKY";
                Lookup.Changed(7);
            },
            [] {
                TBrush B = Box(64.0 * 7, 0, 32);
                B.Sides(2).texture = "SKY";
                return B;
            }(),
            true, 7},
        {"an earlier brush reshaped into the query",
            [&](TBrushList &L, TBrushLookup &Lookup) {
                L[1] = Wall3;
                Lookup.Changed(1);
            },
            Wall3, true, 1},
        {"the first copy reshaped away",
            [&](TBrushList &L, TBrushLookup &Lookup) {
                L.Add(Wall3);
                L[3].Sides(0).p1.x += 1;
                Lookup.Changed(3);
            },
            Wall3, true, 20},
        {"changed while iterating",
            [&](TBrushList &L, TBrushLookup &Lookup) {
                for (TBrush &B : L) {
                    B = Wall3;
                }
                for (std::size_t I = 0; I < L.Count(); ++I) {
                    Lookup.Changed(I);
                }
            },
            Wall3, true, 0},
        {"filled after it was added, as the loader does",
            [](TBrushList &L, TBrushLookup &) {
                TBrush &Added = L.Add(TBrush());
                Added = Box(-64, -64, 16);
            },
            Box(-64, -64, 16), true, 20},
        {"zero and negative zero are one number", [](TBrushList &L, TBrushLookup &) { L.Add(Box(-0.0, -0.0, 8)); },
            Box(0.0, 0.0, 8), true, 20},
        {"cleared", [](TBrushList &L, TBrushLookup &) { L.Clear(); }, Wall3, true, -1},
        {"replaced by a copy of another list",
            [](TBrushList &L, TBrushLookup &Lookup) {
                TBrushList Other;
                for (int I = 0; I < 20; ++I) {
                    Other.Add(Box(-1000.0 - I, 0, 4));
                }
                Other.Add(Box(64.0 * 3, 0, 32));
                EXPECT_EQ(TBrushLookup(Other).FindAnalog(Box(64.0 * 3, 0, 32), true), 20);
                L = Other;
                for (std::size_t I = 0; I < L.Count(); ++I) {
                    Lookup.Changed(I);
                }
            },
            Wall3, true, 20},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TBrushList List = Boxes();
        TBrushLookup Lookup(List);
        ASSERT_EQ(Lookup.FindAnalog(Wall3, true), 3);
        C.Change(List, Lookup);
        EXPECT_EQ(ScanBrushes(List, C.Query, C.cmpTexture), C.Expected) << "the case itself is wrong";
        EXPECT_EQ(List.FindAnalog(C.Query, C.cmpTexture), C.Expected);
        EXPECT_EQ(Lookup.FindAnalog(C.Query, C.cmpTexture), C.Expected);
    }
}

TEST(TBrushLookup, RandomChangesAgreeWithAScan)
{
    // Few shapes and two textures, so that the list is full of duplicates and
    // of brushes that match only when textures are ignored.
    std::mt19937 Random(20240601);
    auto Pick = [&](int N) { return static_cast<int>(Random() % static_cast<unsigned>(N)); };
    auto Shape = [&]() { return Box(16.0 * Pick(12), 0, 8, Pick(2) == 0 ? "WALL" : "SKY"); };
    TBrushList List;
    TBrushLookup Lookup(List);
    int Searches = 0;
    for (int Step = 0; Step < 4000; ++Step) {
        SCOPED_TRACE(Step);
        switch (Pick(8)) {
            case 0:
            case 1:
                List.Add(Shape());
                break;
            case 2:
                if (List.Count() > 0) {
                    const auto I = static_cast<std::size_t>(Pick(static_cast<int>(List.Count())));
                    List[I] = Shape();
                    Lookup.Changed(I);
                }
                break;
            case 3:
                if (List.Count() > 0) {
                    const TBrush Source = Shape();
                    const auto I = static_cast<std::size_t>(Pick(static_cast<int>(List.Count())));
                    List[I].ReplaceTextures(Source);
                    Lookup.Changed(I);
                }
                break;
            case 4:
                if (Pick(50) == 0) {
                    List.Clear();
                    Lookup = TBrushLookup(List);
                }
                break;
            default: {
                const TBrush Query = Shape();
                const bool cmpTexture = Pick(2) == 0;
                ASSERT_EQ(Lookup.FindAnalog(Query, cmpTexture), ScanBrushes(List, Query, cmpTexture));
                ++Searches;
            }
        }
    }
    EXPECT_GT(Searches, 1000);
}

TEST(TEntityLookup, FindsTheFirstMatch)
{
    using TProps = std::vector<std::pair<std::string, std::string>>;
    struct Case
    {
        const char *Name;
        std::function<void(TMapFile &, TEntityLookup &)> Change; ///< made after first searches built the indexes
        const char *ID;                                          ///< FindEntity(ID), or when null FindAnalog(Query)
        TProps Query;
        std::ptrdiff_t Expected; ///< position of the entity found, -1 for none
    };
    auto Nothing = [](TMapFile &, TEntityLookup &) {};
    const Case Cases[] = {
        {"the first of two equal ids", Nothing, "door", {}, 2},
        {"ids compare exactly", Nothing, "DOOR", {}, -1},
        {"an entity called worldspawn before the worldspawn", Nothing, "worldspawn", {}, 0},
        {"an empty id is no id", Nothing, "", {}, -1},
        {"a later entity takes the id", [](TMapFile &M, TEntityLookup &L) { M[4].SetID("door"), L.Changed(4); }, "door",
            {}, 2},
        {"an earlier entity takes the id", [](TMapFile &M, TEntityLookup &L) { M[0].SetID("door"), L.Changed(0); },
            "door", {}, 0},
        {"the first one loses its id", [](TMapFile &M, TEntityLookup &L) { M[2].RemoveID(), L.Changed(2); }, "door", {},
            3},
        {"an id edited in the property list",
            [](TMapFile &M, TEntityLookup &L) { M[0].Values[1] = "gate", L.Changed(0); }, "worldspawn", {}, 1},
        {"changed through the entity found",
            [](TMapFile &M, TEntityLookup &L) { M.FindEntity("door")->SetID("gate"), L.Changed(2); }, "door", {}, 3},
        {"the new id of the entity found",
            [](TMapFile &M, TEntityLookup &L) { M.FindEntity("door")->SetID("lift"), L.Changed(2); }, "lift", {}, 2},
        {"appended duplicates stay behind",
            [](TMapFile &M, TEntityLookup &) {
                M.Add(Entity({{"id", "door"}}));
            },
            "door", {}, 2},
        {"an appended id is found",
            [](TMapFile &M, TEntityLookup &) {
                M.Add(Entity({{"id", "new"}}));
            },
            "new", {}, 6},
        {"ids given by ReIndex", [](TMapFile &M, TEntityLookup &L) { M.ReIndex(), ChangedAll(M, L); }, "x.map#1", {},
            4},
        {"ids removed by RemoveID", [](TMapFile &M, TEntityLookup &L) { M.RemoveID(), ChangedAll(M, L); }, "door", {},
            -1},
        {"repeated ids removed by RemoveDupIDs",
            [](TMapFile &M, TEntityLookup &L) { M.RemoveDupIDs(), ChangedAll(M, L); }, "door", {}, 2},
        {"cleared", [](TMapFile &M, TEntityLookup &L) { M.Clear(), L = TEntityLookup(M); }, "door", {}, -1},
        {"an indexed entity by its id", Nothing, nullptr, {{"id", "door"}}, 2},
        {"an additional worldspawn meets the first entity called so", Nothing, nullptr, {{"classname", "worldspawn"}},
            0},
        {"a point entity by its origin text", Nothing, nullptr, {{"classname", "light"}, {"origin", "1 2 3"}}, 5},
        {"an origin written otherwise", Nothing, nullptr, {{"classname", "light"}, {"origin", "1 2 3.0"}}, -1},
        {"spawn flags must agree", Nothing, nullptr, {{"classname", "light"}, {"spawnflags", "1"}, {"origin", "1 2 3"}},
            -1},
        {"a point entity that gains a brush matches by class",
            [](TMapFile &M, TEntityLookup &L) {
                M.FindAnalog(*Entity({{"classname", "light"}, {"origin", "1 2 3"}}))->Brushes.Add(Box(0, 0, 8));
                L.Changed(5);
            },
            nullptr, {{"classname", "light"}, {"origin", "9 9 9"}}, 5},
        {"an appended brush entity matches whatever its origin",
            [](TMapFile &M, TEntityLookup &) {
                M.Add(Entity({{"classname", "light"}}, 1));
            },
            nullptr, {{"classname", "light"}, {"origin", "9 9 9"}}, 6},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TMapFile Map("dir/x.map");
        Map.Add(Entity({{"classname", "info_null"}, {"id", "worldspawn"}}));
        Map.Add(Entity({{"classname", "worldspawn"}}, 2));
        Map.Add(Entity({{"classname", "func_door"}, {"id", "door"}}, 1));
        Map.Add(Entity({{"classname", "func_door"}, {"id", "door"}}, 1));
        Map.Add(Entity({{"classname", "light"}, {"id", ""}, {"origin", "0 0 0"}}));
        Map.Add(Entity({{"classname", "light"}, {"origin", "1 2 3"}}));
        TEntityLookup Lookup(Map);
        ASSERT_EQ(Lookup.FindEntity("door"), 2);
        ASSERT_EQ(Lookup.FindAnalog(*Entity({{"classname", "nothing"}})), -1);
        C.Change(Map, Lookup);
        const auto Query = Entity(C.Query);
        TEntity *const Scanned = C.ID ? ScanEntity(Map, C.ID) : ScanAnalog(Map, *Query);
        TEntity *const Found = C.ID ? Map.FindEntity(C.ID) : Map.FindAnalog(*Query);
        TEntity *const Expected = C.Expected < 0 ? nullptr : &Map[static_cast<std::size_t>(C.Expected)];
        EXPECT_EQ(Scanned, Expected) << "the case itself is wrong";
        EXPECT_EQ(Found, Expected);
        EXPECT_EQ(C.ID ? Lookup.FindEntity(C.ID) : Lookup.FindAnalog(*Query), C.Expected);
    }
}

TEST(TEntityLookup, RandomChangesAgreeWithAScan)
{
    std::mt19937 Random(7);
    auto Pick = [&](int N) { return static_cast<int>(Random() % static_cast<unsigned>(N)); };
    const std::string Classes[] = {"light", "func_door", "worldspawn"};
    const std::string Ids[] = {"", "a", "b", "A", "worldspawn"};
    const std::string Origins[] = {"0 0 0", "1 2 3", "1 2 3.0"};
    auto RandomEntity = [&]() {
        auto E = Entity({{"classname", Classes[Pick(3)]}, {"origin", Origins[Pick(3)]}}, Pick(3) == 0 ? 1 : 0);
        if (Pick(3) != 0) {
            E->SetPropValue("id", Ids[Pick(5)]);
        }
        if (Pick(4) == 0) {
            E->SetPropValue("spawnflags", "1");
        }
        return E;
    };
    TMapFile Map("x.map");
    TEntityLookup Lookup(Map);
    int Searches = 0;
    for (int Step = 0; Step < 4000; ++Step) {
        SCOPED_TRACE(Step);
        const auto Any = [&]() { return static_cast<std::size_t>(Pick(static_cast<int>(Map.Count()))); };
        switch (Pick(9)) {
            case 0:
            case 1:
                Map.Add(RandomEntity());
                break;
            case 2:
                if (Map.Count() > 0) {
                    const std::size_t I = Any();
                    Map[I].SetPropValue("id", Ids[Pick(5)]);
                    Lookup.Changed(I);
                }
                break;
            case 3:
                if (Map.Count() > 0) {
                    const std::size_t I = Any();
                    TEntity &E = Map[I];
                    E.SetPropValue("classname", Classes[Pick(3)]);
                    E.SetWorldSpawn(E.PropValue("classname") == "worldspawn");
                    Lookup.Changed(I);
                }
                break;
            case 4:
                if (Map.Count() > 0) {
                    const std::size_t I = Any();
                    Map[I].SetPropValue("origin", Origins[Pick(3)]);
                    Lookup.Changed(I);
                }
                break;
            case 5: {
                const auto Query = RandomEntity();
                if (const std::ptrdiff_t Found = Lookup.FindAnalog(*Query); Found >= 0 && Pick(2) == 0) {
                    Map[static_cast<std::size_t>(Found)].Brushes.Add(Box(0, 0, 8)); // a change through the entity found
                    Lookup.Changed(static_cast<std::size_t>(Found));
                }
                break;
            }
            default: {
                const auto Query = RandomEntity();
                const auto Position = [&](const TEntity *E) {
                    for (std::size_t I = 0; I < Map.Count(); ++I) {
                        if (&Map[I] == E) {
                            return static_cast<std::ptrdiff_t>(I);
                        }
                    }
                    return std::ptrdiff_t(-1);
                };
                ASSERT_EQ(Lookup.FindAnalog(*Query), Position(ScanAnalog(Map, *Query)));
                const std::string &ID = Ids[Pick(5)];
                ASSERT_EQ(Lookup.FindEntity(ID), Position(ScanEntity(Map, ID)));
                ++Searches;
            }
        }
    }
    EXPECT_GT(Searches, 1000);
}
