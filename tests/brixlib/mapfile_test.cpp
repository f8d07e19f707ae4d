#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../testplatform.h"
#include "brixlib/mapfile.h"
#include "written.h"

using namespace brix;
namespace fs = std::filesystem;

namespace
{

template <std::size_t N> std::string Bytes(const char (&S)[N])
{
    return std::string(S, N - 1);
}

std::string ReadAll(const fs::path &P)
{
    std::ifstream F(P, std::ios::binary);
    return {std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>()};
}

/// A fresh folder for the test's files; removed, and the switches reset, at the end.
struct TTempDir
{
    TTempDir()
    {
        Dir = fs::temp_directory_path() /
              ("brix_mapfile_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    ~TTempDir()
    {
        std::error_code Ec;
        fs::remove_all(Dir, Ec);
        ResetSwitches();
    }
    fs::path Dir;
};

} // namespace

TEST(TMapFile, LoadsAndWritesNormalisedText)
{
    struct Case
    {
        std::string_view Text;
        const char *Error;
        std::size_t Count;
        const char *Output;
        bool OtherText; ///< outside entity blocks: no map when it has no entity
    };
    const std::string WithNul = Bytes("{\n}\0{\n}\n"); // the text ends at its NUL
    const Case Cases[] = {
        {"// only\n\n  // comments\n", "", 0, "// only\r\n// comments\r\n\r\n", false},
        {"junk }\n}\n\"a\" \"b\"\n{\r\n \"classname\"\t\"worldspawn\" \r\n// c\r\n}\r\nmore", "", 1,
            "\r\n// entity 0\r\n{\r\n\"classname\" \"worldspawn\"\r\n}\r\n", true},
        {"{\n}\n{\n\"a\" \"1\"\n}\n", "", 2, "\r\n// entity 0\r\n{\r\n}\r\n// entity 1\r\n{\r\n\"a\" \"1\"\r\n}\r\n",
            false},
        {"{\n\"a\" \"1\"\n", "Unexpected end of file", 1, "\r\n// entity 0\r\n{\r\n\"a\" \"1\"\r\n}\r\n", false},
        {"{\n}\n{\n\"a\"\n}\n{\n}\n", "'\"' expected", 2, "\r\n// entity 0\r\n{\r\n}\r\n// entity 1\r\n{\r\n}\r\n",
            false},
        {WithNul, "", 1, "\r\n// entity 0\r\n{\r\n}\r\n", false},
        {"  Notes about the level\n", "", 0, "\r\n", true},
        {"}\n", "", 0, "\r\n", true},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Text);
        TMapFile Map("x.map");
        Map.Add(std::make_unique<TEntity>()); // replaced by the load
        std::string Error;
        Map.LoadFromText(C.Text, Error);
        EXPECT_EQ(Error, C.Error);
        EXPECT_EQ(Map.Count(), C.Count);
        EXPECT_EQ(Written(Map), C.Output);
        EXPECT_EQ(Map.HoldsOtherText(), C.OtherText);
    }
}

TEST(TMapFile, WriterSkipsUnstoredAndEmptiedBrushEntities)
{
    const char *const Text = "{\n\"classname\" \"worldspawn\"\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) w 0\n}\n}\n"
                             "{\n\"classname\" \"func_door\"\n{\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) d 0\n}\n}\n"
                             "{\n\"classname\" \"light\"\n}\n";
    struct Case
    {
        bool WorldBrush, DoorBrush, DoorStored, LightStored;
        std::string Output;
    };
    const std::string World = "{\r\n\"classname\" \"worldspawn\"\r\n}\r\n";
    const std::string WorldBrush = "{\r\n\"classname\" \"worldspawn\"\r\n// brush 0\r\n{\r\n"
                                   "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) w 0\r\n}\r\n}\r\n";
    const std::string Door = "{\r\n\"classname\" \"func_door\"\r\n// brush 0\r\n{\r\n"
                             "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) d 0\r\n}\r\n}\r\n";
    const std::string Light = "{\r\n\"classname\" \"light\"\r\n}\r\n";
    const Case Cases[] = {
        {false, false, true, true, "\r\n// entity 0\r\n" + World + "// entity 1\r\n" + Light},
        {false, true, false, true, "\r\n// entity 0\r\n" + World + "// entity 1\r\n" + Light},
        {false, false, false, false, "\r\n// entity 0\r\n" + World},
        {true, true, true, false, "\r\n// entity 0\r\n" + WorldBrush + "// entity 1\r\n" + Door},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Output);
        TMapFile Map;
        std::string Error;
        Map.LoadFromText(Text, Error);
        ASSERT_EQ(Error, "");
        Map[0].Brushes[0].SetIsStored(C.WorldBrush);
        Map[1].Brushes[0].SetIsStored(C.DoorBrush);
        Map[1].SetIsStored(C.DoorStored);
        Map[2].SetIsStored(C.LightStored);
        EXPECT_EQ(Written(Map), C.Output);
    }
    TMapFile Map;
    std::string Error;
    Map.LoadFromText(Text, Error);
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        Map[I].SetIsStored(false);
    }
    EXPECT_EQ(Written(Map), "\r\n");
}

TEST(TMapFile, SaveAsksBeforeOverwriting)
{
    const TTempDir Temp;
    const fs::path &Dir = Temp.Dir;
    struct Case
    {
        const char *Answer;
        bool Confirm, Exists, Written;
        int Questions;
    };
    const Case Cases[] = {
        {"y", true, true, true, 1},
        {"Y\n", true, true, true, 1},
        {"n", true, true, false, 1},
        {"N", true, true, false, 1},
        {"xy", true, true, true, 2},
        {"q?n", true, true, false, 3},
        {"\r\n\ny", true, true, true, 1},
        {"", true, true, false, 1},
        {"x", true, true, false, 2},
        {"", false, true, true, 0},
        {"", true, false, true, 0},
    };
    const fs::path File = Dir / "out.map";
    const std::string Question = "File \"" + File.string() + "\" already exists. Rewrite? (y/n) ";
    const std::string Saved = File.string() + " saved" + std::string(ConsoleLineBreak);
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Answer);
        fs::remove(File);
        if (C.Exists) {
            std::ofstream(File) << "old";
        }
        ConfirmOverwrite = C.Confirm;
        TMapFile Map(File.string());
        Map.Add(std::make_unique<TEntity>());
        std::istringstream In(C.Answer);
        std::ostringstream Out;
        EXPECT_EQ(Map.Save(Out, In), C.Written);
        std::string Expected;
        for (int I = 0; I < C.Questions; ++I) {
            Expected += Question;
        }
        EXPECT_EQ(Out.str(), Expected + (C.Written ? Saved : ""));
        EXPECT_EQ(ReadAll(File), C.Written ? "\r\n// entity 0\r\n{\r\n}\r\n" : "old");
    }
}

TEST(TMapFile, WriteSetPutsFilesInPlaceOnlyWhenAllAreComplete)
{
    const TTempDir Temp;
    const fs::path A = Temp.Dir / "a.map";
    const fs::path B = Temp.Dir / "b.map";
    std::ofstream(A) << "old a";
    TMapFile Map;
    Map.Add(std::make_unique<TEntity>());
    const std::string Text = "\r\n// entity 0\r\n{\r\n}\r\n";
    const auto Files = [&] {
        std::vector<std::string> Names;
        for (const auto &E : fs::directory_iterator(Temp.Dir)) {
            Names.push_back(E.path().filename().string());
        }
        std::sort(Names.begin(), Names.end());
        return Names;
    };
    {
        // The second file cannot be made: the first stays as it was.
        TWriteSet Set;
        Set.Add(Map, A.string());
        EXPECT_THROW(Set.Add(Map, (Temp.Dir / "no" / "b.map").string()), EBrixError);
    }
    EXPECT_EQ(ReadAll(A), "old a");
    EXPECT_EQ(Files(), std::vector<std::string>{"a.map"});

    TWriteSet Set;
    Set.Add(Map, A.string());
    Set.Add(Map, B.string());
    EXPECT_EQ(ReadAll(A), "old a");
    std::ostringstream Out;
    Set.Commit(Out);
    const std::string Break(ConsoleLineBreak);
    EXPECT_EQ(Out.str(), A.string() + " saved" + Break + B.string() + " saved" + Break);
    EXPECT_EQ(ReadAll(A), Text);
    EXPECT_EQ(ReadAll(B), Text);
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.map", "b.map"}));
}

TEST(TMapFile, SameFileByAnyName)
{
    const TTempDir Temp;
    const fs::path A = Temp.Dir / "a.map";
    std::ofstream(A) << "{\n}\n";
    std::ofstream(Temp.Dir / "b.map") << "{\n}\n";
    fs::create_hard_link(A, Temp.Dir / "h.map");
    TMapFile Map;
    std::string Error;
    Map.LoadFromFile(A.string(), Error);
    Map.SetFileName(A.string());
    const std::pair<fs::path, bool> Cases[] = {
        {Temp.Dir / "." / "a.map", true},
        {Temp.Dir / "h.map", true},
        {Temp.Dir / "b.map", false},
        // Names no file on POSIX systems; Windows takes ".." by the name alone.
        {Temp.Dir / "missing" / ".." / "a.map", testplatform::PerPlatform(false, true)},
    };
    for (const auto &[Name, Same] : Cases) {
        SCOPED_TRACE(Name.string());
        EXPECT_EQ(Map.CmpFileName(Name.string()), Same);
    }
}

TEST(TMapFile, LoadFromFileReadsEveryEncoding)
{
    const TTempDir Temp;
    const fs::path &Dir = Temp.Dir;
    const std::string Utf16Le = Bytes("\xFF\xFE{\0\n\0\"\0a\0\"\0 \0\"\0\xE9\0\"\0\r\0\n\0}\0");
    const std::string Utf16Be = Bytes("\xFE\xFF\0{\0\n\0\"\0a\0\"\0 \0\"\0\xE9\0\"\0\r\0\n\0}");
    // Without a byte-order mark the bytes are kept; with one, the text is
    // decoded to the system's text (UTF-8, or the ANSI code page on Windows).
    const std::string Decoded = testplatform::Native("\xC3\xA9");
    const std::pair<std::string, std::string> Cases[] = {{"{\n\"a\" \"\xC3\xA9\"\n}", "\xC3\xA9"},
        {"\xEF\xBB\xBF{\r\n\"a\" \"\xC3\xA9\"\r\n}\r\n", Decoded}, {Utf16Le, Decoded}, {Utf16Be, Decoded}};
    for (const auto &[Bytes, Value] : Cases) {
        SCOPED_TRACE(Bytes);
        const fs::path File = Dir / "in.map";
        std::ofstream(File, std::ios::binary) << Bytes;
        TMapFile Map;
        std::string Error;
        Map.LoadFromFile(File.string(), Error);
        EXPECT_EQ(Error, "");
        ASSERT_EQ(Map.Count(), 1u);
        EXPECT_EQ(Map[0].PropValue("a"), Value);
    }
    TMapFile Map;
    std::string Error;
    EXPECT_THROW(Map.LoadFromFile((Dir / "missing.map").string(), Error), EBrixError);
}

TEST(TMapFile, FileNames)
{
    struct Case
    {
        const char *Name, *Other;
        bool Same;
    };
    const Case Cases[] = {
        {"Maps/E1M1.map", "maps/e1m1.MAP", true},
        {"e1m1.map", "maps/e1m1.map", false},
        {"\xC3\x89.map", "\xC3\xA9.map", false},
        {"a.map", "a.map ", false},
        {"", "", true},
    };
    TMapFileList List;
    for (const Case &C : Cases) {
        SCOPED_TRACE(std::string(C.Name) + " / " + C.Other);
        EXPECT_EQ(TMapFile(C.Name).CmpFileName(C.Other), C.Same);
    }
    List.Add(std::make_unique<TMapFile>("a.map"));
    TMapFile &B = List.Add(std::make_unique<TMapFile>("b.map"));
    List.Add(std::make_unique<TMapFile>("B.MAP"));
    EXPECT_EQ(List.FindFile("B.map"), &B);
    EXPECT_EQ(List.FindFile("c.map"), nullptr);

    struct PartCase
    {
        const char *Name, *Part;
    };
    const PartCase Parts[] = {
        {"e1m1.map", "e1m1.map"},
        {"maps/e1m1.map", "e1m1.map"},
        {"c:\\q\\a.b/e.map", "e.map"},
        {"c:e.map", "e.map"},
        {"dir/", ""},
    };
    for (const PartCase &C : Parts) {
        SCOPED_TRACE(C.Name);
        EXPECT_EQ(IdFileNamePart(C.Name), C.Part);
    }
}

TEST(TMapFile, FindEntityAndAnalog)
{
    TMapFile Map;
    std::string Error;
    Map.LoadFromText("{\n\"classname\" \"worldspawn\"\n}\n"
                     "{\n\"classname\" \"light\"\n\"origin\" \"1 2 3\"\n}\n"
                     "{\n\"classname\" \"light\"\n\"origin\" \"1 2 3.0\"\n\"id\" \"L\"\n}\n"
                     "{\n\"classname\" \"door\"\n\"spawnflags\" \"1\"\n\"origin\" \"5 5 5\"\n{\n}\n}\n"
                     "{\n\"classname\" \"door\"\n\"id\" \"\"\n}\n",
        Error);
    ASSERT_EQ(Error, "");
    struct Case
    {
        const char *Props; // key=value pairs, ";" separated
        int Found;         // position in the map, -1 for none
    };
    const Case Cases[] = {
        {"classname=worldspawn", 0},
        {"id=L", 2},
        {"id=l", -1},
        {"classname=light;origin=1 2 3", 1},
        {"classname=light;origin=1 2 3.0", 2},
        {"classname=light;origin=1 2 3.00", -1},
        {"classname=door;spawnflags=1;origin=9 9 9", 3},
        {"classname=door;spawnflags=2", -1},
        {"classname=door", 4},
        {"classname=Light;origin=1 2 3", -1},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Props);
        TEntity Ent;
        std::string_view Rest = C.Props;
        while (!Rest.empty()) {
            const std::string_view Pair = Rest.substr(0, Rest.find(';'));
            Rest.remove_prefix(std::min(Rest.size(), Pair.size() + 1));
            const std::size_t Eq = Pair.find('=');
            if (Pair.substr(0, Eq) == "classname" && Pair.substr(Eq + 1) == "worldspawn") {
                Ent.SetWorldSpawn(true);
            }
            Ent.SetPropValue(Pair.substr(0, Eq), Pair.substr(Eq + 1));
        }
        TEntity *Found = Map.FindAnalog(Ent);
        EXPECT_EQ(Found, C.Found < 0 ? nullptr : &Map[static_cast<std::size_t>(C.Found)]);
    }
    EXPECT_EQ(Map.FindEntity("worldspawn"), &Map[0]);
    EXPECT_EQ(Map.FindEntity("L"), &Map[2]);
    EXPECT_EQ(Map.FindEntity("l"), nullptr);
    EXPECT_EQ(Map.FindEntity(""), nullptr);
    Map[1].SetID("worldspawn");
    EXPECT_EQ(Map.FindEntity("worldspawn"), &Map[0]);
}

TEST(TMapFile, MalformedKeywordBlocksNameTheirLine)
{
    // Lines 1 to 3 open the worldspawn and the block; the keyword is line 4.
    const std::string Open = "{\n\"classname\" \"worldspawn\"\n{\n";
    const std::string Points = "( 0 0 0 ) ( 0 1 0 ) ( 1 0 0 ) ";
    const std::string Face = Points + "( ( 1 0 0 ) ( 0 1 0 ) ) T 0 0 0";
    const std::string Bd = "brushDef\n{\n";             // faces from line 6
    const std::string Pd = "patchDef2\n{\nT\n";         // header at line 7
    const std::string Grid = Pd + "( 1 2 0 0 0 )\n(\n"; // rows from line 9
    const std::string Row = "( ( 0 0 0 0 0 ) ( 1 0 0 1 0 ) )";
    const struct
    {
        const char *Name;
        std::string Block;
        std::string Error;
        std::size_t Line;
    } Cases[] = {
        {"keyword in another case", "brushdef\n{\n}\n}\n}", "Unknown block: brushdef", 4},
        {"brushDef without its {", "brushDef\n" + Face + "\n}\n}\n}", "'{' expected", 5},
        {"a face without matrix", Bd + Points + "T 0 0 0\n}\n}\n}", "'(' expected", 6},
        {"a matrix without its (", Bd + Points + "( 1 0 0 ) ( 0 1 0 ) ) T 0 0 0\n}\n}\n}", "'(' expected", 6},
        {"a matrix without its )", Bd + Points + "( ( 1 0 0 ) ( 0 1 0 ) T 0 0 0\n}\n}\n}", "')' expected", 6},
        {"no surface numbers", Bd + Points + "( ( 1 0 0 ) ( 0 1 0 ) ) T\n}\n}\n}", "Unexpected end of line", 6},
        {"text among faces", Bd + Face + "\nABC\n}\n}\n}", "'(' expected", 7},
        {"brushDef with one }", Bd + Face + "\n}\n" + Face + "\n}", "'}' expected", 8},
        {"brushDef cut short", Bd + Face + "\n}\n", "Unexpected end of file", 7},
        {"patchDef2 without its {", "patchDef2\nT\n", "'{' expected", 5},
        {"no texture", "patchDef2\n{\n( 1 2 0 0 0 )\n", "Texture name expected", 6},
        {"a texture and more", "patchDef2\n{\nT x\n", "End of line expected", 6},
        {"a header without its (", Pd + "1 2 0 0 0 )\n", "'(' expected", 7},
        {"a header of four numbers", Pd + "( 1 2 0 0 )\n", "'' is not a valid floating point value", 7},
        {"text after the header", Pd + "( 1 2 0 0 0 ) x\n", "End of line expected", 7},
        {"no ( line", Pd + "( 1 2 0 0 0 )\n" + Row + "\n)\n}\n}\n}", "End of line expected", 8},
        {"something else for the ( line", Pd + "( 1 2 0 0 0 )\nx\n", "'(' expected", 8},
        {"fewer rows", Pd + "( 2 2 0 0 0 )\n(\n" + Row + "\n)\n}\n}\n}", "Wrong number of patch rows: 2 expected", 10},
        {"more rows", Grid + Row + "\n" + Row + "\n)\n}\n}\n}", "Wrong number of patch rows: 1 expected", 10},
        {"fewer points", Pd + "( 1 3 0 0 0 )\n(\n" + Row + "\n)\n}\n}\n}",
            "Wrong number of control points in a patch row: 3 expected", 9},
        {"more points", Pd + "( 1 1 0 0 0 )\n(\n" + Row + "\n)\n}\n}\n}",
            "Wrong number of control points in a patch row: 1 expected", 9},
        // A header is never taken for the size of anything before the grid is read.
        {"a huge header", Pd + "( 1e9 2 0 0 0 )\n(\n" + Row + "\n)\n}\n}\n}",
            "Wrong number of patch rows: 1000000000 expected", 10},
        {"a header of no whole number", Pd + "( 1 1.5 0 0 0 )\n(\n" + Row + "\n)\n}\n}\n}",
            "Wrong number of control points in a patch row: 1.5 expected", 9},
        {"a row without its )", Grid + "( ( 0 0 0 0 0 ) ( 1 0 0 1 0 )\n)\n}\n}\n}", "Unexpected end of line", 9},
        {"text after a row", Grid + Row + " x\n)\n}\n}\n}", "End of line expected", 9},
        {"text in a row", Grid + "( ( 0 0 0 0 0 ) x )\n)\n}\n}\n}", "')' expected", 9},
        {"a bad number", Grid + "( ( 0 0 q 0 0 ) ( 1 0 0 1 0 ) )\n", "'q' is not a valid floating point value", 9},
        {"a point of four numbers", Grid + "( ( 0 0 0 0 ) ( 1 0 0 1 0 ) )\n", "'' is not a valid floating point value",
            9},
        {"a grid without its )", Grid + Row + "\n}\n}\n}", "')' expected", 10},
        {"text after the grid's )", Grid + Row + "\n) x\n}\n}\n}", "End of line expected", 10},
        {"a patch with one }", Grid + Row + "\n)\n}\n" + Row + "\n}", "'}' expected", 12},
        {"a patch cut short", Grid + Row + "\n", "Unexpected end of file", 9},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        TMapFile Map;
        std::string Error;
        Map.LoadFromText(Open + C.Block, Error);
        EXPECT_EQ(Error, C.Error);
        EXPECT_EQ(Map.ErrorLine(), C.Line);
    }
}
