// The quadratic corner search must give the exhaustive search's bounds to the
// bit: stored cuts and the brush index depend on them.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "brixlib/mapfile.h"
#include "corners.h"

using namespace brix;
namespace fs = std::filesystem;

namespace
{

bool SameBits(const T3DPoint &A, const T3DPoint &B)
{
    const auto Bits = [](double V) { return std::bit_cast<std::uint64_t>(V); };
    return Bits(A.x) == Bits(B.x) && Bits(A.y) == Bits(B.y) && Bits(A.z) == Bits(B.z);
}

void ExpectSameCorners(std::span<const TBrushSide> Sides)
{
    std::vector<TPlane> Planes;
    Planes.reserve(Sides.size());
    for (const TBrushSide &S : Sides) {
        Planes.push_back(S.Plane());
    }
    T3DPoint Min1{7, 7, 7}, Max1{7, 7, 7}, Min2 = Min1, Max2 = Max1;
    const bool Found1 = FindCornersExhaustive(Planes, Min1, Max1);
    const bool Found2 = FindCorners(Planes, Sides, Min2, Max2);
    EXPECT_EQ(Found1, Found2);
    EXPECT_TRUE(SameBits(Min1, Min2) && SameBits(Max1, Max2))
        << Min1.x << ' ' << Min1.y << ' ' << Min1.z << " / " << Min2.x << ' ' << Min2.y << ' ' << Min2.z;
}

/// A face through three points whose plane keeps Inside on its inner side.
TBrushSide FaceThrough(T3DPoint P1, T3DPoint P2, T3DPoint P3, const T3DPoint &Inside)
{
    TBrushSide S;
    S.p1 = P1, S.p2 = P2, S.p3 = P3;
    if (S.Plane().PointValues(Inside.x, Inside.y, Inside.z) < 0) {
        std::swap(S.p2, S.p3);
    }
    return S;
}

/// Faces touching a sphere (or, with Apex, a cone of faces through one
/// point), their points rounded to Grid as an editor snaps them.
std::vector<TBrushSide> RandomBrush(std::mt19937_64 &Random, std::size_t Faces, double Grid, bool Apex)
{
    std::normal_distribution<double> Normal;
    const auto Snap = [&](double V) { return Grid > 0 ? std::round(V / Grid) * Grid : V; };
    const T3DPoint Centre{100, -40, 12};
    std::vector<TBrushSide> Sides;
    for (std::size_t I = 0; I < Faces; ++I) {
        double nx = Normal(Random), ny = Normal(Random), nz = Normal(Random);
        if (Apex && I + 1 < Faces) {
            nz = std::fabs(nz) * 0.3; // sides of a cone whose tip is above the centre
        } else if (Apex) {
            nx = ny = 0, nz = -1;
        }
        const double L = std::sqrt(nx * nx + ny * ny + nz * nz);
        nx /= L, ny /= L, nz /= L;
        // Two directions in the face's plane.
        const double ux = -ny, uy = nx, uz = 0, vx = ny * uz - nz * uy, vy = nz * ux - nx * uz, vz = nx * uy - ny * ux;
        const double R = 256;
        T3DPoint Base{Centre.x + R * nx, Centre.y + R * ny, Centre.z + R * nz};
        if (Apex && I + 1 < Faces) {
            Base = {Centre.x, Centre.y, Centre.z + 512};
        }
        const auto At = [&](double a, double b) {
            return T3DPoint{
                Snap(Base.x + a * ux + b * vx), Snap(Base.y + a * uy + b * vy), Snap(Base.z + a * uz + b * vz)};
        };
        Sides.push_back(FaceThrough(At(0, 0), At(64, 0), At(0, 64), Centre));
    }
    return Sides;
}

} // namespace

TEST(FindCorners, RandomBrushesGiveTheExhaustiveBounds)
{
    std::mt19937_64 Random(20261209);
    struct Case
    {
        std::size_t Faces;
        double Grid; // 0: unrounded points
        bool Apex;
        int Count;
    } Cases[] = {
        {13, 1, false, 40},
        {20, 0.125, false, 30},
        {20, 0, false, 30},
        {50, 1, false, 10},
        {100, 0, false, 4},
        {200, 8, false, 3},
        {500, 1, false, 1},
        {500, 0, false, 1},
        {30, 1, true, 10},
        {120, 0, true, 2},
    };
    for (const Case &C : Cases) {
        for (int K = 0; K < C.Count; ++K) {
            SCOPED_TRACE(
                std::to_string(C.Faces) + " faces, grid " + std::to_string(C.Grid) + ", #" + std::to_string(K));
            std::vector<TBrushSide> Sides = RandomBrush(Random, C.Faces, C.Grid, C.Apex);
            if (K % 3 == 1) {
                Sides.push_back(Sides[Sides.size() / 2]); // a face given twice
            }
            if (K % 3 == 2) { // a face whose three points lie on a line
                Sides.push_back(Sides[0]);
                Sides.back().p3 = {2 * Sides[0].p2.x - Sides[0].p1.x, 2 * Sides[0].p2.y - Sides[0].p1.y,
                    2 * Sides[0].p2.z - Sides[0].p1.z};
            }
            ExpectSameCorners(Sides);
        }
    }
}

TEST(FindCorners, CorpusBrushesGiveTheExhaustiveBounds)
{
    const fs::path Dir = BRIX_CORPUS_DIR;
    if (!fs::is_directory(Dir)) {
        GTEST_SKIP() << "no map corpus at " << Dir.string();
    }
    std::size_t Brushes = 0;
    for (const fs::directory_entry &Item : fs::directory_iterator(Dir)) {
        TMapFile Map;
        std::string Error;
        if (Item.path().extension() != ".map" || (Map.LoadFromFile(Item.path().string(), Error), !Error.empty())) {
            continue;
        }
        SCOPED_TRACE(Item.path().filename().string());
        for (std::size_t E = 0; E < Map.Count(); ++E) {
            for (const TBrush &B : Map[E].Brushes) {
                ExpectSameCorners(B.SideList());
                ++Brushes;
            }
        }
    }
    EXPECT_GT(Brushes, 10000u);
}
