// Runs the built brixel binary in a fresh directory per case and checks its
// console bytes, exit status, stderr (always empty) and every file left behind.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testfiles.h"

#include "../testplatform.h"
#include "brixlib/commands.h"
#include "brixlib/mapfile.h"

namespace fs = std::filesystem;
using testplatform::ConsoleText;
using testplatform::PerPlatform;
using testplatform::U8Name;
using testplatform::U8Path;

namespace
{

// --- map text in the written form ----------------------------------------------

std::string Num(int V)
{
    return std::to_string(V);
}

std::string Pt(int X, int Y, int Z)
{
    return "( " + Num(X) + " " + Num(Y) + " " + Num(Z) + " )";
}

// An axis-aligned box whose faces point inwards, as a brush block.
std::string Box(int X1, int Y1, int Z1, int X2, int Y2, int Z2, const std::string &Tex)
{
    const std::string Faces[6] = {
        Pt(X1, Y1, Z1) + " " + Pt(X1, Y2, Z1) + " " + Pt(X1, Y1, Z2),
        Pt(X2, Y1, Z1) + " " + Pt(X2, Y1, Z2) + " " + Pt(X2, Y2, Z1),
        Pt(X1, Y1, Z1) + " " + Pt(X1, Y1, Z2) + " " + Pt(X2, Y1, Z1),
        Pt(X1, Y2, Z1) + " " + Pt(X2, Y2, Z1) + " " + Pt(X1, Y2, Z2),
        Pt(X1, Y1, Z1) + " " + Pt(X2, Y1, Z1) + " " + Pt(X1, Y2, Z1),
        Pt(X1, Y1, Z2) + " " + Pt(X1, Y2, Z2) + " " + Pt(X2, Y1, Z2),
    };
    std::string S = "{\r\n";
    for (const std::string &F : Faces) {
        S.append(F).append(" ").append(Tex).append(" 0 0 0 1 1\r\n");
    }
    return S + "}\r\n";
}

const std::string W1 = Box(0, 0, 0, 64, 64, 16, "FLOOR");      // centre (32 32 8)
const std::string W2 = Box(0, 0, 112, 64, 64, 128, "CEIL");    // centre (32 32 120)
const std::string W2Sky = Box(0, 0, 112, 64, 64, 128, "SKY1"); // W2's solid, other texture
const std::string W3 = Box(256, 0, 0, 320, 64, 16, "FLOOR");   // centre (288 32 8)
const std::string W4 = Box(256, 0, 112, 320, 64, 128, "CEIL");
const std::string D1 = Box(16, 16, 16, 48, 48, 64, "DOOR");
const std::string D2 = Box(16, 16, 64, 48, 48, 96, "DOOR");

const TProps WsBaseProps = {{"classname", "worldspawn"}, {"wad", "base.wad"}};
const TProps WsExtraProps = {{"classname", "worldspawn"}, {"wad", "extra.wad"}};
// A worldspawn of base.wad after one of extra.wad merged into it: the texture lists join.
const TProps WsMergedProps = {{"classname", "worldspawn"}, {"wad", "base.wad;extra.wad"}};
const TProps DonorProps = {{"classname", "worldspawn"}, {"message", "Donor"}};
const TEnt Light = {{{"classname", "light"}, {"origin", "32 32 64"}}, {}};
const TEnt Light2 = {{{"classname", "light"}, {"origin", "288 32 64"}}, {}};
const TEnt Start = {{{"classname", "info_player_start"}, {"origin", "256 32 24"}}, {}};
const TEnt Door = {{{"classname", "func_door"}, {"id", "door1"}}, {D1}};
const TEnt DoorX = {{{"classname", "func_door"}, {"id", "door1"}}, {D2}};

const std::string Base = Map({{WsBaseProps, {W1, W2}}, Light, Door});
const std::string Extra = Map({{WsExtraProps, {W2, W3}}, Start, DoorX});
const std::string Merged = Map({{WsMergedProps, {W1, W2, W3}}, Light, {Door.Props, {D1, D2}}, Start});
// After mkid base.map extra.map -dest:out.map.
const std::string OutIds =
    Map({{WsBaseProps, {W1, W2}}, {{{"classname", "light"}, {"origin", "32 32 64"}, {"id", "out.map#1"}}, {}}, Door});
const std::string ExtraIds = Map({{WsExtraProps, {W2, W3}},
    {{{"classname", "info_player_start"}, {"origin", "256 32 24"}, {"id", "extra.map#1"}}, {}}, DoorX});
const std::string Donor = Map({{DonorProps, {}}});
// The rule cases: source S and additional A, each with a light.
const std::string SrcS = Map({{WsBaseProps, {W1, W2}}, Light});
const std::string AddA = Map({{WsExtraProps, {W3, W4}}, Light2});
const std::string Truncated = "{\n\"classname\" \"worldspawn\"\n";
// A TrenchBroom layer "rooms"; the player start is in the default layer.
const TEnt LayerRooms = {
    {{"classname", "func_group"}, {"_tb_type", "_tb_layer"}, {"_tb_name", "rooms"}, {"_tb_id", "1"}}, {W3}};
const std::string Layered = Map({{WsBaseProps, {W1}}, LayerRooms, Start});

const std::string Saved = "out.map saved\nComplete\n";
std::string Question(const std::string &Name)
{
    return "File \"" + Name + "\" already exists. Rewrite? (y/n) ";
}

// --- running the binary ----------------------------------------------------------

struct TFile
{
    std::string Name; ///< relative; a name ending in "/" is a directory
    std::string Bytes;
};

struct TRun
{
    std::string Out;
    std::string Err;
    int Status = -1;
};

class TTempDir
{
public:
    TTempDir()
    {
        static std::atomic<int> Counter{0};
        FRoot = fs::temp_directory_path() /
                ("brixel-e2e-" + std::to_string(testplatform::ProcessId()) + "-" + std::to_string(Counter++));
        fs::remove_all(FRoot);
        fs::create_directories(FRoot / "work");
    }
    ~TTempDir()
    {
        std::error_code Ec;
        fs::remove_all(FRoot, Ec);
    }
    fs::path Work() const { return FRoot / "work"; }
    fs::path Root() const { return FRoot; }

private:
    fs::path FRoot;
};

// The program as built; a path without a drive is made whole here, since the
// program runs in another directory (and, on Windows, maybe on another drive).
std::string BrixelExe()
{
    return fs::absolute(BRIXEL_EXE).string();
}

#ifdef _WIN32

// One argument as the C runtime splits a command line: quotes around it when
// it is empty or holds blanks or quotes; backslashes doubled before a quote.
std::string QuoteArg(const std::string &Arg)
{
    if (!Arg.empty() && Arg.find_first_of(" \t\"") == std::string::npos) {
        return Arg;
    }
    std::string Out = "\"";
    std::size_t Backslashes = 0;
    for (char C : Arg) {
        if (C == '\\') {
            ++Backslashes;
            continue;
        }
        Out.append(C == '"' ? Backslashes * 2 + 1 : Backslashes, '\\');
        Out += C;
        Backslashes = 0;
    }
    Out.append(Backslashes * 2, '\\');
    return Out + "\"";
}

// A handle the child inherits as one of its standard handles.
HANDLE OpenStdHandle(const std::string &Name, bool Write)
{
    SECURITY_ATTRIBUTES Inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(Name.c_str(), Write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &Inherit,
        Write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs the program; its exit status, or -1 when it cannot start, crashes or
// has not ended after a minute.
int Spawn(const std::vector<std::string> &Args, const std::string &WorkDir, const std::string &InName,
    const std::string &OutName, const std::string &ErrName)
{
    const std::string Exe = BrixelExe();
    std::string CommandLine = QuoteArg(Exe);
    for (const std::string &A : Args) {
        CommandLine += ' ';
        CommandLine += QuoteArg(A);
    }
    const HANDLE In = OpenStdHandle(InName, false);
    const HANDLE Out = OpenStdHandle(OutName, true);
    const HANDLE Err = OpenStdHandle(ErrName, true);
    int Status = -1;
    if (In != INVALID_HANDLE_VALUE && Out != INVALID_HANDLE_VALUE && Err != INVALID_HANDLE_VALUE) {
        STARTUPINFOA Startup = {};
        Startup.cb = sizeof Startup;
        Startup.dwFlags = STARTF_USESTDHANDLES;
        Startup.hStdInput = In;
        Startup.hStdOutput = Out;
        Startup.hStdError = Err;
        PROCESS_INFORMATION Process = {};
        if (CreateProcessA(Exe.c_str(), CommandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, WorkDir.c_str(),
                &Startup, &Process)) {
            DWORD Code = 0;
            if (WaitForSingleObject(Process.hProcess, 60000) != WAIT_OBJECT_0) {
                TerminateProcess(Process.hProcess, 1);
                WaitForSingleObject(Process.hProcess, INFINITE);
            } else if (GetExitCodeProcess(Process.hProcess, &Code) && Code <= 255) {
                // A crash ends with an exception code, far above any status.
                Status = static_cast<int>(Code);
            }
            CloseHandle(Process.hThread);
            CloseHandle(Process.hProcess);
        }
    }
    for (HANDLE H : {In, Out, Err}) {
        if (H != INVALID_HANDLE_VALUE) {
            CloseHandle(H);
        }
    }
    return Status;
}

#else

int Spawn(const std::vector<std::string> &Args, const std::string &WorkDir, const std::string &InName,
    const std::string &OutName, const std::string &ErrName)
{
    std::vector<std::string> Argv = {BrixelExe()};
    Argv.insert(Argv.end(), Args.begin(), Args.end());
    std::vector<char *> ArgvPtrs;
    ArgvPtrs.reserve(Argv.size() + 1);
    for (std::string &A : Argv) {
        ArgvPtrs.push_back(A.data());
    }
    ArgvPtrs.push_back(nullptr);

    const pid_t Pid = ::fork();
    if (Pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int In = ::open(InName.c_str(), O_RDONLY);
        const int Out = ::open(OutName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int Err = ::open(ErrName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (In < 0 || Out < 0 || Err < 0 || ::chdir(WorkDir.c_str()) != 0 || ::dup2(In, 0) < 0 || ::dup2(Out, 1) < 0 ||
            ::dup2(Err, 2) < 0) {
            ::_exit(127);
        }
        ::execv(ArgvPtrs[0], ArgvPtrs.data());
        ::_exit(127);
    }
    if (Pid < 0) {
        return -1;
    }
    int WaitStatus = 0;
    ::waitpid(Pid, &WaitStatus, 0);
    // A crash gives -1, which no case expects.
    return WIFEXITED(WaitStatus) ? WEXITSTATUS(WaitStatus) : -1;
}

#endif

TRun RunBrixel(const TTempDir &Dir, const std::vector<std::string> &Args, const std::string &Stdin)
{
    const std::string InName = (Dir.Root() / "stdin").string();
    const std::string OutName = (Dir.Root() / "stdout").string();
    const std::string ErrName = (Dir.Root() / "stderr").string();
    WriteAll(InName, Stdin);

    TRun Result;
    Result.Status = Spawn(Args, Dir.Work().string(), InName, OutName, ErrName);
    Result.Out = ReadAll(OutName);
    Result.Err = ReadAll(ErrName);
    return Result;
}

struct Case
{
    const char *Name;
    std::vector<std::string> Args; ///< "@" stands for the absolute path of the work directory
    std::vector<TFile> Inputs;
    std::string Stdin;
    std::string Out; ///< after the banner; "\n" stands for the console's line break, "@" as in Args
    int Status;
    std::vector<TFile> Written; ///< files created or changed (names in UTF-8); all others must be untouched
    bool OutIsPrefix = false;   ///< the end of the output holds a system text
};

const std::string Banner = "brixel v1.51\n\n";

void RunCases(const std::vector<Case> &Cases)
{
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TTempDir Dir;
        const auto Expand = [&](std::string S) {
            const std::string Work = Dir.Work().string();
            for (std::size_t P = S.find('@'); P != std::string::npos; P = S.find('@', P + Work.size())) {
                S.replace(P, 1, Work);
            }
            return S;
        };
        std::vector<std::string> Args;
        for (const std::string &A : C.Args) {
            Args.push_back(Expand(A));
        }
        for (const TFile &F : C.Inputs) {
            const fs::path P = Dir.Work() / U8Path(F.Name);
            if (F.Name.back() == '/') {
                fs::create_directories(P);
                continue;
            }
            fs::create_directories(P.parent_path());
            WriteAll(P, F.Bytes);
        }
        const TRun R = RunBrixel(Dir, Args, C.Stdin);
        EXPECT_EQ(R.Status, C.Status);
        EXPECT_EQ(R.Err, "");
        const std::string Out = ConsoleText(Banner + Expand(C.Out));
        if (C.OutIsPrefix) {
            EXPECT_EQ(R.Out.substr(0, Out.size()), Out);
        } else {
            EXPECT_EQ(R.Out, Out);
        }

        std::map<std::string, std::string> Expected;
        for (const TFile &F : C.Inputs) {
            if (F.Name.back() != '/') {
                Expected[F.Name] = F.Bytes;
            }
        }
        for (const TFile &F : C.Written) {
            Expected[F.Name] = F.Bytes;
        }
        std::map<std::string, std::string> Actual;
        for (const auto &Entry : fs::recursive_directory_iterator(Dir.Work())) {
            if (Entry.is_regular_file()) {
                Actual[U8Name(fs::relative(Entry.path(), Dir.Work()))] = ReadAll(Entry.path());
            }
        }
        EXPECT_EQ(Actual, Expected);
    }
}

// The help files hold the POSIX help: Windows names the program
// "brixel.exe" and shows the help for "/?" too.
std::string HelpFile(const char *Name)
{
    std::string Help = ReadAll(fs::path(BRIX_TEST_DATA) / "e2e" / Name);
    if (testplatform::OnWindows) {
        for (const auto &[From, To] : {std::pair<std::string, std::string>{"\nbrixel [", "\nbrixel.exe ["},
                 {"  --help, -h    ", "  --help, -h, /?"}}) {
            const std::size_t P = Help.find(From);
            if (P != std::string::npos) {
                Help.replace(P, From.size(), To);
            }
        }
    }
    return Help;
}

// Russian UTF-8 text as the console shows it: UTF-8 itself, or on Windows
// code page 866, converted here independently of the program.
std::string Ru(std::string_view Utf8)
{
    if (!testplatform::OnWindows) {
        return std::string(Utf8);
    }
    std::string Out;
    for (std::size_t I = 0; I < Utf8.size(); ++I) {
        const auto C = static_cast<unsigned char>(Utf8[I]);
        if (C < 0x80 || I + 1 >= Utf8.size()) {
            Out += static_cast<char>(C);
            continue;
        }
        const unsigned Code = ((C & 0x1Fu) << 6) | (static_cast<unsigned char>(Utf8[++I]) & 0x3Fu);
        if (Code >= 0x410 && Code <= 0x43F) {
            Out += static_cast<char>(Code - 0x410 + 0x80);
        } else if (Code >= 0x440 && Code <= 0x44F) {
            Out += static_cast<char>(Code - 0x440 + 0xE0);
        } else {
            Out += static_cast<char>(Code == 0x401 ? 0xF0 : 0xF1);
        }
    }
    return Out;
}

// UTF-8 text (two-byte sequences at most) as UTF-16 LE with its byte-order mark.
std::string Utf16Le(std::string_view Utf8)
{
    std::string Out = "\xFF\xFE";
    for (std::size_t I = 0; I < Utf8.size(); ++I) {
        unsigned Code = static_cast<unsigned char>(Utf8[I]);
        if (Code >= 0x80 && I + 1 < Utf8.size()) {
            Code = ((Code & 0x1Fu) << 6) | (static_cast<unsigned char>(Utf8[++I]) & 0x3Fu);
        }
        Out += static_cast<char>(Code & 0xFF);
        Out += static_cast<char>(Code >> 8);
    }
    return Out;
}

} // namespace

TEST(Brixel, Help)
{
    const std::string En = HelpFile("help_en.txt");
    const std::string RuFile = Ru(HelpFile("help_ru.txt"));
    ASSERT_EQ(En.substr(0, Banner.size()), Banner);
    ASSERT_EQ(RuFile.substr(0, Banner.size()), Banner);
    const std::string EnHelp = En.substr(Banner.size());
    const std::string RuHelp = RuFile.substr(Banner.size());
    RunCases({
        {"no arguments", {}, {}, "", EnHelp, 0, {}},
        {"only empty arguments", {"", ""}, {}, "", EnHelp, 0, {}},
        {"help", {"help"}, {}, "", EnHelp, 0, {}},
        {"HELP with a file", {"HELP", "base.map"}, {}, "", EnHelp, 0, {}},
        {"-ru alone", {"-ru"}, {}, "", RuHelp, 0, {}},
        {"help -ru", {"help", "-ru"}, {}, "", RuHelp, 0, {}},
        {"-RU help", {"-RU", "help"}, {}, "", RuHelp, 0, {}},
        {"option file with -ru", {"-sc:o.txt"}, {{"o.txt", "-ru\n"}}, "", "Include o.txt\n" + RuHelp, 0, {}},
        {"help then a bad switch", {"help", "-zz"}, {}, "", "ERROR! Undefined option: -zz\nDid you mean -ru?\n", 1, {}},
        {"--help", {"--help"}, {}, "", EnHelp, 0, {}},
        {"-H after a file", {"base.map", "-H"}, {}, "", EnHelp, 0, {}},
        {"--HELP -ru", {"--HELP", "-ru"}, {}, "", RuHelp, 0, {}},
        {"/? is the help on Windows only", {"/?"}, {}, "",
            PerPlatform<std::string>("ERROR! Undefined command: /?\n", EnHelp), PerPlatform(1, 0), {}},
        {"--version in an option file", {"base.map", "-sc:o.txt"}, {{"o.txt", "--Version\n"}}, "",
            "Include o.txt\nbrixel v1.51\n", 0, {}},
        {"-ru with a file is no help", {"-ru", "base.map"}, {{"base.map", Base}}, "y",
            Ru("Файл \"base.map\" уже существует. Перезаписать? (y/n) base.map сохранен\nВыполнено\n"), 0,
            {{"base.map", Base}}},
    });
    // The banner line alone, wherever "--version" stands; nothing else is done.
    for (const std::vector<std::string> &Args :
        {std::vector<std::string>{"--version"}, {"base.map", "--VERSION", "-zz"}}) {
        SCOPED_TRACE(Args[0]);
        TTempDir Dir;
        const TRun R = RunBrixel(Dir, Args, "");
        EXPECT_EQ(R.Status, 0);
        EXPECT_EQ(R.Out, ConsoleText("brixel v1.51\n"));
    }
}

TEST(Brixel, CommandLineErrors)
{
    const std::vector<TFile> Files = {{"base.map", Base}, {"extra.map", Extra}};
    RunCases({
        {"undefined command", {"Foo"}, {}, "", "ERROR! Undefined command: foo\n", 1, {}},
        {"undefined switch", {"-zz", "base.map"}, Files, "", "ERROR! Undefined option: -zz\nDid you mean -ru?\n", 1,
            {}},
        {"named option without colon", {"-Dest"}, {}, "", "ERROR! Undefined option: -Dest\nDid you mean -dest:?\n", 1,
            {}},
        {"switch with a value", {"-y:1"}, {}, "", "ERROR! Undefined option: -y:1\nDid you mean -y?\n", 1, {}},
        {"a swap is one edit", {"-dets:x"}, {}, "", "ERROR! Undefined option: -dets:x\nDid you mean -dest:?\n", 1, {}},
        {"letter case and the value do not count", {"-WPROP:a:b"}, {}, "",
            "ERROR! Undefined option: -WPROP:a:b\nDid you mean -wprops:?\n", 1, {}},
        {"two swaps", {"--vresoin"}, {}, "", "ERROR! Undefined option: --vresoin\nDid you mean --version?\n", 1, {}},
        {"a tie goes to the option listed first", {"-x"}, {}, "", "ERROR! Undefined option: -x\nDid you mean -y?\n", 1,
            {}},
        {"unknown named option", {"-foo:bar"}, {}, "", "ERROR! Undefined option: -foo:bar\n", 1, {}},
        {"lone dash", {"-"}, {}, "", "ERROR! Undefined option: -\nDid you mean -y?\n", 1, {}},
        {"error before -ru is English", {"-zz", "-ru"}, {}, "", "ERROR! Undefined option: -zz\nDid you mean -ru?\n", 1,
            {}},
        {"error after -ru is Russian", {"-ru", "-zz"}, {}, "",
            Ru("ОШИБКА! Неизвестный параметр: -zz\nВозможно, имелось в виду -ru?\n"), 1, {}},
        {"dest twice", {"-dest:a.map", "-dest:b.map"}, {}, "", "ERROR! Destination file name redeclare\n", 1, {}},
        {"dest, then an empty dest", {"-dest:a.map", "-dest:"}, {}, "", "ERROR! Destination file name redeclare\n", 1,
            {}},
        {"wprops twice", {"-wprops:a.map", "-WPROPS:b.map"}, {}, "", "ERROR! Worldspawn-source file name redeclare\n",
            1, {}},
        {"no file", {"-y"}, {}, "", "ERROR! File not specify\n", 1, {}},
        {"source missing", {"nope.map"}, {}, "", "ERROR! File not found: nope.map\n", 1, {}},
        {"source is a directory", {"d.map"}, {{"d.map/", ""}}, "", "ERROR! File not found: d.map\n", 1, {}},
        {"command word after a command is the source", {"concat", "mkid", "base.map"}, Files, "",
            "ERROR! File not found: mkid\n", 1, {}},
        {"additional mask matches nothing", {"base.map", "*.xyz", "-y"}, Files, "", "ERROR! File not found: *.xyz\n", 1,
            {}},
        {"option file missing", {"-sc:nope.txt"}, {}, "", "ERROR! File not found: nope.txt\n", 1, {}},
        {"option file names itself", {"-sc:o.txt"}, {{"o.txt", "-sc:o.txt\n"}}, "",
            "Include o.txt\nERROR! Recursive call of a file o.txt\n", 1, {}},
        // One file on Windows, two elsewhere: the names are the same either way.
        {"option file twice, other case", {"-sc:o.txt", "-sc:O.TXT"},
            PerPlatform<std::vector<TFile>>({{"o.txt", "-y\n"}, {"O.TXT", "-y\n"}}, {{"o.txt", "-y\n"}}), "",
            "Include o.txt\nERROR! Recursive call of a file O.TXT\n", 1, {}},
        {"option line with a leading blank", {"-sc:o.txt"}, {{"o.txt", " -y\n"}}, "",
            "Include o.txt\nERROR! Undefined command:  -y\n", 1, {}},
        {"bad area", {"base.map", "-ba:x/1"}, Files, "", "ERROR! Incorrect format of parameter: -ba:x/1\n", 1, {}},
        {"-rt without =", {"-RT:abc"}, {}, "", "ERROR! Incorrect format of parameter: -RT:abc\n", 1, {}},
        {"-rt without mask", {"-rt:=X"}, {}, "", "ERROR! Incorrect format of parameter: -rt:=X\n", 1, {}},
        {"-rt without name", {"-rt:X="}, {}, "", "ERROR! Incorrect format of parameter: -rt:X=\n", 1, {}},
        {"-rt empty", {"-rt:"}, {}, "", "ERROR! Incorrect format of parameter: -rt:\n", 1, {}},
        {"-rt name with a blank", {"-rt:X=a b"}, {}, "", "ERROR! Incorrect format of parameter: -rt:X=a b\n", 1, {}},
        {"area map does not read", {"base.map", "-ba:m/bad.map"}, {{"base.map", Base}, {"bad.map", Truncated}}, "",
            "bad.map:2: Unexpected end of file\n", 1, {}},
    });
}

TEST(Brixel, Commands)
{
    const std::vector<TFile> Files = {{"base.map", Base}, {"extra.map", Extra}};
    const TEnt Plain = {{{"classname", "func_wall"}, {"id", "#temp"}}, {D1}};
    const TEnt Plain2 = {{{"classname", "func_wall"}, {"id", "#temp"}}, {D2}};
    const std::string Found = Map({{WsExtraProps, {W2}}, Light, {Door.Props, {D1}}});
    const TEnt Named = {{{"classname", "func_door"}, {"targetname", "door"}}, {}};
    const TEnt Trigger = {{{"classname", "trigger_once"}, {"target", "door"}}, {}};
    const std::vector<TFile> Triggered = {
        {"base.map", Map({{WsBaseProps, {}}, Named})}, {"t.map", Map({Trigger, Named})}};
    const std::string Face = "{\r\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) FLOOR 8 -16 90 0.5 2\r\n}\r\n";
    const std::vector<std::string> Walls(7000, W1); // 2.4 MB
    const auto Concatenated = [](std::vector<std::string> Brushes, const std::string &Last) {
        Brushes.push_back(Last);
        return Brushes;
    };
    std::string LateProperty = Map({{{{"classname", "func_group"}, {"id", "A"}}, Walls}});
    LateProperty.insert(LateProperty.size() - 3, "\"late\" \"1\"\r\n");
    const std::string ValveFace =
        "{\r\n( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) FLOOR [ 0 1 0 8 ] [ 1 0 0 -16 ] 90 0.5 2\r\n}\r\n";
    RunCases({
        {"-RNTN renames the target names the source uses", {"base.map", "t.map", "-RNTN", "-dest:out.map", "-y"},
            Triggered, "", Saved, 0,
            {{"out.map", Map({{WsBaseProps, {}}, Named, {{{"classname", "trigger_once"}, {"target", "door_2"}}, {}},
                             {{{"classname", "func_door"}, {"targetname", "door_2"}}, {}}})}}},
        {"without -rntn the names stay", {"base.map", "t.map", "-dest:out.map", "-y"}, Triggered, "", Saved, 0,
            {{"out.map", Map({{WsBaseProps, {}}, Named, Trigger, Named})}}},
        {"-Valve, with any command, writes the destination's faces in the Valve form",
            {"mkid", "f.map", "-Valve", "-dest:out.map", "-y"}, {{"f.map", Map({{WsBaseProps, {Face}}})}}, "", Saved, 0,
            {{"out.map",
                Map({{{{"classname", "worldspawn"}, {"wad", "base.wad"}, {"mapversion", "220"}}, {ValveFace}}})}}},
        {"concat merges shared ids", {"concat", "base.map", "extra.map", "-dest:out.map", "-y"}, Files, "", Saved, 0,
            {{"out.map", Merged}}},
        {"concat is the default, names ignore case", {"base.map", "extra.map", "-DEST:out.map", "-Y"}, Files, "", Saved,
            0, {{"out.map", Merged}}},
        {"concat alone rewrites the source", {"base.map", "-y"}, {{"base.map", "{\n\"classname\" \"worldspawn\"\n}"}},
            "", "base.map saved\nComplete\n", 0, {{"base.map", Map({{{{"classname", "worldspawn"}}, {}}})}}},
        {"other texture is another brush", {"base.map", "sky.map", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"sky.map", Map({{WsExtraProps, {W2Sky}}})}}, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W2, W2Sky}}, Light, Door})}}},
        {"-rptx takes the textures", {"base.map", "sky.map", "-rptx", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"sky.map", Map({{WsExtraProps, {W2Sky}}})}}, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W2Sky}}, Light, Door})}}},
        {"-nuid appends", {"base.map", "extra.map", "-nuid:DOOR1", "-dest:out.map", "-y"}, Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W2, W3}}, Light, Door, Start, DoorX})}}},
        {"#temp never merges", {"a.map", "b.map", "-dest:out.map", "-y"},
            {{"a.map", Map({Plain})}, {"b.map", Map({Plain2})}}, "", Saved, 0, {{"out.map", Map({Plain, Plain2})}}},
        {"files met twice are skipped", {"base.map", "extra.map", "extra.map", "*.map", "-dest:out.map", "-y"}, Files,
            "",
            "Additional file skipped: extra.map\nAdditional file skipped: base.map\n"
            "Additional file skipped: extra.map\n" +
                Saved,
            0, {{"out.map", Merged}}},
        {"another path to a file is the same file",
            {"base.map", "./base.map", "@/base.map", "extra.map", "./extra.map", "-dest:out.map", "-y"}, Files, "",
            "Additional file skipped: ./base.map\nAdditional file skipped: @/base.map\n"
            "Additional file skipped: ./extra.map\n" +
                Saved,
            0, {{"out.map", Merged}}},
        {"a text that is not a map is not replaced", {"notes.txt", "-y"}, {{"notes.txt", "a note\r\n// and more\r\n"}},
            "", "ERROR! Not a map file: notes.txt\n", 1, {}},
        {"blank lines and numbering comments are an empty map", {"c.map", "-y"}, {{"c.map", "\r\n// entity 0\r\n\r\n"}},
            "", "c.map saved\nComplete\n", 0, {{"c.map", "\r\n"}}},
        {"mkid out of numbers for the destination", {"mkid", "m.map", "-dest:out.map", "-y"},
            {{"m.map", Map({{{{"classname", "light"}, {"id", "a#2147483647"}}, {}}, Light})}}, "",
            "ERROR! No free identifier number left in out.map\n", 1, {}},
        {"mkid out of numbers for an additional map", {"mkid", "base.map", "m.map", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"m.map", Map({{{{"classname", "light"}, {"id", "a#2147483647"}}, {}}, Light})}}, "",
            "ERROR! No free identifier number left in m.map\n", 1, {}},
        {"extract", {"extract", "base.map", "found.map", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"found.map", Found}}, "", Saved, 0, {{"out.map", Map({{WsBaseProps, {W1}}})}}},
        {"extract keeps the source's header", {"extract", "base.map", "found.map", "-dest:out.map", "-y"},
            {{"base.map", "// Game: Quake\n" + Base}, {"found.map", Found}}, "", Saved, 0,
            {{"out.map", "// Game: Quake\r\n" + Map({{WsBaseProps, {W1}}})}}},
        {"extract keeps an emptied worldspawn", {"extract", "base.map", "w.map", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"w.map", Map({{WsExtraProps, {W2, W1}}})}}, "", Saved, 0,
            {{"out.map", Map({{WsBaseProps, {}}, Light, Door})}}},
        {"extract: a rule still removes the worldspawn",
            {"extract", "base.map", "w.map", "-dse:worldspawn", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"w.map", Map({{WsExtraProps, {W1}}})}}, "", Saved, 0,
            {{"out.map", Map({Light, Door})}}},
        {"mkid numbers dest and additional files", {"mkid", "base.map", "extra.map", "-dest:out.map", "-y"}, Files, "",
            "extra.map saved\n" + Saved, 0, {{"out.map", OutIds}, {"extra.map", ExtraIds}}},
        {"mkid asks before rewriting", {"mkid", "base.map", "extra.map", "-dest:out.map"}, Files, "n",
            Question("extra.map") + Saved, 0, {{"out.map", OutIds}}},
        {"rmid", {"rmid", "base.map", "extra.map", "-dest:out.map", "-y"}, Files, "", "extra.map saved\n" + Saved, 0,
            {{"out.map", Map({{WsBaseProps, {W1, W2}}, Light, {{{"classname", "func_door"}}, {D1}}})},
                {"extra.map", Map({{WsExtraProps, {W2, W3}}, Start, {{{"classname", "func_door"}}, {D2}}})}}},
        {"rmid leaves files without ids alone", {"rmid", "base.map", "s.map", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"s.map", SrcS}}, "", Saved, 0,
            {{"out.map", Map({{WsBaseProps, {W1, W2}}, Light, {{{"classname", "func_door"}}, {D1}}})}}},
        // Blocks longer than the pieces a map is read in: each id is dealt with once.
        {"rmid on a long block", {"rmid", "g.map", "-dest:out.map", "-y", "-v"},
            {{"g.map", Map({{{{"classname", "func_group"}, {"id", "A"}, {"id", "B"}}, Walls}})}}, "",
            "out.map saved\n  1 entities, 7000 brushes\n  ids removed: 1\nComplete\n", 0,
            {{"out.map", Map({{{{"classname", "func_group"}, {"id", "B"}}, Walls}})}}},
        {"rmid on a long block with a property after its brushes", {"rmid", "g.map", "-dest:out.map", "-y", "-v"},
            {{"g.map", LateProperty}}, "", "out.map saved\n  1 entities, 7000 brushes\n  ids removed: 1\nComplete\n", 0,
            {{"out.map", Map({{{{"classname", "func_group"}, {"late", "1"}}, Walls}})}}},
        {"mkid on a long block", {"mkid", "g.map", "-dest:out.map", "-y", "-v"},
            {{"g.map", Map({{{{"classname", "func_group"}}, Walls}, {{{"id", "a#7"}}, {}}})}}, "",
            "out.map saved\n  2 entities, 7000 brushes\n  ids given: 1\nComplete\n", 0,
            {{"out.map", Map({{{{"classname", "func_group"}, {"id", "out.map#8"}}, Walls}, {{{"id", "a#7"}}, {}}})}}},
        {"concat into a long block", {"g.map", "h.map", "-dest:out.map", "-y", "-v"},
            {{"g.map", Map({{{{"classname", "func_group"}, {"id", "A"}}, Walls}})},
                {"h.map", Map({{{{"classname", "func_group"}, {"id", "A"}}, {W1, W3}}, Light})}},
            "",
            "out.map saved\n  2 entities, 7001 brushes\n  brushes added: 1, brushes already there: 1, entities "
            "appended: 1, entities merged: 1\nComplete\n",
            0, {{"out.map", Map({{{{"classname", "func_group"}, {"id", "A"}}, Concatenated(Walls, W3)}, Light})}}},
        {"rmdpid on a long block", {"rmdpid", "g.map", "-dest:out.map", "-y", "-v"},
            {{"g.map", Map({{{{"classname", "func_group"}, {"id", "A"}}, Walls}, {{{"id", "a"}}, {}}})}}, "",
            "out.map saved\n  2 entities, 7000 brushes\n  repeated ids removed: 1\nComplete\n", 0,
            {{"out.map", Map({{{{"classname", "func_group"}, {"id", "A"}}, Walls}, {{}, {}}})}}},
        {"rmdpid", {"rmdpid", "dup.map", "-dest:out.map", "-y"},
            {{"dup.map", Map({Door, {{{"classname", "func_door"}, {"id", "DOOR1"}}, {D2}}})}}, "", Saved, 0,
            {{"out.map", Map({Door, {{{"classname", "func_door"}}, {D2}}})}}},
    });
}

TEST(Brixel, WorldspawnSource)
{
    RunCases({
        {"concat takes the donor's properties", {"base.map", "-wprops:donor.map", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"donor.map", Donor}}, "", Saved, 0,
            {{"out.map", Map({{DonorProps, {W1, W2}}, Light, Door})}}},
        {"a source without worldspawn gets a new entity", {"l.map", "-wprops:donor.map", "-dest:out.map", "-y"},
            {{"l.map", Map({Light})}, {"donor.map", Donor}}, "", Saved, 0,
            {{"out.map", Map({Light, {DonorProps, {}}})}}},
        {"the new entity is the worldspawn that additional worldspawns merge into",
            {"l.map", "x.map", "-wprops:donor.map", "-dest:out.map", "-y"},
            {{"l.map", Map({Light})}, {"donor.map", Donor}, {"x.map", Map({{WsExtraProps, {W2, W3}}})}}, "", Saved, 0,
            {{"out.map",
                Map({Light, {{{"classname", "worldspawn"}, {"message", "Donor"}, {"wad", "extra.wad"}}, {W2, W3}}})}}},
        {"other commands skip it", {"mkid", "base.map", "-wprops:nope.map", "-dest:out.map", "-y"},
            {{"base.map", Base}}, "", "Worldspawn-source file skipped: nope.map. His for \"concat\" only\n" + Saved, 0,
            {{"out.map", OutIds}}},
        {"missing", {"base.map", "-wprops:nope.map", "-y"}, {{"base.map", Base}}, "",
            "ERROR! File not found: nope.map\n", 1, {}},
        {"does not read", {"base.map", "-wprops:bad.map", "-y"}, {{"base.map", Base}, {"bad.map", Truncated}}, "",
            "bad.map:2: Unexpected end of file\n", 1, {}},
        {"has no worldspawn", {"base.map", "-wprops:l.map", "-y"}, {{"base.map", Base}, {"l.map", Map({Light})}}, "",
            "ERROR! The entity \"worldspawn\" is not found in a file l.map\n", 1, {}},
    });
}

TEST(Brixel, Rules)
{
    const std::vector<TFile> Files = {{"s.map", SrcS}, {"a.map", AddA}};
    auto Concat = [](std::string Rule) {
        return std::vector<std::string>{"s.map", "a.map", std::move(Rule), "-dest:out.map", "-y"};
    };
    RunCases({
        {"-de: both inputs", Concat("-de:LIGHT"), Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W2, W3, W4}}})}}},
        {"-dse: source only", Concat("-dse:light"), Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W2, W3, W4}}, Light2})}}},
        {"-dae: additional only", Concat("-dae:l*"), Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W2, W3, W4}}, Light})}}},
        {"-dt: both inputs", Concat("-dt:ceil"), Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W3}}, Light, Light2})}}},
        {"-dst: source only", Concat("-dst:CEIL"), Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W3, W4}}, Light, Light2})}}},
        {"-dat: additional only", Concat("-dat:CEIL"), Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W2, W3}}, Light, Light2})}}},
        {"-ddt: destination", Concat("-ddt:C?IL"), Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W3}}, Light, Light2})}}},
        {"a brush entity without brushes is not written", {"base.map", "-dt:DOOR", "-dest:out.map", "-y"},
            {{"base.map", Base}}, "", Saved, 0, {{"out.map", Map({{WsBaseProps, {W1, W2}}, Light})}}},
        {"an invalid mask", Concat("-de:[abc"), Files, "", "ERROR! '[abc' is an invalid mask at (5)\n", 1, {}},
        {"-rt before -ddt, names ignore case", {"base.map", "-ddt:null", "-RT:door=NULL", "-dest:out.map", "-y"},
            {{"base.map", Base}}, "", Saved, 0, {{"out.map", Map({{WsBaseProps, {W1, W2}}, Light})}}},
        {"-KL:", {"tb.map", "-KL:rooms", "-dest:out.map", "-y"}, {{"tb.map", Layered}}, "", Saved, 0,
            {{"out.map", Map({{WsBaseProps, {}}, LayerRooms})}}},
        {"-DL:", {"tb.map", "-DL:r*", "-dest:out.map", "-y"}, {{"tb.map", Layered}}, "", Saved, 0,
            {{"out.map", Map({{WsBaseProps, {W1}}, Start})}}},
    });
}

TEST(Brixel, Areas)
{
    const std::vector<TFile> Files = {{"base.map", Base}, {"extra.map", Extra}};
    RunCases({
        {"brush box", {"base.map", "extra.map", "-ba:b/0/0/0/100/100/100", "-dest:out.map", "-y"}, Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1}}, Light, {Door.Props, {D1, D2}}, Start})}}},
        {"brushes of another map", {"base.map", "extra.map", "-ba:m/cut.map", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"extra.map", Extra},
                {"cut.map", Map({{WsExtraProps, {Box(200, -8, -8, 400, 80, 80, "X")}}})}},
            "", Saved, 0, {{"out.map", Map({{WsMergedProps, {W3}}, Light, {Door.Props, {D1, D2}}, Start})}}},
        {"entity ball", {"base.map", "extra.map", "-ea:c/0/0/0/100", "-dest:out.map", "-y"}, Files, "", Saved, 0,
            {{"out.map", Map({{WsMergedProps, {W1, W2, W3}}, Light, {Door.Props, {D1, D2}}})}}},
        {"column round matching entities", {"base.map", "extra.map", "-ea:r/LIGHT/0", "-dest:out.map", "-y"}, Files, "",
            Saved, 0, {{"out.map", Map({{WsMergedProps, {W1, W2, W3}}, Light, {Door.Props, {D1, D2}}})}}},
        {"entity without a place", {"n.map", "-ea:c/0/0/0/100", "-y"},
            {{"n.map", Map({{{{"classname", "info_null"}}, {}}})}}, "", "ERROR! Error entity arrangement: info_null\n",
            1, {}},
    });
}

TEST(Brixel, Question)
{
    const std::vector<TFile> Files = {{"base.map", Base}, {"out.map", "old"}};
    const std::vector<std::string> Args = {"base.map", "-dest:out.map"};
    const std::vector<TFile> Written = {{"out.map", Base}};
    RunCases({
        {"y", Args, Files, "y", Question("out.map") + Saved, 0, Written},
        {"Y", Args, Files, "Y\n", Question("out.map") + Saved, 0, Written},
        {"n", Args, Files, "n", Question("out.map") + "Complete\n", 0, {}},
        {"N", Args, Files, "N", Question("out.map") + "Complete\n", 0, {}},
        {"other then y", Args, Files, "x y", Question("out.map") + Question("out.map") + Question("out.map") + Saved, 0,
            Written},
        {"line ends are skipped", Args, Files, "\r\n\ny", Question("out.map") + Saved, 0, Written},
        {"end of input is no, and nobody answered", Args, Files, "", Question("out.map") + "Complete\n", 1, {}},
        {"the source is the default destination", {"base.map"}, {{"base.map", "{\n\"classname\" \"worldspawn\"\n}"}},
            "y", Question("base.map") + "base.map saved\nComplete\n", 0,
            {{"base.map", Map({{{{"classname", "worldspawn"}}, {}}})}}},
        {"no question for a new file", {"base.map", "-dest:new.map"}, {{"base.map", Base}}, "",
            "new.map saved\nComplete\n", 0, {{"new.map", Base}}},
        {"-y does not ask", {"base.map", "-dest:out.map", "-y"}, Files, "", Saved, 0, Written},
        // Every question of a run first, then the files in place in the same order.
        {"all questions, then all files", {"mkid", "base.map", "extra.map", "-dest:out.map"},
            {{"base.map", Base}, {"extra.map", Extra}, {"out.map", "old"}}, "yy",
            Question("extra.map") + Question("out.map") + "extra.map saved\n" + Saved, 0,
            {{"out.map", OutIds}, {"extra.map", ExtraIds}}},
        {"one kept, one written", {"mkid", "base.map", "extra.map", "-dest:out.map"},
            {{"base.map", Base}, {"extra.map", Extra}, {"out.map", "old"}}, "ny",
            Question("extra.map") + Question("out.map") + Saved, 0, {{"out.map", OutIds}}},
        {"the input ends after the first answer", {"mkid", "base.map", "extra.map", "-dest:out.map"},
            {{"base.map", Base}, {"extra.map", Extra}, {"out.map", "old"}}, "y\n",
            Question("extra.map") + Question("out.map") + "extra.map saved\nComplete\n", 1, {{"extra.map", ExtraIds}}},
        {"an empty -dest: counts as not given", {"base.map", "-dest:", "-dest:out.map", "-y"}, Files, "", Saved, 0,
            Written},
    });
}

TEST(Brixel, Counts)
{
    const std::vector<TFile> Files = {{"base.map", Base}, {"extra.map", Extra}};
    const std::string Rest = Map({{WsMergedProps, {W1}}, Light, {Door.Props, {D1}}});
    RunCases({
        // The shared wall is there, the far wall and the second door brush are
        // added; the player start is appended.
        {"concat", {"base.map", "extra.map", "-dest:out.map", "-y", "-v"}, Files, "",
            "out.map saved\n  4 entities, 5 brushes\n"
            "  brushes added: 2, brushes already there: 1, entities appended: 1, entities merged: 2\nComplete\n",
            0, {{"out.map", Merged}}},
        {"concat: what a rule removed is not appended",
            {"base.map", "extra.map", "-dae:info_*", "-dest:out.map", "-y", "-V"}, Files, "",
            "out.map saved\n  3 entities, 5 brushes\n"
            "  brushes added: 2, brushes already there: 1, entities appended: 0, entities merged: 2\nComplete\n",
            0, {{"out.map", Map({{WsMergedProps, {W1, W2, W3}}, Light, {Door.Props, {D1, D2}}})}}},
        {"extract", {"extract", "m.map", "extra.map", "-dest:out.map", "-y", "-v"},
            {{"m.map", Merged}, {"extra.map", Extra}}, "",
            "out.map saved\n  3 entities, 2 brushes\n  left out: 1 entities, 3 brushes\nComplete\n", 0,
            {{"out.map", Rest}}},
        // The door goes whole, its brush counted with the world's.
        {"extract against a copy", {"extract", "base.map", "copy.map", "-dest:out.map", "-y", "-v"},
            {{"base.map", Base}, {"copy.map", Base}}, "",
            "out.map saved\n  1 entities, 0 brushes\n  left out: 2 entities, 3 brushes\nComplete\n", 0,
            {{"out.map", Map({{WsBaseProps, {}}})}}},
        {"mkid counts the additional maps too", {"mkid", "base.map", "extra.map", "-dest:out.map", "-y", "-v"}, Files,
            "",
            "extra.map saved\n  3 entities, 3 brushes\nout.map saved\n  3 entities, 3 brushes\n  ids given: 2\n"
            "Complete\n",
            0, {{"out.map", OutIds}, {"extra.map", ExtraIds}}},
        {"mkid in Russian", {"mkid", "base.map", "-dest:out.map", "-y", "-v", "-ru"}, Files, "",
            Ru("out.map сохранен\n  сущностей: 3, брашей: 3\n  присвоено идентификаторов: 1\nВыполнено\n"), 0,
            {{"out.map", OutIds}}},
        {"rmid", {"rmid", "o.map", "-dest:out.map", "-y", "-v"}, {{"o.map", OutIds}}, "",
            "out.map saved\n  3 entities, 3 brushes\n  ids removed: 2\nComplete\n", 0,
            {{"out.map", Map({{WsBaseProps, {W1, W2}}, Light, {{{"classname", "func_door"}}, {D1}}})}}},
        {"an answer n: no file, the command's line all the same", {"mkid", "base.map", "-dest:base.map", "-v"}, Files,
            "n", Question("base.map") + "  ids given: 1\nComplete\n", 0, {}},
    });
}

TEST(Brixel, OptionFiles)
{
    const std::vector<TFile> Files = {{"base.map", Base}, {"extra.map", Extra}};
    auto With = [&](std::vector<TFile> More) {
        More.insert(More.begin(), Files.begin(), Files.end());
        return More;
    };
    RunCases({
        {"options from a file", {"base.map", "extra.map", "-sc:o.txt"}, With({{"o.txt", "-dest:out.map\n-y\n"}}), "",
            "Include o.txt\n" + Saved, 0, {{"out.map", Merged}}},
        {"comments, empty lines, CR LF and a byte-order mark", {"base.map", "extra.map", "-sc:o.txt"},
            With({{"o.txt", "\xEF\xBB\xBF// -dest:bad.map\r\n\r\n-dest:out.map\r\n\r\n-y\r\n"}}), "",
            "Include o.txt\n" + Saved, 0, {{"out.map", Merged}}},
        {"lines come after the whole command line", {"-sc:o.txt", "base.map", "-dest:out.map"},
            With({{"o.txt", "extra.map\n-y\n"}}), "", "Include o.txt\n" + Saved, 0, {{"out.map", Merged}}},
        {"nested files", {"base.map", "-sc:o.txt", "extra.map"},
            With({{"o.txt", "-sc:p.txt\n-y\n"}, {"p.txt", "-dest:out.map\n"}}), "",
            "Include o.txt\nInclude p.txt\n" + Saved, 0, {{"out.map", Merged}}},
        {"a line is one argument", {"base.map", "-sc:o.txt"}, With({{"o.txt", "-dest:my out.map\n-y\n"}}), "",
            "Include o.txt\nmy out.map saved\nComplete\n", 0, {{"my out.map", Base}}},
        {"another path to an option file is the same file", {"base.map", "-sc:o.txt"},
            With({{"o.txt", "-sc:./o.txt\n"}}), "", "Include o.txt\nERROR! Recursive call of a file ./o.txt\n", 1, {}},
    });
}

TEST(Brixel, Patterns)
{
    const TEnt LightA = {{{"classname", "light"}, {"origin", "1 1 1"}}, {}};
    const TEnt LightB = {{{"classname", "light"}, {"origin", "2 2 2"}}, {}};
    const std::vector<TFile> Files = {{"base.map", Base}, {"sub/b.map", Map({LightB})}, {"sub/a.map", Map({LightA})},
        {"sub/dir.map/", ""}, {"sub/c.txt", "not a map"}};
    RunCases({
        {"directory part kept, sorted, no directories", {"base.map", "sub/*.map", "-dest:out.map", "-y"}, Files, "",
            Saved, 0, {{"out.map", Map({{WsBaseProps, {W1, W2}}, Light, Door, LightA, LightB})}}},
        {"question mark", {"base.map", "sub/?.map", "-dest:out.map", "-y"}, Files, "", Saved, 0,
            {{"out.map", Map({{WsBaseProps, {W1, W2}}, Light, Door, LightA, LightB})}}},
        {"mkid writes back under the joined name", {"mkid", "base.map", "sub/a*", "-dest:out.map", "-y"}, Files, "",
            "sub/a.map saved\n" + Saved, 0,
            {{"out.map", OutIds},
                {"sub/a.map", Map({{{{"classname", "light"}, {"origin", "1 1 1"}, {"id", "a.map#1"}}, {}}})}}},
        // Windows compares names without regard to case and takes "\" as a separator.
        {"letter case of a pattern", {"base.map", "sub/*.MAP", "-dest:out.map", "-y"}, Files, "",
            PerPlatform<std::string>("ERROR! File not found: sub/*.MAP\n", Saved), PerPlatform(1, 0),
            PerPlatform<std::vector<TFile>>(
                {}, {{"out.map", Map({{WsBaseProps, {W1, W2}}, Light, Door, LightA, LightB})}})},
        {"backslash before the pattern", {"mkid", "base.map", "sub\\a*", "-dest:out.map", "-y"}, Files, "",
            PerPlatform<std::string>("ERROR! File not found: sub\\a*\n", "sub\\a.map saved\n" + Saved),
            PerPlatform(1, 0),
            PerPlatform<std::vector<TFile>>(
                {}, {{"out.map", OutIds},
                        {"sub/a.map", Map({{{{"classname", "light"}, {"origin", "1 1 1"}, {"id", "a.map#1"}}, {}}})}})},
    });
}

TEST(Brixel, FileNames)
{
    // sub\out.map is a file in a directory on Windows, one file name
    // elsewhere; the ids take the bare file name on every platform.
    std::vector<Case> Cases = {
        {"a destination in a directory", {"mkid", "base.map", "-dest:sub\\out.map", "-y"},
            {{"base.map", Base}, {"sub/", ""}}, "", "sub\\out.map saved\nComplete\n", 0,
            {{PerPlatform<std::string>("sub\\out.map", "sub/out.map"), OutIds}}},
    };
    // Names are held as the system's text (the ANSI code page on Windows) and
    // printed as such, also between Russian words in code page 866.
    std::string Name;
    if (testplatform::NativeText("Жук.map", Name)) {
        const std::string Lines = "-dest:Жук.map\r\n-y\r\n";
        Cases.insert(Cases.end(),
            {
                {"a name on the command line", {"base.map", "-dest:" + Name, "-y"}, {{"base.map", Base}}, "",
                    Name + " saved\nComplete\n", 0, {{"Жук.map", Base}}},
                {"a UTF-8 option file", {"base.map", "-sc:o.txt"},
                    {{"base.map", Base}, {"o.txt", "\xEF\xBB\xBF" + Lines}}, "",
                    "Include o.txt\n" + Name + " saved\nComplete\n", 0, {{"Жук.map", Base}}},
                {"a UTF-16 option file", {"base.map", "-sc:o.txt"}, {{"base.map", Base}, {"o.txt", Utf16Le(Lines)}}, "",
                    "Include o.txt\n" + Name + " saved\nComplete\n", 0, {{"Жук.map", Base}}},
                {"Russian message around a name", {"-ru", Name}, {}, "", Ru("ОШИБКА! Файл не найден: ") + Name + "\n",
                    1, {}},
            });
    }
    RunCases(Cases);
}

TEST(Brixel, LoadAndWriteErrors)
{
    RunCases({
        {"source does not read", {"bad.map", "-dest:out.map", "-y"}, {{"bad.map", Truncated}}, "",
            "bad.map:2: Unexpected end of file\n", 1, {}},
        {"additional file does not read", {"base.map", "bad.map", "-dest:out.map", "-y"},
            {{"base.map", Base}, {"bad.map", Truncated}}, "", "ERROR! bad.map:2: Unexpected end of file\n", 1, {}},
        // Each reader's fault, in the second of two maps a pattern finds, with
        // lone CR line ends: the message says which file and which line.
        {"bad face points", {"base.map", "p*.map", "-y"},
            {{"base.map", Base}, {"p1.map", Base},
                {"p2.map", "{\r\"classname\" \"worldspawn\"\r{\r( 0 0 0 ) x\r}\r}\r"}},
            "", "ERROR! p2.map:4: '(' expected\n", 1, {}},
        {"no texture", {"base.map", "p*.map", "-y"},
            {{"base.map", Base}, {"p1.map", Base}, {"p2.map", "{\r{\r( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )\r}\r}\r"}}, "",
            "ERROR! p2.map:3: Texture name expected\n", 1, {}},
        {"no texture parameters", {"base.map", "p*.map", "-y"},
            {{"base.map", Base}, {"p1.map", Base}, {"p2.map", "{\r\r{\r( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) T\r}\r}\r"}}, "",
            "ERROR! p2.map:4: Unexpected end of line\n", 1, {}},
        {"a point without its end", {"base.map", "p*.map", "-y"},
            {{"base.map", Base}, {"p1.map", Base}, {"p2.map", "{\r{\r( 0 0 0\r}\r}\r"}}, "",
            "ERROR! p2.map:3: Format error\n", 1, {}},
        {"a bad number", {"base.map", "p*.map", "-y"},
            {{"base.map", Base}, {"p1.map", Base}, {"p2.map", "{\r{\r( 0 0 1e ) ( 1 0 0 ) ( 0 1 0 ) T 0\r}\r}\r"}}, "",
            "ERROR! p2.map:3: '1e ' is not a valid floating point value\n", 1, {}},
        {"a patch with more rows than its header says", {"base.map", "p*.map", "-y"},
            {{"base.map", Base}, {"p1.map", Base},
                {"p2.map",
                    "{\r{\rpatchDef2\r{\rT\r( 1 1 0 0 0 )\r(\r( ( 0 0 0 0 0 ) )\r( ( 1 0 0 0 0 ) )\r)\r}\r}\r}\r"}},
            "", "ERROR! p2.map:9: Wrong number of patch rows: 1 expected\n", 1, {}},
        {"an unknown block", {"base.map", "p*.map", "-y"},
            {{"base.map", Base}, {"p1.map", Base}, {"p2.map", "{\r{\rbrushDef3\r{\r}\r}\r}\r"}}, "",
            "ERROR! p2.map:3: Unknown block: brushDef3\n", 1, {}},
        {"a bad property", {"base.map", "p*.map", "-y"},
            {{"base.map", Base}, {"p1.map", Base}, {"p2.map", "// x\r\n{\r\n\"a\" b\r\n}\r\n"}}, "",
            "ERROR! p2.map:3: '\"' expected\n", 1, {}},
        {"destination cannot be created; no file of the run is written",
            {"mkid", "base.map", "extra.map", "-dest:nodir/out.map", "-y"}, {{"base.map", Base}, {"extra.map", Extra}},
            "", "ERROR! Cannot create file \"nodir/out.map\". ", 1, {}, true},
    });
}

TEST(Brixel, Examples)
{
    // The bundled maps: two rooms that share one wall brush and one door brush.
    const std::string Ex = fs::absolute(BRIX_EXAMPLES_DIR).string();
    struct Step
    {
        std::vector<std::string> Args;
        std::vector<std::string> Classes; ///< of the written entities, in order
        std::vector<std::size_t> Brushes; ///< brush count of each
    };
    const Step Steps[] = {
        {{"concat", Ex + "/base.map", Ex + "/extra.map", "-wprops:" + Ex + "/props.map"},
            {"worldspawn", "info_player_start", "light", "func_door", "light", "item_health"}, {11, 0, 0, 2, 0, 0}},
        // Taking room B out again leaves room A without the shared wall and door.
        {{"extract", "out.map", Ex + "/extra.map"}, {"worldspawn", "info_player_start", "light"}, {5, 0, 0}},
    };
    TTempDir Dir;
    for (const Step &S : Steps) {
        SCOPED_TRACE(S.Args[0]);
        std::vector<std::string> Args = S.Args;
        Args.insert(Args.end(), {"-dest:out.map", "-y"});
        const TRun R = RunBrixel(Dir, Args, "");
        EXPECT_EQ(R.Status, 0);
        EXPECT_EQ(R.Out, ConsoleText(Banner + Saved));

        brix::TMapFile Out;
        std::string Error;
        Out.LoadFromFile((Dir.Work() / "out.map").string(), Error);
        EXPECT_EQ(Error, "");
        std::vector<std::string> Classes;
        std::vector<std::size_t> Brushes;
        for (std::size_t I = 0; I < Out.Count(); ++I) {
            Classes.push_back(Out[I].PropValue("classname"));
            Brushes.push_back(Out[I].Brushes.Count());
        }
        EXPECT_EQ(Classes, S.Classes);
        EXPECT_EQ(Brushes, S.Brushes);
        ASSERT_GT(Out.Count(), 0u);
        EXPECT_EQ(Out[0].PropValue("message"), "Two rooms");
    }
}

namespace
{

/// Brushes of the world (worldspawn, groups, detail), those of them centred at
/// x <= Mid, and the other entities' brushes.
struct TTally
{
    std::size_t World = 0, WorldWest = 0, Other = 0;
};

TTally Tally(brix::TMapFile &Map, double Mid)
{
    TTally T;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        const bool World = Map[I].WorldSpawn() || brix::IsWorldGeometry(Map[I]);
        for (brix::TBrush &B : Map[I].Brushes) {
            B.CalcMinMax();
            T.World += World ? 1 : 0;
            T.WorldWest += World && B.Bounds.Center.x <= Mid ? 1 : 0;
            T.Other += World ? 0 : 1;
        }
    }
    return T;
}

/// Each entity as its properties and sorted brushes, sorted: equal for maps
/// that hold the same things in any order.
std::vector<std::string> Contents(const brix::TMapFile &Map)
{
    std::vector<std::string> Items;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        std::vector<std::string> Parts;
        for (const brix::TBrush &B : Map[I].Brushes) {
            brix::TLineWriter W;
            B.SaveToList(W);
            Parts.push_back(W.Text());
        }
        std::sort(Parts.begin(), Parts.end());
        for (std::size_t P = 0; P < Map[I].Props.size(); ++P) {
            Parts.push_back(Map[I].Props[P].str() + "=" + Map[I].Values[P] + "\n");
        }
        Items.push_back(std::accumulate(Parts.begin(), Parts.end(), std::string()));
    }
    std::sort(Items.begin(), Items.end());
    return Items;
}

} // namespace

TEST(Brixel, CorpusCuts)
{
    const fs::path Source = fs::path(BRIX_CORPUS_DIR) / "e3m4.map";
    if (!fs::is_regular_file(Source)) {
        GTEST_SKIP() << "no map corpus at " << Source.string();
    }
    TTempDir Dir;
    fs::copy_file(Source, Dir.Work() / "e3m4.map");
    // The copy keeps the corpus's read-only mode, which keeps Windows from
    // removing the folder afterwards.
    fs::permissions(Dir.Work() / "e3m4.map", fs::perms::owner_write, fs::perm_options::add);
    // Runs the program and loads what it wrote.
    const auto Run = [&](std::vector<std::string> Args, const std::string &Dest) {
        Args.insert(Args.end(), {"-dest:" + Dest, "-y"});
        const TRun R = RunBrixel(Dir, Args, "");
        EXPECT_EQ(R.Status, 0) << R.Out;
        brix::TMapFile Map;
        std::string Error;
        Map.LoadFromFile((Dir.Work() / Dest).string(), Error);
        EXPECT_EQ(Error, "");
        return Map;
    };
    // Slabs of x, any y and z; the map spans x = -3360 to 3232.
    const auto Slab = [](const std::string &X1, const std::string &X2) {
        const std::string M = "2147483647";
        return "b/" + X1 + "/-" + M + "/-" + M + "/" + X2 + "/" + M + "/" + M;
    };
    const std::string West = Slab("-2147483647", "-64"), East = Slab("-64", "2147483647");

    // -ba keeps the world brushes centred in the half, and only those.
    brix::TMapFile Plain = Run({"e3m4.map"}, "plain.map");
    brix::TMapFile Half = Run({"e3m4.map", "-ba:" + West}, "half.map");
    const TTally Before = Tally(Plain, -64), After = Tally(Half, -64);
    EXPECT_EQ(After.World, Before.WorldWest);
    EXPECT_EQ(After.WorldWest, After.World);
    EXPECT_EQ(After.Other, Before.Other);
    EXPECT_GT(After.World * 10, Before.World * 3);
    EXPECT_LT(After.World * 10, Before.World * 7);

    // -ea round the whole map changes nothing.
    Run({"e3m4.map", "-ea:" + Slab("-2147483647", "2147483647")}, "all.map");
    EXPECT_TRUE(ReadAll(Dir.Work() / "all.map") == ReadAll(Dir.Work() / "plain.map"));

    // The halves cut with the same slabs for brushes and entities (what lies on
    // x = -64 is in both), merged by id, give the map back.
    const brix::TMapFile Ids = Run({"mkid", "e3m4.map"}, "ids.map");
    EXPECT_LT(Run({"ids.map", "-ba:" + West, "-ea:" + West}, "west.map").Count(), Ids.Count());
    EXPECT_LT(Run({"ids.map", "-ba:" + East, "-ea:" + East}, "east.map").Count(), Ids.Count());
    EXPECT_TRUE(Contents(Run({"west.map", "east.map"}, "back.map")) == Contents(Ids));
}
