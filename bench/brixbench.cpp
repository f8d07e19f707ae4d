// Times whole brixel runs on synthetic maps of growing size and on the real
// maps of the corpus. For each run it prints the input MB, the seconds (the
// best of --repeat runs), MB/s, the CPU seconds, the peak resident memory and
// its ratio to the input, the time `cat` takes to copy the same bytes (the
// disk's reference speed in the same run) and the time ratio to the same
// scenario at the base size; then whether each target holds:
//   - quadrupling the input multiplies the time by at most 4.6 (the ratio at
//     twice the input is printed too);
//   - round trip and concat read at least 150 MB of input per second;
//   - the peak resident memory is at most 3 times the input
// (the last two from 8 MB of input: below that, starting a process is most
// of the cost).
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

constexpr double MaxTimeRatio = 4.6;   // for 4 times the input
constexpr double MinMBPerSecond = 150; // round trip and concat
constexpr double MaxMemoryRatio = 3;   // peak resident memory / input
// Below this, what any process costs (starting, its code and libraries)
// outweighs the map: the speed and memory targets apply from this size.
constexpr double TargetsFromMB = 8;

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

struct TOptions
{
    std::string Brixel;
    double BaseMB = 16;
    double MaxMB = 200;
    int Repeat = 3;
    fs::path Work = fs::temp_directory_path() / "brixbench";
    fs::path Corpus;
    std::string Only;
    int Timeout = 600;
};

struct TScenario
{
    std::string Name;
    bool SpeedTarget = false; ///< round trip and concat must reach MinMBPerSecond
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

std::vector<TScenario> MakeScenarios()
{
    std::vector<TScenario> List;
    List.push_back({"roundtrip", true,
        [](const fs::path &Dir, double MB, std::vector<fs::path> &In) { return Single(Dir, MB, In, "concat"); }});
    List.push_back({"concat-half-shared", true, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
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
    List.push_back({"extract-half", false,
        [](const fs::path &Dir, double MB, std::vector<fs::path> &In) { return ExtractHalf(Dir, MB, In, true); }});
    List.push_back({"extract-half-no-ids", false,
        [](const fs::path &Dir, double MB, std::vector<fs::path> &In) { return ExtractHalf(Dir, MB, In, false); }});
    List.push_back({"mkid", false, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                        // Entities only, none with an id: 200k of them at 4 x 16 MB.
                        TMapSpec S;
                        S.BrushCount = 100;
                        S.EntityCount = static_cast<std::size_t>(MB * 200000 / 64);
                        S.EntityIds = false;
                        In.push_back(Dir / "e.map");
                        WriteFile(In[0], GenerateMap(S));
                        return std::vector<std::string>{"mkid", In[0].string()};
                    }});
    List.push_back({"rmdpid-half-repeated", false, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
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
    List.push_back({"box-filter-ba", false, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                        return Single(Dir, MB, In, "concat", {"-ba:b/-16384/-16384/16384/16384"});
                    }});
    List.push_back({"texture-filter-dt", false, [](const fs::path &Dir, double MB, std::vector<fs::path> &In) {
                        return Single(Dir, MB, In, "concat", {"-dt:bench_1*"});
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

/// The best of Repeat runs (fastest wall time; the highest peak memory).
TRun Measure(TSpawner &Spawner, const std::vector<std::string> &Args, const TOptions &O, const fs::path &Dir)
{
    TRun Best;
    for (int I = 0; I < O.Repeat; ++I) {
        const TRun R = Spawner.Run(Args, O.Timeout, (Dir / "stdout.txt").string());
        if (R.TimedOut || R.Status != 0) {
            return R;
        }
        const double Peak = std::max(Best.PeakMB, R.PeakMB);
        if (I == 0 || R.Seconds < Best.Seconds) {
            Best = R;
        }
        Best.PeakMB = Peak;
    }
    return Best;
}

double CatSeconds(TSpawner &Spawner, const std::vector<fs::path> &Inputs, const fs::path &Dir, const TOptions &O)
{
    std::vector<std::string> Args{"/bin/cat"};
    for (const auto &F : Inputs) {
        Args.push_back(F.string());
    }
    double Best = 0;
    for (int I = 0; I < O.Repeat; ++I) {
        const double S = Spawner.Run(Args, O.Timeout, (Dir / "cat.out").string()).Seconds;
        Best = I == 0 ? S : std::min(Best, S);
    }
    fs::remove(Dir / "cat.out");
    return Best;
}

struct TTally
{
    int Passed = 0, Failed = 0;
    /// " ok" or " FAIL(what)" for one target.
    std::string Check(bool Holds, const char *What)
    {
        (Holds ? Passed : Failed)++;
        return Holds ? std::string() : std::string(" FAIL:") + What;
    }
};

void PrintHeader()
{
    std::printf("%-22s %6s %9s %8s %8s %7s %8s %6s %7s %7s  %s\n", "scenario", "scale", "input MB", "seconds", "MB/s",
        "cpu s", "peak MB", "mem/in", "cat s", "t/t(1)", "targets");
}

/// Runs one scenario at the given input sizes; the time ratios are to the
/// first size, and with TimeTarget the ratio at 4 times it is checked.
void RunScenario(TSpawner &Spawner, const TScenario &S, const std::vector<double> &Sizes, bool TimeTarget,
    const TOptions &O, TTally &Tally)
{
    double Base = 0, BaseMB = 0;
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
        const double Cat = CatSeconds(Spawner, Inputs, Dir, O);
        const TRun R = Measure(Spawner, Args, O, Dir);
        char Scale[16];
        std::snprintf(Scale, sizeof Scale, "%.0fx", BaseMB > 0 ? MB / BaseMB : 1.0);
        if (R.TimedOut || R.Status != 0) {
            std::printf("%-22s %6s %9.1f %8s  (%s)%s\n", S.Name.c_str(), Scale, MB, "-",
                R.TimedOut ? "timed out" : "failed", Tally.Check(false, "run").c_str());
            std::fflush(stdout);
            fs::remove_all(Dir);
            return;
        }
        if (Base == 0) {
            Base = R.Seconds;
            BaseMB = MB;
            std::snprintf(Scale, sizeof Scale, "1x");
        }
        const double Ratio = R.Seconds / Base;
        const double InputRatio = MB / BaseMB;
        std::string Targets;
        // A time that grows linearly grows 4 times for 4 times the input; 4.6
        // leaves room for noise.
        if (TimeTarget && InputRatio > 3) {
            Targets += Tally.Check(Ratio <= MaxTimeRatio, "time ratio");
        }
        if (S.SpeedTarget && MB >= TargetsFromMB) {
            Targets += Tally.Check(MB / R.Seconds >= MinMBPerSecond, "MB/s");
        }
        if (MB >= TargetsFromMB) {
            Targets += Tally.Check(R.PeakMB <= MaxMemoryRatio * MB, "memory");
        }
        std::printf("%-22s %6s %9.1f %8.3f %8.1f %7.3f %8.1f %6.2f %7.3f %7.2f  %s\n", S.Name.c_str(), Scale, MB,
            R.Seconds, MB / R.Seconds, R.CpuSeconds, R.PeakMB, R.PeakMB / MB, Cat, Ratio,
            Targets.empty() ? "ok" : Targets.c_str() + 1);
        std::fflush(stdout);
        fs::remove_all(Dir);
    }
}

void Usage()
{
    std::fprintf(stderr, "usage: brixbench --brixel PATH [--base-mb N] [--max-mb N] [--repeat N] [--work DIR] "
                         "[--corpus DIR] [--only NAME] [--timeout S]\n");
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

    std::printf("brixel: %s\nbase %.0f MB, best of %d runs; targets: time x%.1f at 4x input, %.0f MB/s for round trip "
                "and concat, peak memory <= %.0f x input (both from %.0f MB)\n\n",
        O.Brixel.c_str(), O.BaseMB, O.Repeat, MaxTimeRatio, MinMBPerSecond, MaxMemoryRatio, TargetsFromMB);
    TTally Tally;
    PrintHeader();
    const std::vector<TScenario> Scenarios = MakeScenarios();
    for (const auto &S : Scenarios) {
        if (!O.Only.empty() && S.Name.find(O.Only) == std::string::npos) {
            continue;
        }
        RunScenario(Spawner, S, {O.BaseMB, 2 * O.BaseMB, 4 * O.BaseMB}, true, O, Tally);
    }

    // The round trip over the whole range of sizes, up to --max-mb.
    if (O.MaxMB > 0 && (O.Only.empty() || std::string("sizes").find(O.Only) != std::string::npos)) {
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
        RunScenario(Spawner, Sweep, Sizes, false, O, Tally);
    }

    if (!O.Corpus.empty() && fs::is_directory(O.Corpus) && O.Only.empty()) {
        std::printf("\nreal maps (round trip, concat of one file to another)\n");
        std::vector<fs::path> Maps;
        for (const auto &E : fs::directory_iterator(O.Corpus)) {
            if (E.path().extension() == ".map") {
                Maps.push_back(E.path());
            }
        }
        std::sort(Maps.begin(), Maps.end());
        const fs::path Dir = O.Work / "corpus";
        fs::create_directories(Dir);
        double TotalMB = 0, TotalSeconds = 0, TotalCat = 0;
        for (const auto &M : Maps) {
            const double MB = static_cast<double>(fs::file_size(M)) / 1e6;
            const std::vector<std::string> Args{
                O.Brixel, "concat", M.string(), "-dest:" + (Dir / "out.map").string(), "-y"};
            const TRun R = Measure(Spawner, Args, O, Dir);
            const double Cat = CatSeconds(Spawner, {M}, Dir, O);
            std::printf("%-28s %9.2f %8.3f %8.1f %7.3f %8.1f %7.3f%s\n", M.filename().string().c_str(), MB, R.Seconds,
                MB / R.Seconds, R.CpuSeconds, R.PeakMB, Cat, R.Status == 0 ? "" : "  (load diagnostic)");
            TotalMB += MB;
            TotalSeconds += R.Seconds;
            TotalCat += Cat;
        }
        std::printf("%-28s %9.2f %8.3f %8.1f %7s %8s %7.3f\n", "all real maps", TotalMB, TotalSeconds,
            TotalSeconds > 0 ? TotalMB / TotalSeconds : 0.0, "", "", TotalCat);
        fs::remove_all(Dir);
    }

    std::printf("\ntargets: %d passed, %d failed\n", Tally.Passed, Tally.Failed);
    return Tally.Failed == 0 ? 0 : 1;
}
