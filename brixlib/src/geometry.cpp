// Brush geometry: point text, face lines and planes, brush blocks, corners
// and bounds, and the comparisons that decide whether two brushes are one.
#include "brixlib/geometry.h"

#include "corners.h"

#include <utility>

#include "brixlib/messages.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"

namespace brix
{

// ---------------------------------------------------------------------------
// Points

namespace
{

/// Room for "( x y z ) " with the longest numbers.
constexpr std::size_t PointTextRoom = 3 * FloatTextRoom + 8;

/// Writes "( x y z )" at Q; returns the end.
char *FormatPoint(char *Q, const T3DPoint &P)
{
    *Q++ = '(';
    *Q++ = ' ';
    Q = FormatFloat(Q, P.x);
    *Q++ = ' ';
    Q = FormatFloat(Q, P.y);
    *Q++ = ' ';
    Q = FormatFloat(Q, P.z);
    *Q++ = ' ';
    *Q++ = ')';
    return Q;
}

} // namespace

void AppendPoint(std::string &Out, const T3DPoint &P)
{
    char Buf[PointTextRoom];
    Out.append(Buf, FormatPoint(Buf, P));
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
        // The usual case first: a plain decimal right before its terminator
        // (spaces may come before the ")"). It is then the whole text before
        // the first terminator, as below, and reads to the same value.
        double Plain = 0;
        if (const std::size_t Len = ReadPlainDecimal(Rest, Plain); Len > 0) {
            std::size_t T = Len;
            while (I == 2 && T < Rest.size() && Rest[T] == ' ') {
                ++T;
            }
            if (T < Rest.size() && Rest[T] == Terminators[I]) {
                P.coords(I) = Plain;
                Rest = Trim(Rest.substr(T + 1));
                continue;
            }
        }
        const std::size_t Pos = Rest.find(Terminators[I]);
        if (Pos == std::string_view::npos) {
            Error = GetMsg(TMsgId::msgFormatError);
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

namespace
{

bool IsBlank(char C)
{
    return static_cast<unsigned char>(C) <= 32;
}

/// Reads the three points of a trimmed face line written the usual way: each
/// "(", three plain decimals (the first two ending at a space, the third at
/// spaces and ")"), blanks after every part. Returns where the points end, or
/// null for a line written any other way, which ReadPoint then reads with its
/// exact errors; where this succeeds ReadPoint reads the same values.
const char *ReadPlainPoints(const char *P, const char *End, double (&Values)[9])
{
    for (std::size_t Point = 0; Point < 3; ++Point) {
        if (P == End || *P != '(') {
            return nullptr;
        }
        ++P;
        while (P < End && IsBlank(*P)) {
            ++P;
        }
        for (std::size_t I = 0; I < 3; ++I) {
            const std::string_view Rest(P, static_cast<std::size_t>(End - P));
            const std::size_t Len = ReadPlainDecimal(Rest, Values[Point * 3 + I]);
            if (Len == 0) {
                return nullptr;
            }
            P += Len;
            if (I == 2) {
                while (P < End && *P == ' ') {
                    ++P;
                }
            }
            if (P == End || *P != (I == 2 ? ')' : ' ')) {
                return nullptr;
            }
            ++P;
            while (P < End && IsBlank(*P)) {
                ++P;
            }
        }
    }
    return P;
}

} // namespace

bool TBrushSide::Load(std::string_view S, std::string &Error)
{
    std::string_view Rest = Trim(S);
    double V[9];
    if (const char *After = ReadPlainPoints(Rest.data(), Rest.data() + Rest.size(), V)) {
        p1 = {V[0], V[1], V[2]};
        p2 = {V[3], V[4], V[5]};
        p3 = {V[6], V[7], V[8]};
        Rest.remove_prefix(static_cast<std::size_t>(After - Rest.data()));
    } else if (!ReadPoint(Rest, p1, Error) || !ReadPoint(Rest, p2, Error) || !ReadPoint(Rest, p3, Error)) {
        return false;
    }
    Rest = Trim(Rest);
    if (Rest.empty()) {
        Error = GetMsg(TMsgId::msgTextureNameExpected);
        return false;
    }
    // Only a space ends the name: a tab belongs to it.
    const std::size_t Space = Rest.find(' ');
    if (Space == std::string_view::npos) {
        Error = GetMsg(TMsgId::msgUnexpectedEndOfLine);
        return false;
    }
    texture.assign(Rest.substr(0, Space));
    params.assign(Trim(Rest.substr(Space + 1)));
    return true;
}

namespace
{

void AppendSide(std::string &Out, const TBrushSide &Side)
{
    // The three points are made in one buffer and appended at once.
    char Buf[3 * PointTextRoom];
    char *Q = FormatPoint(Buf, Side.p1);
    *Q++ = ' ';
    Q = FormatPoint(Q, Side.p2);
    *Q++ = ' ';
    Q = FormatPoint(Q, Side.p3);
    *Q++ = ' ';
    Out.append(Buf, Q);
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

TPlane TBrushSide::Plane() const
{
    const double x1 = p1.x, y1 = p1.y, z1 = p1.z;
    const double x2 = p2.x, y2 = p2.y, z2 = p2.z;
    const double x3 = p3.x, y3 = p3.y, z3 = p3.z;
    // Bounds of stored maps depend on these exact roundings: keep the terms
    // and their order.
    TPlane P;
    P.A = y1 * (z2 - z3) + y2 * (z3 - z1) + y3 * (z1 - z2);
    P.B = z1 * (x2 - x3) + z2 * (x3 - x1) + z3 * (x1 - x2);
    P.C = x1 * (y2 - y3) + x2 * (y3 - y1) + x3 * (y1 - y2);
    P.D = -x1 * (y2 * z3 - y3 * z2) - x2 * (y3 * z1 - y1 * z3) - x3 * (y1 * z2 - y2 * z1);
    return P;
}

bool TPlane::Parallel(const TPlane &ASide) const
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

bool IntersectPlanes(const TPlane &S1, const TPlane &S2, const TPlane &S3, double &x, double &y, double &z)
{
    const TPlane *P = &S1, *Q = &S2, *R = &S3;
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

TReadResult TBrush::LoadFromList(const TLineList &AList, std::size_t &Index, std::string &Error)
{
    // Room for exactly the face lines ahead: a vector grown one face at a
    // time would keep up to twice the memory a brush needs.
    std::size_t Faces = 0;
    for (std::size_t K = Index; K < AList.size(); ++K) {
        const std::string_view Line = Trim(AList[K]);
        if (Line.empty() || Line.starts_with("//")) {
            continue;
        }
        if (Line.front() != '(') {
            break;
        }
        ++Faces;
    }
    FSides.reserve(FSides.size() + Faces);
    while (Index < AList.size()) {
        const std::string_view Line = Trim(AList[Index]);
        ++Index;
        if (Line.empty() || Line.starts_with("//")) {
            continue;
        }
        if (Line.front() == '}') {
            return TReadResult::rrDone;
        }
        if (Line.front() != '(') {
            --Index;
            Error = ExpectedMsg("(");
            return TReadResult::rrMalformed;
        }
        // The face stays in the brush even when it fails: what was read is
        // kept, the caller abandons the load.
        if (!FSides.emplace_back().Load(Line, Error)) {
            --Index;
            return TReadResult::rrMalformed;
        }
    }
    Error = GetMsg(TMsgId::msgUnexpectedEndOfFile);
    return TReadResult::rrEndOfLines;
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
    FPlanes.resize(FSides.size());
    for (std::size_t I = 0; I < FSides.size(); ++I) {
        FPlanes[I] = FSides[I].Plane();
    }
}

void TBrush::CalcMinMax()
{
    // The planes only while the corners are sought: brushes do not keep them.
    thread_local std::vector<TPlane> Planes;
    Planes.resize(FSides.size());
    for (std::size_t I = 0; I < FSides.size(); ++I) {
        Planes[I] = FSides[I].Plane();
    }
    FindCorners(Planes, FSides, Bounds.Min, Bounds.Max);
    Bounds.Center.x = (Bounds.Min.x + Bounds.Max.x) / 2;
    Bounds.Center.y = (Bounds.Min.y + Bounds.Max.y) / 2;
    Bounds.Center.z = (Bounds.Min.z + Bounds.Max.z) / 2;
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
