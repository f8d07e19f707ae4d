// Text helpers: UTF-8, code page 866 and ASCII letter case. (The letter-case
// key of any alphabet is the platform's: platform_*.cpp.)
#include "brixlib/text.h"

#include <charconv>

namespace brix
{

namespace
{

int Oem866Byte(char32_t Cp)
{
    if (Cp < 0x80) {
        return static_cast<int>(Cp);
    }
    if (Cp >= 0x0410 && Cp <= 0x043F) {
        return static_cast<int>(0x80 + (Cp - 0x0410));
    }
    if (Cp >= 0x0440 && Cp <= 0x044F) {
        return static_cast<int>(0xE0 + (Cp - 0x0440));
    }
    switch (Cp) {
        case 0x0401:
            return 0xF0; // Ё
        case 0x0451:
            return 0xF1; // ё
        case 0x0404:
            return 0xF2;
        case 0x0454:
            return 0xF3;
        case 0x0407:
            return 0xF4;
        case 0x0457:
            return 0xF5;
        case 0x040E:
            return 0xF6;
        case 0x045E:
            return 0xF7;
        case 0x00B0:
            return 0xF8;
        case 0x2219:
            return 0xF9;
        case 0x00B7:
            return 0xFA;
        case 0x221A:
            return 0xFB;
        case 0x2116:
            return 0xFC;
        case 0x00A4:
            return 0xFD;
        case 0x25A0:
            return 0xFE;
        case 0x00A0:
            return 0xFF;
        default:
            return -1;
    }
}

} // namespace

/// Decodes one UTF-8 sequence at S[I]; returns its length, or 0 when the
/// bytes there are not valid UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view S, std::size_t I, char32_t &Cp)
{
    const auto b0 = static_cast<unsigned char>(S[I]);
    if (b0 < 0x80) {
        Cp = b0;
        return 1;
    }
    std::size_t Len;
    char32_t Min;
    if ((b0 & 0xE0) == 0xC0) {
        Len = 2;
        Cp = b0 & 0x1Fu;
        Min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        Len = 3;
        Cp = b0 & 0x0Fu;
        Min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        Len = 4;
        Cp = b0 & 0x07u;
        Min = 0x10000;
    } else {
        return 0;
    }
    if (I + Len > S.size()) {
        return 0;
    }
    for (std::size_t K = 1; K < Len; ++K) {
        const auto b = static_cast<unsigned char>(S[I + K]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        Cp = (Cp << 6) | (b & 0x3Fu);
    }
    if (Cp < Min || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF)) {
        return 0;
    }
    return Len;
}

void AppendUtf8(std::string &Out, char32_t Cp)
{
    if (Cp < 0x80) {
        Out += static_cast<char>(Cp);
    } else if (Cp < 0x800) {
        Out += static_cast<char>(0xC0 | (Cp >> 6));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += static_cast<char>(0xE0 | (Cp >> 12));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Cp >> 18));
        Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
}

std::string Utf8ToOem866(std::string_view Text)
{
    std::string Out;
    Out.reserve(Text.size());
    for (std::size_t I = 0; I < Text.size();) {
        char32_t Cp;
        const std::size_t Len = DecodeUtf8(Text, I, Cp);
        if (Len == 0) {
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

std::string DecimalText(std::size_t N)
{
    char Digits[24];
    const auto Res = std::to_chars(Digits, Digits + sizeof(Digits), N);
    return std::string(Digits, Res.ptr);
}

std::string AsciiLower(std::string_view S)
{
    std::string R(S);
    for (char &C : R) {
        if (C >= 'A' && C <= 'Z') {
            C = static_cast<char>(C + 32);
        }
    }
    return R;
}

bool AsciiEqualNoCase(std::string_view A, std::string_view B)
{
    if (A.size() != B.size()) {
        return false;
    }
    const auto Upper = [](char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; };
    for (std::size_t I = 0; I < A.size(); ++I) {
        if (Upper(A[I]) != Upper(B[I])) {
            return false;
        }
    }
    return true;
}

} // namespace brix
