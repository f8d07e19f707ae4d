#include "brixlib/geometry.h"

#include <gtest/gtest.h>

#include <string>

using namespace brix;

namespace
{

std::string Repeat(const std::string &S, int N)
{
    std::string R;
    for (int I = 0; I < N; ++I) {
        R += S;
    }
    return R;
}

} // namespace

TEST(TMask, Matches)
{
    struct Case
    {
        std::string Mask, Value;
        bool Expected;
    } Cases[] = {
        {"", "", true},
        {"", "a", false},
        {"*", "", true},
        {"*", "any text", true},
        {"abc", "ABC", true},
        {"abc", "abcd", false},
        {"a?c", "aXc", true},
        {"a?c", "ac", false},
        {"?", "", false},
        {"a?", "a", false},
        {"?", "\xFF", true},
        {"a*", "abc", true},
        {"*a", "bca", true},
        {"**a", "xa", true},
        {"*?", "", true},
        {"a*?", "a", true},
        {"a*?", "abc", true},
        {"*?a", "a", true},
        {"a*??", "a", false}, // only the "?" right after the star is dropped
        {"a*??", "ab", true},
        {"*?*?", "", true},
        {"*ab", "aab", true},
        {"*aab", "aaab", true},
        {"a*b*c", "abbbc", true},
        {"a*b*c", "acb", false},
        {"*x*y*", "axbyc", true},
        {"*x*y*", "ayxc", false},
        {"*.map", "E1M1.MAP", true},
        {"[abc]", "B", true},
        {"[abc]", "d", false},
        {"[!abc]", "d", true},
        {"[!abc]", "A", false},
        {"[!a]", "", false},
        {"[a-c]x", "bX", true},
        {"[A-z]", "m", true},
        {"[a-_]", "^", true},
        {"[a-]]", "]", true},
        {"[a-c-e]", "d", true},
        {"[c-a]", "C", true}, // a reversed range adds nothing, the listed character stays
        {"[c-a]", "b", false},
        {"[ab-a]", "b", true},
        {"*[0-9]", "sky12", true},
        {"\xE9", "\xC9", false},
        {"\xE9", "\xE9", true},
        {"[\xE0-\xFF]", "\xE9", true},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Mask + " ~ " + C.Value);
        EXPECT_EQ(TMask(C.Mask).Matches(C.Value), C.Expected);
        EXPECT_EQ(MatchesMask(C.Value, C.Mask), C.Expected);
    }
}

TEST(TMask, InvalidMasks)
{
    struct Case
    {
        std::string Mask;
        int Position;
    } Cases[] = {
        {"[abc", 5},
        {"[", 2},
        {"x[!", 4},
        {"[]", 2},
        {"[!]", 3},
        {"a[]b", 3},
        {"[-a]", 2},
        {"[!-a]", 3},
        {"[a-", 4},
        {"[a-]", 5},
        {Repeat("*a", 31), 62},
        {Repeat("*a", 30) + "*", 62},
        {Repeat("*a", 30) + "*?", 63},
        {Repeat("*[ab]", 31), 155},
    };
    UseRussian = true; // this text is never translated
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Mask);
        const std::string Expected = "'" + C.Mask + "' is an invalid mask at (" + std::to_string(C.Position) + ")";
        const TMask Mask(C.Mask); // nothing is checked until the mask is used
        for (int Attempt = 0; Attempt < 2; ++Attempt) {
            try {
                Mask.Matches("a");
                ADD_FAILURE() << "no error";
            } catch (const EBrixError &E) {
                EXPECT_EQ(E.what(), Expected);
            }
        }
        EXPECT_THROW(Mask.Validate(), EBrixError);
    }
    ResetSwitches();
}

TEST(TMask, SkipLimit)
{
    // Thirty elements behind a "*" are allowed; a "?" dropped after a "*" does not count.
    const std::string Masks[] = {Repeat("*a", 30), Repeat("*a", 29) + "*", Repeat("*?a", 30) + "?"};
    for (const std::string &M : Masks) {
        SCOPED_TRACE(M);
        EXPECT_NO_THROW(TMask(M).Validate());
        EXPECT_TRUE(TMask(M).Matches(Repeat("a", 31)));
        EXPECT_FALSE(TMask(M).Matches(Repeat("a", 28)));
    }
}

TEST(TMask, NoExponentialBacktracking)
{
    // A matcher that retries every star position would not finish this.
    const TMask Mask(Repeat("*a", 25) + "*b");
    const std::string Text = Repeat("a", 20000);
    EXPECT_FALSE(Mask.Matches(Text));
    EXPECT_TRUE(Mask.Matches(Text + "b"));
}
