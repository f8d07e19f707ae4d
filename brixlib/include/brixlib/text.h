// Text helpers: trimming, letter case, UTF-8 and code page 866.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
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

/// A text kept once for the whole process, however many holders carry it:
/// texture names and face parameters repeat over a map and from one map to
/// the next, so a face holds two small handles instead of two strings.
/// Copies share the text; the last holder frees it. Safe to use from several
/// threads. Reads like a const std::string.
class TPooledText
{
public:
    TPooledText() noexcept = default;
    // NOLINTBEGIN(google-explicit-constructor): a text is a text
    TPooledText(std::string_view S) : FId(Intern(S)) {}
    TPooledText(const std::string &S) : FId(Intern(S)) {}
    TPooledText(const char *S) : FId(Intern(S)) {}
    // NOLINTEND(google-explicit-constructor)
    TPooledText(const TPooledText &Other) noexcept : FId(Other.FId) { Acquire(FId); }
    TPooledText(TPooledText &&Other) noexcept : FId(Other.FId) { Other.FId = 0; }
    TPooledText &operator=(const TPooledText &Other) noexcept
    {
        Acquire(Other.FId);
        Release(FId);
        FId = Other.FId;
        return *this;
    }
    TPooledText &operator=(TPooledText &&Other) noexcept
    {
        if (this != &Other) {
            Release(FId);
            FId = Other.FId;
            Other.FId = 0;
        }
        return *this;
    }
    ~TPooledText() { Release(FId); }

    void assign(std::string_view S) { *this = TPooledText(S); }
    const std::string &str() const noexcept { return Text(FId); }
    operator const std::string &() const noexcept { return Text(FId); } // NOLINT(google-explicit-constructor)
    operator std::string_view() const noexcept { return Text(FId); }    // NOLINT(google-explicit-constructor)
    bool empty() const noexcept { return FId == 0; }
    std::size_t size() const noexcept { return Text(FId).size(); }

    /// One text, one handle: equal texts have equal handles.
    friend bool operator==(const TPooledText &A, const TPooledText &B) noexcept { return A.FId == B.FId; }
    friend bool operator==(const TPooledText &A, std::string_view B) noexcept { return A.str() == B; }
    friend bool operator==(const TPooledText &A, const std::string &B) noexcept { return A.str() == B; }
    friend bool operator==(const TPooledText &A, const char *B) noexcept { return A.str() == B; }

private:
    static std::uint32_t Intern(std::string_view S);
    static void Acquire(std::uint32_t Id) noexcept;
    static void Release(std::uint32_t Id) noexcept;
    static const std::string &Text(std::uint32_t Id) noexcept;

    std::uint32_t FId = 0; ///< 0: the empty text
};

std::ostream &operator<<(std::ostream &Out, const TPooledText &Text);

} // namespace brix
