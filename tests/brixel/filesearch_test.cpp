#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "brixel/brixel.h"

namespace fs = std::filesystem;

TEST(WildcardMatch, Patterns)
{
    struct Case
    {
        const char *Pattern;
        const char *Name;
        bool Match;
    };
    const Case Cases[] = {
        {"*.map", "a.map", true},
        {"*.map", ".map", true},
        {"*.map", "a.map.bak", false},
        {"*.map", "a.MAP", false}, // file names keep their case on this platform
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "abbc", false},
        {"?.map", "\xD0\x96.map", true}, // one Cyrillic letter is one character
        {"??.map", "\xD0\x96.map", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"**x", "abx", true},
        {"[ab].map", "[ab].map", true}, // brackets are plain characters in file patterns
        {"[ab].map", "a.map", false},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(std::string(C.Pattern) + " / " + C.Name);
        EXPECT_EQ(brix::WildcardMatch(C.Pattern, C.Name), C.Match);
    }
}

TEST(FindFiles, Directory)
{
    const fs::path Dir = fs::temp_directory_path() / ("brixel-findfiles-" + std::to_string(::getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir / "sub.map");
    for (const char *Name : {"b.map", "a.map", "B.map", "c.txt", "ab.map"}) {
        std::ofstream(Dir / Name) << "x";
    }
    fs::create_symlink(Dir / "a.map", Dir / "link.map");
    fs::create_symlink(Dir / "missing", Dir / "dangling.map");
    const std::string D = Dir.string() + "/";

    struct Case
    {
        std::string Pattern;
        std::vector<std::string> Found;
    };
    const Case Cases[] = {
        {D + "*.map", {D + "B.map", D + "a.map", D + "ab.map", D + "b.map", D + "link.map"}},
        {D + "?.map", {D + "B.map", D + "a.map", D + "b.map"}},
        {D + "a.map", {D + "a.map"}},
        {D + "sub.map", {}},
        {D + "nope.map", {}},
        {D + "nodir/*.map", {}},
        {D + "*/a.map", {}},
        {D, {}},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Pattern);
        EXPECT_EQ(brix::FindFiles(C.Pattern), C.Found);
    }
    fs::remove_all(Dir);
}
