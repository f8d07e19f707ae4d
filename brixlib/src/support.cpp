#include "brixlib/support.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif


namespace brix
{

bool UseRussian = false;
bool ConfirmOverwrite = true;
bool ReplaceTextureMode = false;

void ResetSwitches()
{
    UseRussian = false;
    ConfirmOverwrite = true;
    ReplaceTextureMode = false;
}

// ---------------------------------------------------------------------------
// Messages

namespace
{

struct TMsgText
{
    int Id;
    const char *English;
    const char *Russian; // UTF-8 here; converted to the console code page on use
};

constexpr TMsgText MsgTable[] = {
    {0, "ERROR! %s", "ОШИБКА! %s"},
    {1, "Undefined option: %s", "Неизвестный параметр: %s"},
    {2, "'%s' expected", "Ожидается '%s'"},
    {3, "Unexpected end of file", "Неожиданный конец файла"},
    {4, "Texture name expected", "Ожидается имя текстуры"},
    {5, "Unexpected end of line", "Неожиданный конец строки"},
    {6, "Format error", "Неверный формат"},
    {7, "Undefined command: %s", "Неизвестная команда: %s"},
    {8, "Destination file name redeclare", "Повторное объявление выходного файла"},
    {9, "File not found: %s", "Файл не найден: %s"},
    {10, "File not specify", "Не указан файл"},
    {11, "Recursive call of a file %s", "Рекурсивный вызов файла %s"},
    {12, "Incorrect format of parameter: %s", "Неверный формат параметра: %s"},
    {13, "Error in a format of a point: %s", "Ошибка в формате точки: %s"},
    {14, "Error entity arrangement: %s", "Ошибка расположения сущности: %s"},
    {15, "The entity \"worldspawn\" is not found in a file %s", "Сущность \"worldspawn\" не найдена в файле %s"},
    {16, "Worldspawn-source file name redeclare", "Повторное объявление \"worldspawn\" файла"},
    {100, "File \"%s\" already exists. Rewrite? (y/n)", "Файл \"%s\" уже существует. Перезаписать? (y/n)"},
    {200, "Complete", "Выполнено"},
    {201, "%s saved", "%s сохранен"},
    {202, "Include %s", "Подключение %s"},
    {203, "Additional file skipped: %s", "Добавочный файл пропущен: %s"},
    {204, "Site: %s", "Сайт: %s"},
    {205, "Worldspawn-source file skipped: %s. His for \"concat\" only",
        "Источник worldspawn-свойств пропушен: %s. Он только для команды \"concat\""},
};

/// Decodes one UTF-8 sequence at S[I]; returns its length, or 0 when the
/// bytes there are not valid UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view S, std::size_t I, char32_t &Cp)
{
    const auto b0 = static_cast<unsigned char>(S[I]);
    if (b0 < 0x80)
    {
        Cp = b0;
        return 1;
    }
    std::size_t Len;
    char32_t Min;
    if ((b0 & 0xE0) == 0xC0)
    {
        Len = 2;
        Cp = b0 & 0x1Fu;
        Min = 0x80;
    }
    else if ((b0 & 0xF0) == 0xE0)
    {
        Len = 3;
        Cp = b0 & 0x0Fu;
        Min = 0x800;
    }
    else if ((b0 & 0xF8) == 0xF0)
    {
        Len = 4;
        Cp = b0 & 0x07u;
        Min = 0x10000;
    }
    else
        return 0;
    if (I + Len > S.size())
        return 0;
    for (std::size_t K = 1; K < Len; ++K)
    {
        const auto b = static_cast<unsigned char>(S[I + K]);
        if ((b & 0xC0) != 0x80)
            return 0;
        Cp = (Cp << 6) | (b & 0x3Fu);
    }
    if (Cp < Min || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF))
        return 0;
    return Len;
}


int Oem866Byte(char32_t Cp)
{
    if (Cp < 0x80)
        return static_cast<int>(Cp);
    if (Cp >= 0x0410 && Cp <= 0x043F)
        return static_cast<int>(0x80 + (Cp - 0x0410));
    if (Cp >= 0x0440 && Cp <= 0x044F)
        return static_cast<int>(0xE0 + (Cp - 0x0440));
    switch (Cp)
    {
        case 0x0401: return 0xF0; // Ё
        case 0x0451: return 0xF1; // ё
        case 0x0404: return 0xF2;
        case 0x0454: return 0xF3;
        case 0x0407: return 0xF4;
        case 0x0457: return 0xF5;
        case 0x040E: return 0xF6;
        case 0x045E: return 0xF7;
        case 0x00B0: return 0xF8;
        case 0x2219: return 0xF9;
        case 0x00B7: return 0xFA;
        case 0x221A: return 0xFB;
        case 0x2116: return 0xFC;
        case 0x00A4: return 0xFD;
        case 0x25A0: return 0xFE;
        case 0x00A0: return 0xFF;
        default: return -1;
    }
}

#ifndef _WIN32
/// Lower-case partner of a letter, for comparisons without regard to case.
char32_t FoldLetter(char32_t Cp)
{
    if (Cp >= 'A' && Cp <= 'Z')
        return Cp + 32;
    if (Cp < 0xC0)
        return Cp;
    if (Cp <= 0xDE)
        return Cp == 0xD7 ? Cp : Cp + 32; // Latin-1, except the multiplication sign
    if (Cp >= 0x100 && Cp <= 0x17F)
    {
        // Latin Extended-A: mostly upper/lower pairs, with two runs that start on an odd code.
        if ((Cp >= 0x139 && Cp <= 0x148) || (Cp >= 0x179 && Cp <= 0x17E))
            return (Cp % 2 == 1) ? Cp + 1 : Cp;
        if (Cp == 0x178)
            return 0xFF;
        if (Cp == 0x130 || Cp == 0x131 || Cp == 0x138 || Cp == 0x149 || Cp == 0x17F)
            return Cp;
        return (Cp % 2 == 0) ? Cp + 1 : Cp;
    }
    if (Cp >= 0x391 && Cp <= 0x3A9 && Cp != 0x3A2)
        return Cp + 32; // Greek
    if (Cp == 0x386)
        return 0x3AC;
    if (Cp >= 0x388 && Cp <= 0x38A)
        return Cp + 37;
    if (Cp == 0x38C)
        return 0x3CC;
    if (Cp == 0x38E || Cp == 0x38F)
        return Cp + 63;
    if (Cp >= 0x410 && Cp <= 0x42F)
        return Cp + 32; // Cyrillic
    if (Cp >= 0x400 && Cp <= 0x40F)
        return Cp + 80; // Ё and the other Cyrillic letters with marks
    if ((Cp >= 0x460 && Cp <= 0x481) || (Cp >= 0x48A && Cp <= 0x4BF))
        return (Cp % 2 == 0) ? Cp + 1 : Cp;
    return Cp;
}
#endif


} // namespace

void AppendUtf8(std::string &Out, char32_t Cp)
{
    if (Cp < 0x80)
        Out += static_cast<char>(Cp);
    else if (Cp < 0x800)
    {
        Out += static_cast<char>(0xC0 | (Cp >> 6));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
    else if (Cp < 0x10000)
    {
        Out += static_cast<char>(0xE0 | (Cp >> 12));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
    else
    {
        Out += static_cast<char>(0xF0 | (Cp >> 18));
        Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
}

std::string GetMsg(int Id)
{
    for (const auto &M : MsgTable)
    {
        if (M.Id == Id)
            return UseRussian ? Utf8ToOem866(M.Russian) : std::string(M.English);
    }
    return {};
}

std::string FmtMsg(int Id, std::initializer_list<std::string_view> Args)
{
    const std::string Template = GetMsg(Id);
    std::string Result;
    Result.reserve(Template.size() + 64);
    auto Arg = Args.begin();
    for (std::size_t I = 0; I < Template.size(); ++I)
    {
        if (Template[I] == '%' && I + 1 < Template.size() && Template[I + 1] == 's' && Arg != Args.end())
        {
            Result.append(*Arg++);
            ++I;
        }
        else
            Result += Template[I];
    }
    return Result;
}

std::string ExpectedMsg(std::string_view Token)
{
    return FmtMsg(msgExpected, {Token});
}

void RaiseError(const std::string &Text)
{
    throw EBrixError(Text);
}

std::string Utf8ToOem866(std::string_view Text)
{
    std::string Out;
    Out.reserve(Text.size());
    for (std::size_t I = 0; I < Text.size();)
    {
        char32_t Cp;
        const std::size_t Len = DecodeUtf8(Text, I, Cp);
        if (Len == 0)
        {
            Out += '?';
            ++I;
            continue;
        }
        const int B = Oem866Byte(Cp);
        Out += B < 0 ? '?' : static_cast<char>(B);
        I += Len;
    }
    return Out;
}

// ---------------------------------------------------------------------------
// Text helpers

std::string AsciiUpper(std::string_view S)
{
    std::string R(S);
    for (char &C : R)
        if (C >= 'a' && C <= 'z')
            C = static_cast<char>(C - 32);
    return R;
}

std::string AsciiLower(std::string_view S)
{
    std::string R(S);
    for (char &C : R)
        if (C >= 'A' && C <= 'Z')
            C = static_cast<char>(C + 32);
    return R;
}

std::string CaseFoldKey(std::string_view S)
{
#ifdef _WIN32
    // Texts are in the system's ANSI code page here: its letters fold by the
    // system's own rules. The key is the folded text as UTF-8, so two texts
    // that differ after folding never meet in a conversion back.
    constexpr std::size_t MaxLen = 1 << 28;
    if (S.empty() || S.size() > MaxLen)
        return std::string(S);
    const int Len = static_cast<int>(S.size());
    const int WideLen = MultiByteToWideChar(CP_ACP, 0, S.data(), Len, nullptr, 0);
    if (WideLen <= 0)
        return std::string(S);
    std::wstring Wide(static_cast<std::size_t>(WideLen), L'\0');
    MultiByteToWideChar(CP_ACP, 0, S.data(), Len, Wide.data(), WideLen);
    CharLowerBuffW(Wide.data(), static_cast<DWORD>(WideLen));
    const int KeyLen = WideCharToMultiByte(CP_UTF8, 0, Wide.data(), WideLen, nullptr, 0, nullptr, nullptr);
    std::string Key(static_cast<std::size_t>(std::max(KeyLen, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, Wide.data(), WideLen, Key.data(), KeyLen, nullptr, nullptr);
    return Key;
#else
    std::string Out;
    Out.reserve(S.size());
    for (std::size_t I = 0; I < S.size();)
    {
        char32_t Cp;
        const std::size_t Len = DecodeUtf8(S, I, Cp);
        if (Len == 0)
        {
            // Not UTF-8: keep the byte as it is. A raw byte can never equal a
            // decoded letter, since valid sequences are re-encoded in full.
            Out += S[I];
            ++I;
            continue;
        }
        AppendUtf8(Out, FoldLetter(Cp));
        I += Len;
    }
    return Out;
#endif
}

// ---------------------------------------------------------------------------
// Numbers

namespace
{

/// 10^0 .. 10^15, each exactly a Double.
constexpr double ExactPowersOf10[16] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13,
    1e14, 1e15};

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
    const int Guess = (std::bit_width(V | 1) * 1233) >> 12; // about log10(V)
    const int N = Guess + ((V | 1) >= Powers[Guess] ? 1 : 0);
    char *const End = P + N;
    char *Q = End;
    const auto Pairs = [&Q](auto W) {
        while (W >= 100)
        {
            Q -= 2;
            std::memcpy(Q, DigitPairs + 2 * (W % 100), 2);
            W /= 100;
        }
        if (W >= 10)
        {
            Q -= 2;
            std::memcpy(Q, DigitPairs + 2 * W, 2);
        }
        else
            *--Q = static_cast<char>('0' + W);
    };
    // Most coordinates fit 32 bits, where dividing is cheaper.
    if (V <= 0xFFFFFFFFu)
        Pairs(static_cast<std::uint32_t>(V));
    else
        Pairs(V);
    return End;
}

/// Writes a positive A that is M / 10^K for a whole M below 10^15 and K of 1
/// to 4, when that decimal is exactly what A was read from (its nearest
/// Double is A). Such a decimal lies within half a unit of A's 15th digit, so
/// it is A rounded to 15 digits. Returns the end of the text, or null when A
/// is no such number.
char *FormatShortFraction(char *P, double A)
{
    if (!(A < 1e11))
        return nullptr;
    for (int K = 1; K <= 4; ++K)
    {
        // Any whole M near A * 10^K will do: the exact test accepts only the
        // right one. A scaled value far from any whole number fails it anyway
        // (the decimal and A differ by a relative 2^-53 at most), so that
        // cheaper look comes first.
        const double Scaled = A * ExactPowersOf10[K];
        const double M = static_cast<double>(static_cast<std::uint64_t>(Scaled + 0.5));
        if (std::fabs(Scaled - M) > Scaled * 1e-12 || M / ExactPowersOf10[K] != A)
            continue;
        const auto Whole = static_cast<std::uint64_t>(M);
        const auto Scale = static_cast<std::uint64_t>(ExactPowersOf10[K]);
        std::uint64_t Fraction = Whole % Scale;
        int Places = K;
        while (Places > 0 && Fraction % 10 == 0)
        {
            Fraction /= 10;
            --Places;
        }
        if (Places == 0)
            return nullptr; // a whole number: not written here
        P = FormatWhole(P, Whole / Scale);
        *P++ = '.';
        for (int D = Places - 1; D >= 0; --D)
        {
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

namespace
{

constexpr std::uint64_t WholePowersOf10[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

/// Reads the run of decimal digits at P: Digits becomes Digits * 10^n plus
/// the run's value (modulo 2^64 for long runs, which the caller refuses).
/// Returns the end of the run.
const char *ReadDigitRun(const char *P, const char *End, std::uint64_t &Digits)
{
    if constexpr (std::endian::native == std::endian::little)
    {
        // Eight characters at a time, the first in the lowest byte. A borrow
        // or carry between bytes only runs into bytes after the first
        // non-digit, which are not used.
        while (End - P >= 8)
        {
            std::uint64_t Chunk;
            std::memcpy(&Chunk, P, 8);
            const std::uint64_t D = Chunk - 0x3030303030303030ull;
            const std::uint64_t NonDigits = (D | (D + 0x7676767676767676ull)) & 0x8080808080808080ull;
            const int N = NonDigits == 0 ? 8 : std::countr_zero(NonDigits) / 8;
            if (N == 0)
                return P;
            // The N digits into the top bytes, zeros before them; then pairs,
            // fours and the eight combined.
            std::uint64_t V = D << (8 * (8 - N));
            V = V * 10 + (V >> 8);
            V = (((V & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
                    (((V >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
                32;
            Digits = Digits * WholePowersOf10[N] + V;
            P += N;
            if (N < 8)
                return P;
        }
    }
    while (P < End && static_cast<unsigned>(*P - '0') < 10)
        Digits = Digits * 10 + static_cast<unsigned>(*P++ - '0');
    return P;
}

} // namespace

std::size_t ReadPlainDecimal(std::string_view S, double &Value)
{
    const char *const Begin = S.data();
    const char *const End = Begin + S.size();
    const char *P = Begin;
    bool Negative = false;
    if (P < End && (*P == '-' || *P == '+'))
        Negative = *P++ == '-';
    std::uint64_t Digits = 0;
    const char *const First = P;
    P = ReadDigitRun(P, End, Digits);
    std::size_t Count = static_cast<std::size_t>(P - First);
    std::size_t Fraction = 0;
    if (P < End && *P == '.')
    {
        const char *const Point = ++P;
        P = ReadDigitRun(P, End, Digits);
        Fraction = static_cast<std::size_t>(P - Point);
        Count += Fraction;
    }
    // An exponent, or more digits, is left to the general reading.
    if (Count == 0 || Count > 15 || (P < End && (*P == 'e' || *P == 'E' || static_cast<unsigned>(*P - '0') < 10)))
        return 0;
    // With at most 15 digits the whole number of them is exact, and so is
    // 10^(fraction digits): one correctly rounded division gives the nearest
    // Double, the value that the general reading gives.
    double V = static_cast<double>(Digits);
    if (Fraction > 0)
        V /= ExactPowersOf10[Fraction];
    Value = Negative ? -V : V;
    return static_cast<std::size_t>(P - Begin);
}

namespace
{

/// The plain decimals that fill map files, with spaces around, nothing else.
bool TryPlainDecimal(std::string_view S, double &Value)
{
    std::size_t B = 0, E = S.size();
    while (B < E && S[B] == ' ')
        ++B;
    while (E > B && S[E - 1] == ' ')
        --E;
    return E > B && ReadPlainDecimal(S.substr(B, E - B), Value) == E - B;
}

} // namespace

bool TryStrToFloat(std::string_view S, double &Value)
{
    if (TryPlainDecimal(S, Value))
        return true;
    std::size_t I = 0;
    const std::size_t N = S.size();
    while (I < N && S[I] == ' ')
        ++I;
    bool Negative = false;
    if (I < N && (S[I] == '+' || S[I] == '-'))
        Negative = S[I++] == '-';
    const std::size_t MantStart = I;
    std::size_t IntDigits = 0, FracDigits = 0;
    while (I < N && S[I] >= '0' && S[I] <= '9')
        ++I, ++IntDigits;
    bool HasPoint = false;
    if (I < N && S[I] == '.')
    {
        HasPoint = true;
        ++I;
        while (I < N && S[I] >= '0' && S[I] <= '9')
            ++I, ++FracDigits;
    }
    if (IntDigits == 0 && !HasPoint)
        return false;
    const std::size_t MantEnd = I;
    if (I < N && (S[I] == 'e' || S[I] == 'E'))
    {
        ++I;
        if (I < N && (S[I] == '+' || S[I] == '-'))
            ++I;
        std::size_t ExpDigits = 0;
        while (I < N && S[I] >= '0' && S[I] <= '9')
            ++I, ++ExpDigits;
        if (ExpDigits == 0)
            return false;
    }
    const std::size_t NumEnd = I;
    while (I < N && S[I] == ' ')
        ++I;
    if (I != N)
        return false;

    if (IntDigits + FracDigits == 0)
    {
        // A lone "." (with or without an exponent) reads as zero.
        Value = 0.0;
        return true;
    }
    double V = 0;
    const char *First = S.data() + MantStart;
    const char *Last = S.data() + NumEnd;
    auto [Ptr, Ec] = std::from_chars(First, Last, V, std::chars_format::general);
    if (Ec == std::errc::result_out_of_range)
    {
        // Too large for a Double fails; too small reads as zero. Decide by the
        // decimal magnitude of the mantissa's first significant digit.
        long long Magnitude = 0;
        std::size_t K = MantStart;
        bool Found = false;
        for (; K < MantEnd; ++K)
        {
            if (S[K] == '.')
                continue;
            if (S[K] != '0')
            {
                Found = true;
                break;
            }
        }
        if (!Found)
        {
            Value = 0.0;
            return true;
        }
        const std::size_t PointPos = HasPoint ? S.find('.', MantStart) : MantEnd;
        Magnitude = K < PointPos ? static_cast<long long>(PointPos - K) : -static_cast<long long>(K - PointPos - 1);
        long long Exp = 0;
        if (MantEnd < NumEnd)
        {
            std::size_t E = MantEnd + 1;
            bool ExpNeg = false;
            if (S[E] == '+' || S[E] == '-')
                ExpNeg = S[E++] == '-';
            for (; E < NumEnd; ++E)
            {
                Exp = Exp * 10 + (S[E] - '0');
                if (Exp > 100000)
                    break;
            }
            if (ExpNeg)
                Exp = -Exp;
        }
        if (Magnitude + Exp > 0)
            return false;
        Value = 0.0;
        return true;
    }
    if (Ec != std::errc() || Ptr != Last || !std::isfinite(V))
        return false;
    Value = Negative ? -V : V;
    return true;
}

double StrToFloat(std::string_view S)
{
    double V;
    if (!TryStrToFloat(S, V))
        RaiseError(FloatErrorMsg(S));
    return V;
}

char *FormatFloat(char *P, double Value)
{
    // Whole numbers below 10^15 have at most 15 digits: written exactly as
    // integers. Zero, negative zero included, is "0". (NaN and the infinities
    // fail the range test.)
    if (Value > -1e15 && Value < 1e15)
    {
        const auto Whole = static_cast<long long>(Value);
        if (static_cast<double>(Whole) == Value)
        {
            if (Whole < 0)
                *P++ = '-';
            return FormatWhole(P, static_cast<std::uint64_t>(Whole < 0 ? -Whole : Whole));
        }
    }
    const auto Put = [&P](std::string_view Text) {
        for (const char C : Text)
            *P++ = C;
        return P;
    };
    if (std::isnan(Value))
        return Put("NAN");
    if (std::isinf(Value))
        return Put(Value < 0 ? "-INF" : "INF");
    // Rounded to 15 digits, the largest Doubles would become 1.79769313486232E308,
    // beyond the range: a map written so could not be read again. Round those down.
    if (std::fabs(Value) > 1.79769313486231e308)
        return Put(Value < 0 ? "-1.79769313486231E308" : "1.79769313486231E308");
    // Coordinates are mostly short decimals such as 0.5 or 12.25.
    {
        char *Q = P;
        if (Value < 0)
            *Q++ = '-';
        if (char *End = FormatShortFraction(Q, std::fabs(Value)))
            return End;
    }
    char Buf[64];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, Value, std::chars_format::general, 15);
    std::string_view Text(Buf, static_cast<std::size_t>(R.ptr - Buf));
    const std::size_t EPos = Text.find('e');
    if (EPos == std::string_view::npos)
        return Put(Text);
    // "1e+15" -> "1E15", "1e-05" -> "1E-5"
    Put(Text.substr(0, EPos));
    *P++ = 'E';
    std::size_t K = EPos + 1;
    if (Text[K] == '-')
        *P++ = '-';
    if (Text[K] == '-' || Text[K] == '+')
        ++K;
    while (K + 1 < Text.size() && Text[K] == '0')
        ++K;
    return Put(Text.substr(K));
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
    std::size_t I = 0;
    const std::size_t N = S.size();
    while (I < N && S[I] == ' ')
        ++I;
    bool Negative = false;
    if (I < N && (S[I] == '+' || S[I] == '-'))
        Negative = S[I++] == '-';
    int Base = 10;
    if (I < N && S[I] == '$')
    {
        Base = 16;
        ++I;
    }
    else if (I < N && (S[I] == 'x' || S[I] == 'X'))
    {
        Base = 16;
        ++I;
    }
    else if (I + 1 < N && S[I] == '0' && (S[I + 1] == 'x' || S[I + 1] == 'X'))
    {
        Base = 16;
        I += 2;
    }
    if (I >= N)
        return false;
    long long Acc = 0;
    const long long Limit = Negative ? 2147483648LL : 2147483647LL;
    for (; I < N; ++I)
    {
        const char C = S[I];
        int Digit;
        if (C >= '0' && C <= '9')
            Digit = C - '0';
        else if (Base == 16 && C >= 'a' && C <= 'f')
            Digit = C - 'a' + 10;
        else if (Base == 16 && C >= 'A' && C <= 'F')
            Digit = C - 'A' + 10;
        else
            return false;
        Acc = Acc * Base + Digit;
        if (Acc > Limit)
            return false;
    }
    Value = static_cast<std::int32_t>(Negative ? -Acc : Acc);
    return true;
}

std::int32_t StrToInt(std::string_view S)
{
    std::int32_t V;
    if (!TryStrToInt(S, V))
    {
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
    if (Blank == std::string_view::npos || !TryStrToFloat(Rest.substr(0, Blank), x))
        return false;
    Rest = TrimLeft(Rest.substr(Blank + 1));
    Blank = Rest.find(' ');
    if (Blank == std::string_view::npos || !TryStrToFloat(Rest.substr(0, Blank), y))
        return false;
    return TryStrToFloat(Rest.substr(Blank + 1), z);
}

} // namespace brix
