// Brush geometry: point text, face lines and planes, brush blocks, corners
// and bounds, and the comparisons that decide whether two brushes are one.
#include "brixlib/geometry.h"

#include <utility>

namespace brix
{

// ---------------------------------------------------------------------------
// Points

void AppendPoint(std::string &Out, const T3DPoint &P)
{
    Out.append("( ");
    AppendFloat(Out, P.x);
    Out.push_back(' ');
    AppendFloat(Out, P.y);
    Out.push_back(' ');
    AppendFloat(Out, P.z);
    Out.append(" )");
}

std::string PointToStr(const T3DPoint &P)
{
    std::string S;
    AppendPoint(S, P);
    return S;
}

bool ReadPoint(std::string_view &Rest, T3DPoint &P, std::string &Error)
{
    if (Rest.empty() || Rest.front() != '(') {
        Error = ExpectedMsg("(");
        return false;
    }
    Rest = Trim(Rest.substr(1));
    // Only a space separates x from y and y from z: a tab stays inside the
    // number text and makes it invalid.
    static constexpr char Terminators[3] = {' ', ' ', ')'};
    for (std::size_t I = 0; I < 3; ++I) {
        const std::size_t Pos = Rest.find(Terminators[I]);
        if (Pos == std::string_view::npos) {
            Error = GetMsg(msgFormatError);
            return false;
        }
        const std::string_view Number = Rest.substr(0, Pos);
        double Value = 0;
        if (!TryStrToFloat(Number, Value)) {
            Error = FloatErrorMsg(Number);
            return false;
        }
        P.coords(I) = Value;
        Rest = Trim(Rest.substr(Pos + 1));
    }
    return true;
}

bool PointsEqual(const T3DPoint &P1, const T3DPoint &P2)
{
    return P1.x == P2.x && P1.y == P2.y && P1.z == P2.z;
}

// ---------------------------------------------------------------------------
// Faces

void TBrushSide::Load(std::string_view S, std::string &Error)
{
    std::string_view Rest = Trim(S);
    if (!ReadPoint(Rest, p1, Error) || !ReadPoint(Rest, p2, Error) || !ReadPoint(Rest, p3, Error)) {
        return;
    }
    Rest = Trim(Rest);
    if (Rest.empty()) {
        Error = GetMsg(msgTextureNameExpected);
        return;
    }
    // Only a space ends the name: a tab belongs to it.
    const std::size_t Space = Rest.find(' ');
    if (Space == std::string_view::npos) {
        Error = GetMsg(msgUnexpectedEndOfLine);
        return;
    }
    texture.assign(Rest.substr(0, Space));
    params.assign(Trim(Rest.substr(Space + 1)));
}

namespace
{

void AppendSide(std::string &Out, const TBrushSide &Side)
{
    AppendPoint(Out, Side.p1);
    Out.push_back(' ');
    AppendPoint(Out, Side.p2);
    Out.push_back(' ');
    AppendPoint(Out, Side.p3);
    Out.push_back(' ');
    Out.append(Side.texture);
    Out.push_back(' ');
    Out.append(Side.params);
}

} // namespace

void TBrushSide::Save(TLineWriter &AList) const
{
    AppendSide(AList.Buffer(), *this);
    AList.EndLine();
}

std::string TBrushSide::ToString() const
{
    std::string S;
    AppendSide(S, *this);
    return S;
}

bool TBrushSide::cmp(const TBrushSide &Other, bool cmpTexture) const
{
    return PointsEqual(p1, Other.p1) && PointsEqual(p2, Other.p2) && PointsEqual(p3, Other.p3) &&
           (!cmpTexture || texture == Other.texture);
}

void TBrushSide::CalcPlane()
{
    const double x1 = p1.x, y1 = p1.y, z1 = p1.z;
    const double x2 = p2.x, y2 = p2.y, z2 = p2.z;
    const double x3 = p3.x, y3 = p3.y, z3 = p3.z;
    // Bounds of stored maps depend on these exact roundings: keep the terms
    // and their order.
    A = y1 * (z2 - z3) + y2 * (z3 - z1) + y3 * (z1 - z2);
    B = z1 * (x2 - x3) + z2 * (x3 - x1) + z3 * (x1 - x2);
    C = x1 * (y2 - y3) + x2 * (y3 - y1) + x3 * (y1 - y2);
    D = -x1 * (y2 * z3 - y3 * z2) - x2 * (y3 * z1 - y1 * z3) - x3 * (y1 * z2 - y2 * z1);
}

bool TBrushSide::Parallel(const TBrushSide &ASide) const
{
    bool HaveRatio = false;
    double Ratio = 0;
    auto Agrees = [&](double a, double b) {
        if (a == 0 && b == 0) {
            return true;
        }
        if (a == 0 || b == 0) {
            return false;
        }
        const double R = a / b;
        if (!HaveRatio) {
            HaveRatio = true;
            Ratio = R;
            return true;
        }
        return R == Ratio;
    };
    return Agrees(A, ASide.A) && Agrees(B, ASide.B) && Agrees(C, ASide.C);
}

bool IntersectPlanes(const TBrushSide &S1, const TBrushSide &S2, const TBrushSide &S3, double &x, double &y, double &z)
{
    const TBrushSide *P = &S1, *Q = &S2, *R = &S3;
    if (P->A == 0) {
        if (Q->A != 0) {
            std::swap(P, Q);
        } else if (R->A == 0) {
            return false;
        } else {
            std::swap(P, R);
        }
    }
    double g = Q->A * P->B - P->A * Q->B;
    if (g == 0) {
        std::swap(Q, R);
        g = Q->A * P->B - P->A * Q->B;
        if (g == 0) {
            return false;
        }
    }
    const double d = P->A * Q->C - Q->A * P->C;
    const double f = P->A * R->B - R->A * P->B;
    const double h = d * f + (P->A * R->C - R->A * P->C) * g;
    if (h == 0) {
        return false;
    }
    const double o = P->A * Q->D - Q->A * P->D;
    z = (-o * f - (P->A * R->D - R->A * P->D) * g) / h;
    y = (z * d + o) / g;
    x = (-P->B * y - P->C * z - P->D) / P->A;
    return true;
}

// ---------------------------------------------------------------------------
// Brushes

void TBrush::LoadFromList(const TLineList &AList, std::size_t &Index, std::string &Error)
{
    while (Index < AList.size()) {
        const std::string_view Line = Trim(AList[Index]);
        ++Index;
        if (Line.empty() || Line.starts_with("//")) {
            continue;
        }
        if (Line.front() == '}') {
            return;
        }
        if (Line.front() != '(') {
            --Index;
            Error = ExpectedMsg("(");
            return;
        }
        // The face stays in the brush even when it fails: what was read is
        // kept, the caller abandons the load.
        std::string FaceError;
        FSides.emplace_back().Load(Line, FaceError);
        if (!FaceError.empty()) {
            --Index;
            Error = std::move(FaceError);
            return;
        }
    }
    Error = GetMsg(msgUnexpectedEndOfFile);
}

void TBrush::SaveToList(TLineWriter &AList) const
{
    AList.Add("{");
    for (const TBrushSide &Side : FSides) {
        Side.Save(AList);
    }
    AList.Add("}");
}

void TBrush::PreparePlans()
{
    for (TBrushSide &Side : FSides) {
        Side.CalcPlane();
    }
}

void TBrush::CalcMinMax()
{
    PreparePlans();
    const std::size_t N = FSides.size();
    bool Found = false;
    for (std::size_t I = 0; I < N; ++I) {
        for (std::size_t J = I + 1; J < N; ++J) {
            // Only this pair is tested here; a third face parallel to one of
            // them leaves IntersectPlanes without a point.
            if (FSides[I].Parallel(FSides[J])) {
                continue;
            }
            for (std::size_t K = J + 1; K < N; ++K) {
                T3DPoint Corner;
                if (!IntersectPlanes(FSides[I], FSides[J], FSides[K], Corner.x, Corner.y, Corner.z)) {
                    continue;
                }
                bool Inside = true;
                for (std::size_t L = 0; L < N && Inside; ++L) {
                    if (L != I && L != J && L != K && FSides[L].PointValues(Corner.x, Corner.y, Corner.z) < 0) {
                        Inside = false;
                    }
                }
                if (!Inside) {
                    continue;
                }
                if (!Found) {
                    Min = Max = Corner;
                    Found = true;
                    continue;
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
        }
    }
    Center.x = (Min.x + Max.x) / 2;
    Center.y = (Min.y + Max.y) / 2;
    Center.z = (Min.z + Max.z) / 2;
}

bool TBrush::Cmp(const TBrush &Other, bool cmpTexture) const
{
    if (FSides.size() != Other.FSides.size()) {
        return false;
    }
    for (std::size_t I = 0; I < FSides.size(); ++I) {
        if (!FSides[I].cmp(Other.FSides[I], cmpTexture)) {
            return false;
        }
    }
    return true;
}

bool TBrush::IsTextured(const TMask &Mask) const
{
    for (const TBrushSide &Side : FSides) {
        if (Mask.Matches(Side.texture)) {
            return true;
        }
    }
    return false;
}

bool TBrush::IsTextured(const std::string &TextureName) const
{
    return IsTextured(TMask(TextureName));
}

void TBrush::ReplaceTextures(const TBrush &Source)
{
    for (TBrushSide &F : FSides) {
        // The last matching face of Source wins.
        for (const TBrushSide &G : Source.FSides) {
            if (F.cmp(G, false)) {
                F.texture = G.texture;
                F.params = G.params;
            }
        }
    }
    FIsStored = Source.FIsStored;
}

// ---------------------------------------------------------------------------
// Brush lists

bool TBrushList::IsStored() const
{
    for (const TBrush &Brush : FItems) {
        if (Brush.IsStored()) {
            return true;
        }
    }
    return false;
}

std::ptrdiff_t TBrushList::FindAnalog(const TBrush &ABrush, bool cmpTexture) const
{
    for (std::size_t I = 0; I < FItems.size(); ++I) {
        if (FItems[I].Cmp(ABrush, cmpTexture)) {
            return static_cast<std::ptrdiff_t>(I);
        }
    }
    return -1;
}

} // namespace brix
