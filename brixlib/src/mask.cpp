// Wildcard masks: compiled once into a flat list of one-byte matchers and
// "*" markers, then matched without recursion.
#include <bitset>
#include <charconv>

#include "brixlib/geometry.h"
#include "brixlib/messages.h"

namespace brix
{

struct TMask::TElement
{
    enum TKind : unsigned char
    {
        ekStar,    ///< any run of bytes, the empty run included
        ekLiteral, ///< one byte, ASCII letters folded to upper case
        ekAny,     ///< any one byte
        ekSet,     ///< one byte (folded) that is, or with Negate is not, in Set
    };
    TKind Kind = ekLiteral;
    unsigned char Literal = 0;
    bool Negate = false;
    std::bitset<256> Set;
};

namespace
{

using TElement = TMask::TElement;

// Masks have always been refused beyond this many elements behind a "*";
// keeping the limit keeps masks portable between versions of the tool.
constexpr int MaxSkipElements = 30;

unsigned char UpperByte(char C)
{
    const auto U = static_cast<unsigned char>(C);
    return (U >= 'a' && U <= 'z') ? static_cast<unsigned char>(U - ('a' - 'A')) : U;
}

[[noreturn]] void InvalidMask(const std::string &Mask, std::size_t Position)
{
    char Digits[24];
    const auto Res = std::to_chars(Digits, Digits + sizeof(Digits), Position);
    std::string Text;
    Text.reserve(Mask.size() + 40);
    Text.append("'").append(Mask).append("' is an invalid mask at (");
    Text.append(Digits, Res.ptr).append(")");
    RaiseError(Text);
}

// Reads the set that opens at Mask[P] ("["). Returns the index of its "]".
// Positions given to InvalidMask are 1-based; an unclosed set breaks off
// after the last character of the mask.
std::size_t ScanSet(const std::string &Mask, std::size_t P, TElement &E)
{
    const std::size_t Len = Mask.size();
    E.Kind = TElement::ekSet;
    ++P;
    if (P < Len && Mask[P] == '!') {
        E.Negate = true;
        ++P;
    }
    // Each character joins the set as it is read; a "-" then extends the set
    // from the last character read up to the one after the "-", so "[c-a]"
    // holds just C.
    bool HasLast = false;
    unsigned char Last = 0;
    while (P < Len && Mask[P] != ']') {
        if (Mask[P] == '-') {
            if (!HasLast) {
                InvalidMask(Mask, P + 1);
            }
            if (P + 1 >= Len) {
                InvalidMask(Mask, Len + 1);
            }
            // The byte after "-" is always the upper bound, even a "]".
            const unsigned char High = UpperByte(Mask[P + 1]);
            for (unsigned C = Last; C <= High; ++C) {
                E.Set.set(C);
            }
            P += 2;
        } else {
            Last = UpperByte(Mask[P]);
            E.Set.set(Last);
            HasLast = true;
            ++P;
        }
    }
    if (P >= Len) {
        InvalidMask(Mask, Len + 1);
    }
    if (E.Set.none()) {
        InvalidMask(Mask, P + 1);
    }
    return P;
}

bool ByteMatches(const TElement &E, char C)
{
    const unsigned char U = UpperByte(C);
    switch (E.Kind) {
        case TElement::ekLiteral:
            return U == E.Literal;
        case TElement::ekAny:
            return true;
        case TElement::ekSet:
            return E.Set.test(U) != E.Negate;
        case TElement::ekStar:
            break;
    }
    return false;
}

} // namespace

void TMask::Compile() const
{
    auto Elements = std::make_shared<std::vector<TElement>>();
    const std::size_t Len = FMask.size();
    int Marked = 0;
    bool SkipTo = false;
    // Position is 1-based, for the error text.
    auto Mark = [&](std::size_t Position) {
        if (SkipTo) {
            if (++Marked > MaxSkipElements) {
                InvalidMask(FMask, Position);
            }
            Elements->push_back(TElement{TElement::ekStar, 0, false, {}});
            SkipTo = false;
        }
    };
    bool DroppedAny = false;
    for (std::size_t P = 0; P < Len; ++P) {
        const char Ch = FMask[P];
        if (Ch == '*') {
            SkipTo = true;
            DroppedAny = false;
        } else if (Ch == '?') {
            // "*?" is the same mask as "*": the "?" right after a star is
            // dropped and the star stays; a further "?" is an element again.
            if (SkipTo && !DroppedAny) {
                DroppedAny = true;
            } else {
                Mark(P + 1);
                Elements->push_back(TElement{TElement::ekAny, 0, false, {}});
            }
        } else if (Ch == '[') {
            TElement E;
            P = ScanSet(FMask, P, E);
            Mark(P + 1);
            Elements->push_back(E);
        } else {
            Mark(P + 1);
            Elements->push_back(TElement{TElement::ekLiteral, UpperByte(Ch), false, {}});
        }
    }
    // A trailing "*" marks the end of the text, which counts like any element.
    Mark(Len + 1);
    FElements = std::move(Elements);
}

void TMask::Validate() const
{
    if (!FElements) {
        Compile();
    }
}

bool TMask::Matches(std::string_view Value) const
{
    Validate();
    const std::vector<TElement> &E = *FElements;
    const std::size_t N = Value.size(), M = E.size();
    constexpr std::size_t None = static_cast<std::size_t>(-1);
    // Every element but "*" takes exactly one byte, so on a mismatch it is
    // enough to let the last "*" seen swallow one more byte and retry from
    // there: earlier stars never need to be revisited.
    std::size_t T = 0, I = 0, StarNext = None, StarText = 0;
    while (T < N) {
        if (I < M) {
            if (E[I].Kind == TElement::ekStar) {
                StarNext = ++I;
                StarText = T;
                continue;
            }
            if (ByteMatches(E[I], Value[T])) {
                ++I;
                ++T;
                continue;
            }
        }
        if (StarNext == None) {
            return false;
        }
        I = StarNext;
        T = ++StarText;
    }
    while (I < M && E[I].Kind == TElement::ekStar) {
        ++I;
    }
    return I == M;
}

bool MatchesMask(std::string_view Value, const std::string &Mask)
{
    return TMask(Mask).Matches(Value);
}

} // namespace brix
