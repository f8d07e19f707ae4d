// Number text of any kind: the readers accept or refuse it, and a value they
// accept is written in a form they read back to the same value.
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "brixlib/geometry.h"
#include "brixlib/messages.h"
#include "brixlib/numbers.h"
#include "brixlib/text.h"
#include "targets.h"

namespace brix::fuzz
{

namespace
{

void CheckFloat(std::string_view S)
{
    double V = 0;
    if (!TryStrToFloat(S, V)) {
        try {
            StrToFloat(S);
            Fail("StrToFloat accepts what TryStrToFloat refuses");
        } catch (const EBrixError &) {
        }
        return;
    }
    if (!std::isfinite(V)) {
        Fail("a number reads as infinity or NaN");
    }
    const std::string Text = FloatToStr(V);
    double W = 0;
    if (!TryStrToFloat(Text, W)) {
        Fail(("a written number does not read again: " + Text).c_str());
    }
    if (W != V) {
        Fail(("a written number reads back as another value: " + Text).c_str());
    }
}

void CheckInt(std::string_view S)
{
    std::int32_t V = 0;
    if (!TryStrToInt(S, V)) {
        return;
    }
    char Digits[16];
    const auto Res = std::to_chars(Digits, Digits + sizeof(Digits), V);
    std::int32_t W = 0;
    if (!TryStrToInt(std::string_view(Digits, static_cast<std::size_t>(Res.ptr - Digits)), W) || W != V) {
        Fail("a whole number does not survive its decimal form");
    }
}

void CheckPoint(std::string_view S)
{
    double X = 0, Y = 0, Z = 0;
    static_cast<void>(ParsePoint(S, X, Y, Z));

    std::string_view Rest = S;
    T3DPoint P;
    std::string Error;
    if (!ReadPoint(Rest, P, Error)) {
        if (Error.empty()) {
            Fail("ReadPoint fails without a diagnostic");
        }
        return;
    }
    const std::string Text = PointToStr(P);
    std::string_view Again = Text;
    T3DPoint Q;
    if (!ReadPoint(Again, Q, Error) || !Again.empty() || PointToStr(Q) != Text) {
        Fail(("a written point does not read again alike: " + Text).c_str());
    }
}

} // namespace

int Numbers(const std::uint8_t *Data, std::size_t Size)
{
    const std::string_view S(reinterpret_cast<const char *>(Data), Size);
    CheckFloat(S);
    CheckInt(S);
    CheckPoint(S);
    return 0;
}

} // namespace brix::fuzz
