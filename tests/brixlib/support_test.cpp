#include "brixlib/files.h"
#include "brixlib/messages.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "../testplatform.h"

using namespace brix;
namespace fs = std::filesystem;

namespace
{

struct SwitchGuard
{
    SwitchGuard() { ResetSwitches(); }
    ~SwitchGuard() { ResetSwitches(); }
};

std::string ReadAll(const fs::path &P)
{
    std::ifstream F(P, std::ios::binary);
    return {std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path &P, const std::string &Data)
{
    std::ofstream F(P, std::ios::binary);
    F << Data;
}

fs::path MakeTempDir(const char *Name)
{
    fs::path Dir = fs::temp_directory_path() /
                   (std::string("brix_support_") + Name + "_" + std::to_string(testplatform::ProcessId()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    return Dir;
}

} // namespace

TEST(Messages, EnglishAndRussianTexts)
{
    SwitchGuard G;
    struct Case
    {
        bool Russian;
        TMsgId Id;
        std::string Arg;
        std::string Expected;
    } Cases[] = {
        {false, TMsgId::msgFileNotFound, "a.map", "File not found: a.map"},
        {false, TMsgId::msgRewriteQuestion, "x.map", "File \"x.map\" already exists. Rewrite? (y/n)"},
        {false, TMsgId::msgComplete, "", "Complete"},
        {false, TMsgId::msgNotAMapFile, "a.txt", "Not a map file: a.txt"},
        {true, TMsgId::msgNotAMapFile, "a.txt",
            testplatform::PerPlatform<std::string>("Не файл карты: ", Utf8ToOem866("Не файл карты: ")) + "a.txt"},
        {false, TMsgId::msgNoFreeIdentifier, "a.map", "No free identifier number left in a.map"},
        {true, TMsgId::msgNoFreeIdentifier, "a.map",
            testplatform::PerPlatform<std::string>(
                "Нет свободного номера идентификатора в ", Utf8ToOem866("Нет свободного номера идентификатора в ")) +
                "a.map"},
        {false, TMsgId::msgUnknownBlock, "patchDef3", "Unknown block: patchDef3"},
        {true, TMsgId::msgPatchRows, "3",
            testplatform::PerPlatform<std::string>(
                "Неверное число рядов патча: ожидается ", Utf8ToOem866("Неверное число рядов патча: ожидается ")) +
                "3"},
        {false, TMsgId(20), "", ""},
        {false, TMsgId(99), "", ""},
        {false, TMsgId(206), "", ""},
        {true, TMsgId(20), "", ""},
        {true, TMsgId(206), "", ""},
        // "Выполнено" as the console shows it: UTF-8, or on Windows code page
        // 866 (nine bytes, not its Windows-1251 bytes).
        {true, TMsgId::msgComplete, "",
            testplatform::PerPlatform<std::string>("Выполнено", "\x82\xeb\xaf\xae\xab\xad\xa5\xad\xae")},
        // The argument is inserted as it is, after the template was converted.
        {true, TMsgId::msgSaved, "\xd0\x81.map",
            "\xd0\x81.map " + testplatform::PerPlatform<std::string>("сохранен", "\xe1\xae\xe5\xe0\xa0\xad\xa5\xad")},
        {true, TMsgId::msgError, "x",
            testplatform::PerPlatform<std::string>("ОШИБКА", "\x8e\x98\x88\x81\x8a\x80") + "! x"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(static_cast<int>(C.Id));
        UseRussian = C.Russian;
        EXPECT_EQ(C.Arg.empty() ? FmtMsg(C.Id) : FmtMsg(C.Id, {C.Arg}), C.Expected);
    }
    UseRussian = false;
    EXPECT_EQ(ExpectedMsg("("), "'(' expected");
    UseRussian = true;
    EXPECT_EQ(GetMsg(TMsgId::msgComplete).size(), testplatform::PerPlatform<std::size_t>(18, 9));
}

TEST(Messages, RaiseErrorCarriesText)
{
    try {
        RaiseError("boom");
        FAIL() << "no throw";
    } catch (const EBrixError &E) {
        EXPECT_STREQ(E.what(), "boom");
    }
}

TEST(Messages, Oem866Conversion)
{
    struct Case
    {
        std::string Utf8, Oem;
    } Cases[] = {
        {"abc XYZ 019", "abc XYZ 019"},
        {"\xd0\x90\xd0\xaf\xd0\xb0\xd0\xbf\xd1\x80\xd1\x8f", "\x80\x9f\xa0\xaf\xe0\xef"}, // А Я а п р я
        {"\xd0\x81\xd1\x91", "\xf0\xf1"},                                                 // Ё ё
        {"\xe2\x82\xac", "?"},                                                            // no euro sign in 866
        {"\xff", "?"},                                                                    // not UTF-8
        {"", ""},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Utf8);
        EXPECT_EQ(Utf8ToOem866(C.Utf8), C.Oem);
    }
}

TEST(Text, TrimRemovesControlsAndSpaces)
{
    EXPECT_EQ(Trim(" \t\x01 a b \r\n"), "a b");
    EXPECT_EQ(Trim("\x1f\x20"), "");
    EXPECT_EQ(Trim("\x7f"), "\x7f"); // DEL is above 32
    EXPECT_EQ(TrimLeft("  a "), "a ");
}

TEST(Text, CaseFoldKey)
{
    // Texts are UTF-8 here and taken as the program holds them (on Windows:
    // the ANSI code page, whose letters fold there); Raw ones are bytes as they are.
    struct Case
    {
        std::string A, B;
        bool Same;
        bool Raw = false;
    } Cases[] = {
        {"Door#1", "DOOR#1", true},
        {"\xd0\x81\xd0\xbb\xd0\xba\xd0\xb0", "\xd1\x91\xd0\x9b\xd0\x9a\xd0\x90", true}, // Ёлка / ёЛКА
        {"\xc3\x89t\xc3\xa9", "\xc3\xa9T\xc3\x89", true},                               // Été / éTÉ
        {"\xc3\x97", "\xc3\xb7", false},                                                // × and ÷ are not letters
        {"a\xff", "A\xff", true, true},                                                 // not UTF-8: the byte is kept
        {"a\xff", "a\xfe", false, true},
        // Ж/ж in code page 1251, Æ/æ in 1252: letters only where the text is ANSI.
        {"\xc6", "\xe6", testplatform::OnWindows, true},
        {"worldspawn", "WorldSpawn", true},
        {"\xce\xa3", "\xcf\x83", true}, // Σ σ
        {"abc", "abd", false},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.A + " / " + C.B);
        std::string A = C.A, B = C.B;
        if (!C.Raw && !(testplatform::NativeText(C.A, A) && testplatform::NativeText(C.B, B))) {
            continue; // the system's code page has no such letters
        }
        EXPECT_EQ(CaseFoldKey(A) == CaseFoldKey(B), C.Same);
    }
}

TEST(Text, PooledTextsShareAndFree)
{
    // Many threads intern, copy and drop the same and different texts at
    // once: each must keep reading its own text whatever the others free.
    const auto Work = [](int Seed, bool &Ok) {
        for (int Round = 0; Round < 2000; ++Round) {
            std::string Own = std::to_string(Seed); // (GCC 12 warns wrongly about "t" + a string here)
            Own += '_';
            Own += std::to_string(Round % 300);
            TPooledText A(Own), Shared("common/caulk"), Copy = A;
            TPooledText Moved(std::move(Copy));
            Copy = Shared;
            A = std::string_view(Own); // the same text again
            Ok = Ok && A == Moved && A.str() == Own && Copy == Shared && Shared == "common/caulk" && !(A == Shared);
        }
    };
    bool Ok[4] = {true, true, true, true};
    std::vector<std::thread> Threads;
    Threads.reserve(4);
    for (int T = 0; T < 4; ++T) {
        Threads.emplace_back(Work, T % 2, std::ref(Ok[T])); // two pairs of threads share their texts
    }
    for (std::thread &T : Threads) {
        T.join();
    }
    EXPECT_TRUE(Ok[0] && Ok[1] && Ok[2] && Ok[3]);
    const TPooledText Empty(""), Default;
    EXPECT_TRUE(Empty.empty() && Empty == Default && Empty == "");
    EXPECT_EQ(std::string(TPooledText("a b")), "a b");
}

TEST(Numbers, WriteGeneralFormat)
{
    struct Case
    {
        double Value;
        const char *Text;
    } Cases[] = {
        {128, "128"},
        {-64.5, "-64.5"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.3333333333333333"},
        {1e15 - 1, "999999999999999"},
        {1e15, "1E15"},
        {0.0001, "0.0001"},
        {0.00001, "1E-5"},
        {1.23456789012345678e17, "1.2345678901234568E17"},
        {-0.0, "0"},
        {0.0, "0"},
        {-1e-7, "-1E-7"},
        {293.407989501953125, "293.4079895019531"},
        {727.8181818181829, "727.8181818181829"},
        {-2.22045e-16, "-2.22045E-16"},
        {1e100, "1E100"},
        {123456.5, "123456.5"},
        {999999999999999.9, "999999999999999.9"},
        {-2147483648.0, "-2147483648"},
        {0.000123, "0.000123"},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Text);
        EXPECT_EQ(FloatToStr(C.Value), C.Text);
    }
}

TEST(Numbers, ReadValidNumbers)
{
    struct Case
    {
        const char *Text;
        double Value;
    } Cases[] = {
        {"1", 1},
        {"  -0.25  ", -0.25},
        {"+3", 3},
        {"1.5e2", 150},
        {"1.5E+2", 150},
        {"2e-1", 0.2},
        {".5", 0.5},
        {"1.", 1},
        {".", 0},
        {"-.", 0},
        {"007", 7},
        {"1e-400", 0}, // too small reads as zero
        {"727.8181818181829", 727.8181818181829},
        {"1.7976931348623157e308", 1.7976931348623157e308},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Text);
        double V = -999;
        ASSERT_TRUE(TryStrToFloat(C.Text, V));
        EXPECT_EQ(V, C.Value);
        EXPECT_EQ(StrToFloat(C.Text), C.Value);
    }
}

TEST(Numbers, RejectInvalidNumbers)
{
    const char *Cases[] = {"", " ", "+", "-", "1,5", "1 2", "\t1", "1\t", "e5", "1e", "1e+", "0x10", "inf", "nan",
        "1e400", "-1e309", "1..2", "++1", "1-", "1.5f"};
    for (const char *C : Cases) {
        SCOPED_TRACE(C);
        double V = 0;
        EXPECT_FALSE(TryStrToFloat(C, V));
        try {
            StrToFloat(C);
            ADD_FAILURE() << "no error";
        } catch (const EBrixError &E) {
            EXPECT_EQ(std::string(E.what()), "'" + std::string(C) + "' is not a valid floating point value");
        }
    }
}

TEST(Numbers, WrittenNumbersReadBackAsTheirValue)
{
    // So a second write gives the same text as the first.
    const double Values[] = {727.8181818181829, 293.407989501953125, 1.0 / 7.0, -1e-300, 6.02214076e23};
    for (double V : Values) {
        SCOPED_TRACE(V);
        const std::string Once = FloatToStr(V);
        EXPECT_EQ(StrToFloat(Once), V);
        EXPECT_EQ(FloatToStr(StrToFloat(Once)), Once);
    }
}

TEST(Numbers, WholeNumbers)
{
    struct Case
    {
        const char *Text;
        bool Ok;
        std::int32_t Value;
    } Cases[] = {
        {"0", true, 0},
        {"  12", true, 12},
        {"-$20", true, -32},
        {"$7FFFFFFF", true, 2147483647},
        {"$80000000", false, 0},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},
        {"x1f", true, 31},
        {"X1F", true, 31},
        {"0x10", true, 16},
        {"0X10", true, 16},
        {"+5", true, 5},
        {"12 ", false, 0},
        {"1.5", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"12a", false, 0},
        {"\t1", false, 0},
        {"99999999999999999999999", false, 0},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Text);
        std::int32_t V = 0;
        EXPECT_EQ(TryStrToInt(C.Text, V), C.Ok);
        if (C.Ok) {
            EXPECT_EQ(V, C.Value);
        }
    }
    try {
        StrToInt("1.5");
        FAIL() << "no error";
    } catch (const EBrixError &E) {
        EXPECT_STREQ(E.what(), "''1.5'' is not a valid integer value");
    }
}

TEST(ParsePoint, OriginTexts)
{
    struct Case
    {
        const char *Text;
        bool Ok;
        double x, y, z;
    } Cases[] = {
        {"128 -64 32", true, 128, -64, 32},
        {"  128   -64  32  ", true, 128, -64, 32},
        {"1.5 2.25 -3e2", true, 1.5, 2.25, -300},
        {"\t1 2 3", true, 1, 2, 3}, // leading controls are stripped
        {"1 2", false, 0, 0, 0},
        {"", false, 0, 0, 0},
        {"1\t2\t3", false, 0, 0, 0},
        {"1 2 3 4", false, 0, 0, 0},
        {"1,5 2 3", false, 0, 0, 0},
        {"1 2 3\t", false, 0, 0, 0},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Text);
        double x = 0, y = 0, z = 0;
        EXPECT_EQ(ParsePoint(C.Text, x, y, z), C.Ok);
        if (C.Ok) {
            EXPECT_EQ(x, C.x);
            EXPECT_EQ(y, C.y);
            EXPECT_EQ(z, C.z);
        }
    }
}

TEST(Files, DecodeAndSplit)
{
    // Decoded text is held as UTF-8, or on Windows in the ANSI code page.
    using testplatform::Native;
    struct Case
    {
        std::string Bytes;
        std::vector<std::string> Lines;
    } Cases[] = {
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"\xEF\xBB\xBFx\ny", {"x", "y"}},
        {std::string("a\nb\0c\nd", 7), {"a", "b"}},
        {"\xEF\xBB\xBF\xd0\x96", {Native("\xd0\x96")}}, // UTF-8: Ж
        {std::string("\xFF\xFE"
                     "a\0\n\0\x16\x04",
             8),
            {"a", Native("\xd0\x96")}},                                             // UTF-16 LE: a, LF, Ж
        {std::string("\xFE\xFF\0a\0\r\0\n\0b", 10), {"a", "b"}},                    // UTF-16 BE
        {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), {Native("\xf0\x9f\x98\x80")}}, // surrogate pair
        {std::string("\xFF\xFE"
                     "a\0\0\0b\0",
             8),
            {"a"}},                   // NUL ends the text
        {"\xE9t\xE9", {"\xE9t\xE9"}}, // 8-bit text kept byte for byte
        {"", {}},
    };
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Bytes);
        const std::string Text = DecodeText(C.Bytes);
        const TLineList Lines = SplitLines(Text);
        ASSERT_EQ(Lines.size(), C.Lines.size());
        for (std::size_t I = 0; I < Lines.size(); ++I) {
            EXPECT_EQ(Lines[I], C.Lines[I]);
        }
    }
}

TEST(Files, ReadMissingFileRaises)
{
    const fs::path Dir = MakeTempDir("read");
    const std::string Name = (Dir / "missing.map").string();
    try {
        ReadFileBytes(Name);
        FAIL() << "no error";
    } catch (const EBrixError &E) {
        EXPECT_EQ(std::string(E.what()).rfind("Cannot open file \"" + Name + "\". ", 0), 0u) << E.what();
    }
    EXPECT_FALSE(FileExists(Name));
    EXPECT_FALSE(FileExists(Dir.string())); // a directory is not a file
    fs::remove_all(Dir);
}

TEST(Files, AtomicWriteReplacesWholeAndKeepsMode)
{
    const fs::path Dir = MakeTempDir("write");
    const fs::path Target = Dir / "out.map";
    WriteAll(Target, "old");
#ifndef _WIN32
    ::chmod(Target.c_str(), 0640);
#endif
    WriteFileAtomic(Target.string(), "new content");
    EXPECT_EQ(ReadAll(Target), "new content");
    // No temporary file is left behind.
    std::size_t Count = 0;
    for ([[maybe_unused]] const auto &E : fs::directory_iterator(Dir)) {
        ++Count;
    }
    EXPECT_EQ(Count, 1u);

#ifndef _WIN32
    struct stat St
    {};
    ASSERT_EQ(::stat(Target.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0640u);

    // Writing through a symbolic link keeps the link and changes its target.
    const fs::path Link = Dir / "link.map";
    fs::create_symlink(Target, Link);
    WriteFileAtomic(Link.string(), "via link");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Link)));
    EXPECT_EQ(ReadAll(Target), "via link");
#endif
    fs::remove_all(Dir);
}

TEST(Files, AtomicWriteFailuresLeaveFilesAsTheyWere)
{
    const fs::path Dir = MakeTempDir("fail");
    struct Case
    {
        const char *Name;
        fs::path Target;
    } Cases[] = {
        {"directory as target", Dir / "adir"},
        {"missing directory", Dir / "no" / "such" / "x.map"},
    };
    fs::create_directories(Dir / "adir");
    for (const auto &C : Cases) {
        SCOPED_TRACE(C.Name);
        try {
            WriteFileAtomic(C.Target.string(), "data");
            ADD_FAILURE() << "no error";
        } catch (const EBrixError &E) {
            EXPECT_EQ(std::string(E.what()).rfind("Cannot create file \"" + C.Target.string() + "\". ", 0), 0u)
                << E.what();
        }
    }
    EXPECT_TRUE(fs::is_directory(Dir / "adir"));

#ifdef _WIN32
    // A read-only file is not replaced.
    const fs::path Ro = Dir / "ro.map";
    WriteAll(Ro, "precious");
    fs::permissions(
        Ro, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
    EXPECT_THROW(WriteFileAtomic(Ro.string(), "x"), EBrixError);
    EXPECT_EQ(ReadAll(Ro), "precious");
    fs::permissions(Ro, fs::perms::owner_write, fs::perm_options::add);
#else
    if (::geteuid() != 0) // root may write anywhere
    {
        const fs::path Ro = Dir / "ro";
        fs::create_directories(Ro);
        WriteAll(Ro / "keep.map", "precious");
        ::chmod(Ro.c_str(), 0555);
        EXPECT_THROW(WriteFileAtomic((Ro / "keep.map").string(), "x"), EBrixError);
        EXPECT_EQ(ReadAll(Ro / "keep.map"), "precious");
        ::chmod(Ro.c_str(), 0755);
    }
#endif
    fs::remove_all(Dir);
}

TEST(Files, TextAfterNulIsRefused)
{
    // The text ends at its NUL; a file that goes on after it would lose the
    // rest without a word, so it is not read at all.
    struct Case
    {
        const char *Name;
        std::string Bytes;
        const char *Text;   ///< what is read; null when the file is refused
        std::size_t Offset; ///< of the NUL named in the error
    };
    const std::string Map = "{\n}\n";
    const Case Cases[] = {
        {"no NUL", Map, "{\n}\n", 0},
        {"NULs and blanks at the end", Map + std::string(3, '\0') + " \r\n" + std::string(2, '\0'), "{\n}\n", 0},
        {"text after a NUL", Map + std::string(1, '\0') + Map, nullptr, 4},
        {"UTF-8 mark, text after a NUL", "\xEF\xBB\xBF" + Map + std::string(1, '\0') + "x", nullptr, 7},
        {"UTF-16 LE, NUL at the end", std::string("\xFF\xFE{\0\n\0\0\0\n\0", 10), "{\n", 0},
        {"UTF-16 LE, text after a NUL", std::string("\xFF\xFE{\0\0\0}\0", 8), nullptr, 4},
        {"UTF-16 BE, text after a NUL", std::string("\xFE\xFF\0{\0\0\0}", 8), nullptr, 4},
        {"UTF-16 without its mark", std::string("{\0\n\0}\0", 6), nullptr, 1},
    };
    const fs::path Dir = MakeTempDir("nul");
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string Name = (Dir / "t.map").string();
        WriteAll(Name, C.Bytes);
        for (const bool Pieces : {false, true}) {
            std::string Text;
            try {
                if (Pieces) {
                    TTextFileReader Reader(Name);
                    while (Reader.ReadPiece(Text, 3)) {
                    }
                } else {
                    Text = ReadTextFile(Name);
                }
                ASSERT_NE(C.Text, nullptr) << "read: " << Text;
                EXPECT_EQ(Text, C.Text);
            } catch (const EBrixError &E) {
                EXPECT_EQ(C.Text, nullptr) << E.what();
                EXPECT_EQ(std::string(E.what()), "Cannot open file \"" + Name +
                                                     "\". Not a text file: NUL character at offset " +
                                                     std::to_string(C.Offset));
            }
        }
    }
    fs::remove_all(Dir);
}

#ifndef _WIN32
TEST(Files, AtomicWriteRefusesWhatIsNoFile)
{
    // Replacing a pipe or a device by a plain file would break what it was
    // (as root even /dev/null); a file that may not be written is refused as
    // writing into it would be.
    const fs::path Dir = MakeTempDir("nofile");
    ASSERT_EQ(::mkfifo((Dir / "pipe").c_str(), 0644), 0);
    EXPECT_THROW(WriteFileAtomic((Dir / "pipe").string(), "x"), EBrixError);
    EXPECT_TRUE(fs::is_fifo(Dir / "pipe"));
    if (::geteuid() != 0) // root may write anything
    {
        WriteAll(Dir / "ro.map", "precious");
        ::chmod((Dir / "ro.map").c_str(), 0444);
        EXPECT_THROW(WriteFileAtomic((Dir / "ro.map").string(), "x"), EBrixError);
        EXPECT_EQ(ReadAll(Dir / "ro.map"), "precious");
    }
    std::vector<std::string> Left;
    for (const auto &E : fs::directory_iterator(Dir)) {
        Left.push_back(E.path().filename().string());
    }
    std::sort(Left.begin(), Left.end());
    const std::vector<std::string> Expected =
        ::geteuid() != 0 ? std::vector<std::string>{"pipe", "ro.map"} : std::vector<std::string>{"pipe"};
    EXPECT_EQ(Left, Expected); // no temporary file left behind
    fs::remove_all(Dir);
}
#endif
