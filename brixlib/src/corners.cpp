// The corners of a brush. The bounds that areas and the brush index use
// come from these corners, so stored results depend on the exact corners the
// first search found: every face triple's point computed by IntersectPlanes
// and kept when no other face leaves it outside. The faster search finds,
// from each face's polygon, which triples can give such a point and then
// computes exactly those, the same way, in the same order.
#include "corners.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace brix
{

namespace
{

/// Folds one corner into the bounds the way the first search always did:
/// the first corner sets them, later ones widen them on a strict "<" or ">".
void Fold(bool &Found, T3DPoint &Min, T3DPoint &Max, const T3DPoint &Corner)
{
    if (!Found) {
        Min = Max = Corner;
        Found = true;
        return;
    }
    for (std::size_t Axis = 0; Axis < 3; ++Axis) {
        if (Corner.coords(Axis) < Min.coords(Axis)) {
            Min.coords(Axis) = Corner.coords(Axis);
        }
        if (Corner.coords(Axis) > Max.coords(Axis)) {
            Max.coords(Axis) = Corner.coords(Axis);
        }
    }
}

/// The point of the faces I < J < K, if it is a corner.
bool ExactCorner(std::span<const TPlane> Sides, std::size_t I, std::size_t J, std::size_t K, T3DPoint &Corner)
{
    if (Sides[I].Parallel(Sides[J]) || !IntersectPlanes(Sides[I], Sides[J], Sides[K], Corner.x, Corner.y, Corner.z)) {
        return false;
    }
    for (std::size_t L = 0; L < Sides.size(); ++L) {
        if (L != I && L != J && L != K && Sides[L].PointValues(Corner.x, Corner.y, Corner.z) < 0) {
            return false;
        }
    }
    return true;
}

double Value(const TPlane &P, const T3DPoint &X)
{
    return P.PointValues(X.x, X.y, X.z);
}

double Length(const TPlane &P)
{
    return std::sqrt(P.A * P.A + P.B * P.B + P.C * P.C);
}

T3DPoint Cross(double ax, double ay, double az, double bx, double by, double bz)
{
    return {ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx};
}

/// The point of three planes by Cramer's rule; false when they have none.
/// Only used to place polygon corners, which are then recomputed exactly.
bool Solve(const TPlane &P, const TPlane &Q, const TPlane &R, T3DPoint &X)
{
    const T3DPoint QR = Cross(Q.A, Q.B, Q.C, R.A, R.B, R.C);
    const T3DPoint RP = Cross(R.A, R.B, R.C, P.A, P.B, P.C);
    const T3DPoint PQ = Cross(P.A, P.B, P.C, Q.A, Q.B, Q.C);
    const double Det = P.A * QR.x + P.B * QR.y + P.C * QR.z;
    if (Det == 0 || !std::isfinite(Det)) {
        return false;
    }
    X.x = -(P.D * QR.x + Q.D * RP.x + R.D * PQ.x) / Det;
    X.y = -(P.D * QR.y + Q.D * RP.y + R.D * PQ.y) / Det;
    X.z = -(P.D * QR.z + Q.D * RP.z + R.D * PQ.z) / Det;
    return std::isfinite(X.x) && std::isfinite(X.y) && std::isfinite(X.z);
}

/// A corner of a face polygon and the plane of the edge that leaves it.
struct TVertex
{
    T3DPoint P;
    std::size_t Edge;
};

/// Beyond this the products of IntersectPlanes could overflow, and the
/// polygon search would not see what the exhaustive one sees.
constexpr double MaxCoefficient = 1e60;

/// Faces up to this many are searched exhaustively: it costs no more.
constexpr std::size_t FewFaces = 12;

constexpr std::size_t MaxTriples = std::size_t{1} << 22;

} // namespace

bool FindCornersExhaustive(std::span<const TPlane> Sides, T3DPoint &Min, T3DPoint &Max)
{
    const std::size_t N = Sides.size();
    bool Found = false;
    // The face that rejected the last point is tried first: neighbouring
    // points usually fail on the same face. Whether a point is a corner does
    // not depend on the order the faces are tried in.
    std::size_t LastReject = N;
    for (std::size_t I = 0; I < N; ++I) {
        for (std::size_t J = I + 1; J < N; ++J) {
            // Only this pair is tested here; a third face parallel to one of
            // them leaves IntersectPlanes without a point.
            if (Sides[I].Parallel(Sides[J])) {
                continue;
            }
            for (std::size_t K = J + 1; K < N; ++K) {
                T3DPoint Corner;
                if (!IntersectPlanes(Sides[I], Sides[J], Sides[K], Corner.x, Corner.y, Corner.z)) {
                    continue;
                }
                const auto Rejects = [&](std::size_t L) {
                    return L != I && L != J && L != K && Sides[L].PointValues(Corner.x, Corner.y, Corner.z) < 0;
                };
                bool Inside = !(LastReject < N && Rejects(LastReject));
                for (std::size_t L = 0; L < N && Inside; ++L) {
                    if (Rejects(L)) {
                        Inside = false;
                        LastReject = L;
                    }
                }
                if (Inside) {
                    Fold(Found, Min, Max, Corner);
                }
            }
        }
    }
    return Found;
}

bool FindCorners(std::span<const TPlane> Faces, std::span<const TBrushSide> Sides, T3DPoint &Min, T3DPoint &Max)
{
    const std::size_t N = Faces.size();
    if (N <= FewFaces || Sides.size() != N) {
        return FindCornersExhaustive(Faces, Min, Max);
    }
    // Planes of the faces, then four more per face: the edges of the square
    // each face's polygon starts from.
    std::vector<TPlane> Planes(N + 4);
    std::vector<double> Lengths(N);
    double Scale = 1;
    for (std::size_t I = 0; I < N; ++I) {
        const TPlane &F = Faces[I];
        for (const double V : {F.A, F.B, F.C, F.D}) {
            if (!(std::fabs(V) <= MaxCoefficient)) { // NaN too
                return FindCornersExhaustive(Faces, Min, Max);
            }
        }
        const TBrushSide &S = Sides[I];
        for (const T3DPoint *P : {&S.p1, &S.p2, &S.p3}) {
            Scale = std::max({Scale, std::fabs(P->x), std::fabs(P->y), std::fabs(P->z)});
        }
        Planes[I] = F;
        Lengths[I] = Length(F);
        // A face of three points on a line has no plane: it rejects every
        // point when its constant is negative, none otherwise, and never
        // makes a corner.
        if (Lengths[I] == 0 && F.D < 0) {
            return false;
        }
    }
    // Corners of the polygons are kept when within Tolerance outside a
    // plane; a face counts as passing through a corner within Near. Both are
    // generous: a triple found too many is computed and rejected exactly, a
    // triple missed would change the bounds.
    const double Tolerance = 1e-9 * Scale;
    const double Near = 1e-6 * Scale;
    const double Reach = 1e8 * Scale;

    std::vector<std::vector<std::uint32_t>> Corners; // the faces through each polygon corner
    std::vector<TVertex> Polygon, Clipped;
    std::vector<std::uint32_t> Through;
    for (std::size_t I = 0; I < N; ++I) {
        if (Lengths[I] == 0) {
            continue;
        }
        const TPlane &F = Planes[I];
        const double Len = Lengths[I];
        const T3DPoint Normal{F.A / Len, F.B / Len, F.C / Len};
        const T3DPoint Origin{-F.D / Len * Normal.x, -F.D / Len * Normal.y, -F.D / Len * Normal.z};
        // U and V span the plane; the axis least along the normal starts U.
        const double ax = std::fabs(Normal.x), ay = std::fabs(Normal.y), az = std::fabs(Normal.z);
        T3DPoint U = ax <= ay && ax <= az ? Cross(Normal.x, Normal.y, Normal.z, 1, 0, 0)
                     : ay <= az           ? Cross(Normal.x, Normal.y, Normal.z, 0, 1, 0)
                                          : Cross(Normal.x, Normal.y, Normal.z, 0, 0, 1);
        const double UL = std::sqrt(U.x * U.x + U.y * U.y + U.z * U.z);
        U = {U.x / UL, U.y / UL, U.z / UL};
        const T3DPoint V = Cross(Normal.x, Normal.y, Normal.z, U.x, U.y, U.z);
        // The square's edges, each a plane facing the origin.
        const std::array<T3DPoint, 4> Out{{{U.x, U.y, U.z}, {V.x, V.y, V.z}, {-U.x, -U.y, -U.z}, {-V.x, -V.y, -V.z}}};
        Polygon.clear();
        for (std::size_t E = 0; E < 4; ++E) {
            const T3DPoint &Dir = Out[E];
            Planes[N + E] = {-Dir.x, -Dir.y, -Dir.z, Dir.x * Origin.x + Dir.y * Origin.y + Dir.z * Origin.z + Reach};
            // The corner between edge E-1 and edge E.
            const T3DPoint &Prev = Out[(E + 3) % 4];
            Polygon.push_back({{Origin.x + Reach * (Prev.x + Dir.x), Origin.y + Reach * (Prev.y + Dir.y),
                                   Origin.z + Reach * (Prev.z + Dir.z)},
                N + E});
        }
        for (std::size_t J = 0; J < N && !Polygon.empty(); ++J) {
            if (J == I || Lengths[J] == 0) {
                continue;
            }
            const TPlane &Cut = Planes[J];
            const double Keep = -Tolerance * Lengths[J];
            Clipped.clear();
            const std::size_t M = Polygon.size();
            for (std::size_t K = 0; K < M; ++K) {
                const TVertex &Cur = Polygon[K];
                const TVertex &Nxt = Polygon[(K + 1) % M];
                const double VC = Value(Cut, Cur.P), VN = Value(Cut, Nxt.P);
                const bool InC = VC >= Keep, InN = VN >= Keep;
                if (InC == InN) {
                    if (InC) {
                        Clipped.push_back(Cur);
                    }
                    continue;
                }
                T3DPoint X;
                if (!Solve(F, Planes[Cur.Edge], Cut, X)) {
                    const double T = VC / (VC - VN);
                    X = {Cur.P.x + T * (Nxt.P.x - Cur.P.x), Cur.P.y + T * (Nxt.P.y - Cur.P.y),
                        Cur.P.z + T * (Nxt.P.z - Cur.P.z)};
                }
                if (InC) {
                    Clipped.push_back(Cur);
                    Clipped.push_back({X, J});
                } else {
                    Clipped.push_back({X, Cur.Edge});
                }
            }
            Polygon.swap(Clipped);
        }
        // Every corner between two faces' edges: the faces through it.
        const std::size_t M = Polygon.size();
        for (std::size_t K = 0; K < M; ++K) {
            const TVertex &Cur = Polygon[K];
            const std::size_t In = Polygon[(K + M - 1) % M].Edge;
            if (In >= N || Cur.Edge >= N) {
                continue;
            }
            Through.clear();
            for (std::size_t L = 0; L < N; ++L) {
                if (L == I || L == In || L == Cur.Edge ||
                    (Lengths[L] != 0 && std::fabs(Value(Planes[L], Cur.P)) <= Near * Lengths[L])) {
                    Through.push_back(static_cast<std::uint32_t>(L));
                }
            }
            Corners.push_back(Through);
        }
    }
    // A corner is a corner of every face through it: each set once.
    std::sort(Corners.begin(), Corners.end());
    Corners.erase(std::unique(Corners.begin(), Corners.end()), Corners.end());
    std::size_t Count = 0;
    for (const auto &Set : Corners) {
        const std::size_t K = Set.size();
        Count += K * (K - 1) * (K - 2) / 6;
    }
    // Very many faces through one point (the tip of a cone of faces): the
    // triples would take more memory than trying them all takes time.
    if (Count > MaxTriples) {
        return FindCornersExhaustive(Faces, Min, Max);
    }
    std::vector<std::array<std::uint32_t, 3>> Triples;
    Triples.reserve(Count);
    for (const auto &Set : Corners) {
        for (std::size_t A = 0; A < Set.size(); ++A) {
            for (std::size_t B = A + 1; B < Set.size(); ++B) {
                for (std::size_t C = B + 1; C < Set.size(); ++C) {
                    Triples.push_back({Set[A], Set[B], Set[C]});
                }
            }
        }
    }
    // The exhaustive search's order: it decides which of two equal corners
    // (0 and -0) the bounds keep.
    std::sort(Triples.begin(), Triples.end());
    Triples.erase(std::unique(Triples.begin(), Triples.end()), Triples.end());
    bool Found = false;
    for (const auto &T : Triples) {
        T3DPoint Corner;
        if (ExactCorner(Faces, T[0], T[1], T[2], Corner)) {
            Fold(Found, Min, Max, Corner);
        }
    }
    return Found;
}

} // namespace brix
