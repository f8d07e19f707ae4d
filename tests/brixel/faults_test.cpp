// Faults on the way in and out, with the built program: destinations that
// cannot be written, a full disk, inputs that vanish, binary input, sizes far
// beyond real maps, and two runs racing for one destination. A fault is
// always reported, the run ends with status 1, and every file is as it was.
#ifndef _WIN32

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mount.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "testfiles.h"

#include "brixel/brixel.h"

namespace fs = std::filesystem;

namespace
{

const std::string Banner = "brixel v1.51\n\n";
constexpr uid_t Nobody = 65534;

std::string Reason(int Err)
{
    return std::system_category().message(Err);
}

// --- inputs ------------------------------------------------------------------------

const std::string Face = "( 0 0 0 ) ( 0 64 0 ) ( 0 0 16 ) FLOOR 0 0 0 1 1\r\n";

// A map in the written form, so a run that only copies it writes it unchanged.
std::string WorldMap(std::size_t Faces, const std::string &Value = "worldspawn")
{
    std::string S = "\r\n// entity 0\r\n{\r\n\"classname\" \"" + Value + "\"\r\n// brush 0\r\n{\r\n";
    S.reserve(S.size() + Faces * Face.size() + 16);
    for (std::size_t I = 0; I < Faces; ++I) {
        S += Face;
    }
    return S + "}\r\n}\r\n";
}

const std::string Base = WorldMap(6);
const std::string Old = "old contents\n";
const std::string Light = "{\n\"classname\" \"light\"\n}\n"; // no id: mkid changes it

// Bytes as a file of another program might hold them: NULs and all.
std::string Garbage(std::size_t Size)
{
    std::string S(Size, '\0');
    std::uint32_t X = 12345;
    for (char &C : S) {
        X = X * 1103515245u + 12345u;
        C = static_cast<char>(X >> 24);
    }
    return S;
}

std::string Utf16Le(const std::string &Ascii)
{
    std::string S = "\xFF\xFE";
    for (const char C : Ascii) {
        S += C;
        S += '\0';
    }
    return S;
}

std::string NotText(const std::string &Name, std::size_t Offset)
{
    return "Cannot open file \"" + Name + "\". Not a text file: NUL character at offset " + std::to_string(Offset);
}

// --- running the program -------------------------------------------------------------

struct TFile
{
    std::string Name; ///< relative; a name ending in "/" is a directory
    std::string Bytes;
    int Mode = -1; ///< set after all files are made; -1 keeps the default
};

struct TSetup
{
    rlim_t FileSizeLimit = RLIM_INFINITY; ///< "ulimit -f" in bytes
    bool WithoutRoot = false;             ///< root's rights would bypass read-only files
};

struct TRun
{
    std::string Out;
    std::string Err;
    int Status = -1;
};

constexpr int ChildSkipped = 125;   ///< the child could not give up root's rights
constexpr int ChildCannotRun = 124; ///< without them, the child cannot reach the program

// Runs without root's rights take a copy of the program that every user can
// reach: the build folder may lie where only root can (a checkout under /root
// or in a temporary folder of mode 0700). Empty when no copy can be made.
const std::string &ProgramForAnyUser()
{
    struct TCopy
    {
        fs::path Dir = fs::temp_directory_path() / ("brixel-faults-" + std::to_string(::getpid()) + "-program");
        std::string Program;
        TCopy()
        {
            std::error_code Ec;
            fs::create_directories(Dir, Ec);
            const auto ReadAndRun = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec;
            fs::permissions(Dir, ReadAndRun, Ec);
            if (!Ec) {
                fs::copy_file(BRIXEL_EXE, Dir / "brixel", fs::copy_options::overwrite_existing, Ec);
            }
            if (!Ec) {
                fs::permissions(Dir / "brixel", ReadAndRun, Ec);
            }
            if (!Ec) {
                Program = (Dir / "brixel").string();
            }
        }
        ~TCopy()
        {
            std::error_code Ec;
            fs::remove_all(Dir, Ec);
        }
        TCopy(const TCopy &) = delete;
        TCopy &operator=(const TCopy &) = delete;
    };
    static const TCopy Copy;
    return Copy.Program;
}

class TScratch
{
public:
    TScratch()
    {
        static std::atomic<int> Counter{0};
        FRoot = fs::temp_directory_path() /
                ("brixel-faults-" + std::to_string(::getpid()) + "-" + std::to_string(Counter++));
        fs::remove_all(FRoot);
        fs::create_directories(FRoot / "work");
    }
    ~TScratch()
    {
        // Read-only directories would keep their contents.
        std::error_code Ec;
        for (auto It = fs::recursive_directory_iterator(FRoot, Ec); !Ec && It != fs::recursive_directory_iterator();
             It.increment(Ec)) {
            fs::permissions(It->path(), fs::perms::owner_all, fs::perm_options::add, Ec);
        }
        fs::remove_all(FRoot, Ec);
    }
    TScratch(const TScratch &) = delete;
    TScratch &operator=(const TScratch &) = delete;

    fs::path Work() const { return FRoot / "work"; }
    fs::path Root() const { return FRoot; }

    void Make(const std::vector<TFile> &Files) const
    {
        for (const TFile &F : Files) {
            const fs::path P = Work() / F.Name;
            if (F.Name.back() == '/') {
                fs::create_directories(P);
            } else {
                fs::create_directories(P.parent_path());
                WriteAll(P, F.Bytes);
            }
        }
        for (const TFile &F : Files) {
            if (F.Mode >= 0) {
                ::chmod((Work() / F.Name).c_str(), static_cast<mode_t>(F.Mode));
            }
        }
    }

    /// Every entry under the work directory: files with their bytes,
    /// directories as names ending in "/", anything else (a pipe) by name.
    std::map<std::string, std::string> Snapshot() const
    {
        std::map<std::string, std::string> Entries;
        for (const auto &E : fs::recursive_directory_iterator(Work())) {
            const std::string Name = E.path().lexically_relative(Work()).generic_string();
            if (E.is_directory()) {
                Entries[Name + "/"] = "";
            } else if (E.is_regular_file()) {
                Entries[Name] = ReadAll(E.path());
            } else {
                Entries[Name] = "(not a file)";
            }
        }
        return Entries;
    }

private:
    fs::path FRoot;
};

pid_t Start(const TScratch &Dir, const std::vector<std::string> &Args, const TSetup &Setup, const std::string &Tag)
{
    const std::string InName = (Dir.Root() / "stdin").string();
    const std::string OutName = (Dir.Root() / ("stdout" + Tag)).string();
    const std::string ErrName = (Dir.Root() / ("stderr" + Tag)).string();
    const std::string WorkName = Dir.Work().string();
    if (!fs::exists(InName)) {
        WriteAll(InName, "");
    }
    const bool DropRoot = Setup.WithoutRoot && ::geteuid() == 0;
    std::vector<std::string> Argv = {DropRoot ? ProgramForAnyUser() : std::string(BRIXEL_EXE)};
    Argv.insert(Argv.end(), Args.begin(), Args.end());
    std::vector<char *> Ptrs;
    Ptrs.reserve(Argv.size() + 1);
    for (std::string &A : Argv) {
        Ptrs.push_back(A.data());
    }
    Ptrs.push_back(nullptr);

    const pid_t Pid = ::fork();
    if (Pid != 0) {
        return Pid;
    }
    // Only async-signal-safe calls between fork and exec.
    const int In = ::open(InName.c_str(), O_RDONLY);
    const int Out = ::open(OutName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int Err = ::open(ErrName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (In < 0 || Out < 0 || Err < 0 || ::chdir(WorkName.c_str()) != 0 || ::dup2(In, 0) < 0 || ::dup2(Out, 1) < 0 ||
        ::dup2(Err, 2) < 0) {
        ::_exit(127);
    }
    if (DropRoot && (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)) {
        ::_exit(ChildSkipped);
    }
    if (DropRoot && ::access(Ptrs[0], X_OK) != 0) {
        ::_exit(ChildCannotRun);
    }
    // The stopping signals as a user's shell leaves them, and no core file
    // beside the maps when one of them ends the run.
    for (const int Sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
        ::signal(Sig, SIG_DFL);
    }
    const rlimit NoCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &NoCore);
    if (Setup.FileSizeLimit != RLIM_INFINITY) {
        // Past the limit a write fails with EFBIG instead of killing the process.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit Limit = {Setup.FileSizeLimit, Setup.FileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &Limit) != 0) {
            ::_exit(127);
        }
    }
    ::execv(Ptrs[0], Ptrs.data());
    ::_exit(127);
}

TRun Finish(const TScratch &Dir, pid_t Pid, const std::string &Tag)
{
    TRun R;
    int WaitStatus = 0;
    if (Pid < 0 || ::waitpid(Pid, &WaitStatus, 0) != Pid) {
        return R;
    }
    // A crash gives -1, which no case expects.
    R.Status = WIFEXITED(WaitStatus) ? WEXITSTATUS(WaitStatus) : -1;
    R.Out = ReadAll(Dir.Root() / ("stdout" + Tag));
    R.Err = ReadAll(Dir.Root() / ("stderr" + Tag));
    return R;
}

TRun RunProgram(const TScratch &Dir, const std::vector<std::string> &Args, const TSetup &Setup = {})
{
    return Finish(Dir, Start(Dir, Args, Setup, ""), "");
}

struct Case
{
    const char *Name;
    std::vector<TFile> Inputs;
    std::vector<std::string> Args;
    std::string Out; ///< after the banner
    TSetup Setup = {};
};

// Every case is a fault: reported, status 1, and the files untouched.
void RunFaults(const std::vector<Case> &Cases)
{
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        TScratch Dir;
        Dir.Make(C.Inputs);
        const auto Before = Dir.Snapshot();
        const TRun R = RunProgram(Dir, C.Args, C.Setup);
        if (R.Status == ChildSkipped) {
            std::cout << "[ SKIPPED  ] " << C.Name << ": cannot give up root's rights here\n";
            continue;
        }
        if (R.Status == ChildCannotRun) {
            std::cout << "[ SKIPPED  ] " << C.Name << ": no copy of the program that user " << Nobody << " may run (in "
                      << fs::temp_directory_path().string() << ")\n";
            continue;
        }
        EXPECT_EQ(R.Status, 1);
        EXPECT_EQ(R.Err, "");
        if (R.Out.size() < 4096 && C.Out.size() < 4096) {
            EXPECT_EQ(R.Out, Banner + C.Out);
        } else {
            EXPECT_TRUE(R.Out == Banner + C.Out) << "output of " << R.Out.size() << " bytes differs";
        }
        EXPECT_TRUE(Dir.Snapshot() == Before) << "files changed";
    }
}

} // namespace

namespace
{

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string.
std::string OptionFileName(int I)
{
    std::string Name = "o";
    Name += std::to_string(I);
    Name += ".txt";
    return Name;
}

std::string OptionFileLine(int I)
{
    std::string Line = "-sc:";
    Line += OptionFileName(I);
    Line += '\n';
    return Line;
}

} // namespace

TEST(Faults, UnwritableDestinations)
{
    const TSetup User = {RLIM_INFINITY, true};
    const std::string Permission = Reason(EACCES);
    RunFaults({
        {"destination in a read-only directory", {{"base.map", Base}, {"ro/", "", 0555}, {"ro/out.map", Old}},
            {"base.map", "-dest:ro/out.map", "-y"}, "ERROR! Cannot create file \"ro/out.map\". " + Permission + "\n",
            User},
        {"new destination in a read-only directory", {{"base.map", Base}, {"ro/", "", 0555}},
            {"base.map", "-dest:ro/out.map", "-y"}, "ERROR! Cannot create file \"ro/out.map\". " + Permission + "\n",
            User},
        {"read-only destination in a writable directory",
            {{"./", "", 0777}, {"base.map", Base}, {"out.map", Old, 0444}}, {"base.map", "-dest:out.map", "-y"},
            "ERROR! Cannot create file \"out.map\". " + Permission + "\n", User},
        {"mkid: the second of three additional maps may not be written",
            {{"./", "", 0777}, {"base.map", Base}, {"a.map", Light, 0666}, {"b.map", Light, 0444},
                {"c.map", Light, 0666}},
            {"mkid", "base.map", "a.map", "b.map", "c.map", "-dest:out.map", "-y"},
            "ERROR! Cannot create file \"b.map\". " + Permission + "\n", User},
        {"mkid: the destination may not be written",
            {{"./", "", 0777}, {"base.map", Base}, {"a.map", Light, 0666}, {"out.map", Old, 0444}},
            {"mkid", "base.map", "a.map", "-dest:out.map", "-y"},
            "ERROR! Cannot create file \"out.map\". " + Permission + "\n", User},
        {"additional file written back into a read-only directory",
            {{"base.map", Base}, {"ro/", "", 0555}, {"ro/extra.map", "{\n\"classname\" \"light\"\n}\n"}},
            {"mkid", "base.map", "ro/extra.map", "-dest:out.map", "-y"},
            "ERROR! Cannot create file \"ro/extra.map\". " + Permission + "\n", User},
        {"destination is a directory", {{"base.map", Base}, {"out.map/", ""}, {"out.map/keep.map", Old}},
            {"base.map", "-dest:out.map", "-y"}, "ERROR! Cannot create file \"out.map\". " + Reason(EISDIR) + "\n"},
        {"destination names a directory with a slash", {{"base.map", Base}, {"sub/", ""}},
            {"base.map", "-dest:sub/", "-y"}, "ERROR! Cannot create file \"sub/\". " + Reason(EISDIR) + "\n"},
        {"disk full: file-size limit, new file", {{"base.map", WorldMap(200)}}, {"base.map", "-dest:out.map", "-y"},
            "ERROR! Cannot create file \"out.map\". " + Reason(EFBIG) + "\n", {4096, false}},
        {"disk full: file-size limit, the source is the destination", {{"base.map", WorldMap(200)}}, {"base.map", "-y"},
            "ERROR! Cannot create file \"base.map\". " + Reason(EFBIG) + "\n", {4096, false}},
        {"disk full: file-size limit, concat with an additional map named twice",
            {{"base.map", WorldMap(200)}, {"a.map", Light}}, {"base.map", "a.map", "a.map", "-dest:out.map", "-y"},
            "Additional file skipped: a.map\nERROR! Cannot create file \"out.map\". " + Reason(EFBIG) + "\n",
            {4096, false}},
    });
}

TEST(Faults, DestinationIsAPipe)
{
    // A pipe is not a file to replace; writing into it could wait forever.
    TScratch Dir;
    Dir.Make({{"base.map", Base}});
    ASSERT_EQ(::mkfifo((Dir.Work() / "pipe").c_str(), 0644), 0);
    const auto Before = Dir.Snapshot();
    const TRun R = RunProgram(Dir, {"base.map", "-dest:pipe", "-y"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Out, Banner + "ERROR! Cannot create file \"pipe\". Not a regular file\n");
    EXPECT_TRUE(fs::is_fifo(Dir.Work() / "pipe"));
    EXPECT_TRUE(Dir.Snapshot() == Before);
}

#ifdef __linux__
TEST(Faults, DiskFull)
{
    // A small memory file system of its own, where the system lets us make one.
    TScratch Dir;
    Dir.Make({{"base.map", WorldMap(2000)}, {"full/", ""}});
    const fs::path Full = Dir.Work() / "full";
    if (::mount("brixel-test", Full.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << Reason(errno) << "); the file-size limit cases stand in";
    }
    struct TUnmount
    {
        fs::path P;
        ~TUnmount() { ::umount2(P.c_str(), MNT_DETACH); }
    } Unmount{Full};
    WriteAll(Full / "out.map", Old);
    const auto Before = Dir.Snapshot();
    const TRun R = RunProgram(Dir, {"base.map", "-dest:full/out.map", "-y"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Out, Banner + "ERROR! Cannot create file \"full/out.map\". " + Reason(ENOSPC) + "\n");
    EXPECT_TRUE(Dir.Snapshot() == Before) << "files changed";

    // A file of two names gets the text copied into it once the temporary
    // file holds it all: the room for the temporary file is there, not for
    // the copy. The message names the file that holds the complete text.
    const std::string New = WorldMap(700);
    WriteAll(Dir.Work() / "base.map", New);
    ASSERT_EQ(::link((Full / "out.map").c_str(), (Full / "other.map").c_str()), 0);
    const TRun Copy = RunProgram(Dir, {"base.map", "-dest:full/out.map", "-y"});
    EXPECT_EQ(Copy.Status, 1);
    const std::string Start = Banner + "ERROR! Cannot create file \"full/out.map\". " + Reason(ENOSPC) +
                              ". The complete new text is in \"full/.brixel-";
    ASSERT_EQ(Copy.Out.substr(0, Start.size()), Start);
    const std::string Suffix = Copy.Out.substr(Start.size(), 6); // mkstemp's
    EXPECT_EQ(Copy.Out, Start + Suffix + "\"\n");
    const std::string Kept = "full/.brixel-" + Suffix;
    EXPECT_TRUE(ReadAll(Dir.Work() / Kept) == New) << "the kept file does not hold the new text";
}
#endif

TEST(Faults, UnusableInputs)
{
    const std::string Bin = Garbage(64 * 1024);
    const std::string TwoHalves = Base + std::string(1, '\0') + Base;
    const std::string Wide = Utf16Le("{\n}\n") + std::string(2, '\0') + Utf16Le("{\n}\n").substr(2);
    RunFaults({
        {"source cannot be read", {{"base.map", Base, 0000}}, {"base.map", "-dest:out.map", "-y"},
            "ERROR! Cannot open file \"base.map\". " + Reason(EACCES) + "\n", {RLIM_INFINITY, true}},
        {"additional plain name is a directory", {{"base.map", Base}, {"d.map/", ""}}, {"base.map", "d.map", "-y"},
            "ERROR! File not found: d.map\n"},
        {"additional pattern matches only directories", {{"base.map", Base}, {"maps/a.map/", ""}, {"maps/b.map/", ""}},
            {"base.map", "maps/*.map", "-y"}, "ERROR! File not found: maps/*.map\n"},
        {"binary source", {{"bin.map", Bin}}, {"bin.map", "-y"}, "ERROR! " + NotText("bin.map", Bin.find('\0')) + "\n"},
        {"binary additional file", {{"base.map", Base}, {"bin.map", Bin}}, {"base.map", "bin.map", "-y"},
            "ERROR! " + NotText("bin.map", Bin.find('\0')) + "\n"},
        {"binary option file", {{"base.map", Base}, {"o.txt", Bin}}, {"base.map", "-sc:o.txt"},
            "Include o.txt\nERROR! " + NotText("o.txt", Bin.find('\0')) + "\n"},
        {"NUL between entities", {{"base.map", TwoHalves}}, {"base.map", "-y"},
            "ERROR! " + NotText("base.map", Base.size()) + "\n"},
        {"NUL in UTF-16 text", {{"w.map", Wide}}, {"w.map", "-y"}, "ERROR! " + NotText("w.map", 10) + "\n"},
        {"NUL in an option file", {{"base.map", Base}, {"o.txt", std::string("-y\n\0-dest:x.map\n", 16)}},
            {"base.map", "-sc:o.txt"}, "Include o.txt\nERROR! " + NotText("o.txt", 3) + "\n"},
        {"NUL in an area map", {{"base.map", Base}, {"m.map", TwoHalves}}, {"base.map", "-ba:m/m.map", "-y"},
            "ERROR! " + NotText("m.map", Base.size()) + "\n"},
        {"a text file without an entity", {{"notes.txt", "Remember:\n// the door\n"}}, {"notes.txt", "-y"},
            "ERROR! Not a map file: notes.txt\n"},
        {"only a stray brace", {{"x.map", "}\n"}}, {"x.map", "-dest:out.map", "-y"}, "ERROR! Not a map file: x.map\n"},
        {"mkid out of numbers", {{"m.map", "{\n\"id\" \"m#2147483647\"\n}\n" + Light}}, {"mkid", "m.map", "-y"},
            "ERROR! No free identifier number left in m.map\n"},
    });
}

TEST(Faults, HugeInputs)
{
    const std::string Long(10 * 1024 * 1024, 'x');
    std::string Unclosed = "{\n\"classname\" \"worldspawn\"\n{\n";
    for (int I = 0; I < 1000000; ++I) {
        Unclosed += "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 ) t 0 0 0 1 1\n";
    }
    const std::string BadLastFace = Unclosed + "( 0 0 0 ) ( 1 0 0 ) ( 0 1 0 )\n}\n}\n";
    std::string Chain;
    std::vector<TFile> Loop = {{"base.map", Base}};
    for (int I = 0; I < 1000; ++I) {
        Loop.push_back({OptionFileName(I), OptionFileLine((I + 1) % 1000)});
        Chain += "Include ";
        Chain += OptionFileName(I);
        Chain += '\n';
    }
    std::vector<TFile> Repeated = {{"base.map", Base}, {"o.txt", ""}};
    for (int I = 0; I < 100000; ++I) {
        Repeated[1].Bytes += "-sc:o.txt\n";
    }
    RunFaults({
        {"10 MB line in an entity", {{"base.map", "{\n" + Long + "\n}\n"}}, {"base.map", "-y"},
            "base.map:2: '\"' expected\n"},
        {"10 MB line in an additional file", {{"base.map", Base}, {"a.map", "{\n" + Long + "\n}\n"}},
            {"base.map", "a.map", "-y"}, "ERROR! a.map:2: '\"' expected\n"},
        {"10 MB destination name from an option file", {{"base.map", Base}, {"o.txt", "-dest:" + Long + "\n-y\n"}},
            {"base.map", "-sc:o.txt"},
            "Include o.txt\nERROR! Cannot create file \"" + Long + "\". " + Reason(ENAMETOOLONG) + "\n"},
        {"million-line brush block without its end", {{"base.map", Unclosed}}, {"base.map", "-y"},
            "base.map:1000003: Unexpected end of file\n"},
        {"million-line brush block with a bad last face", {{"base.map", BadLastFace}}, {"base.map", "-y"},
            "base.map:1000004: Texture name expected\n"},
        {"option files in a ring of 1000", Loop, {"base.map", "-sc:o0.txt", "-dest:out.map", "-y"},
            Chain + "ERROR! Recursive call of a file o0.txt\n"},
        {"an option file naming itself 100000 times", Repeated, {"base.map", "-sc:o.txt", "-y"},
            "Include o.txt\nERROR! Recursive call of a file o.txt\n"},
    });
}

TEST(Faults, HugeInputsThatAreFine)
{
    // Sizes far beyond real maps are no fault in themselves.
    const std::string Long(10 * 1024 * 1024, 'x');
    const std::string LongValue = "\r\n// entity 0\r\n{\r\n\"message\" \"" + Long + "\"\r\n}\r\n";
    const std::string Million = WorldMap(1000000);
    std::vector<TFile> Chain = {{"base.map", Base}};
    for (int I = 0; I < 1000; ++I) {
        Chain.push_back({OptionFileName(I), OptionFileLine(I + 1)});
    }
    Chain.push_back({"o1000.txt", "-dest:out.map\n-y\n"});
    struct Fine
    {
        const char *Name;
        std::vector<TFile> Inputs;
        std::vector<std::string> Args;
        std::string Written; ///< out.map
    };
    const Fine Cases[] = {
        {"10 MB property value", {{"base.map", LongValue}}, {"base.map", "-dest:out.map", "-y"}, LongValue},
        {"million-line brush block", {{"base.map", Million}}, {"base.map", "-dest:out.map", "-y"}, Million},
        {"NULs only at the end", {{"base.map", Base + std::string(100, '\0') + "\r\n"}},
            {"base.map", "-dest:out.map", "-y"}, Base},
        {"option files 1000 deep", Chain, {"base.map", "-sc:o0.txt"}, Base},
    };
    for (const Fine &C : Cases) {
        SCOPED_TRACE(C.Name);
        TScratch Dir;
        Dir.Make(C.Inputs);
        const TRun R = RunProgram(Dir, C.Args);
        EXPECT_EQ(R.Status, 0);
        EXPECT_TRUE(R.Out.ends_with("out.map saved\nComplete\n")) << R.Out.substr(0, 200);
        EXPECT_TRUE(ReadAll(Dir.Work() / "out.map") == C.Written);
    }
}

TEST(Faults, TwoRunsWriteOneDestination)
{
    // Each run replaces the destination whole, so it ends up as one complete
    // output, whichever came last, and no temporary file is left behind.
    TScratch Dir;
    const std::string A = WorldMap(40000, "worldspawn");
    const std::string B = WorldMap(50000, "worldspawn_b");
    Dir.Make({{"a.map", A}, {"b.map", B}});
    for (int Round = 0; Round < 8; ++Round) {
        SCOPED_TRACE(Round);
        const pid_t First = Start(Dir, {"a.map", "-dest:out.map", "-y"}, {}, "a");
        const pid_t Second = Start(Dir, {"b.map", "-dest:out.map", "-y"}, {}, "b");
        EXPECT_EQ(Finish(Dir, First, "a").Status, 0);
        EXPECT_EQ(Finish(Dir, Second, "b").Status, 0);
        const std::string Out = ReadAll(Dir.Work() / "out.map");
        EXPECT_TRUE(Out == A || Out == B) << "a mix of " << Out.size() << " bytes";
        std::vector<std::string> Names;
        for (const auto &E : fs::directory_iterator(Dir.Work())) {
            Names.push_back(E.path().filename().string());
        }
        std::sort(Names.begin(), Names.end());
        EXPECT_EQ(Names, (std::vector<std::string>{"a.map", "b.map", "out.map"}));
    }
}

TEST(Faults, InputsVanishAfterValidation)
{
    // Nothing runs between validation and loading in a real run; here the
    // steps run one by one, and the input goes away between them.
    struct Vanish
    {
        const char *Name;
        std::string Gone; ///< removed after validation
        bool BecomesDirectory;
        std::vector<std::string> Args; ///< "@" stands for the scratch directory
        std::string Error;
    };
    const Vanish Cases[] = {
        {"source deleted", "src.map", false, {"@/src.map", "-dest:@/out.map", "-y"},
            "Cannot open file \"@/src.map\". " + Reason(ENOENT)},
        {"source replaced by a directory", "src.map", true, {"@/src.map", "-dest:@/out.map", "-y"},
            "Cannot open file \"@/src.map\". " + Reason(EISDIR)},
        {"additional file deleted", "add.map", false, {"@/src.map", "@/add.map", "-dest:@/out.map", "-y"},
            "File not found: @/add.map"},
        {"only match of a pattern deleted", "add.map", false, {"@/src.map", "@/a*.map", "-dest:@/out.map", "-y"},
            "File not found: @/a*.map"},
    };
    for (const Vanish &C : Cases) {
        SCOPED_TRACE(C.Name);
        TScratch Dir;
        Dir.Make({{"src.map", Base}, {"add.map", Base}});
        const std::string At = Dir.Work().string();
        auto Expand = [&](std::string S) {
            const std::size_t P = S.find('@');
            return P == std::string::npos ? S : S.replace(P, 1, At);
        };
        brix::ResetSwitches();
        brix::TRunState State;
        for (const std::string &A : C.Args) {
            State.ArgList.push_back(Expand(A));
        }
        State.CommandLineCount = State.ArgList.size();
        std::ostringstream Out;
        std::istringstream In;
        brix::ParseCommandLine(State, Out);
        brix::ValidateRunState(State);
        fs::remove(Dir.Work() / C.Gone);
        if (C.BecomesDirectory) {
            fs::create_directory(Dir.Work() / C.Gone);
        }
        const std::string Error = Expand(C.Error);
        try {
            brix::ExecuteRun(State, Out, In);
            ADD_FAILURE() << "the run went on without its input";
        } catch (const brix::EBrixError &E) {
            EXPECT_EQ(std::string(E.what()), Error);
        }
        EXPECT_FALSE(fs::exists(Dir.Work() / "out.map"));
        brix::ResetSwitches();
    }
}

namespace
{

/// The names in a directory, sorted.
std::vector<std::string> Names(const fs::path &Dir)
{
    std::vector<std::string> Result;
    for (const auto &E : fs::directory_iterator(Dir)) {
        Result.push_back(E.path().filename().string());
    }
    std::sort(Result.begin(), Result.end());
    return Result;
}

/// Whether a temporary file of the run grew in Dir within a minute.
bool TemporaryFileGrew(const fs::path &Dir)
{
    const auto Until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < Until) {
        std::error_code Ec;
        for (const auto &E : fs::directory_iterator(Dir, Ec)) {
            if (E.path().filename().string().rfind(".brixel-", 0) == 0 && E.file_size(Ec) > 0 && !Ec) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

} // namespace

TEST(Faults, StoppedRunsLeaveEveryFileAsItWas)
{
    // LF line ends: a write that went through would change the bytes.
    std::string Big = WorldMap(300000);
    Big.erase(std::remove(Big.begin(), Big.end(), '\r'), Big.end());
    for (const int Sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
        SCOPED_TRACE(::strsignal(Sig));
        TScratch Dir;
        Dir.Make({{"big.map", Big}});
        const pid_t Pid = Start(Dir, {"big.map", "-y"}, {}, "");
        EXPECT_TRUE(TemporaryFileGrew(Dir.Work())) << "no temporary file seen";
        ::kill(Pid, Sig);
        int WaitStatus = 0;
        ASSERT_EQ(::waitpid(Pid, &WaitStatus, 0), Pid);
        EXPECT_TRUE(WIFSIGNALED(WaitStatus) && WTERMSIG(WaitStatus) == Sig) << "status " << WaitStatus;
        EXPECT_EQ(Names(Dir.Work()), std::vector<std::string>{"big.map"});
        EXPECT_TRUE(ReadAll(Dir.Work() / "big.map") == Big) << "the source changed";
    }
}

TEST(Faults, WritesReplaceTheTextNotTheFile)
{
    // Read as a map, written back in the written form.
    const std::string Src = "{\n\"classname\" \"worldspawn\"\n}\n{\n\"classname\" \"light\"\n}\n";
    const std::string New = "\r\n// entity 0\r\n{\r\n\"classname\" \"worldspawn\"\r\n}\r\n"
                            "// entity 1\r\n{\r\n\"classname\" \"light\"\r\n}\r\n";
    const std::string Long(251, 'n');
    using TStep = std::function<bool(const fs::path &)>; ///< false: cannot be set up here
    const auto Link = [](const char *Target, const char *Name) {
        return [=](const fs::path &W) { return ::symlink(Target, (W / Name).c_str()) == 0; };
    };
    const auto HardLink = [](const char *Target, const char *Name) {
        return [=](const fs::path &W) { return ::link((W / Target).c_str(), (W / Name).c_str()) == 0; };
    };
    const auto Stat = [](const fs::path &P) {
        struct stat St
        {};
        ::stat(P.c_str(), &St);
        return St;
    };
    struct Kept
    {
        const char *Name;
        std::vector<TFile> Inputs;
        TStep Prepare;
        std::vector<std::string> Args;
        std::string Out; ///< after the banner
        std::map<std::string, std::string> After;
        TStep Check = nullptr; ///< what the bytes cannot show
    };
    const Kept Cases[] = {
        {"a link to the source is the source", {{"s.map", Src}}, Link("s.map", "l.map"),
            {"s.map", "l.map", "-dest:out.map", "-y"}, "Additional file skipped: l.map\nout.map saved\nComplete\n",
            {{"s.map", Src}, {"l.map", Src}, {"out.map", New}}},
        {"a hard link to the source is the source", {{"s.map", Src}}, HardLink("s.map", "h.map"),
            {"s.map", "h.map", "-dest:out.map", "-y"}, "Additional file skipped: h.map\nout.map saved\nComplete\n",
            {{"s.map", Src}, {"h.map", Src}, {"out.map", New}}},
        {"a link to an additional map is that map", {{"s.map", Src}, {"a.map", Light}}, Link("a.map", "l.map"),
            {"mkid", "s.map", "a.map", "l.map", "-dest:out.map", "-y"},
            "Additional file skipped: l.map\na.map saved\nout.map saved\nComplete\n",
            {{"s.map", Src},
                {"a.map", "\r\n// entity 0\r\n{\r\n\"classname\" \"light\"\r\n\"id\" \"a.map#1\"\r\n}\r\n"},
                {"l.map", "\r\n// entity 0\r\n{\r\n\"classname\" \"light\"\r\n\"id\" \"a.map#1\"\r\n}\r\n"},
                {"out.map", "\r\n// entity 0\r\n{\r\n\"classname\" \"worldspawn\"\r\n}\r\n// entity 1\r\n{\r\n"
                            "\"classname\" \"light\"\r\n\"id\" \"out.map#1\"\r\n}\r\n"}}},
        {"mode, owner and group", {{"s.map", Src, 0640}},
            [](const fs::path &W) { return ::geteuid() == 0 && ::chown((W / "s.map").c_str(), Nobody, Nobody) == 0; },
            {"s.map", "-y"}, "s.map saved\nComplete\n", {{"s.map", New}},
            [&](const fs::path &W) {
                const struct stat St = Stat(W / "s.map");
                return (St.st_mode & 07777) == 0640 && St.st_uid == Nobody && St.st_gid == Nobody;
            }},
        {"extended attributes", {{"s.map", Src}},
            [](const fs::path &W) { return ::setxattr((W / "s.map").c_str(), "user.brixel", "kept", 4, 0) == 0; },
            {"s.map", "-y"}, "s.map saved\nComplete\n", {{"s.map", New}},
            [](const fs::path &W) {
                char Value[8] = {};
                return ::getxattr((W / "s.map").c_str(), "user.brixel", Value, sizeof Value) == 4 &&
                       std::string(Value) == "kept";
            }},
        {"every hard link sees the new text", {{"s.map", Src}}, HardLink("s.map", "h.map"), {"s.map", "-y"},
            "s.map saved\nComplete\n", {{"s.map", New}, {"h.map", New}},
            [&](const fs::path &W) { return Stat(W / "s.map").st_ino == Stat(W / "h.map").st_ino; }},
        {"a symbolic link stays", {{"s.map", Src}}, Link("s.map", "l.map"), {"l.map", "-y"}, "l.map saved\nComplete\n",
            {{"s.map", New}, {"l.map", New}}, [](const fs::path &W) { return fs::is_symlink(W / "l.map"); }},
        {"a dangling link gets its file", {{"s.map", Src}, {"sub/", ""}}, Link("sub/new.map", "l.map"),
            {"s.map", "-dest:l.map", "-y"}, "l.map saved\nComplete\n",
            {{"s.map", Src}, {"sub/", ""}, {"sub/new.map", New}, {"l.map", New}},
            [](const fs::path &W) { return fs::is_symlink(W / "l.map"); }},
        {"a name of 255 bytes", {{Long + ".map", Src}}, nullptr, {Long + ".map", "-y"}, Long + ".map saved\nComplete\n",
            {{Long + ".map", New}}},
    };
    for (const Kept &C : Cases) {
        SCOPED_TRACE(C.Name);
        TScratch Dir;
        Dir.Make(C.Inputs);
        if (C.Prepare && !C.Prepare(Dir.Work())) {
            std::cout << "[ SKIPPED  ] " << C.Name << ": cannot be set up here (root, links, attributes)\n";
            continue;
        }
        const TRun R = RunProgram(Dir, C.Args);
        EXPECT_EQ(R.Status, 0);
        EXPECT_EQ(R.Out, Banner + C.Out);
        EXPECT_EQ(Dir.Snapshot(), C.After);
        if (C.Check) {
            EXPECT_TRUE(C.Check(Dir.Work()));
        }
    }
}

#endif // _WIN32
