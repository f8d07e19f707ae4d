#include "brixlib/support.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>


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

std::string_view TrimLeft(std::string_view S)
{
    std::size_t B = 0;
    while (B < S.size() && static_cast<unsigned char>(S[B]) <= 32)
        ++B;
    return S.substr(B);
}

std::string_view Trim(std::string_view S)
{
    std::size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) <= 32)
        ++B;
    while (E > B && static_cast<unsigned char>(S[E - 1]) <= 32)
        --E;
    return S.substr(B, E - B);
}

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
}

// ---------------------------------------------------------------------------
// Numbers

std::string FloatErrorMsg(std::string_view S)
{
    std::string R = "'";
    R.append(S);
    R += "' is not a valid floating point value";
    return R;
}

bool TryStrToFloat(std::string_view S, double &Value)
{
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

void AppendFloat(std::string &Out, double Value)
{
    char Buf[64];
    if (Value == 0.0)
    {
        Out += '0'; // negative zero too
        return;
    }
    if (std::isnan(Value))
    {
        Out += "NAN";
        return;
    }
    if (std::isinf(Value))
    {
        Out += Value < 0 ? "-INF" : "INF";
        return;
    }
    // Whole numbers below 10^15 have at most 15 digits: written exactly as integers.
    if (std::fabs(Value) < 1e15 && Value == std::trunc(Value))
    {
        auto R = std::to_chars(Buf, Buf + sizeof Buf, static_cast<long long>(Value));
        Out.append(Buf, R.ptr);
        return;
    }
    auto R = std::to_chars(Buf, Buf + sizeof Buf, Value, std::chars_format::general, 15);
    std::string_view Text(Buf, static_cast<std::size_t>(R.ptr - Buf));
    const std::size_t EPos = Text.find('e');
    if (EPos == std::string_view::npos)
    {
        Out.append(Text);
        return;
    }
    // "1e+15" -> "1E15", "1e-05" -> "1E-5"
    Out.append(Text.substr(0, EPos));
    Out += 'E';
    std::size_t K = EPos + 1;
    if (Text[K] == '-')
        Out += '-';
    if (Text[K] == '-' || Text[K] == '+')
        ++K;
    while (K + 1 < Text.size() && Text[K] == '0')
        ++K;
    Out.append(Text.substr(K));
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
