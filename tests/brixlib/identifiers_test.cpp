#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../testplatform.h"
#include "brixlib/mapfile.h"

using namespace brix;

namespace
{

/// A map of one worldspawn followed by entities with the given "id" values;
/// "-" stands for an entity without the key.
TMapFile MakeMap(const std::string &FileName, const std::vector<std::string> &IDs)
{
    TMapFile Map(FileName);
    auto World = std::make_unique<TEntity>();
    World->SetPropValue("classname", "worldspawn");
    World->SetWorldSpawn(true);
    Map.Add(std::move(World));
    for (const std::string &ID : IDs) {
        auto Ent = std::make_unique<TEntity>();
        Ent->SetPropValue("classname", "light");
        if (ID != "-") {
            Ent->SetPropValue("id", ID);
        }
        Map.Add(std::move(Ent));
    }
    return Map;
}

/// The "id" values after the worldspawn, "-" for none, and the worldspawn's own keys count.
std::vector<std::string> IDsOf(const TMapFile &Map)
{
    std::vector<std::string> Out;
    for (std::size_t I = 1; I < Map.Count(); ++I) {
        Out.push_back(Map[I].PropExists("id") ? Map[I].PropValue("id") : "-");
    }
    return Out;
}

} // namespace

TEST(TMapFile, ReIndex)
{
    struct Case
    {
        const char *FileName;
        std::vector<std::string> Before, After;
        bool NeedSave;
    };
    const Case Cases[] = {
        {"e.map", {"a#3", "-", "other.map#7", "-"}, {"a#3", "e.map#8", "other.map#7", "e.map#9"}, true},
        {"maps/sub\\e1.map", {"x#1a", "-", "y#", "z", "q#007"}, {"x#1a", "e1.map#8", "y#", "z", "q#007"}, true},
        {"e.map", {"", "-", "#2#5"}, {"e.map#1", "e.map#2", "#2#5"}, true},
        {"e.map", {"a", "b#4"}, {"a", "b#4"}, false},
        {"e.map", {"x#2147483646", "-"}, {"x#2147483646", "e.map#2147483647"}, true},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.FileName + (" " + C.Before[0]));
        TMapFile Map = MakeMap(C.FileName, C.Before);
        Map.ReIndex();
        EXPECT_EQ(IDsOf(Map), C.After);
        EXPECT_EQ(Map.NeedSave(), C.NeedSave);
        EXPECT_FALSE(Map[0].PropExists("id"));
    }
}

TEST(TMapFile, ReIndexRejectsHugeNumbersBeforeChangingAnything)
{
    struct Case
    {
        std::vector<std::string> IDs;
        const char *Error;
    };
    const Case Cases[] = {
        {{"-", "a#2147483648"}, "''2147483648'' is not a valid integer value"},
        {{"-", "b#1", "a#99999999999999999999"}, "''99999999999999999999'' is not a valid integer value"},
        // A number past the largest would be refused by the next run.
        {{"x#2147483647", "-"}, "No free identifier number left in e.map"},
        {{"-", "x#2147483646", "-"}, "No free identifier number left in e.map"},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Error);
        TMapFile Map = MakeMap("e.map", C.IDs);
        try {
            Map.ReIndex();
            ADD_FAILURE() << "no error raised";
        } catch (const EBrixError &E) {
            EXPECT_STREQ(E.what(), C.Error);
        }
        EXPECT_EQ(IDsOf(Map), C.IDs);
        EXPECT_FALSE(Map.NeedSave());
    }
}

TEST(TMapFile, RemoveIDAndRemoveDupIDs)
{
    struct Case
    {
        bool Dups; // RemoveDupIDs, else RemoveID
        bool WorldID;
        std::vector<std::string> Before, After;
        bool WorldIDAfter, NeedSave;
    };
    using testplatform::Native;
    const std::string Dverj = Native("\xD0\x94\xD0\xB2\xD0\xB5\xD1\x80\xD1\x8C");
    const Case Cases[] = {
        {false, true, {"a", "-", ""}, {"-", "-", "-"}, false, true},
        {false, false, {"-", "-"}, {"-", "-"}, false, false},
        {true, false, {"Door", "dOOR", "-", "", "door", "x"}, {"Door", "-", "-", "", "-", "x"}, false, true},
        // Дверь / дверь, as the program holds them (the ANSI code page on Windows)
        {true, false, {Dverj, Native("\xD0\xB4\xD0\xB2\xD0\xB5\xD1\x80\xD1\x8C")}, {Dverj, "-"}, false, true},
        {true, false, {"WorldSpawn", "b"}, {"-", "b"}, false, true},
        {true, false, {"a", "b"}, {"a", "b"}, false, false},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Before[0]);
        TMapFile Map = MakeMap("e.map", C.Before);
        if (C.WorldID) {
            Map[0].SetPropValue("id", "w");
        }
        if (C.Dups) {
            Map.RemoveDupIDs();
        } else {
            Map.RemoveID();
        }
        EXPECT_EQ(IDsOf(Map), C.After);
        EXPECT_EQ(Map[0].PropExists("id"), C.WorldIDAfter);
        EXPECT_EQ(Map.NeedSave(), C.NeedSave);
    }
}

TEST(TMapFile, RemoveDupIDsWhenAnEntityBeforeTheWorldspawnClaimsItsName)
{
    TMapFile Map;
    auto First = std::make_unique<TEntity>();
    First->SetPropValue("id", "WORLDSPAWN");
    Map.Add(std::move(First));
    auto World = std::make_unique<TEntity>();
    World->SetWorldSpawn(true);
    World->SetPropValue("id", "kept?");
    Map.Add(std::move(World));
    Map.RemoveDupIDs();
    EXPECT_TRUE(Map.NeedSave());
    EXPECT_EQ(Map[0].PropValue("id"), "WORLDSPAWN");
    EXPECT_FALSE(Map[1].PropExists("id"));
}
