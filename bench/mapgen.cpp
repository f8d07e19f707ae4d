#include "mapgen.h"

#include <charconv>

namespace brixbench
{
namespace
{

std::uint64_t Mix(std::uint64_t X)
{
    // splitmix64: a cheap, well-spread hash of the index
    X += 0x9E3779B97F4A7C15ull;
    X = (X ^ (X >> 30)) * 0xBF58476D1CE4E5B9ull;
    X = (X ^ (X >> 27)) * 0x94D049BB133111EBull;
    return X ^ (X >> 31);
}

void AppendInt(std::string &Out, long long V)
{
    char Buf[24];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, V);
    Out.append(Buf, R.ptr);
}

/// A coordinate: mostly whole numbers, some with fractions that editors write
/// (binary-exact quarters and decimal tenths).
void AppendCoord(std::string &Out, long long Whole, unsigned Kind)
{
    AppendInt(Out, Whole);
    switch (Kind % 8) {
        case 5:
            Out += ".25";
            break;
        case 6:
            Out += ".5";
            break;
        case 7:
            Out += ".1";
            break;
        default:
            break;
    }
}

void AppendPoint(std::string &Out, long long X, long long Y, long long Z, unsigned Kind)
{
    Out += "( ";
    AppendCoord(Out, X, Kind);
    Out += ' ';
    AppendCoord(Out, Y, Kind);
    Out += ' ';
    AppendCoord(Out, Z, Kind);
    Out += " ) ";
}

void AppendBrush(std::string &Out, std::uint64_t H)
{
    const long long X = static_cast<long long>(H % 4096) * 16 - 32768;
    const long long Y = static_cast<long long>((H >> 12) % 4096) * 16 - 32768;
    const long long Z = static_cast<long long>((H >> 24) % 256) * 16 - 2048;
    const long long S = 16 + static_cast<long long>((H >> 32) % 16) * 16;
    const unsigned Kind = static_cast<unsigned>(H >> 40);
    const bool Valve = (H >> 48) & 1;
    const unsigned Tex = static_cast<unsigned>((H >> 50) % 48);
    // The six faces of an axis-aligned box, inner sides facing in.
    const long long F[6][9] = {
        {X, Y, Z, X + S, Y, Z, X, Y + S, Z},
        {X, Y, Z + S, X, Y + S, Z + S, X + S, Y, Z + S},
        {X, Y, Z, X, Y + S, Z, X, Y, Z + S},
        {X + S, Y, Z, X + S, Y, Z + S, X + S, Y + S, Z},
        {X, Y, Z, X, Y, Z + S, X + S, Y, Z},
        {X, Y + S, Z, X + S, Y + S, Z, X, Y + S, Z + S},
    };
    Out += "{\n";
    for (const auto &P : F) {
        AppendPoint(Out, P[0], P[1], P[2], Kind);
        AppendPoint(Out, P[3], P[4], P[5], Kind);
        AppendPoint(Out, P[6], P[7], P[8], Kind);
        Out += "BENCH_";
        AppendInt(Out, Tex);
        Out += Valve ? " [ 1 0 0 0 ] [ 0 -1 0 0 ] 0 1 1\n" : " 0 0 0 1 1\n";
    }
    Out += "}\n";
}

} // namespace

std::string GenerateMap(const TMapSpec &Spec)
{
    std::string Out;
    Out.reserve(Spec.BrushCount * BytesPerBrush + Spec.EntityCount * BytesPerEntity + 256);
    Out += "// generated benchmark map\n";
    if (Spec.Worldspawn) {
        Out += "{\n\"classname\" \"worldspawn\"\n\"wad\" \"bench.wad\"\n";
        for (std::size_t I = Spec.FirstBrush; I < Spec.FirstBrush + Spec.BrushCount; ++I) {
            AppendBrush(Out, Mix(Spec.Seed * 0x1000003ull + I));
        }
        Out += "}\n";
    }
    for (std::size_t J = Spec.FirstEntity; J < Spec.FirstEntity + Spec.EntityCount; ++J) {
        const std::uint64_t H = Mix(Spec.Seed * 0x2000003ull + J);
        Out += "{\n";
        if (J % 2 == 0) {
            Out += (J % 4 == 0) ? "\"classname\" \"light\"\n\"light\" \"300\"\n" : "\"classname\" \"info_null\"\n";
            Out += "\"origin\" \"";
            AppendInt(Out, static_cast<long long>(H % 8192) - 4096);
            Out += ' ';
            AppendInt(Out, static_cast<long long>((H >> 16) % 8192) - 4096);
            Out += ' ';
            AppendInt(Out, static_cast<long long>((H >> 32) % 1024));
            Out += "\"\n";
        } else {
            Out += "\"classname\" \"func_door\"\n\"spawnflags\" \"";
            AppendInt(Out, static_cast<long long>(H % 4));
            Out += "\"\n\"angle\" \"90\"\n";
        }
        if (Spec.EntityIds) {
            Out += "\"id\" \"bench#";
            AppendInt(Out, static_cast<long long>(J + 1));
            Out += "\"\n";
        }
        if (J % 2 == 1) {
            AppendBrush(Out, Mix(H));
        }
        Out += "}\n";
    }
    return Out;
}

} // namespace brixbench
