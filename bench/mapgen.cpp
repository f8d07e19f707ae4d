#include "mapgen.h"

#include <charconv>
#include <cmath>
#include <string_view>

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

namespace
{

void AppendDouble(std::string &Out, double V)
{
    char Buf[32];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, V);
    Out.append(Buf, R.ptr);
}

struct TVec
{
    double x, y, z;
};

TVec Sub(TVec A, TVec B)
{
    return {A.x - B.x, A.y - B.y, A.z - B.z};
}
TVec CrossOf(TVec A, TVec B)
{
    return {A.y * B.z - A.z * B.y, A.z * B.x - A.x * B.z, A.x * B.y - A.y * B.x};
}
double Dot(TVec A, TVec B)
{
    return A.x * B.x + A.y * B.y + A.z * B.z;
}

/// Reads "( x y z )" from the front of Text; false when it is not there.
bool ReadPointAt(std::string_view &Text, TVec &P)
{
    if (!Text.starts_with("( ")) {
        return false;
    }
    Text.remove_prefix(2);
    for (double *V : {&P.x, &P.y, &P.z}) {
        const auto R = std::from_chars(Text.data(), Text.data() + Text.size(), *V);
        if (R.ec != std::errc() || R.ptr == Text.data() + Text.size() || *R.ptr != ' ') {
            return false;
        }
        Text.remove_prefix(static_cast<std::size_t>(R.ptr - Text.data()) + 1);
    }
    if (!Text.starts_with(")")) {
        return false;
    }
    Text.remove_prefix(1);
    return true;
}

/// Line moved by (DX, DY): a face line's three points, or an "origin".
void AppendShifted(std::string &Out, std::string_view Line, double DX, double DY)
{
    std::string_view Rest = Line;
    TVec P[3];
    bool Face = true;
    for (TVec &Point : P) {
        if (!ReadPointAt(Rest, Point)) {
            Face = false;
            break;
        }
        if (Rest.starts_with(" ")) {
            Rest.remove_prefix(1);
        }
    }
    if (Face) {
        for (const TVec &Point : P) {
            Out += "( ";
            AppendDouble(Out, Point.x + DX);
            Out += ' ';
            AppendDouble(Out, Point.y + DY);
            Out += ' ';
            AppendDouble(Out, Point.z);
            Out += " ) ";
        }
        Out.append(Rest);
        Out += '\n';
        return;
    }
    constexpr std::string_view Origin = "\"origin\" \"";
    double X = 0, Y = 0;
    if (Line.starts_with(Origin)) {
        std::string_view V = Line.substr(Origin.size());
        const auto RX = std::from_chars(V.data(), V.data() + V.size(), X);
        const auto RY = RX.ec == std::errc() && RX.ptr < V.data() + V.size()
                            ? std::from_chars(RX.ptr + 1, V.data() + V.size(), Y)
                            : RX;
        if (RX.ec == std::errc() && RY.ec == std::errc()) {
            Out.append(Origin);
            AppendDouble(Out, X + DX);
            Out += ' ';
            AppendDouble(Out, Y + DY);
            Out.append(RY.ptr, V.data() + V.size());
            Out += '\n';
            return;
        }
    }
    Out.append(Line);
    Out += '\n';
}

std::string_view Trimmed(std::string_view L)
{
    while (!L.empty() && (L.front() == ' ' || L.front() == '\t')) {
        L.remove_prefix(1);
    }
    while (!L.empty() && (L.back() == ' ' || L.back() == '\t' || L.back() == '\r')) {
        L.remove_suffix(1);
    }
    return L;
}

/// A map's entity blocks as lists of trimmed lines, "{" and "}" included.
std::vector<std::vector<std::string_view>> Entities(std::string_view Map)
{
    std::vector<std::vector<std::string_view>> List;
    int Depth = 0;
    while (!Map.empty()) {
        const std::size_t End = Map.find('\n');
        const std::string_view Line = Trimmed(Map.substr(0, End));
        Map.remove_prefix(End == std::string_view::npos ? Map.size() : End + 1);
        if (Depth == 0 && Line != "{") {
            continue; // comments and blank lines between entities
        }
        if (Depth == 0) {
            List.emplace_back();
        }
        List.back().push_back(Line);
        Depth += Line == "{" ? 1 : (Line == "}" ? -1 : 0);
    }
    return List;
}

} // namespace

std::string GenerateManyFacedBrush(std::size_t Faces, double Radius)
{
    std::string Out = "{\n\"classname\" \"worldspawn\"\n{\n";
    const double Golden = M_PI * (3 - std::sqrt(5.0));
    for (std::size_t I = 0; I < Faces; ++I) {
        // Normals spread evenly over the sphere (a Fibonacci lattice).
        const double Z = 1 - 2 * (static_cast<double>(I) + 0.5) / static_cast<double>(Faces);
        const double R = std::sqrt(1 - Z * Z), A = Golden * static_cast<double>(I);
        const TVec N{R * std::cos(A), R * std::sin(A), Z};
        const TVec U = std::fabs(N.z) < 0.9 ? CrossOf(N, {0, 0, 1}) : CrossOf(N, {1, 0, 0});
        const double UL = std::sqrt(Dot(U, U));
        const TVec E1{U.x / UL, U.y / UL, U.z / UL}, E2 = CrossOf(N, E1);
        const TVec C{Radius * N.x, Radius * N.y, Radius * N.z};
        const auto At = [&](double S, double T) {
            return TVec{std::round(C.x + S * E1.x + T * E2.x), std::round(C.y + S * E1.y + T * E2.y),
                std::round(C.z + S * E1.z + T * E2.z)};
        };
        TVec P1 = At(0, 0), P2 = At(256, 0), P3 = At(0, 256);
        // The inner side of a face is where (p2 - p1) x (p3 - p1) points.
        if (Dot(CrossOf(Sub(P2, P1), Sub(P3, P1)), Sub({0, 0, 0}, P1)) < 0) {
            std::swap(P2, P3);
        }
        for (const TVec &P : {P1, P2, P3}) {
            AppendPoint(Out, static_cast<long long>(P.x), static_cast<long long>(P.y), static_cast<long long>(P.z), 0);
        }
        Out += "BENCH_SPHERE 0 0 0 1 1\n";
    }
    Out += "}\n}\n";
    return Out;
}

std::string GenerateSameShape(std::size_t Count, const std::string &Prefix)
{
    std::string One;
    AppendBrush(One, 12345);
    std::string Out = "{\n\"classname\" \"worldspawn\"\n";
    Out.reserve(Count * (One.size() + 6 * 8) + 64);
    for (std::size_t I = 0; I < Count; ++I) {
        // The same faces, every face textured Prefix + I.
        std::string_view Rest = One;
        while (!Rest.empty()) {
            const std::size_t End = Rest.find('\n');
            const std::string_view Line = Rest.substr(0, End);
            Rest.remove_prefix(End + 1);
            const std::size_t Tex = Line.find("BENCH_");
            if (Tex == std::string_view::npos) {
                Out.append(Line);
            } else {
                Out.append(Line.substr(0, Tex));
                Out += Prefix;
                AppendInt(Out, static_cast<long long>(I));
                Out.append(Line.substr(Line.find(' ', Tex)));
            }
            Out += '\n';
        }
    }
    Out += "}\n";
    return Out;
}

std::string ScaleMaps(const std::vector<std::string> &Maps, double MB)
{
    std::vector<std::vector<std::vector<std::string_view>>> Parsed;
    std::size_t Bytes = 0;
    for (const std::string &M : Maps) {
        Parsed.push_back(Entities(M));
        Bytes += M.size();
    }
    if (Parsed.empty() || Parsed[0].empty() || Bytes == 0) {
        return {};
    }
    const auto Copies = static_cast<std::size_t>(std::ceil(MB * 1e6 / static_cast<double>(Bytes)));
    std::string World, Others;
    World.reserve(static_cast<std::size_t>(MB * 1.1e6));
    World += "// scaled from real maps\n";
    // The first map's worldspawn keys (its lines before its first brush).
    const auto &First = Parsed[0][0];
    for (std::size_t L = 0; L + 1 < First.size() && (L == 0 || First[L] != "{"); ++L) {
        World.append(First[L]);
        World += '\n';
    }
    for (std::size_t K = 0; K < Copies; ++K) {
        // Copies side by side, 32768 units apart (maps span less).
        const double DX = static_cast<double>(K % 16) * 32768, DY = static_cast<double>(K / 16) * 32768;
        for (const auto &Map : Parsed) {
            for (std::size_t E = 0; E < Map.size(); ++E) {
                const auto &Lines = Map[E];
                const bool IsWorld = E == 0;
                std::string &Out = IsWorld ? World : Others;
                bool InBrush = false;
                for (std::size_t L = IsWorld ? 1 : 0; L + (IsWorld ? 1 : 0) < Lines.size(); ++L) {
                    const std::string_view Line = Lines[L];
                    InBrush = InBrush || (L > 0 && Line == "{");
                    if (IsWorld && !InBrush) {
                        continue; // the worldspawn's keys are written once
                    }
                    AppendShifted(Out, Line, DX, DY);
                }
            }
        }
    }
    World += "}\n";
    return World + Others;
}

} // namespace brixbench
