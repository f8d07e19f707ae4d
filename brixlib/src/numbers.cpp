// Number text: reading and writing the map's decimal numbers, whole numbers
// of the options, and "origin" points.
#include "brixlib/numbers.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

#include "brixlib/messages.h"
#include "brixlib/text.h"
#include "plaindecimal.h"

// The rarer number paths are kept out of the way of the common ones.
#if defined(_MSC_VER) && !defined(__clang__)
#define BRIX_NOINLINE __declspec(noinline)
#else
#define BRIX_NOINLINE [[gnu::noinline]]
#endif

namespace brix
{

namespace
{

using detail::ExactPowersOf10;

/// "00", "01", ... "99".
constexpr char DigitPairs[] = "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
                              "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
                              "888990919293949596979899";

/// Writes V, below 10^16, in decimal at P and returns the end.
char *FormatWhole(char *P, std::uint64_t V)
{
    // The length first, so that the digit pairs go straight to their places:
    // from the bit length, corrected by one comparison.
    static constexpr std::uint64_t Powers[17] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
        1000000000, 10000000000, 100000000000, 1000000000000, 10000000000000, 100000000000000, 1000000000000000,
        10000000000000000};
    const int Guess = static_cast<int>((std::bit_width(V | 1) * 1233) >> 12); // about log10(V)
    const int N = Guess + ((V | 1) >= Powers[Guess] ? 1 : 0);
    char *const End = P + N;
    char *Q = End;
    const auto Pairs = [&Q](auto W) {
        while (W >= 100) {
            Q -= 2;
            std::memcpy(Q, DigitPairs + 2 * (W % 100), 2);
            W /= 100;
        }
        if (W >= 10) {
            Q -= 2;
            std::memcpy(Q, DigitPairs + 2 * W, 2);
        } else {
            *--Q = static_cast<char>('0' + W);
        }
    };
    // Most coordinates fit 32 bits, where dividing is cheaper.
    if (V <= 0xFFFFFFFFu) {
        Pairs(static_cast<std::uint32_t>(V));
    } else {
        Pairs(V);
    }
    return End;
}

/// Writes a positive A that is M / 10^K for a whole M below 10^15 and K of 1
/// to 4, when that decimal is exactly what A was read from (its nearest
/// Double is A). Such a decimal lies within half a unit of A's 15th digit, so
/// it is A rounded to 15 digits, which read back as A: what the general way
/// writes. Returns the end of the text, or null when A is no such number.
char *FormatShortFraction(char *P, double A)
{
    if (!(A < 1e11)) {
        return nullptr;
    }
    // Sixteenths (0.5, 0.25, 0.125, 0.0625 and their sums) are what editors'
    // grids make: A is then exactly a decimal of at most 4 places, which is
    // its text. Both steps to the count of sixteenths are exact.
    const auto Units = static_cast<std::uint64_t>(A);
    const double Sixteenths = (A - static_cast<double>(Units)) * 16;
    if (const auto N = static_cast<unsigned>(Sixteenths); N != 0 && static_cast<double>(N) == Sixteenths) {
        static constexpr std::string_view Places[16] = {"", ".0625", ".125", ".1875", ".25", ".3125", ".375", ".4375",
            ".5", ".5625", ".625", ".6875", ".75", ".8125", ".875", ".9375"};
        P = FormatWhole(P, Units);
        return std::copy(Places[N].begin(), Places[N].end(), P);
    }
    for (int K = 1; K <= 4; ++K) {
        // Any whole M near A * 10^K will do: the exact test accepts only the
        // right one. A scaled value far from any whole number fails it anyway
        // (the decimal and A differ by a relative 2^-53 at most), so that
        // cheaper look comes first.
        const double Scaled = A * ExactPowersOf10[K];
        // NOLINTNEXTLINE(bugprone-incorrect-roundings): any whole number near will do
        const double M = static_cast<double>(static_cast<std::uint64_t>(Scaled + 0.5));
        if (std::fabs(Scaled - M) > Scaled * 1e-12 || M / ExactPowersOf10[K] != A) {
            continue;
        }
        const auto Whole = static_cast<std::uint64_t>(M);
        const auto Scale = static_cast<std::uint64_t>(ExactPowersOf10[K]);
        std::uint64_t Fraction = Whole % Scale;
        int Places = K;
        while (Places > 0 && Fraction % 10 == 0) {
            Fraction /= 10;
            --Places;
        }
        if (Places == 0) {
            return nullptr; // a whole number: not written here
        }
        P = FormatWhole(P, Whole / Scale);
        *P++ = '.';
        for (int D = Places - 1; D >= 0; --D) {
            P[D] = static_cast<char>('0' + Fraction % 10);
            Fraction /= 10;
        }
        return P + Places;
    }
    return nullptr;
}

} // namespace

std::string FloatErrorMsg(std::string_view S)
{
    std::string R = "'";
    R.append(S);
    R += "' is not a valid floating point value";
    return R;
}

std::size_t ReadPlainDecimal(std::string_view S, double &Value)
{
    return detail::ReadPlainDecimalInline(S, Value);
}

namespace
{

/// The plain decimals that fill map files, with spaces around, nothing else.
bool TryPlainDecimal(std::string_view S, double &Value)
{
    std::size_t B = 0, E = S.size();
    while (B < E && S[B] == ' ') {
        ++B;
    }
    while (E > B && S[E - 1] == ' ') {
        --E;
    }
    return E > B && ReadPlainDecimal(S.substr(B, E - B), Value) == E - B;
}

} // namespace

namespace
{

/// Where the digits of a number text begin: after leading spaces and an
/// optional sign, which sets Negative.
std::size_t SkipBlanksAndSign(std::string_view S, bool &Negative)
{
    std::size_t I = 0;
    while (I < S.size() && S[I] == ' ') {
        ++I;
    }
    if (I < S.size() && (S[I] == '+' || S[I] == '-')) {
        Negative = S[I++] == '-';
    }
    return I;
}

} // namespace

bool TryStrToFloat(std::string_view S, double &Value)
{
    if (TryPlainDecimal(S, Value)) {
        return true;
    }
    const std::size_t N = S.size();
    bool Negative = false;
    std::size_t I = SkipBlanksAndSign(S, Negative);
    const std::size_t MantStart = I;
    std::size_t IntDigits = 0, FracDigits = 0;
    while (I < N && S[I] >= '0' && S[I] <= '9') {
        ++I, ++IntDigits;
    }
    bool HasPoint = false;
    if (I < N && S[I] == '.') {
        HasPoint = true;
        ++I;
        while (I < N && S[I] >= '0' && S[I] <= '9') {
            ++I, ++FracDigits;
        }
    }
    if (IntDigits == 0 && !HasPoint) {
        return false;
    }
    const std::size_t MantEnd = I;
    if (I < N && (S[I] == 'e' || S[I] == 'E')) {
        ++I;
        if (I < N && (S[I] == '+' || S[I] == '-')) {
            ++I;
        }
        std::size_t ExpDigits = 0;
        while (I < N && S[I] >= '0' && S[I] <= '9') {
            ++I, ++ExpDigits;
        }
        if (ExpDigits == 0) {
            return false;
        }
    }
    const std::size_t NumEnd = I;
    while (I < N && S[I] == ' ') {
        ++I;
    }
    if (I != N) {
        return false;
    }

    if (IntDigits + FracDigits == 0) {
        // A lone "." (with or without an exponent) reads as zero.
        Value = 0.0;
        return true;
    }
    double V = 0;
    const char *First = S.data() + MantStart;
    const char *Last = S.data() + NumEnd;
    auto [Ptr, Ec] = std::from_chars(First, Last, V, std::chars_format::general);
    if (Ec == std::errc::result_out_of_range) {
        // Too large for a Double fails; too small reads as zero. Decide by the
        // decimal magnitude of the mantissa's first significant digit.
        long long Magnitude = 0;
        std::size_t K = MantStart;
        bool Found = false;
        for (; K < MantEnd; ++K) {
            if (S[K] == '.') {
                continue;
            }
            if (S[K] != '0') {
                Found = true;
                break;
            }
        }
        if (!Found) {
            Value = 0.0;
            return true;
        }
        const std::size_t PointPos = HasPoint ? S.find('.', MantStart) : MantEnd;
        Magnitude = K < PointPos ? static_cast<long long>(PointPos - K) : -static_cast<long long>(K - PointPos - 1);
        long long Exp = 0;
        if (MantEnd < NumEnd) {
            std::size_t E = MantEnd + 1;
            bool ExpNeg = false;
            if (S[E] == '+' || S[E] == '-') {
                ExpNeg = S[E++] == '-';
            }
            for (; E < NumEnd; ++E) {
                Exp = Exp * 10 + (S[E] - '0');
                if (Exp > 100000) {
                    break;
                }
            }
            if (ExpNeg) {
                Exp = -Exp;
            }
        }
        if (Magnitude + Exp > 0) {
            return false;
        }
        Value = 0.0;
        return true;
    }
    if (Ec != std::errc() || Ptr != Last || !std::isfinite(V)) {
        return false;
    }
    Value = Negative ? -V : V;
    return true;
}

double StrToFloat(std::string_view S)
{
    double V;
    if (!TryStrToFloat(S, V)) {
        RaiseError(FloatErrorMsg(S));
    }
    return V;
}

namespace
{

/// Writes the text std::to_chars gives for a positive value in scientific
/// notation ("7.278181818181829e+02", trailing zeros allowed) in the map's
/// form: fixed notation when the point stands from 3 places before the first
/// digit to 15 places after it ("0.0001", "999999999999999.9"), else
/// scientific with a bare exponent ("1E15", "1E-5", "1.7976931348623157E308").
char *FormatScientificText(char *P, const char *Text, const char *TextEnd)
{
    char Digits[24];
    int Count = 0;
    const char *Q = Text;
    for (; Q < TextEnd && *Q != 'e'; ++Q) {
        if (*Q != '.' && Count < static_cast<int>(sizeof Digits)) {
            Digits[Count++] = *Q;
        }
    }
    while (Count > 1 && Digits[Count - 1] == '0') {
        --Count;
    }
    int Exponent = 0;
    bool NegativeExponent = false;
    if (Q < TextEnd) {
        ++Q;
        if (Q < TextEnd && (*Q == '-' || *Q == '+')) {
            NegativeExponent = *Q++ == '-';
        }
        for (; Q < TextEnd; ++Q) {
            Exponent = Exponent * 10 + (*Q - '0');
        }
    }
    if (NegativeExponent) {
        Exponent = -Exponent;
    }
    const int Point = Exponent + 1; // the value is 0.Digits x 10^Point
    const auto Put = [&P, &Digits](int From, int To) {
        for (int I = From; I < To; ++I) {
            *P++ = Digits[I];
        }
    };
    if (Point >= -3 && Point <= 15) {
        if (Point <= 0) {
            *P++ = '0';
            *P++ = '.';
            for (int I = Point; I < 0; ++I) {
                *P++ = '0';
            }
            Put(0, Count);
        } else if (Count <= Point) {
            Put(0, Count);
            for (int I = Count; I < Point; ++I) {
                *P++ = '0';
            }
        } else {
            Put(0, Point);
            *P++ = '.';
            Put(Point, Count);
        }
        return P;
    }
    *P++ = Digits[0];
    if (Count > 1) {
        *P++ = '.';
        Put(1, Count);
    }
    *P++ = 'E';
    if (Exponent < 0) {
        *P++ = '-';
    }
    return FormatWhole(P, static_cast<std::uint64_t>(Exponent < 0 ? -Exponent : Exponent));
}

/// Writes a positive finite A with the fewest of 15, 16 or 17 correctly
/// rounded significant digits that read back as A.
char *FormatRoundTrip(char *P, double A)
{
    char Buf[40];
    std::to_chars_result R{};
    // For a normal Double other than a power of two, the shortest digits that
    // read back are those digits, and quicker to make. The decimals that read
    // back as A lie within half a unit of A on either side: too narrow a range
    // for two 15-digit decimals, so a text of 15 digits or fewer is A's 15
    // digits; and A's correctly rounded 16 or 17 digits are at least as close
    // to A as any other text of that length, so they read back and are the
    // shortest text (ties go to the even digit in both). Subnormals, whose 15
    // digits may be longer than their shortest text, and powers of two, whose
    // range is narrower below, are rounded and read back one digit count after
    // the other.
    const auto Bits = std::bit_cast<std::uint64_t>(A);
    if (A >= std::numeric_limits<double>::min() && (Bits & 0xFFFFFFFFFFFFFull) != 0) {
        R = std::to_chars(Buf, Buf + sizeof Buf, A, std::chars_format::scientific);
    } else {
        for (int Digits = 15; Digits <= 17; ++Digits) {
            R = std::to_chars(Buf, Buf + sizeof Buf, A, std::chars_format::scientific, Digits - 1);
            double Back = 0;
            const auto [Ptr, Ec] = std::from_chars(Buf, R.ptr, Back, std::chars_format::scientific);
            if (Ec == std::errc() && Ptr == R.ptr && Back == A) {
                break;
            }
        }
    }
    return FormatScientificText(P, Buf, R.ptr);
}

} // namespace

namespace
{

/// FormatFloat of a Value that is no whole number below 10^15, kept out of
/// FormatFloat so that the whole numbers' path saves no registers.
BRIX_NOINLINE char *FormatNotWhole(char *P, double Value)
{
    if (std::isnan(Value)) {
        return std::copy_n("NAN", 3, P);
    }
    if (Value < 0) {
        *P++ = '-';
    }
    if (std::isinf(Value)) {
        return std::copy_n("INF", 3, P);
    }
    // Coordinates are mostly short decimals such as 0.5 or 12.25, which read
    // back from their 15 digits.
    const double A = std::fabs(Value);
    if (char *End = FormatShortFraction(P, A)) {
        return End;
    }
    // The largest Doubles need no care: their 15 digits, such as
    // 1.79769313486232E308, lie beyond the range and do not read back, so
    // they get the 17 digits that do.
    return FormatRoundTrip(P, A);
}

} // namespace

char *FormatFloat(char *P, double Value)
{
    // Whole numbers below 10^15 have at most 15 digits: written exactly as
    // integers. Zero, negative zero included, is "0". (NaN and the infinities
    // fail the range test.) Most coordinates are whole: without the hint the
    // compiler moves this path behind a jump.
    if (Value > -1e15 && Value < 1e15) {
        const auto Whole = static_cast<long long>(Value);
        if (static_cast<double>(Whole) == Value) [[likely]] {
            if (Whole < 0) {
                *P++ = '-';
            }
            return FormatWhole(P, static_cast<std::uint64_t>(Whole < 0 ? -Whole : Whole));
        }
    }
    return FormatNotWhole(P, Value);
}

void AppendFloat(std::string &Out, double Value)
{
    char Buf[FloatTextRoom];
    Out.append(Buf, FormatFloat(Buf, Value));
}

std::string FloatToStr(double Value)
{
    std::string S;
    AppendFloat(S, Value);
    return S;
}

bool TryStrToInt(std::string_view S, std::int32_t &Value)
{
    const std::size_t N = S.size();
    bool Negative = false;
    std::size_t I = SkipBlanksAndSign(S, Negative);
    int Base = 10;
    if (I < N && (S[I] == '$' || S[I] == 'x' || S[I] == 'X')) {
        Base = 16;
        ++I;
    } else if (I + 1 < N && S[I] == '0' && (S[I + 1] == 'x' || S[I + 1] == 'X')) {
        Base = 16;
        I += 2;
    }
    if (I >= N) {
        return false;
    }
    long long Acc = 0;
    const long long Limit = Negative ? 2147483648LL : 2147483647LL;
    for (; I < N; ++I) {
        const char C = S[I];
        int Digit;
        if (C >= '0' && C <= '9') {
            Digit = C - '0';
        } else if (Base == 16 && C >= 'a' && C <= 'f') {
            Digit = C - 'a' + 10;
        } else if (Base == 16 && C >= 'A' && C <= 'F') {
            Digit = C - 'A' + 10;
        } else {
            return false;
        }
        Acc = Acc * Base + Digit;
        if (Acc > Limit) {
            return false;
        }
    }
    Value = static_cast<std::int32_t>(Negative ? -Acc : Acc);
    return true;
}

std::int32_t StrToInt(std::string_view S)
{
    std::int32_t V;
    if (!TryStrToInt(S, V)) {
        std::string Text = "''";
        Text.append(S);
        Text += "'' is not a valid integer value";
        RaiseError(Text);
    }
    return V;
}

bool ParsePoint(std::string_view S, double &x, double &y, double &z)
{
    std::string_view Rest = TrimLeft(S);
    std::size_t Blank = Rest.find(' ');
    if (Blank == std::string_view::npos || !TryStrToFloat(Rest.substr(0, Blank), x)) {
        return false;
    }
    Rest = TrimLeft(Rest.substr(Blank + 1));
    Blank = Rest.find(' ');
    if (Blank == std::string_view::npos || !TryStrToFloat(Rest.substr(0, Blank), y)) {
        return false;
    }
    return TryStrToFloat(Rest.substr(Blank + 1), z);
}

} // namespace brix
