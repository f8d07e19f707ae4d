// Wildcard masks of any kind against names of any kind. A mask that is
// accepted must match exactly like an exhaustive search over its elements,
// written here in the plainest way: "*" any run, every other element one byte.
#include <bitset>
#include <string>
#include <string_view>
#include <vector>

#include "brixel/brixel.h"
#include "brixlib/geometry.h"
#include "targets.h"

namespace brix::fuzz
{

namespace
{

unsigned char Upper(char C)
{
    const auto U = static_cast<unsigned char>(C);
    return (U >= 'a' && U <= 'z') ? static_cast<unsigned char>(U - 'a' + 'A') : U;
}

struct TRefElement
{
    bool Star = false;
    std::bitset<256> Bytes; ///< the folded bytes this element takes
};

// Only for masks the matcher accepted (sets closed and not empty) and
// without "*?", whose reading is a matter of compatibility, not of matching.
std::vector<TRefElement> RefCompile(std::string_view Mask)
{
    std::vector<TRefElement> Out;
    for (std::size_t P = 0; P < Mask.size(); ++P) {
        TRefElement E;
        if (Mask[P] == '*') {
            E.Star = true;
            Out.push_back(E);
            continue;
        }
        if (Mask[P] == '?') {
            E.Bytes.set();
            Out.push_back(E);
            continue;
        }
        if (Mask[P] != '[') {
            E.Bytes.set(Upper(Mask[P]));
            Out.push_back(E);
            continue;
        }
        ++P;
        const bool Negate = P < Mask.size() && Mask[P] == '!';
        if (Negate) {
            ++P;
        }
        unsigned Last = 0;
        for (; P < Mask.size() && Mask[P] != ']'; ++P) {
            if (Mask[P] == '-' && P + 1 < Mask.size()) {
                for (unsigned C = Last; C <= Upper(Mask[P + 1]); ++C) {
                    E.Bytes.set(C);
                }
                ++P;
            } else {
                Last = Upper(Mask[P]);
                E.Bytes.set(Last);
            }
        }
        if (Negate) {
            E.Bytes.flip();
        }
        Out.push_back(E);
    }
    return Out;
}

// Memo: 0 unknown, 1 no, 2 yes, for element I at text position T.
bool RefMatch(const std::vector<TRefElement> &E, std::string_view Name, std::size_t I, std::size_t T,
    std::vector<unsigned char> &Memo)
{
    unsigned char &Known = Memo[I * (Name.size() + 1) + T];
    if (Known != 0) {
        return Known == 2;
    }
    bool Result;
    if (I == E.size()) {
        Result = T == Name.size();
    } else if (E[I].Star) {
        Result = RefMatch(E, Name, I + 1, T, Memo) || (T < Name.size() && RefMatch(E, Name, I, T + 1, Memo));
    } else {
        Result = T < Name.size() && E[I].Bytes.test(Upper(Name[T])) && RefMatch(E, Name, I + 1, T + 1, Memo);
    }
    Known = Result ? 2 : 1;
    return Result;
}

} // namespace

int Mask(const std::uint8_t *Data, std::size_t Size)
{
    const std::string_view Input(reinterpret_cast<const char *>(Data), Size);
    const std::size_t Nul = Input.find('\0');
    const std::string MaskText(Nul == std::string_view::npos ? Input : Input.substr(0, Nul));
    const std::string_view Name = Nul == std::string_view::npos ? Input : Input.substr(Nul + 1);

    // The file-name matcher of additional-file patterns takes the same texts.
    static_cast<void>(WildcardMatch(MaskText, Name));

    bool Matched = false;
    try {
        Matched = TMask(MaskText).Matches(Name);
    } catch (const EBrixError &) {
        return 0;
    }
    // The recursion depth grows with mask and name; libFuzzer's inputs are
    // small, stored regression inputs too.
    if (MaskText.size() > 4096 || Name.size() > 4096 || MaskText.find("*?") != std::string::npos) {
        return 0;
    }
    const std::vector<TRefElement> Elements = RefCompile(MaskText);
    std::vector<unsigned char> Memo((Elements.size() + 1) * (Name.size() + 1), 0);
    if (RefMatch(Elements, Name, 0, 0, Memo) != Matched) {
        Fail(Matched ? "the mask matches a name it should not" : "the mask misses a name it should match");
    }
    return 0;
}

} // namespace brix::fuzz
