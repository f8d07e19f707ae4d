// The short ways of reading and writing numbers (plain decimals in, whole
// numbers and short fractions out) give exactly what the general ways give,
// and every written number reads back as the Double it was written from.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "brixlib/geometry.h"
#include "brixlib/numbers.h"

using namespace brix;

namespace
{

/// The general format with Precision significant digits, built from the
/// correctly rounded scientific form, independently of the writer under test.
std::string Reference(double V, int Precision)
{
    if (V == 0) {
        return "0";
    }
    char Buf[64];
    const auto R = std::to_chars(Buf, Buf + sizeof Buf, V, std::chars_format::scientific, Precision - 1);
    std::string S(Buf, R.ptr);
    std::string Out;
    if (S[0] == '-') {
        Out = "-";
        S.erase(0, 1);
    }
    const std::size_t E = S.find('e');
    int Exp = 0;
    std::from_chars(S.data() + E + (S[E + 1] == '+' ? 2 : 1), S.data() + S.size(), Exp);
    std::string Digits;
    for (std::size_t I = 0; I < E; ++I) {
        if (S[I] != '.') {
            Digits += S[I];
        }
    }
    while (Digits.size() > 1 && Digits.back() == '0') {
        Digits.pop_back();
    }
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string.
    const int Point = Exp + 1; // 0.d1d2... x 10^Point
    const auto N = static_cast<int>(Digits.size());
    if (Point >= -3 && Point <= 15) {
        if (Point <= 0) {
            Out += "0.";
            Out.append(static_cast<std::size_t>(-Point), '0');
            Out += Digits;
        } else if (N <= Point) {
            Out += Digits;
            Out.append(static_cast<std::size_t>(Point - N), '0');
        } else {
            Out.append(Digits, 0, static_cast<std::size_t>(Point));
            Out += '.';
            Out.append(Digits, static_cast<std::size_t>(Point));
        }
        return Out;
    }
    Out += Digits[0];
    if (N > 1) {
        Out += '.';
        Out.append(Digits, 1);
    }
    Out += 'E';
    Out += std::to_string(Point - 1);
    return Out;
}

/// The text the writer must give: the first of 15, 16 and 17 digits that
/// std::from_chars reads back as V.
std::string Expected(double V)
{
    for (const int Digits : {15, 16}) {
        std::string Text = Reference(V, Digits);
        double Back = 0;
        const auto R = std::from_chars(Text.data(), Text.data() + Text.size(), Back);
        if (R.ec == std::errc() && R.ptr == Text.data() + Text.size() && Back == V) {
            return Text;
        }
    }
    return Reference(V, 17);
}

} // namespace

TEST(Numbers, ShortFractionsWriteAsTheGeneralFormat)
{
    struct Case
    {
        double Value;
        const char *Text;
    };
    const Case Cases[] = {
        {0.5, "0.5"},
        {-16.25, "-16.25"},
        {0.1, "0.1"},
        {0.1 + 0.2, "0.30000000000000004"},
        {2.675, "2.675"},
        {0.0001, "0.0001"},
        {-0.0005, "-0.0005"},
        {0.00015, "0.00015"},
        {0.00001, "1E-5"},
        {99999999999.9999, "99999999999.9999"},
        {123456789012.25, "123456789012.25"},
        {1234567890123.4567, "1234567890123.4568"},
        {1.0 / 3, "0.3333333333333333"},
        {1 + 1e-15, "1.000000000000001"},
        {-0.999999999999999, "-0.999999999999999"},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Text);
        EXPECT_EQ(Expected(C.Value), C.Text) << "the case itself is wrong";
        EXPECT_EQ(FloatToStr(C.Value), C.Text);
    }
}

TEST(Numbers, WrittenNumbersAgreeWithTheGeneralFormat)
{
    // Decimals as map files hold them (up to five places, up to 13 digits
    // before the point), and any Double at all.
    std::mt19937_64 Random(42);
    for (int I = 0; I < 200000; ++I) {
        const int Places = static_cast<int>(Random() % 6);
        const auto Whole = static_cast<long long>(Random() % 20000000000000ull) - 10000000000000ll;
        std::string Text = std::to_string(Whole / static_cast<long long>(1 + Random() % 100000));
        if (Places > 0) {
            std::string Fraction = std::to_string(Random() % 100000);
            Fraction.insert(0, 5 - Fraction.size(), '0');
            Text += '.';
            Text.append(Fraction, 0, static_cast<std::size_t>(Places));
        }
        double Decimal = 0;
        std::from_chars(Text.data(), Text.data() + Text.size(), Decimal);
        ASSERT_EQ(FloatToStr(Decimal), Expected(Decimal)) << Text;
        const double Any = std::bit_cast<double>(Random());
        if (std::isfinite(Any)) {
            ASSERT_EQ(FloatToStr(Any), Expected(Any)) << Any;
        }
    }
}

TEST(Numbers, WrittenWithTheFewestOfFifteenToSeventeenDigitsThatReadBack)
{
    const double Tiny = std::numeric_limits<double>::denorm_min();
    const double Least = std::numeric_limits<double>::min();
    const double Most = std::numeric_limits<double>::max();
    struct Case
    {
        double Value;
        const char *Text;
    };
    const Case Cases[] = {
        // Around powers of ten, where the notation and the digit count change.
        {9999999, "9999999"},
        {-99999999, "-99999999"},
        {100000000, "100000000"},
        {1e15 - 1, "999999999999999"},
        {1e15, "1E15"},
        {1e15 + 1, "1.000000000000001E15"},
        {999999999999999.9, "999999999999999.9"},
        {1e16 - 2, "9.999999999999998E15"},
        {1e16 + 2, "1.0000000000000002E16"},
        {std::nextafter(1.0, 0.0), "0.9999999999999999"},
        {std::nextafter(1.0, 2.0), "1.0000000000000002"},
        {std::nextafter(0.001, 0.0), "0.0009999999999999998"},
        {std::nextafter(0.001, 1.0), "0.0010000000000000002"},
        {std::nextafter(1e-4, 0.0), "9.999999999999999E-5"},
        {std::nextafter(1e21, 0.0), "9.999999999999999E20"},
        {1e23, "1E23"},
        // Fifteen digits that read back, and some that do not.
        {0.333333333333333, "0.333333333333333"},
        {1.0 / 3, "0.3333333333333333"},
        {-2.0 / 3, "-0.6666666666666666"},
        {0.1 + 0.2, "0.30000000000000004"},
        {727.8181818181829, "727.8181818181829"},
        {293.407989501953125, "293.4079895019531"},
        {1.23456789012345e-100, "1.23456789012345E-100"},
        {-1.23456789012345678e17, "-1.2345678901234568E17"},
        // Halfway between two 17-digit decimals: the even one.
        {1250000000000000.25, "1.2500000000000002E15"},
        {1250000000000000.75, "1.2500000000000008E15"},
        // Powers of two: the values that read back reach less far below them.
        {std::ldexp(1.0, -24), "5.9604644775390625E-8"},
        {std::ldexp(1.0, 60), "1.152921504606847E18"},
        // Subnormals keep 15 digits where fewer would read back.
        {Tiny, "4.94065645841247E-324"},
        {-3 * Tiny, "-1.48219693752374E-323"},
        {std::nextafter(Least, 0.0), "2.225073858507201E-308"},
        {Least, "2.2250738585072014E-308"},
        // Fifteen digits of the largest Doubles would leave the range.
        {Most, "1.7976931348623157E308"},
        {-Most, "-1.7976931348623157E308"},
        {std::nextafter(Most, 0.0), "1.7976931348623155E308"},
        {1.79769313486231e308, "1.79769313486231E308"},
        {-0.0, "0"},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Text);
        EXPECT_EQ(Expected(C.Value), C.Text) << "the case itself is wrong";
        EXPECT_EQ(FloatToStr(C.Value), C.Text);
        double Back = 1;
        EXPECT_TRUE(TryStrToFloat(C.Text, Back));
        EXPECT_EQ(Back, C.Value);
    }
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(FloatToStr(-std::numeric_limits<double>::infinity()), "-INF");
}

TEST(Numbers, PowersAndTheirNeighboursWriteAsTheGeneralFormat)
{
    // Sixteenths, which grids make, up to where a 15th digit would be needed.
    for (const double Units : {0.0, 1.0, 15.0, 1024.0, 32767.0, 123456789.0, 99999999999.0, 1e11, 1e15}) {
        for (int N = 1; N < 16; ++N) {
            for (const double V : {Units + N / 16.0, -(Units + N / 16.0)}) {
                ASSERT_EQ(FloatToStr(V), Expected(V)) << V;
            }
        }
    }
    for (int K = -1074; K <= 1023; ++K) {
        for (const double V : {std::ldexp(1.0, K), std::pow(10.0, K % 324)}) {
            for (const double W : {std::nextafter(V, 0.0), V, std::nextafter(V, HUGE_VAL)}) {
                if (std::isfinite(W)) {
                    ASSERT_EQ(FloatToStr(W), Expected(W)) << W;
                }
            }
        }
    }
}

TEST(Numbers, PlainDecimals)
{
    struct Case
    {
        const char *Text;
        std::size_t Length; ///< 0: not a plain decimal
        double Value;
    };
    const Case Cases[] = {
        {"12 )", 2, 12},
        {"-15632.25 0", 9, -15632.25},
        {"+7", 2, 7},
        {"-.5", 3, -0.5},
        {"5.", 2, 5},
        {"00012", 5, 12},
        {"1.2.3", 3, 1.2},
        {"123456789012345", 15, 123456789012345.0},
        {"12345678.1234567", 16, 12345678.1234567},
        {"1234567890123456", 0, 0},
        {"0.0000000000000001", 0, 0},
        {"1e5", 0, 0},
        {"2E-3", 0, 0},
        {".", 0, 0},
        {"-", 0, 0},
        {" 1", 0, 0},
        {"", 0, 0},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Text);
        double Value = -1;
        EXPECT_EQ(ReadPlainDecimal(C.Text, Value), C.Length);
        if (C.Length > 0) {
            EXPECT_EQ(Value, C.Value);
        }
    }
}

TEST(Numbers, PlainDecimalsReadAsTheGeneralReading)
{
    // Digits, points, signs and other bytes in every order; the value of a
    // plain decimal must be the correctly rounded one.
    std::mt19937_64 Random(7);
    const std::string Others = ".-+eE )(\t\x80\xff/:";
    for (int I = 0; I < 300000; ++I) {
        std::string Text;
        const int Length = static_cast<int>(Random() % 22);
        for (int K = 0; K < Length; ++K) {
            Text += Random() % 10 < 7 ? static_cast<char>('0' + Random() % 10) : Others[Random() % Others.size()];
        }
        double Value = 0;
        const std::size_t Read = ReadPlainDecimal(Text, Value);
        if (Read == 0) {
            continue;
        }
        const std::string_view Number(Text.data(), Read);
        ASSERT_EQ(Number.find_first_not_of("0123456789.+-"), std::string_view::npos) << Text;
        // from_chars reads ".5" and "5." as strtod does, but takes no "+".
        const std::string_view Plain = Number[0] == '+' ? Number.substr(1) : Number;
        double Expected = 0;
        const auto Res = std::from_chars(Plain.data(), Plain.data() + Plain.size(), Expected);
        ASSERT_EQ(Res.ptr, Plain.data() + Plain.size()) << Text;
        ASSERT_EQ(Value, Expected) << Text;
        ASSERT_EQ(std::signbit(Value), std::signbit(Expected)) << Text;
        double General = 0;
        ASSERT_TRUE(TryStrToFloat(Number, General)) << Text;
        ASSERT_EQ(General, Value) << Text;
    }
}

TEST(TBrushSide, FaceLinesReadAlikeHoweverTheyAreWritten)
{
    // Lines in the usual spelling take the short way; every other spelling
    // must come out the same, or fail with the general reading's message.
    struct Case
    {
        const char *Line;
        const char *Error;
        bool PointsRead;
        T3DPoint P3;
    };
    const Case Cases[] = {
        {"( 1 2 3 ) ( 4 5 6 ) ( 7 8 9 ) T 0 0 0 1 1", "", true, {7, 8, 9}},
        {"(1 2 3)(4 5 6)(7 8 9) T 0 0 0 1 1", "", true, {7, 8, 9}},
        {"\t( 1 2 3 )\t( 4 5 6 )  ( 7 8 9   ) T 0 0 0 1 1", "", true, {7, 8, 9}},
        {"( 1 2 3 ) ( 4 5 6 ) ( 7e0 +8 .9 ) T 0 0 0 1 1", "", true, {7, 8, 0.9}},
        {"( 1 2 3 ) ( 4 5 6 ) ( 1234567890123456 8 9 ) T 0 0 0 1 1", "", true, {1234567890123456.0, 8, 9}},
        {"( 1 2 3 ) ( 4 5 6 ) (  7  8  9 ) T 0 0 0 1 1", "", true, {7, 8, 9}},
        {"( 1 2 3 ) ( 4 5 6 ) ( 7\t8 9 ) T 0 0 0 1 1", "'7\t8' is not a valid floating point value", false, {}},
        {"( 1 2 3 ) ( 4 5 6 ) ( 7 8 9) T", "Unexpected end of line", true, {7, 8, 9}},
        {"( 1 2 3 ) ( 4 5 6 ) ( 7 8 9 )", "Texture name expected", true, {7, 8, 9}},
        {"( 1 2 3 ) ( 4 5 6 ) ( 7 8 )", "'' is not a valid floating point value", false, {}},
        {"( 1 2 3 ) ( 4 5 6 ) ( 7 8 9", "Format error", false, {}},
        {"( 1 2 3 ) ( 4 5 6 ) ( 7,5 8 9 ) T 0", "'7,5' is not a valid floating point value", false, {}},
        {"( 1 2 3 ) ( 4 5 6 ) 7 8 9 ) T 0", "'(' expected", false, {}},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Line);
        TBrushSide Side;
        std::string Error;
        Side.Load(C.Line, Error);
        EXPECT_EQ(Error, C.Error);
        // Every line gets as far as its third point.
        EXPECT_TRUE(PointsEqual(Side.p1, {1, 2, 3}));
        EXPECT_TRUE(PointsEqual(Side.p2, {4, 5, 6}));
        if (C.PointsRead) {
            EXPECT_TRUE(PointsEqual(Side.p3, C.P3));
        }
        if (*C.Error == '\0') {
            EXPECT_EQ(Side.texture, "T");
            EXPECT_EQ(Side.params, "0 0 0 1 1");
        }
    }
}
