// The fuzz targets (listed in targets.def): each takes arbitrary bytes, must
// never crash, hang or read out of bounds, and calls Fail() when an invariant
// of its reader does not hold. libFuzzer drives them one by one
// (fuzz_entry.cpp); the replay program feeds stored inputs to the same
// functions in an ordinary build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brix::fuzz
{

using TTarget = int (*)(const std::uint8_t *Data, std::size_t Size);

// One function per target of targets.def.
#define BRIX_FUZZ_TARGET(Name, Function) int Function(const std::uint8_t *Data, std::size_t Size);
#include "targets.def"
#undef BRIX_FUZZ_TARGET

struct TTargetInfo
{
    std::string_view Name;
    TTarget Run;
};

inline constexpr TTargetInfo Targets[] = {
#define BRIX_FUZZ_TARGET(Name, Function) {#Name, Function},
#include "targets.def"
#undef BRIX_FUZZ_TARGET
};

/// The target of that name; null when there is none.
inline TTarget FindTarget(std::string_view Name)
{
    for (const TTargetInfo &T : Targets) {
        if (T.Name == Name) {
            return T.Run;
        }
    }
    return nullptr;
}

/// Ends the process loudly: libFuzzer and the replay both report the input.
[[noreturn]] void Fail(const char *What);

/// While it lives, the current directory is a private one, created once per
/// process; the targets that touch files work only inside it. The directory
/// the process was in comes back afterwards, so relative paths given to
/// libFuzzer keep working.
class TSandbox
{
public:
    TSandbox();
    ~TSandbox();
    TSandbox(const TSandbox &) = delete;
    TSandbox &operator=(const TSandbox &) = delete;

private:
    int FReturnTo = -1;
};

} // namespace brix::fuzz
