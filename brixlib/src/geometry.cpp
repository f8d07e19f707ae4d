// Brush geometry: point text, face lines and planes, brush blocks, corners
// and bounds, and the comparisons that decide whether two brushes are one.
#include "brixlib/geometry.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

#include "corners.h"
#include "plaindecimal.h"

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

/// FormatFloat with the texts of the numbers written last kept by their bits:
/// a brush's faces meet at a few corners, so most of its numbers come again
/// within the brush, and copying a text costs less than making it. One lives
/// on the stack for each brush written.
class TNumberTexts
{
public:
    /// FormatFloat(Q, Value); Q has room for FloatTextRoom characters.
    char *Format(char *Q, double Value)
    {
        const auto Bits = std::bit_cast<std::uint64_t>(Value);
        const auto Slot = static_cast<unsigned>((Bits * 0x9E3779B97F4A7C15ull) >> (64 - SlotBits));
        if ((FFilled >> Slot & 1) != 0 && FKeys[Slot] == Bits) {
            // The whole slot is copied: what lies past the text is written
            // over or left out by the caller.
            std::memcpy(Q, FTexts[Slot].data(), TextRoom);
            return Q + FLengths[Slot];
        }
        char *const End = FormatFloat(Q, Value);
        if (const auto Length = static_cast<std::size_t>(End - Q); Length <= TextRoom) {
            FKeys[Slot] = Bits;
            FLengths[Slot] = static_cast<std::uint8_t>(Length);
            std::memcpy(FTexts[Slot].data(), Q, Length);
            FFilled |= std::uint64_t(1) << Slot;
        }
        return End;
    }

private:
    static constexpr unsigned SlotBits = 6;
    static constexpr std::size_t Slots = std::size_t(1) << SlotBits;
    /// Longer texts (17 digits and an exponent) are rare enough to make anew.
    static constexpr std::size_t TextRoom = 24;
    static_assert(TextRoom <= FloatTextRoom && Slots <= 64);

    std::uint64_t FFilled = 0; ///< a bit for each slot that holds a text
    std::array<std::uint64_t, Slots> FKeys;
    std::array<std::uint8_t, Slots> FLengths;
    // Left unset: a slot is used only once its text is set, and what lies
    // past the text is copied along but never written out.
    std::array<std::array<char, TextRoom>, Slots> FTexts;
};

/// Writes "( x y z )" at Q; returns the end.
char *FormatPoint(char *Q, const T3DPoint &P, TNumberTexts &Texts)
{
    *Q++ = '(';
    *Q++ = ' ';
    Q = Texts.Format(Q, P.x);
    *Q++ = ' ';
    Q = Texts.Format(Q, P.y);
    *Q++ = ' ';
    Q = Texts.Format(Q, P.z);
    *Q++ = ' ';
    *Q++ = ')';
    return Q;
}

} // namespace

void AppendPoint(std::string &Out, const T3DPoint &P)
{
    char Buf[PointTextRoom];
    TNumberTexts Texts;
    Out.append(Buf, FormatPoint(Buf, P, Texts));
}

std::string PointToStr(const T3DPoint &P)
{
    std::string S;
    AppendPoint(S, P);
    return S;
}

namespace
{

/// Reads "( n1 ... nN )" from the front of Rest, handing each number to
/// Store(I, Value) as it is read, and leaves Rest after the ")" (trimmed).
/// Errors as ReadPoint.
template <class TStore> bool ReadTuple(std::string_view &Rest, std::size_t N, TStore &&Store, std::string &Error)
{
    if (Rest.empty() || Rest.front() != '(') {
        Error = ExpectedMsg("(");
        return false;
    }
    Rest = Trim(Rest.substr(1));
    // Only a space separates one number from the next: a tab stays inside the
    // number text and makes it invalid.
    for (std::size_t I = 0; I < N; ++I) {
        const bool LastOne = I + 1 == N;
        const char Terminator = LastOne ? ')' : ' ';
        // The usual case first: a plain decimal right before its terminator
        // (spaces may come before the ")"). It is then the whole text before
        // the first terminator, as below, and reads to the same value.
        double Plain = 0;
        if (const std::size_t Len = ReadPlainDecimal(Rest, Plain); Len > 0) {
            std::size_t T = Len;
            while (LastOne && T < Rest.size() && Rest[T] == ' ') {
                ++T;
            }
            if (T < Rest.size() && Rest[T] == Terminator) {
                Store(I, Plain);
                Rest = Trim(Rest.substr(T + 1));
                continue;
            }
        }
        const std::size_t Pos = Rest.find(Terminator);
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
        Store(I, Value);
        Rest = Trim(Rest.substr(Pos + 1));
    }
    return true;
}

/// Appends "( n1 ... nN )".
void AppendTuple(std::string &Out, const double *Values, std::size_t N, TNumberTexts &Texts)
{
    char Buf[FloatTextRoom + 1];
    Out.push_back('(');
    for (std::size_t I = 0; I < N; ++I) {
        Buf[0] = ' ';
        Out.append(Buf, Texts.Format(Buf + 1, Values[I]));
    }
    Out.append(" )");
}

} // namespace

bool ReadPoint(std::string_view &Rest, T3DPoint &P, std::string &Error)
{
    return ReadTuple(
        Rest, 3, [&P](std::size_t I, double V) { P.coords(I) = V; }, Error);
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
            const std::size_t Len = detail::ReadPlainDecimalInline(Rest, Values[Point * 3 + I]);
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

namespace
{

/// Reads the three points from the front of Rest (trimmed).
bool ReadFacePoints(std::string_view &Rest, TBrushSide &Side, std::string &Error)
{
    double V[9];
    if (const char *After = ReadPlainPoints(Rest.data(), Rest.data() + Rest.size(), V)) {
        Side.p1 = {V[0], V[1], V[2]};
        Side.p2 = {V[3], V[4], V[5]};
        Side.p3 = {V[6], V[7], V[8]};
        Rest.remove_prefix(static_cast<std::size_t>(After - Rest.data()));
        return true;
    }
    return ReadPoint(Rest, Side.p1, Error) && ReadPoint(Rest, Side.p2, Error) && ReadPoint(Rest, Side.p3, Error);
}

/// Reads the texture name and the parameters after it from Rest.
bool ReadTextureAndParams(std::string_view Rest, TBrushSide &Side, std::string &Error)
{
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
    Side.texture.assign(Rest.substr(0, Space));
    Side.params.assign(Trim(Rest.substr(Space + 1)));
    return true;
}

/// The words of Text (runs of characters above code 32), one space apart.
std::string JoinWords(std::string_view Text)
{
    std::string Out;
    Out.reserve(Text.size());
    bool Gap = false;
    for (const char C : Text) {
        if (IsBlank(C)) {
            Gap = !Out.empty();
            continue;
        }
        if (Gap) {
            Out.push_back(' ');
            Gap = false;
        }
        Out.push_back(C);
    }
    return Out;
}

} // namespace

bool TBrushSide::Load(std::string_view S, std::string &Error)
{
    std::string_view Rest = Trim(S);
    return ReadFacePoints(Rest, *this, Error) && ReadTextureAndParams(Rest, *this, Error);
}

bool TBrushSide::LoadPrimitive(std::string_view S, std::array<double, 6> &Matrix, std::string &Error)
{
    std::string_view Rest = Trim(S);
    if (!ReadFacePoints(Rest, *this, Error)) {
        return false;
    }
    // "( ( a b c ) ( d e f ) )": two rows written as points, in parentheses.
    Rest = Trim(Rest);
    if (Rest.empty() || Rest.front() != '(') {
        Error = ExpectedMsg("(");
        return false;
    }
    Rest = Trim(Rest.substr(1));
    for (std::size_t Row = 0; Row < 2; ++Row) {
        if (!ReadTuple(
                Rest, 3, [&Matrix, Row](std::size_t I, double V) { Matrix[Row * 3 + I] = V; }, Error)) {
            return false;
        }
    }
    if (Rest.empty() || Rest.front() != ')') {
        Error = ExpectedMsg(")");
        return false;
    }
    if (!ReadTextureAndParams(Rest.substr(1), *this, Error)) {
        return false;
    }
    // The surface numbers are written one space apart, as every token of
    // this block.
    params = JoinWords(params);
    return true;
}

namespace
{

void AppendSide(
    std::string &Out, const TBrushSide &Side, TNumberTexts &Texts, const std::array<double, 6> *Matrix = nullptr)
{
    // The three points are made in one buffer and appended at once.
    char Buf[3 * PointTextRoom];
    char *Q = FormatPoint(Buf, Side.p1, Texts);
    *Q++ = ' ';
    Q = FormatPoint(Q, Side.p2, Texts);
    *Q++ = ' ';
    Q = FormatPoint(Q, Side.p3, Texts);
    *Q++ = ' ';
    Out.append(Buf, Q);
    if (Matrix) {
        Out.append("( ");
        AppendTuple(Out, Matrix->data(), 3, Texts);
        Out.push_back(' ');
        AppendTuple(Out, Matrix->data() + 3, 3, Texts);
        Out.append(" ) ");
    }
    Out.append(Side.texture);
    Out.push_back(' ');
    Out.append(Side.params);
}

} // namespace

void TBrushSide::Save(TLineWriter &AList) const
{
    TNumberTexts Texts;
    AppendSide(AList.Buffer(), *this, Texts);
    AList.EndLine();
}

std::string TBrushSide::ToString() const
{
    std::string S;
    TNumberTexts Texts;
    AppendSide(S, *this, Texts);
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

namespace
{

constexpr std::string_view KeywordPrimitive = "brushDef";
constexpr std::string_view KeywordPatch = "patchDef2";

/// The next line that is neither empty nor a comment, trimmed, with Index
/// past it; false when the lines run out (Index is then their number).
bool NextLine(const TLineList &AList, std::size_t &Index, std::string_view &Line)
{
    while (Index < AList.size()) {
        Line = Trim(AList[Index]);
        ++Index;
        if (!Line.empty() && !Line.starts_with("//")) {
            return true;
        }
    }
    return false;
}

TReadResult EndOfLines(std::string &Error)
{
    Error = GetMsg(TMsgId::msgUnexpectedEndOfFile);
    return TReadResult::rrEndOfLines;
}

/// Index goes back on the line just read, which holds the fault.
TReadResult Malformed(std::size_t &Index, std::string &Error, std::string Text)
{
    --Index;
    Error = std::move(Text);
    return TReadResult::rrMalformed;
}

/// The face lines ahead of Index, so that a brush takes room for exactly
/// them: a vector grown one face at a time would keep up to twice the
/// memory a brush needs.
std::size_t FaceLinesAhead(const TLineList &AList, std::size_t Index)
{
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
    return Faces;
}

/// The closing line of a block: one that begins with "}", as for a brush.
TReadResult ReadClose(const TLineList &AList, std::size_t &Index, std::string &Error)
{
    std::string_view Line;
    if (!NextLine(AList, Index, Line)) {
        return EndOfLines(Error);
    }
    if (Line.front() != '}') {
        return Malformed(Index, Error, ExpectedMsg("}"));
    }
    return TReadResult::rrDone;
}

/// The opening "{" line of a keyword's block.
TReadResult ReadOpen(const TLineList &AList, std::size_t &Index, std::string &Error)
{
    std::string_view Line;
    if (!NextLine(AList, Index, Line)) {
        return EndOfLines(Error);
    }
    if (Line != "{") {
        return Malformed(Index, Error, ExpectedMsg("{"));
    }
    return TReadResult::rrDone;
}

} // namespace

TReadResult TBrush::LoadFromList(const TLineList &AList, std::size_t &Index, std::string &Error, TFacePool *Pool)
{
    // The first line says what the block holds: a face (or the end) of a
    // plain brush, or the keyword of another kind of block.
    std::string_view Line;
    if (!NextLine(AList, Index, Line)) {
        return EndOfLines(Error);
    }
    if (Line == KeywordPrimitive) {
        SetKind(TBrushKind::bkPrimitive);
        return LoadPrimitive(AList, Index, Error, Pool);
    }
    if (Line == KeywordPatch) {
        SetKind(TBrushKind::bkPatch);
        return LoadPatch(AList, Index, Error);
    }
    // A word names a block this reader does not know; any other text is a
    // malformed face, reported by the face reader.
    const char First = Line.front();
    if ((First >= 'A' && First <= 'Z') || (First >= 'a' && First <= 'z') || First == '_') {
        return Malformed(Index, Error, FmtMsg(TMsgId::msgUnknownBlock, {Line}));
    }
    --Index;
    return LoadFaces(AList, Index, Error, Pool);
}

TReadResult TBrush::LoadFaces(const TLineList &AList, std::size_t &Index, std::string &Error, TFacePool *Pool)
{
    if (Pool && FSides.capacity() == 0) {
        FSides = Pool->NewSideList();
    }
    FSides.reserve(FSides.size() + FaceLinesAhead(AList, Index));
    std::string_view Line;
    while (NextLine(AList, Index, Line)) {
        if (Line.front() == '}') {
            return TReadResult::rrDone;
        }
        if (Line.front() != '(') {
            return Malformed(Index, Error, ExpectedMsg("("));
        }
        // The face (and its matrix) stays in the brush even when it fails:
        // what was read is kept, the caller abandons the load.
        bool Read = false;
        if (FMatrices) {
            std::array<double, 6> Matrix{};
            Read = FSides.emplace_back().LoadPrimitive(Line, Matrix, Error);
            SetMatrix(FSides.size() - 1, Matrix);
        } else {
            Read = FSides.emplace_back().Load(Line, Error);
        }
        if (!Read) {
            --Index;
            return TReadResult::rrMalformed;
        }
    }
    return EndOfLines(Error);
}

TReadResult TBrush::LoadPrimitive(const TLineList &AList, std::size_t &Index, std::string &Error, TFacePool *Pool)
{
    if (const TReadResult Result = ReadOpen(AList, Index, Error); Result != TReadResult::rrDone) {
        return Result;
    }
    if (const TReadResult Result = LoadFaces(AList, Index, Error, Pool); Result != TReadResult::rrDone) {
        return Result;
    }
    return ReadClose(AList, Index, Error);
}

TReadResult TBrush::LoadPatch(const TLineList &AList, std::size_t &Index, std::string &Error)
{
    if (const TReadResult Result = ReadOpen(AList, Index, Error); Result != TReadResult::rrDone) {
        return Result;
    }
    TPatch &P = *FPatch;
    std::string_view Line;
    if (!NextLine(AList, Index, Line)) {
        return EndOfLines(Error);
    }
    if (Line.front() == '(' || Line.front() == '{' || Line.front() == '}') {
        return Malformed(Index, Error, GetMsg(TMsgId::msgTextureNameExpected));
    }
    const auto NameEnd = std::find_if(Line.begin(), Line.end(), IsBlank);
    P.texture.assign(Line.substr(0, static_cast<std::size_t>(NameEnd - Line.begin())));
    if (NameEnd != Line.end()) {
        return Malformed(Index, Error, GetMsg(TMsgId::msgEndOfLineExpected));
    }

    if (!NextLine(AList, Index, Line)) {
        return EndOfLines(Error);
    }
    std::string_view Rest = Line;
    if (!ReadTuple(
            Rest, P.header.size(), [&P](std::size_t I, double V) { P.header[I] = V; }, Error)) {
        --Index;
        return TReadResult::rrMalformed;
    }
    if (!Rest.empty()) {
        return Malformed(Index, Error, GetMsg(TMsgId::msgEndOfLineExpected));
    }

    if (!NextLine(AList, Index, Line)) {
        return EndOfLines(Error);
    }
    if (Line != "(") {
        return Malformed(Index, Error, Line.front() == '(' ? GetMsg(TMsgId::msgEndOfLineExpected) : ExpectedMsg("("));
    }
    // The header's sizes are only compared with what follows: a hostile
    // header must not decide how much is allocated.
    const double Width = P.header[0], Height = P.header[1];
    std::vector<TPatchPoint> Points;
    std::size_t Rows = 0, Cols = 0;
    while (true) {
        if (!NextLine(AList, Index, Line)) {
            return EndOfLines(Error);
        }
        if (Line.front() == ')') {
            if (Line.size() > 1) {
                return Malformed(Index, Error, GetMsg(TMsgId::msgEndOfLineExpected));
            }
            break;
        }
        if (Line.front() != '(') {
            return Malformed(Index, Error, ExpectedMsg(")"));
        }
        if (static_cast<double>(Rows) >= Width) {
            return Malformed(Index, Error, FmtMsg(TMsgId::msgPatchRows, {FloatToStr(Width)}));
        }
        Rest = Trim(Line.substr(1));
        std::size_t InRow = 0;
        while (true) {
            if (Rest.empty()) {
                return Malformed(Index, Error, GetMsg(TMsgId::msgUnexpectedEndOfLine));
            }
            if (Rest.front() == ')') {
                Rest = Trim(Rest.substr(1));
                break;
            }
            if (Rest.front() != '(') {
                return Malformed(Index, Error, ExpectedMsg(")"));
            }
            if (static_cast<double>(InRow) >= Height) {
                return Malformed(Index, Error, FmtMsg(TMsgId::msgPatchPoints, {FloatToStr(Height)}));
            }
            TPatchPoint &Pt = Points.emplace_back();
            double *Fields[5] = {&Pt.p.x, &Pt.p.y, &Pt.p.z, &Pt.u, &Pt.v};
            if (!ReadTuple(
                    Rest, 5, [&Fields](std::size_t I, double V) { *Fields[I] = V; }, Error)) {
                --Index;
                return TReadResult::rrMalformed;
            }
            ++InRow;
        }
        if (!Rest.empty()) {
            return Malformed(Index, Error, GetMsg(TMsgId::msgEndOfLineExpected));
        }
        if (static_cast<double>(InRow) != Height) {
            return Malformed(Index, Error, FmtMsg(TMsgId::msgPatchPoints, {FloatToStr(Height)}));
        }
        Cols = InRow;
        ++Rows;
    }
    if (static_cast<double>(Rows) != Width) {
        return Malformed(Index, Error, FmtMsg(TMsgId::msgPatchRows, {FloatToStr(Width)}));
    }
    P.SetGrid(Rows, Cols, std::move(Points));
    if (const TReadResult Result = ReadClose(AList, Index, Error); Result != TReadResult::rrDone) {
        return Result;
    }
    return ReadClose(AList, Index, Error);
}

void TBrush::SaveToList(TLineWriter &AList) const
{
    AList.Add("{");
    TNumberTexts Texts;
    if (FPatch) {
        AList.Add(KeywordPatch);
        AList.Add("{");
        AList.Add(FPatch->texture);
        std::string &Buf = AList.Buffer();
        AppendTuple(Buf, FPatch->header.data(), FPatch->header.size(), Texts);
        AList.EndLine();
        AList.Add("(");
        const std::vector<TPatchPoint> &Points = FPatch->Points();
        for (std::size_t Row = 0; Row < FPatch->Rows(); ++Row) {
            Buf.push_back('(');
            for (std::size_t Col = 0; Col < FPatch->Cols(); ++Col) {
                const TPatchPoint &Pt = Points[Row * FPatch->Cols() + Col];
                const double Values[5] = {Pt.p.x, Pt.p.y, Pt.p.z, Pt.u, Pt.v};
                Buf.push_back(' ');
                AppendTuple(Buf, Values, 5, Texts);
            }
            Buf.append(" )");
            AList.EndLine();
        }
        AList.Add(")");
    } else {
        // A brush primitive's faces sit in a "brushDef" block of their own.
        if (FMatrices) {
            AList.Add(KeywordPrimitive);
            AList.Add("{");
        }
        for (std::size_t I = 0; I < FSides.size(); ++I) {
            AppendSide(AList.Buffer(), FSides[I], Texts, FMatrices ? &Matrix(I) : nullptr);
            AList.EndLine();
        }
    }
    if (FPatch || FMatrices) {
        AList.Add("}");
    }
    AList.Add("}");
}

void TBrush::PreparePlans()
{
    if (!FPlanes) {
        FPlanes = std::make_unique<std::vector<TPlane>>();
    }
    FPlanes->resize(FSides.size());
    for (std::size_t I = 0; I < FSides.size(); ++I) {
        (*FPlanes)[I] = FSides[I].Plane();
    }
}

const std::vector<TPlane> &TBrush::Planes() const
{
    static const std::vector<TPlane> None;
    return FPlanes ? *FPlanes : None;
}

const std::array<double, 6> &TBrush::Matrix(std::size_t I) const
{
    static const std::array<double, 6> Zero{};
    return FMatrices && I < FMatrices->size() ? (*FMatrices)[I] : Zero;
}

void TBrush::SetMatrix(std::size_t I, const std::array<double, 6> &Value)
{
    if (!FMatrices) {
        FMatrices = std::make_unique<std::vector<std::array<double, 6>>>();
    }
    if (FMatrices->size() <= I) {
        FMatrices->resize(I + 1);
    }
    (*FMatrices)[I] = Value;
}

void TBrush::CalcMinMax()
{
    if (FPatch) {
        // A patch has no planes: its place is the box of its control points.
        const std::vector<TPatchPoint> &Points = FPatch->Points();
        for (std::size_t I = 0; I < Points.size(); ++I) {
            for (std::size_t Axis = 0; Axis < 3; ++Axis) {
                const double V = Points[I].p.coords(Axis);
                if (I == 0 || V < Bounds.Min.coords(Axis)) {
                    Bounds.Min.coords(Axis) = V;
                }
                if (I == 0 || V > Bounds.Max.coords(Axis)) {
                    Bounds.Max.coords(Axis) = V;
                }
            }
        }
        for (std::size_t Axis = 0; Axis < 3; ++Axis) {
            Bounds.Center.coords(Axis) = (Bounds.Min.coords(Axis) + Bounds.Max.coords(Axis)) / 2;
        }
        return;
    }
    // The planes only while the corners are sought: brushes do not keep them.
    // Most brushes have few faces: their planes need no allocation.
    constexpr std::size_t FewFaces = 32;
    std::array<TPlane, FewFaces> Few;
    std::vector<TPlane> Many;
    if (FSides.size() > FewFaces) {
        Many.resize(FSides.size());
    }
    const std::span<TPlane> Planes =
        FSides.size() > FewFaces ? std::span<TPlane>(Many) : std::span<TPlane>(Few.data(), FSides.size());
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
    // Items of different kinds are never one: their texture parameters do not
    // translate into each other.
    if (Kind() != Other.Kind()) {
        return false;
    }
    if (FPatch) {
        return FPatch->Cmp(*Other.FPatch, cmpTexture);
    }
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
    if (FPatch) {
        return Mask.Matches(FPatch->texture);
    }
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
    FIsStored = Source.FIsStored;
    // The parameters of one kind mean nothing to another.
    if (Kind() != Source.Kind()) {
        return;
    }
    if (FPatch) {
        if (FPatch->Cmp(*Source.FPatch, false)) {
            FPatch->texture = Source.FPatch->texture;
        }
        return;
    }
    for (std::size_t I = 0; I < FSides.size(); ++I) {
        TBrushSide &F = FSides[I];
        // The last matching face of Source wins.
        for (std::size_t J = 0; J < Source.FSides.size(); ++J) {
            const TBrushSide &G = Source.FSides[J];
            if (F.cmp(G, false)) {
                F.texture = G.texture;
                F.params = G.params;
                if (FMatrices) {
                    SetMatrix(I, Source.Matrix(J));
                }
            }
        }
    }
}

TBrush::TBrush(const TBrush &Source)
    : FSides(Source.FSides), FPatch(Source.FPatch ? std::make_unique<TPatch>(*Source.FPatch) : nullptr),
      FMatrices(Source.FMatrices ? std::make_unique<std::vector<std::array<double, 6>>>(*Source.FMatrices) : nullptr),
      FIsStored(Source.FIsStored)
{}

TBrush &TBrush::operator=(const TBrush &Source)
{
    if (this != &Source) {
        FSides = Source.FSides;
        FPatch = Source.FPatch ? std::make_unique<TPatch>(*Source.FPatch) : nullptr;
        FMatrices =
            Source.FMatrices ? std::make_unique<std::vector<std::array<double, 6>>>(*Source.FMatrices) : nullptr;
        FPlanes.reset();
        FIsStored = Source.FIsStored;
        Bounds = Source.Bounds; // clears them: bounds are never copied
    }
    return *this;
}

void TBrush::SetKind(TBrushKind Kind)
{
    if (Kind != TBrushKind::bkPrimitive) {
        FMatrices.reset();
    } else if (!FMatrices) {
        FMatrices = std::make_unique<std::vector<std::array<double, 6>>>(FSides.size());
    }
    if (Kind != TBrushKind::bkPatch) {
        FPatch.reset();
        return;
    }
    FSides.clear();
    if (!FPatch) {
        FPatch = std::make_unique<TPatch>();
    }
}

// ---------------------------------------------------------------------------
// Patches

void TPatch::SetGrid(std::size_t Rows, std::size_t Cols, std::vector<TPatchPoint> Points)
{
    assert(Points.size() == Rows * Cols);
    FRows = Rows;
    FCols = Cols;
    FPoints = std::move(Points);
}

bool TPatch::Cmp(const TPatch &Other, bool cmpTexture) const
{
    if (header != Other.header || FRows != Other.FRows || FCols != Other.FCols ||
        FPoints.size() != Other.FPoints.size() || (cmpTexture && texture != Other.texture)) {
        return false;
    }
    for (std::size_t I = 0; I < FPoints.size(); ++I) {
        const TPatchPoint &A = FPoints[I], &B = Other.FPoints[I];
        if (!PointsEqual(A.p, B.p) || A.u != B.u || A.v != B.v) {
            return false;
        }
    }
    return true;
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
