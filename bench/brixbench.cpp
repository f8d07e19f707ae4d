// Times whole brixel runs on synthetic maps of growing size and on the real
// maps of the corpus, and prints input MB, seconds, MB/s, peak resident memory,
// the time ratios for doubled and quadrupled input, and what `cat` takes to
// copy the same bytes (the disk's reference speed).
//
// Usage: brixbench --brixel PATH [--base-mb N] [--work DIR] [--corpus DIR]
//                  [--only NAME] [--timeout SECONDS]

#include "mapgen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
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

struct TRun
{
    double Seconds = 0;
    double PeakMB = 0;
    int Status = -1;
    bool TimedOut = false;
};

/// Runs a program with its output thrown away; measures wall time and the
/// child's peak resident set.
TRun RunProcess(const std::vector<std::string> &Args, int TimeoutSeconds, const std::string &StdoutFile = "/dev/null")
{
    TRun R;
    const auto Start = std::chrono::steady_clock::now();
    const pid_t Pid = ::fork();
    if (Pid == 0)
    {
        const int Out = ::open(StdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int In = ::open("/dev/null", O_RDONLY);
        ::dup2(Out, 1);
        ::dup2(In, 0);
        std::vector<char *> Argv;
        for (const auto &A : Args)
            Argv.push_back(const_cast<char *>(A.c_str()));
        Argv.push_back(nullptr);
        ::execv(Argv[0], Argv.data());
        ::_exit(127);
    }
    int Status = 0;
    struct rusage Usage
    {
    };
    for (;;)
    {
        const pid_t Got = ::wait4(Pid, &Status, WNOHANG, &Usage);
        if (Got == Pid)
            break;
        const double Elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        if (Elapsed > TimeoutSeconds)
        {
            ::kill(Pid, SIGKILL);
            ::wait4(Pid, &Status, 0, &Usage);
            R.TimedOut = true;
            break;
        }
        ::usleep(2000);
    }
    R.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    R.PeakMB = static_cast<double>(Usage.ru_maxrss) / 1024.0;
    R.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    return R;
}

void WriteFile(const fs::path &P, const std::string &Data)
{
    std::ofstream F(P, std::ios::binary);
    F.write(Data.data(), static_cast<std::streamsize>(Data.size()));
}

struct TScenario
{
    std::string Name;
    /// Writes the inputs for scale K (1, 2, 4) into Dir; returns brixel's
    /// arguments (the input files first) and the input files.
    std::function<std::vector<std::string>(const fs::path &Dir, std::size_t K, std::vector<fs::path> &Inputs)> Prepare;
};

struct TOptions
{
    std::string Brixel;
    double BaseMB = 16;
    fs::path Work = fs::temp_directory_path() / "brixbench";
    fs::path Corpus;
    std::string Only;
    int Timeout = 300;
};

std::size_t BrushesFor(double MB)
{
    return static_cast<std::size_t>(MB * 1e6 * 0.8 / BytesPerBrush);
}

std::size_t EntitiesFor(double MB)
{
    return static_cast<std::size_t>(MB * 1e6 * 0.2 / BytesPerEntity);
}

std::vector<TScenario> MakeScenarios(const TOptions &O)
{
    const double MB = O.BaseMB;
    auto Single = [MB](const fs::path &Dir, std::size_t K, std::vector<fs::path> &In) {
        TMapSpec S;
        S.BrushCount = BrushesFor(MB) * K;
        S.EntityCount = EntitiesFor(MB) * K;
        In.push_back(Dir / "a.map");
        WriteFile(In.back(), GenerateMap(S));
    };
    std::vector<TScenario> List;
    List.push_back({"roundtrip", [=](const fs::path &Dir, std::size_t K, std::vector<fs::path> &In) {
                        Single(Dir, K, In);
                        return std::vector<std::string>{"concat", In[0].string()};
                    }});
    List.push_back({"concat-half-shared", [=](const fs::path &Dir, std::size_t K, std::vector<fs::path> &In) {
                        TMapSpec A, B;
                        A.BrushCount = B.BrushCount = BrushesFor(MB / 2) * K;
                        A.EntityCount = B.EntityCount = EntitiesFor(MB / 2) * K;
                        B.FirstBrush = A.BrushCount / 2;
                        B.FirstEntity = A.EntityCount / 2;
                        In.push_back(Dir / "a.map");
                        In.push_back(Dir / "b.map");
                        WriteFile(In[0], GenerateMap(A));
                        WriteFile(In[1], GenerateMap(B));
                        return std::vector<std::string>{"concat", In[0].string(), In[1].string()};
                    }});
    List.push_back({"extract-half", [=](const fs::path &Dir, std::size_t K, std::vector<fs::path> &In) {
                        TMapSpec A, H;
                        A.BrushCount = BrushesFor(MB * 2 / 3) * K;
                        A.EntityCount = EntitiesFor(MB * 2 / 3) * K;
                        H.BrushCount = A.BrushCount / 2;
                        H.EntityCount = A.EntityCount / 2;
                        In.push_back(Dir / "a.map");
                        In.push_back(Dir / "h.map");
                        WriteFile(In[0], GenerateMap(A));
                        WriteFile(In[1], GenerateMap(H));
                        return std::vector<std::string>{"extract", In[0].string(), In[1].string()};
                    }});
    List.push_back({"mkid-50k-entities-per-K", [=](const fs::path &Dir, std::size_t K, std::vector<fs::path> &In) {
                        TMapSpec S;
                        S.BrushCount = 100 * K;
                        S.EntityCount = 50000 * K;
                        S.EntityIds = false;
                        In.push_back(Dir / "e.map");
                        WriteFile(In[0], GenerateMap(S));
                        return std::vector<std::string>{"mkid", In[0].string()};
                    }});
    List.push_back({"rmdpid-half-repeated", [=](const fs::path &Dir, std::size_t K, std::vector<fs::path> &In) {
                        TMapSpec S, Again;
                        S.BrushCount = 100 * K;
                        S.EntityCount = 40000 * K;
                        Again.Worldspawn = false;
                        Again.EntityCount = S.EntityCount / 2;
                        In.push_back(Dir / "d.map");
                        WriteFile(In[0], GenerateMap(S) + GenerateMap(Again));
                        return std::vector<std::string>{"rmdpid", In[0].string()};
                    }});
    List.push_back({"box-filter-ba", [=](const fs::path &Dir, std::size_t K, std::vector<fs::path> &In) {
                        Single(Dir, K, In);
                        return std::vector<std::string>{"concat", In[0].string(), "-ba:b/-16384/-16384/16384/16384"};
                    }});
    List.push_back({"texture-filter-dt", [=](const fs::path &Dir, std::size_t K, std::vector<fs::path> &In) {
                        Single(Dir, K, In);
                        return std::vector<std::string>{"concat", In[0].string(), "-dt:bench_1*"};
                    }});
    return List;
}

std::uintmax_t TotalSize(const std::vector<fs::path> &Files)
{
    std::uintmax_t N = 0;
    for (const auto &F : Files)
        N += fs::file_size(F);
    return N;
}

double CatSeconds(const std::vector<fs::path> &Inputs, const fs::path &Dir, int Timeout)
{
    std::vector<std::string> Args{"/bin/cat"};
    for (const auto &F : Inputs)
        Args.push_back(F.string());
    return RunProcess(Args, Timeout, (Dir / "cat.out").string()).Seconds;
}

void PrintHeader()
{
    std::printf("%-26s %3s %9s %9s %9s %9s %7s %8s %8s\n", "scenario", "K", "input MB", "seconds", "MB/s",
        "peak MB", "mem/in", "cat s", "t(K)/t1");
}

} // namespace

int main(int argc, char **argv)
{
    TOptions O;
    for (int I = 1; I < argc; ++I)
    {
        const std::string A = argv[I];
        auto Next = [&]() -> std::string {
            if (I + 1 >= argc)
            {
                std::fprintf(stderr, "missing value after %s\n", A.c_str());
                std::exit(2);
            }
            return argv[++I];
        };
        if (A == "--brixel")
            O.Brixel = Next();
        else if (A == "--base-mb")
            O.BaseMB = std::atof(Next().c_str());
        else if (A == "--work")
            O.Work = Next();
        else if (A == "--corpus")
            O.Corpus = Next();
        else if (A == "--only")
            O.Only = Next();
        else if (A == "--timeout")
            O.Timeout = std::atoi(Next().c_str());
        else
        {
            std::fprintf(stderr,
                "usage: brixbench --brixel PATH [--base-mb N] [--work DIR] [--corpus DIR] [--only NAME] "
                "[--timeout S]\n");
            return 2;
        }
    }
    if (O.Brixel.empty() || !fs::exists(O.Brixel))
    {
        std::fprintf(stderr, "brixbench: give the brixel program with --brixel PATH\n");
        return 2;
    }
    O.Brixel = fs::absolute(O.Brixel).string();
    fs::create_directories(O.Work);

    PrintHeader();
    for (const auto &S : MakeScenarios(O))
    {
        if (!O.Only.empty() && S.Name.find(O.Only) == std::string::npos)
            continue;
        double Base = 0;
        for (std::size_t K : {1u, 2u, 4u})
        {
            const fs::path Dir = O.Work / (S.Name + "-" + std::to_string(K));
            fs::remove_all(Dir);
            fs::create_directories(Dir);
            std::vector<fs::path> Inputs;
            std::vector<std::string> Args = S.Prepare(Dir, K, Inputs);
            Args.insert(Args.begin(), O.Brixel);
            Args.push_back("-dest:" + (Dir / "out.map").string());
            Args.push_back("-y");
            const double MB = static_cast<double>(TotalSize(Inputs)) / 1e6;
            const double Cat = CatSeconds(Inputs, Dir, O.Timeout);
            const TRun R = RunProcess(Args, O.Timeout);
            if (K == 1)
                Base = R.Seconds;
            if (R.TimedOut || R.Status != 0)
            {
                std::printf("%-26s %3zu %9.1f %9s (%s)\n", S.Name.c_str(), K, MB, "-",
                    R.TimedOut ? "timed out" : "failed");
                std::fflush(stdout);
                fs::remove_all(Dir);
                break;
            }
            std::printf("%-26s %3zu %9.1f %9.3f %9.1f %9.1f %7.2f %8.3f %8.2f\n", S.Name.c_str(), K, MB, R.Seconds,
                MB / R.Seconds, R.PeakMB, R.PeakMB / MB, Cat, Base > 0 ? R.Seconds / Base : 0.0);
            std::fflush(stdout);
            fs::remove_all(Dir);
        }
    }

    if (!O.Corpus.empty() && fs::is_directory(O.Corpus))
    {
        std::printf("\nreal maps (round trip, concat of one file to another)\n");
        std::vector<fs::path> Maps;
        for (const auto &E : fs::directory_iterator(O.Corpus))
            if (E.path().extension() == ".map")
                Maps.push_back(E.path());
        std::sort(Maps.begin(), Maps.end());
        const fs::path Dir = O.Work / "corpus";
        fs::create_directories(Dir);
        for (const auto &M : Maps)
        {
            const double MB = static_cast<double>(fs::file_size(M)) / 1e6;
            const TRun R = RunProcess(
                {O.Brixel, "concat", M.string(), "-dest:" + (Dir / "out.map").string(), "-y"}, O.Timeout);
            std::printf("%-26s %3s %9.2f %9.3f %9.1f %9.1f %7s %8.3f %8s%s\n", M.filename().string().c_str(), "",
                MB, R.Seconds, MB / R.Seconds, R.PeakMB, "", CatSeconds({M}, Dir, O.Timeout), "",
                R.Status == 0 ? "" : "  (load diagnostic)");
        }
        fs::remove_all(Dir);
    }
    return 0;
}
