// Extract compares every additional entity without identifier with the source
// entities without identifier; the search through candidates found by class
// name, spawn flags, origin and brush geometry must remove exactly what the
// comparison with every candidate removes.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testfiles.h"

#include "brixel/brixel.h"

namespace fs = std::filesystem;

namespace
{

std::string Face(int X, const char *Texture)
{
    const std::string P = std::to_string(X);
    return "( " + P + " 0 0 ) ( " + P + " 64 0 ) ( " + P + " 0 64 ) " + Texture + " 0 0 0 1 1";
}

/// A brush of one face: enough for comparing, which is all extract does.
std::string Brush(int X, const char *Texture = "WALL")
{
    return "{\r\n" + Face(X, Texture) + "\r\n}\r\n";
}

/// The written form of a map.
TEnt World(std::vector<std::string> Brushes = {})
{
    return {{{"classname", "worldspawn"}}, std::move(Brushes)};
}

TEnt Point(const char *Class, const char *Origin, const char *Flags = nullptr)
{
    TEnt E{{{"classname", Class}, {"origin", Origin}}, {}};
    if (Flags) {
        E.Props.push_back({"spawnflags", Flags});
    }
    return E;
}

TEnt Solid(const char *Class, std::vector<std::string> Brushes, const char *ID = nullptr)
{
    TEnt E{{{"classname", Class}}, std::move(Brushes)};
    if (ID) {
        E.Props.push_back({"id", ID});
    }
    return E;
}

} // namespace

TEST(Extract, FindsWhatEveryCandidateWouldFind)
{
    struct Case
    {
        const char *Name;
        std::vector<TEnt> Source, Additional, Expected;
    };
    const TEnt Light = Point("light", "1 2 3");
    const Case Cases[] = {
        {"every equal point entity goes, not only the first", {World(), Light, Light, Point("light", "9 9 9")}, {Light},
            {World(), Point("light", "9 9 9")}},
        {"origins compare as text", {World(), Light}, {Point("light", "1 2 3.0")}, {World(), Light}},
        {"spawn flags must agree", {World(), Light, Point("light", "1 2 3", "1")}, {Point("light", "1 2 3", "1")},
            {World(), Light}},
        {"a brush goes from every entity of the class",
            {World(), Solid("func_wall", {Brush(1), Brush(2)}), Solid("func_wall", {Brush(1)})},
            {Solid("func_wall", {Brush(1)})}, {World(), Solid("func_wall", {Brush(2)})}},
        {"only the first of two equal brushes of an entity",
            {World(), Solid("func_wall", {Brush(1), Brush(1), Brush(2)})}, {Solid("func_wall", {Brush(1)})},
            {World(), Solid("func_wall", {Brush(1), Brush(2)})}},
        {"the same brush twice finds the same first brush", {World(), Solid("func_wall", {Brush(1), Brush(1)})},
            {Solid("func_wall", {Brush(1), Brush(1)})}, {World(), Solid("func_wall", {Brush(1)})}},
        {"and so does a second additional entity", {World(), Solid("func_wall", {Brush(1), Brush(1)})},
            {Solid("func_wall", {Brush(1)}), Solid("func_wall", {Brush(1)})},
            {World(), Solid("func_wall", {Brush(1)})}},
        {"textures must agree", {World(), Solid("func_wall", {Brush(1, "WALL")})},
            {Solid("func_wall", {Brush(1, "SKY")})}, {World(), Solid("func_wall", {Brush(1, "WALL")})}},
        {"class names must agree", {World(), Solid("func_wall", {Brush(1)})}, {Solid("func_door", {Brush(1)})},
            {World(), Solid("func_wall", {Brush(1)})}},
        {"entities with ids are no candidates", {World(), Solid("func_wall", {Brush(1)}, "w1")},
            {Solid("func_wall", {Brush(1)})}, {World(), Solid("func_wall", {Brush(1)}, "w1")}},
        {"an id meets its own entity only",
            {World(), Solid("func_wall", {Brush(1)}), Solid("func_wall", {Brush(1)}, "w1")},
            {Solid("func_wall", {Brush(1)}, "w1")}, {World(), Solid("func_wall", {Brush(1)})}},
        {"a point entity does not meet a brush entity", {World(), Solid("light", {Brush(1)}), Light}, {Light},
            {World(), Solid("light", {Brush(1)})}},
        {"worldspawn brushes go, the worldspawn stays", {World({Brush(1), Brush(2)})}, {World({Brush(2), Brush(1)})},
            {World()}},
    };
    const fs::path Dir = fs::temp_directory_path() / "brix_extract_test";
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        std::ofstream(Dir / "src.map", std::ios::binary) << Map(C.Source);
        std::ofstream(Dir / "add.map", std::ios::binary) << Map(C.Additional);
        std::ostringstream Out;
        std::istringstream In;
        const int Status = brix::RunBrixel({"extract", (Dir / "src.map").string(), (Dir / "add.map").string(),
                                               "-dest:" + (Dir / "out.map").string(), "-y"},
            Out, In);
        EXPECT_EQ(Status, 0) << Out.str();
        EXPECT_EQ(ReadAll(Dir / "out.map"), Map(C.Expected));
    }
    fs::remove_all(Dir);
}
