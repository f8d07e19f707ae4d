// Micro-benchmarks of the inner loops of map reading and writing: numbers,
// face lines, brush comparison and search, and wildcard masks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "brixlib/files.h"
#include "brixlib/geometry.h"
#include "brixlib/messages.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"

using namespace brix;

namespace
{

/// Number texts as map files hold them.
const std::vector<std::string> &NumberTexts(int Kind)
{
    static const std::vector<std::string> Whole = {"0", "-16", "128", "-2048", "4096", "32768", "-15632", "7"};
    static const std::vector<std::string> Fraction = {
        "0.5", "-16.25", "128.1", "-2048.75", "1.125", "-0.001", "99.9", "3.14159"};
    static const std::vector<std::string> General = {"1e5", "-2.5E-3", "123456789012345678", "1.0000000000000002",
        " 42 ", "+7.5e+2", "0.30000000000000004", "6.02214076e23"};
    return Kind == 0 ? Whole : (Kind == 1 ? Fraction : General);
}

void ReadNumbers(benchmark::State &State)
{
    const auto &Texts = NumberTexts(static_cast<int>(State.range(0)));
    double Sum = 0;
    for (auto _ : State) {
        for (const std::string &T : Texts) {
            double V = 0;
            benchmark::DoNotOptimize(TryStrToFloat(T, V));
            Sum += V;
        }
    }
    benchmark::DoNotOptimize(Sum);
    State.SetItemsProcessed(State.iterations() * static_cast<std::int64_t>(Texts.size()));
}
BENCHMARK(ReadNumbers)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"whole0_fraction1_general2"});

void WriteNumbers(benchmark::State &State)
{
    std::vector<double> Values;
    for (const std::string &T : NumberTexts(static_cast<int>(State.range(0)))) {
        Values.push_back(StrToFloat(T));
    }
    if (State.range(0) == 2) {
        Values = {1.0 / 3, 1e15, 1e-5, 2.0 / 7, 123456.7890123, -6.02214076e23, 0.1 + 0.2, 1e300};
    }
    std::string Out;
    for (auto _ : State) {
        Out.clear();
        for (const double V : Values) {
            AppendFloat(Out, V);
            Out += ' ';
        }
        benchmark::DoNotOptimize(Out.data());
    }
    State.SetItemsProcessed(State.iterations() * static_cast<std::int64_t>(Values.size()));
}
BENCHMARK(WriteNumbers)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"whole0_fraction1_general2"});

const std::string PlainFace = "( -15632 -7232 -1344 ) ( -15536 -7232 -1344 ) ( -15632 -7136 -1344 ) BENCH_34 0 0 0 1 1";
const std::string BracketFace =
    "( -17968.25 -31728.25 -800.25 ) ( -17792.25 -31728.25 -800.25 ) ( -17968.25 -31552.25 -800.25 ) BENCH_12 "
    "[ 1 0 0 0 ] [ 0 -1 0 0 ] 0 1 1";

void ParseFaceLine(benchmark::State &State)
{
    const std::string &Line = State.range(0) == 0 ? PlainFace : BracketFace;
    TBrushSide Side;
    std::string Error;
    for (auto _ : State) {
        Side.Load(Line, Error);
        benchmark::DoNotOptimize(Side.p3.z);
    }
    State.SetBytesProcessed(State.iterations() * static_cast<std::int64_t>(Line.size()));
}
BENCHMARK(ParseFaceLine)->Arg(0)->Arg(1)->ArgNames({"plain0_bracketed1"});

void WriteFaceLine(benchmark::State &State)
{
    TBrushSide Side;
    std::string Error;
    Side.Load(State.range(0) == 0 ? PlainFace : BracketFace, Error);
    TLineWriter Writer;
    for (auto _ : State) {
        Writer.Clear();
        Side.Save(Writer);
        benchmark::DoNotOptimize(Writer.Text().data());
    }
}
BENCHMARK(WriteFaceLine)->Arg(0)->Arg(1)->ArgNames({"plain0_bracketed1"});

/// An axis-aligned box brush at (X, Y) of the given texture.
TBrush Box(int X, int Y, const std::string &Texture)
{
    TBrush B;
    const double S = 64;
    const double Faces[6][9] = {
        {0, 0, 0, S, 0, 0, 0, S, 0},
        {0, 0, S, 0, S, S, S, 0, S},
        {0, 0, 0, 0, S, 0, 0, 0, S},
        {S, 0, 0, S, 0, S, S, S, 0},
        {0, 0, 0, 0, 0, S, S, 0, 0},
        {0, S, 0, S, S, 0, 0, S, S},
    };
    for (const auto &F : Faces) {
        TBrushSide Side;
        Side.p1 = {F[0] + X, F[1] + Y, F[2]};
        Side.p2 = {F[3] + X, F[4] + Y, F[5]};
        Side.p3 = {F[6] + X, F[7] + Y, F[8]};
        Side.texture = Texture;
        Side.params = "0 0 0 1 1";
        B.SideList().push_back(Side);
    }
    return B;
}

void CompareBrushes(benchmark::State &State)
{
    // Equal brushes are compared through all their faces: the worst case.
    const TBrush A = Box(128, 256, "WALL"), B = Box(128, 256, "WALL");
    for (auto _ : State) {
        benchmark::DoNotOptimize(A.Cmp(B, true));
    }
}
BENCHMARK(CompareBrushes);

void FindAnalogBrush(benchmark::State &State)
{
    // A worldspawn-sized list; each search looks for the last brush.
    TBrushList List;
    const int N = static_cast<int>(State.range(0));
    for (int I = 0; I < N; ++I) {
        List.Add(Box(I * 64, (I % 7) * 64, "WALL"));
    }
    const TBrush Last = Box((N - 1) * 64, ((N - 1) % 7) * 64, "WALL");
    benchmark::DoNotOptimize(List.FindAnalog(Last, true)); // the index is built here
    for (auto _ : State) {
        benchmark::DoNotOptimize(List.FindAnalog(Last, true));
    }
}
BENCHMARK(FindAnalogBrush)->Arg(8)->Arg(1000)->Arg(100000);

void MatchMask(benchmark::State &State)
{
    const TMask Mask(State.range(0) == 0 ? "sky*" : "*_[a-f]?[!0-9]*");
    const std::vector<std::string> Names = {"SKY1", "BENCH_34", "city2_3", "+0_button", "door_b1x_frame", "trim"};
    for (auto _ : State) {
        for (const std::string &N : Names) {
            benchmark::DoNotOptimize(Mask.Matches(N));
        }
    }
    State.SetItemsProcessed(State.iterations() * static_cast<std::int64_t>(Names.size()));
}
BENCHMARK(MatchMask)->Arg(0)->Arg(1)->ArgNames({"prefix0_sets1"});

} // namespace

BENCHMARK_MAIN();
