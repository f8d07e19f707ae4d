// Times whole brixel runs on synthetic maps of growing size, on the worst
// cases of the brush searches and on the real maps of the corpus. Every
// figure is the median of --repeat runs, brixel and `cat` of the same bytes
// alternating, so both see the same machine. For each run it prints the
// input MB, wall and CPU seconds (user + system), MB/s by both, the peak
// resident memory and its ratio to the input, cat's wall seconds and the
// brixel/cat time ratio, and the CPU time ratio to the base size; then
// whether each target holds:
//   - 4 times the base input (64 MB) takes at most 4.4 times the CPU time;
//   - each scenario reads its share of MB per CPU second at 4 times the base
//     size and in the round trip of --max-mb (400 for round trip, concat and
//     extract; 250 for the identifier commands and the filters);
//   - the peak resident memory is at most 1.25 times the input from 16 MB
//     up, and under 12 MB for every real map;
//   - each worst case takes under 1 CPU second.
//
// Usage: brixbench --brixel PATH [--base-mb N] [--max-mb N] [--repeat N]
//                  [--work DIR] [--corpus DIR] [--only NAME] [--timeout S]

#include "mapgen.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace brixbench;

namespace
{

constexpr double MaxCpuRatio = 4.4;     // CPU time for 4 times the input
constexpr double MaxMemoryRatio = 1.25; // peak resident memory / input
constexpr double MemoryFromMB = 16;     // below it, the program itself weighs
constexpr double MaxCorpusPeakMB = 12;  // any one real map
constexpr double MaxWorstCaseCpu = 1;   // seconds
constexpr double FastMBps = 400;        // round trip, concat, extract
constexpr double SlowerMBps = 250;      // identifiers and filters

struct TRun
{
    double Seconds = 0;
    double CpuSeconds = 0;
    double PeakMB = 0;
    int Status = -1;
    bool TimedOut = false;
};

/// Runs a program with its output in StdoutFile and no input; measures wall
/// and CPU time and the child's peak resident set.
TRun RunProcess(const std::vector<std::string> &Args, int TimeoutSeconds, const std::string &StdoutFile)
{
    TRun R;
    const auto Start = std::chrono::steady_clock::now();
    const pid_t Pid = ::fork();
    if (Pid == 0) {
        const int Out = ::open(StdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int In = ::open("/dev/null", O_RDONLY);
        ::dup2(Out, 1);
        ::dup2(In, 0);
        std::vector<char *> Argv;
        for (const auto &A : Args) {
            Argv.push_back(const_cast<char *>(A.c_str()));
        }
        Argv.push_back(nullptr);
        ::execv(Argv[0], Argv.data());
        ::_exit(127);
    }
    if (Pid < 0) {
        return R;
    }
    int Status = 0;
    struct rusage Usage
    {};
    for (;;) {
        const pid_t Got = ::wait4(Pid, &Status, WNOHANG, &Usage);
        if (Got == Pid) {
            break;
        }
        const double Elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        if (Elapsed > TimeoutSeconds) {
            ::kill(Pid, SIGKILL);
            ::wait4(Pid, &Status, 0, &Usage);
            R.TimedOut = true;
            break;
        }
        ::usleep(1000);
    }
    R.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    const auto Secs = [](const timeval &T) {
        return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_usec) / 1e6;
    };
    R.CpuSeconds = Secs(Usage.ru_utime) + Secs(Usage.ru_stime);
    R.PeakMB = static_cast<double>(Usage.ru_maxrss) / 1024.0;
    R.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    return R;
}

/// Starts the measured programs from a small process forked before the
/// benchmark builds any map: the peak resident size the system reports for a
/// child includes what the process it was forked from held, so a child of the
/// benchmark itself would be charged with the generated maps.
class TSpawner
{
public:
    void Start()
    {
        int Requests[2], Answers[2];
        if (::pipe(Requests) != 0 || ::pipe(Answers) != 0) {
            std::perror("brixbench: pipe");
            std::exit(2);
        }
        FPid = ::fork();
        if (FPid == 0) {
            ::close(Requests[1]);
            ::close(Answers[0]);
            Serve(Requests[0], Answers[1]);
            ::_exit(0);
        }
        ::close(Requests[0]);
        ::close(Answers[1]);
        FTo = Requests[1];
        FFrom = Answers[0];
    }

    ~TSpawner()
    {
        if (FPid > 0) {
            ::close(FTo);
            ::close(FFrom);
            ::waitpid(FPid, nullptr, 0);
        }
    }

    TRun Run(const std::vector<std::string> &Args, int TimeoutSeconds, const std::string &StdoutFile)
    {
        std::vector<std::string> Message{StdoutFile, std::to_string(TimeoutSeconds)};
        Message.insert(Message.end(), Args.begin(), Args.end());
        std::string Bytes;
        PutNumber(Bytes, Message.size());
        for (const auto &M : Message) {
            PutNumber(Bytes, M.size());
            Bytes += M;
        }
        TRun R;
        if (!WriteAll(FTo, Bytes.data(), Bytes.size()) || !ReadAll(FFrom, &R, sizeof R)) {
            std::fprintf(stderr, "brixbench: the process starter stopped\n");
            std::exit(2);
        }
        return R;
    }

private:
    static void PutNumber(std::string &Out, std::uint64_t N)
    {
        Out.append(reinterpret_cast<const char *>(&N), sizeof N);
    }

    static bool WriteAll(int Fd, const void *Data, std::size_t Size)
    {
        const char *P = static_cast<const char *>(Data);
        while (Size > 0) {
            const ssize_t Got = ::write(Fd, P, Size);
            if (Got <= 0) {
                return false;
            }
            P += Got;
            Size -= static_cast<std::size_t>(Got);
        }
        return true;
    }

    static bool ReadAll(int Fd, void *Data, std::size_t Size)
    {
        char *P = static_cast<char *>(Data);
        while (Size > 0) {
            const ssize_t Got = ::read(Fd, P, Size);
            if (Got <= 0) {
                return false;
            }
            P += Got;
            Size -= static_cast<std::size_t>(Got);
        }
        return true;
    }

    static void Serve(int From, int To)
    {
        for (;;) {
            std::uint64_t Count = 0;
            if (!ReadAll(From, &Count, sizeof Count)) {
                return;
            }
            std::vector<std::string> Message;
            for (std::uint64_t I = 0; I < Count; ++I) {
                std::uint64_t Size = 0;
                if (!ReadAll(From, &Size, sizeof Size)) {
                    return;
                }
                std::string S(Size, '\0');
                if (!ReadAll(From, S.data(), Size)) {
                    return;
                }
                Message.push_back(std::move(S));
            }
            if (Message.size() < 3) {
                return;
            }
            const std::vector<std::string> Args(Message.begin() + 2, Message.end());
            const TRun R = RunProcess(Args, std::atoi(Message[1].c_str()), Message[0]);
            if (!WriteAll(To, &R, sizeof R)) {
                return;
            }
        }
    }

    pid_t FPid = -1;
    int FTo = -1, FFrom = -1;
};

void WriteFile(const fs::path &P, const std::string &Data)
{
    std::ofstream F(P, std::ios::binary);
    F.write(Data.data(), static_cast<std::streamsize>(Data.size()));
}

/// The texts of the corpus maps that hold Quake-family brushes only (the
/// scaling shifts face points and origins; patches it would leave in place).
std::vector<std::string> ReadMaps(const fs::path &Dir)
{
    std::vector<fs::path> Paths;
    for (const auto &E : fs::directory_iterator(Dir)) {
        if (E.path().extension() == ".map") {
            Paths.push_back(E.path());
        }
    }
    std::sort(Paths.begin(), Paths.end());
    std::vector<std::string> Maps;
    for (const auto &P : Paths) {
        std::ifstream F(P, std::ios::binary);
        std::string Text((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
        if (Text.find("patchDef2") == std::string::npos && Text.find("brushDef") == std::string::npos) {
            Maps.push_back(std::move(Text));
        }
    }
    return Maps;
}

struct TOptions
{
    std::string Brixel;
    double BaseMB = 16;
    double MaxMB = 200;
    int Repeat = 5;
    fs::path Work = fs::temp_directory_path() / "brixbench";
    fs::path Corpus;
    std::string Only;
    int Timeout = 600;
};

struct TScenario
{
    std::string Name;
    double MinCpuMBps = 0; ///< MB of input per CPU second at 4 times the base size
    /// Writes the inputs for MB megabytes into Dir; returns brixel's arguments
    /// without the destination, and the input files.
    std::function<std::vector<std::string>(const fs::path &Dir, double MB, std::vector<fs::path> &Inputs)> Prepare;
};

std::size_t BrushesFor(double MB)
{
    return static_cast<std::size_t>(MB * 1e6 * 0.8 / BytesPerBrush);
}

std::size_t EntitiesFor(double MB)
{
    return static_cast<std::size_t>(MB * 1e6 * 0.2 / BytesPerEntity);
}

/// A map of about MB megabytes: 80 % worldspawn brushes, 20 % entities.
TMapSpec SpecFor(double MB)
{
    TMapSpec S;
    S.BrushCount = BrushesFor(MB);
    S.EntityCount = EntitiesFor(MB);
    return S;
}

std::vector<std::string> Single(const fs::path &Dir, double MB, std::vector<fs::path> &In, const std::string &Command,
    const std::vector<std::string> &Options = {})
{
    In.push_back(Dir / "a.map");
    WriteFile(In.back(), GenerateMap(SpecFor(MB)));
    std::vector<std::string> Args{Command, In[0].string()};
    Args.insert(Args.end(), Options.begin(), Options.end());
    return Args;
}

/// Source and additional map for extract: the additional map holds the first
/// half of the source's brushes and entities.
std::vector<std::string> ExtractHalf(const fs::path &Dir, double MB, std::vector<fs::path> &In, bool Ids)
{
    TMapSpec A = SpecFor(MB * 2 / 3);
    A.EntityIds = Ids;
    TMapSpec H = A;
    H.BrushCount = A.BrushCount / 2;
    H.EntityCount = A.EntityCount / 2;
    In.push_back(Dir / "a.map");
    In.push_back(Dir / "h.map");
    WriteFile(In[0], GenerateMap(A));
    WriteFile(In[1], GenerateMap(H));
    return {"extract", In[0].string(), In[1].string()};
}

std::vector<TScenario> MakeScenarios(const TOptions &O)
{
    std::vector<TScenario> List;
    List.push_back({"roundtrip", FastMBps,
        [](const fs::path &Dir, double MB, std::vector<fs::path> &In) { return Single(Dir, MB, In, "concat"); }});
    List.push_back({"concat-half-shared", FastMBps, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                        // Two maps whose worldspawns share half their brushes and
                        // which share half their entities with ids.
                        TMapSpec A = SpecFor(MB / 2);
                        TMapSpec B = A;
                        B.FirstBrush = A.BrushCount / 2;
                        B.FirstEntity = A.EntityCount / 2;
                        In.push_back(Dir / "a.map");
                        In.push_back(Dir / "b.map");
                        WriteFile(In[0], GenerateMap(A));
                        WriteFile(In[1], GenerateMap(B));
                        return std::vector<std::string>{"concat", In[0].string(), In[1].string()};
                    }});
    List.push_back({"extract-half", FastMBps,
        [](const fs::path &Dir, double MB, std::vector<fs::path> &In) { return ExtractHalf(Dir, MB, In, true); }});
    List.push_back({"extract-half-no-ids", FastMBps,
        [](const fs::path &Dir, double MB, std::vector<fs::path> &In) { return ExtractHalf(Dir, MB, In, false); }});
    List.push_back({"mkid", SlowerMBps, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                        // Entities only, none with an id: 200k of them at 4 x 16 MB.
                        TMapSpec S;
                        S.BrushCount = 100;
                        S.EntityCount = static_cast<std::size_t>(MB * 200000 / 64);
                        S.EntityIds = false;
                        In.push_back(Dir / "e.map");
                        WriteFile(In[0], GenerateMap(S));
                        return std::vector<std::string>{"mkid", In[0].string()};
                    }});
    List.push_back({"rmdpid-half-repeated", SlowerMBps, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                        // The entities once more after the map: half of all ids repeated.
                        TMapSpec S = SpecFor(MB / 2);
                        S.EntityCount = static_cast<std::size_t>(MB * 100000 / 64);
                        TMapSpec Again;
                        Again.Worldspawn = false;
                        Again.EntityCount = S.EntityCount;
                        In.push_back(Dir / "d.map");
                        WriteFile(In[0], GenerateMap(S) + GenerateMap(Again));
                        return std::vector<std::string>{"rmdpid", In[0].string()};
                    }});
    List.push_back({"box-filter-ba", SlowerMBps, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                        return Single(Dir, MB, In, "concat", {"-ba:b/-16384/-16384/16384/16384"});
                    }});
    List.push_back({"texture-filter-dt", SlowerMBps, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                        return Single(Dir, MB, In, "concat", {"-dt:bench_1*"});
                    }});
    if (!O.Corpus.empty() && fs::is_directory(O.Corpus)) {
        List.push_back(
            {"corpus-scaled", FastMBps, [Corpus = O.Corpus](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                 // The real maps' entities repeated at shifted places, round trip.
                 In.push_back(Dir / "scaled.map");
                 WriteFile(In[0], ScaleMaps(ReadMaps(Corpus), MB));
                 return std::vector<std::string>{"concat", In[0].string()};
             }});
    }
    return List;
}

/// The searches' worst cases: a fixed input each, under 1 CPU second.
std::vector<TScenario> MakeWorstCases()
{
    std::vector<TScenario> List;
    List.push_back({"brush-2000-faces-ba", 0, [](const fs::path &Dir, double, std::vector<fs::path> &In) {
                        In.push_back(Dir / "sphere.map");
                        WriteFile(In[0], GenerateManyFacedBrush(2000, 4096));
                        return std::vector<std::string>{"concat", In[0].string(), "-ba:b/-8192/-8192/8192/8192"};
                    }});
    List.push_back({"same-shape-50000", 0, [](const fs::path &Dir, double, std::vector<fs::path> &In) {
                        // One shape, other textures in the two maps: nothing is shared.
                        In.push_back(Dir / "a.map");
                        In.push_back(Dir / "b.map");
                        WriteFile(In[0], GenerateSameShape(50000, "src_"));
                        WriteFile(In[1], GenerateSameShape(50000, "add_"));
                        return std::vector<std::string>{"concat", In[0].string(), In[1].string()};
                    }});
    return List;
}

std::uintmax_t TotalSize(const std::vector<fs::path> &Files)
{
    std::uintmax_t N = 0;
    for (const auto &F : Files) {
        N += fs::file_size(F);
    }
    return N;
}

/// The medians of Repeat runs of brixel, each followed by `cat` of the same
/// inputs; the peak memory is the highest of brixel's runs.
struct TMeasure
{
    TRun Brixel; ///< wall and CPU seconds: medians
    double CatSeconds = 0;
    bool Ok() const { return !Brixel.TimedOut && Brixel.Status == 0; }
};

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V.empty() ? 0 : (V.size() % 2 ? V[V.size() / 2] : (V[V.size() / 2 - 1] + V[V.size() / 2]) / 2);
}

TMeasure Measure(TSpawner &Spawner, const std::vector<std::string> &Args, const std::vector<fs::path> &Inputs,
    const TOptions &O, const fs::path &Dir)
{
    std::vector<std::string> Cat{"/bin/cat"};
    for (const auto &F : Inputs) {
        Cat.push_back(F.string());
    }
    std::vector<double> Wall, Cpu, CatWall;
    TMeasure M;
    for (int I = 0; I < O.Repeat; ++I) {
        const TRun R = Spawner.Run(Args, O.Timeout, (Dir / "stdout.txt").string());
        if (R.TimedOut || R.Status != 0) {
            M.Brixel = R;
            return M;
        }
        Wall.push_back(R.Seconds);
        Cpu.push_back(R.CpuSeconds);
        M.Brixel.PeakMB = std::max(M.Brixel.PeakMB, R.PeakMB);
        CatWall.push_back(Spawner.Run(Cat, O.Timeout, (Dir / "cat.out").string()).Seconds);
    }
    fs::remove(Dir / "cat.out");
    M.Brixel.Status = 0;
    M.Brixel.Seconds = Median(Wall);
    M.Brixel.CpuSeconds = Median(Cpu);
    M.CatSeconds = Median(CatWall);
    return M;
}

struct TTally
{
    int Passed = 0, Failed = 0;
    /// "" when the target holds, " FAIL:what" when not.
    std::string Check(bool Holds, const char *What)
    {
        (Holds ? Passed : Failed)++;
        return Holds ? std::string() : std::string(" FAIL:") + What;
    }
};

void PrintHeader()
{
    std::printf("%-22s %5s %8s %7s %7s %7s %7s %8s %6s %7s %6s %7s  %s\n", "scenario", "scale", "input MB", "wall s",
        "cpu s", "MB/s", "cpuMB/s", "peak MB", "mem/in", "cat s", "x cat", "cpu/1x", "targets");
}

void PrintRow(const std::string &Name, const std::string &Scale, double MB, const TMeasure &M, double CpuRatio,
    const std::string &Targets)
{
    const TRun &R = M.Brixel;
    std::printf("%-22s %5s %8.1f %7.3f %7.3f %7.1f %7.1f %8.1f %6.2f %7.3f %6.1f %7.2f  %s\n", Name.c_str(),
        Scale.c_str(), MB, R.Seconds, R.CpuSeconds, MB / R.Seconds, MB / R.CpuSeconds, R.PeakMB, R.PeakMB / MB,
        M.CatSeconds, M.CatSeconds > 0 ? R.Seconds / M.CatSeconds : 0.0, CpuRatio,
        Targets.empty() ? "ok" : Targets.c_str() + 1);
    std::fflush(stdout);
}

/// Runs one scenario at the given input sizes. The CPU time ratios are to
/// the first size; with Scaling the ratio at 4 times it is checked, and the
/// speed target applies at 4 times the base size and from MinSpeedMB up.
void RunScenario(TSpawner &Spawner, const TScenario &S, const std::vector<double> &Sizes, bool Scaling,
    double MinSpeedMB, const TOptions &O, TTally &Tally)
{
    double BaseCpu = 0, BaseMB = 0;
    for (const double Size : Sizes) {
        const fs::path Dir = O.Work / S.Name;
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        std::vector<fs::path> Inputs;
        std::vector<std::string> Args = S.Prepare(Dir, Size, Inputs);
        Args.insert(Args.begin(), O.Brixel);
        Args.push_back("-dest:" + (Dir / "out.map").string());
        Args.push_back("-y");
        const double MB = static_cast<double>(TotalSize(Inputs)) / 1e6;
        const TMeasure M = Measure(Spawner, Args, Inputs, O, Dir);
        char Scale[16];
        std::snprintf(Scale, sizeof Scale, "%.0fx", BaseMB > 0 ? MB / BaseMB : 1.0);
        if (!M.Ok()) {
            std::printf("%-22s %5s %8.1f  (%s)%s\n", S.Name.c_str(), Scale, MB,
                M.Brixel.TimedOut ? "timed out" : "failed", Tally.Check(false, "run").c_str());
            std::fflush(stdout);
            fs::remove_all(Dir);
            return;
        }
        if (BaseCpu == 0) {
            BaseCpu = M.Brixel.CpuSeconds;
            BaseMB = MB;
        }
        const double CpuRatio = M.Brixel.CpuSeconds / BaseCpu;
        const double InputRatio = MB / BaseMB;
        std::string Targets;
        if (Scaling && InputRatio > 3) {
            Targets += Tally.Check(CpuRatio <= MaxCpuRatio, "cpu ratio");
        }
        if (S.MinCpuMBps > 0 && ((Scaling && InputRatio > 3) || (!Scaling && MB >= MinSpeedMB))) {
            Targets += Tally.Check(MB / M.Brixel.CpuSeconds >= S.MinCpuMBps, "cpu MB/s");
        }
        if (MB >= MemoryFromMB * 0.99) {
            Targets += Tally.Check(M.Brixel.PeakMB <= MaxMemoryRatio * MB, "memory");
        }
        PrintRow(S.Name, Scale, MB, M, CpuRatio, Targets);
        fs::remove_all(Dir);
    }
}

void Usage()
{
    std::fprintf(stderr, "usage: brixbench --brixel PATH [--base-mb N] [--max-mb N] [--repeat N] [--work DIR] "
                         "[--corpus DIR] [--only NAME] [--timeout S]\n");
}

bool Selected(const TOptions &O, const std::string &Name)
{
    return O.Only.empty() || Name.find(O.Only) != std::string::npos;
}

} // namespace

int main(int argc, char **argv)
{
    TSpawner Spawner;
    Spawner.Start(); // before anything big is in memory

    TOptions O;
    for (int I = 1; I < argc; ++I) {
        const std::string A = argv[I];
        auto Next = [&]() -> std::string {
            if (I + 1 >= argc) {
                std::fprintf(stderr, "missing value after %s\n", A.c_str());
                std::exit(2);
            }
            return argv[++I];
        };
        if (A == "--brixel") {
            O.Brixel = Next();
        } else if (A == "--base-mb") {
            O.BaseMB = std::atof(Next().c_str());
        } else if (A == "--max-mb") {
            O.MaxMB = std::atof(Next().c_str());
        } else if (A == "--repeat") {
            O.Repeat = std::max(1, std::atoi(Next().c_str()));
        } else if (A == "--work") {
            O.Work = Next();
        } else if (A == "--corpus") {
            O.Corpus = Next();
        } else if (A == "--only") {
            O.Only = Next();
        } else if (A == "--timeout") {
            O.Timeout = std::atoi(Next().c_str());
        } else {
            Usage();
            return 2;
        }
    }
    if (O.Brixel.empty() || !fs::exists(O.Brixel) || O.BaseMB <= 0) {
        Usage();
        return 2;
    }
    O.Brixel = fs::absolute(O.Brixel).string();
    fs::create_directories(O.Work);

    std::printf("brixel: %s\nbase %.0f MB, medians of %d runs interleaved with cat; targets: cpu time x%.1f at 4x "
                "input, %.0f / %.0f MB per cpu second, peak memory <= %.2f x input (from %.0f MB), real maps < %.0f "
                "MB, worst cases < %.0f cpu s\n\n",
        O.Brixel.c_str(), O.BaseMB, O.Repeat, MaxCpuRatio, FastMBps, SlowerMBps, MaxMemoryRatio, MemoryFromMB,
        MaxCorpusPeakMB, MaxWorstCaseCpu);
    TTally Tally;
    PrintHeader();
    const std::vector<TScenario> Scenarios = MakeScenarios(O);
    for (const auto &S : Scenarios) {
        if (Selected(O, S.Name)) {
            RunScenario(Spawner, S, {O.BaseMB, 2 * O.BaseMB, 4 * O.BaseMB}, true, 0, O, Tally);
        }
    }

    // The round trip over the whole range of sizes, up to --max-mb.
    if (O.MaxMB > 0 && Selected(O, "roundtrip-sizes")) {
        std::printf("\nround trip from 1 MB to %.0f MB\n", O.MaxMB);
        PrintHeader();
        std::vector<double> Sizes;
        for (const double MB : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0}) {
            if (MB < O.MaxMB) {
                Sizes.push_back(MB);
            }
        }
        Sizes.push_back(O.MaxMB);
        TScenario Sweep = Scenarios.front();
        Sweep.Name = "roundtrip-sizes";
        RunScenario(Spawner, Sweep, Sizes, false, O.MaxMB * 0.99, O, Tally);
    }

    std::printf("\nworst cases of the searches\n");
    PrintHeader();
    for (const auto &S : MakeWorstCases()) {
        if (!Selected(O, S.Name)) {
            continue;
        }
        const fs::path Dir = O.Work / S.Name;
        fs::create_directories(Dir);
        std::vector<fs::path> Inputs;
        std::vector<std::string> Args = S.Prepare(Dir, 0, Inputs);
        Args.insert(Args.begin(), O.Brixel);
        Args.push_back("-dest:" + (Dir / "out.map").string());
        Args.push_back("-y");
        const double MB = static_cast<double>(TotalSize(Inputs)) / 1e6;
        const TMeasure M = Measure(Spawner, Args, Inputs, O, Dir);
        if (!M.Ok()) {
            std::printf("%-22s %5s %8.1f  (%s)%s\n", S.Name.c_str(), "", MB, M.Brixel.TimedOut ? "timed out" : "failed",
                Tally.Check(false, "run").c_str());
        } else {
            PrintRow(S.Name, "", MB, M, 1, Tally.Check(M.Brixel.CpuSeconds < MaxWorstCaseCpu, "cpu s"));
        }
        fs::remove_all(Dir);
    }

    if (!O.Corpus.empty() && fs::is_directory(O.Corpus) && Selected(O, "corpus")) {
        std::printf("\nreal maps (round trip, concat of one file to another)\n");
        PrintHeader();
        std::vector<fs::path> Maps;
        for (const auto &E : fs::directory_iterator(O.Corpus)) {
            if (E.path().extension() == ".map") {
                Maps.push_back(E.path());
            }
        }
        std::sort(Maps.begin(), Maps.end());
        const fs::path Dir = O.Work / "corpus";
        fs::create_directories(Dir);
        double TotalMB = 0, TotalCpu = 0, MaxPeak = 0;
        for (const auto &Map : Maps) {
            const double MB = static_cast<double>(fs::file_size(Map)) / 1e6;
            const std::vector<std::string> Args{
                O.Brixel, "concat", Map.string(), "-dest:" + (Dir / "out.map").string(), "-y"};
            const TMeasure M = Measure(Spawner, Args, {Map}, O, Dir);
            if (!M.Ok()) {
                std::printf("%-22s %5s %8.2f  (load diagnostic)\n", Map.filename().string().c_str(), "", MB);
                continue;
            }
            PrintRow(Map.filename().string(), "", MB, M, 1, Tally.Check(M.Brixel.PeakMB < MaxCorpusPeakMB, "memory"));
            TotalMB += MB;
            TotalCpu += M.Brixel.CpuSeconds;
            MaxPeak = std::max(MaxPeak, M.Brixel.PeakMB);
        }
        std::printf("all real maps: %.2f MB in %.3f cpu s; highest peak %.1f MB\n", TotalMB, TotalCpu, MaxPeak);
        fs::remove_all(Dir);
    }

    std::printf("\ntargets: %d passed, %d failed\n", Tally.Passed, Tally.Failed);
    return Tally.Failed == 0 ? 0 : 1;
}
