// Text helpers: trimming, letter case, UTF-8 and code page 866.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brix
{

/// Removes every character with a code up to 32 from both ends.
/// (Inline: every line of a map is trimmed several times on its way in.)
inline std::string_view Trim(std::string_view S)
{
    std::size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) <= 32) {
        ++B;
    }
    while (E > B && static_cast<unsigned char>(S[E - 1]) <= 32) {
        --E;
    }
    return S.substr(B, E - B);
}

inline std::string_view TrimLeft(std::string_view S)
{
    std::size_t B = 0;
    while (B < S.size() && static_cast<unsigned char>(S[B]) <= 32) {
        ++B;
    }
    return S.substr(B);
}

/// A whole number in decimal digits, as messages show counts.
std::string DecimalText(std::size_t N);

/// ASCII-only lower-case folding (option names).
std::string AsciiLower(std::string_view S);

/// Whether two texts are equal with ASCII letters folded, nothing else
/// normalised (file names).
bool AsciiEqualNoCase(std::string_view A, std::string_view B);

/// A key for comparisons that ignore letter case in any alphabet: UTF-8 is
/// decoded and letters are folded one to one (Latin-1, Latin Extended-A,
/// Greek, Cyrillic); bytes that are not valid UTF-8 stay as they are. On
/// Windows texts are in the ANSI code page and fold by the system's rules.
std::string CaseFoldKey(std::string_view S);

/// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string &Out, char32_t Cp);

/// Decodes one UTF-8 sequence at S[I]; returns its length, or 0 when the
/// bytes there are not valid UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view S, std::size_t I, char32_t &Cp);

/// UTF-8 text to code page 866, one byte per character (Cyrillic, Ё/ё and
/// ASCII exactly; other characters become '?').
std::string Utf8ToOem866(std::string_view Text);

} // namespace brix
