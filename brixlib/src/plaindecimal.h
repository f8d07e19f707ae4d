// The plain decimals that fill map files, read where they are met: the
// number reader and the face reader both inline this one reading.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// Inlined even where the compiler would rather call: a face line holds nine.
#if defined(_MSC_VER) && !defined(__clang__)
#define BRIX_INLINE __forceinline
#else
#define BRIX_INLINE [[gnu::always_inline]] inline
#endif

namespace brix::detail
{

/// 10^0 .. 10^15, each exactly a Double.
inline constexpr double ExactPowersOf10[16] = {
    1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
inline constexpr std::uint64_t WholePowersOf10[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

/// Reads the run of decimal digits at P: Digits becomes Digits * 10^n plus
/// the run's value (modulo 2^64 for long runs, which the caller refuses).
/// Returns the end of the run.
BRIX_INLINE const char *ReadDigitRun(const char *P, const char *End, std::uint64_t &Digits)
{
    if constexpr (std::endian::native == std::endian::little) {
        // Eight characters at a time, the first in the lowest byte. A borrow
        // or carry between bytes only runs into bytes after the first
        // non-digit, which are not used.
        while (End - P >= 8) {
            std::uint64_t Chunk;
            std::memcpy(&Chunk, P, 8);
            const std::uint64_t D = Chunk - 0x3030303030303030ull;
            const std::uint64_t NonDigits = (D | (D + 0x7676767676767676ull)) & 0x8080808080808080ull;
            const int N = NonDigits == 0 ? 8 : std::countr_zero(NonDigits) / 8;
            if (N == 0) {
                return P;
            }
            // The N digits into the top bytes, zeros before them; then pairs,
            // fours and the eight combined.
            std::uint64_t V = D << (8 * (8 - N));
            V = V * 10 + (V >> 8);
            V = (((V & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
                    (((V >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
                32;
            Digits = Digits * WholePowersOf10[N] + V;
            P += N;
            if (N < 8) {
                return P;
            }
        }
    }
    while (P < End && static_cast<unsigned>(*P - '0') < 10) {
        Digits = Digits * 10 + static_cast<unsigned>(*P++ - '0');
    }
    return P;
}

/// ReadPlainDecimal (brixlib/numbers.h), for the readers that inline it.
BRIX_INLINE std::size_t ReadPlainDecimalInline(std::string_view S, double &Value)
{
    const char *const Begin = S.data();
    const char *const End = Begin + S.size();
    const char *P = Begin;
    bool Negative = false;
    if (P < End && (*P == '-' || *P == '+')) {
        Negative = *P++ == '-';
    }
    std::uint64_t Digits = 0;
    const char *const First = P;
    P = ReadDigitRun(P, End, Digits);
    std::size_t Count = static_cast<std::size_t>(P - First);
    std::size_t Fraction = 0;
    if (P < End && *P == '.') {
        const char *const Point = ++P;
        P = ReadDigitRun(P, End, Digits);
        Fraction = static_cast<std::size_t>(P - Point);
        Count += Fraction;
    }
    // An exponent, or more digits, is left to the general reading.
    if (Count == 0 || Count > 15 || (P < End && (*P == 'e' || *P == 'E' || static_cast<unsigned>(*P - '0') < 10))) {
        return 0;
    }
    // With at most 15 digits the whole number of them is exact, and so is
    // 10^(fraction digits): one correctly rounded division gives the nearest
    // Double, the value that the general reading gives.
    double V = static_cast<double>(Digits);
    if (Fraction > 0) {
        V /= ExactPowersOf10[Fraction];
    }
    Value = Negative ? -V : V;
    return static_cast<std::size_t>(P - Begin);
}

} // namespace brix::detail
