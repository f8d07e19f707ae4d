#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../testplatform.h"
#include "brixel/brixel.h"

namespace fs = std::filesystem;
using testplatform::Native;
using testplatform::OnWindows;
using testplatform::PerPlatform;

TEST(WildcardMatch, Patterns)
{
    struct Case
    {
        std::string Pattern;
        std::string Name;
        bool Match;
    };
    const Case Cases[] = {
        {"*.map", "a.map", true},
        {"*.map", ".map", true},
        {"*.map", "a.map.bak", false},
        // File names ignore letter case on Windows only.
        {"*.map", "a.MAP", OnWindows},
        {Native("ж.map"), Native("Ж.MAP"), OnWindows},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "abbc", false},
        {"?.map", Native("Ж.map"), true}, // one letter is one character, however many bytes
        {"??.map", Native("Ж.map"), false},
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
        SCOPED_TRACE(C.Pattern + " / " + C.Name);
        EXPECT_EQ(brix::WildcardMatch(C.Pattern, C.Name), C.Match);
    }
}

TEST(FindFiles, Directory)
{
    const fs::path Dir = fs::temp_directory_path() / ("brixel-findfiles-" + std::to_string(testplatform::ProcessId()));
    fs::remove_all(Dir);
    fs::create_directories(Dir / "sub.map");
    for (const char *Name : {"b.map", "a.map", "C.map", "c.txt", "ab.map"}) {
        std::ofstream(Dir / Name) << "x";
    }
    if (!OnWindows) {
        // Links to files count as files; links that lead nowhere do not.
        fs::create_symlink(Dir / "a.map", Dir / "link.map");
        fs::create_symlink(Dir / "missing", Dir / "dangling.map");
    }
    const std::string D = Dir.string() + "/";
    const std::string Native = Dir.string() + (OnWindows ? "\\" : "/");
    using TNames = std::vector<std::string>;

    struct Case
    {
        std::string Pattern;
        TNames Found;
    };
    const Case Cases[] = {
        {D + "*.map", PerPlatform<TNames>({D + "C.map", D + "a.map", D + "ab.map", D + "b.map", D + "link.map"},
                          {D + "C.map", D + "a.map", D + "ab.map", D + "b.map"})},
        {D + "?.map", {D + "C.map", D + "a.map", D + "b.map"}},
        // Windows matches without regard to case and gives each name as stored.
        {D + "*.MAP", PerPlatform<TNames>({}, {D + "C.map", D + "a.map", D + "ab.map", D + "b.map"})},
        {D + "c.MAP", PerPlatform<TNames>({}, {D + "C.map"})},
        {Native + "?b.map", {Native + "ab.map"}},
        {D + "a.map", {D + "a.map"}},
        {D + "sub.map", {}},
        {D + "s*", {}},
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
