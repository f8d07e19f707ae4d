// The fuzz targets: each takes arbitrary bytes, must never crash, hang or
// read out of bounds, and calls abort() when an invariant of its reader does
// not hold. libFuzzer drives them one by one (fuzz_entry.cpp); the replay
// program feeds stored inputs to the same functions in an ordinary build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brix::fuzz
{

using TTarget = int (*)(const std::uint8_t *Data, std::size_t Size);

/// Map text: load, write, load again, write again; both writes must agree.
int MapFile(const std::uint8_t *Data, std::size_t Size);
/// One face line; a face that reads must read again from its written form.
int FaceLine(const std::uint8_t *Data, std::size_t Size);
/// Number, whole-number and point text; a value that reads must survive
/// being written and read again.
int Numbers(const std::uint8_t *Data, std::size_t Size);
/// A wildcard mask and a name (split at the first NUL), checked against a
/// plain backtracking matcher.
int Mask(const std::uint8_t *Data, std::size_t Size);
/// The value of an area option, then the area against a small map.
int AreaSpec(const std::uint8_t *Data, std::size_t Size);
/// A whole run in-process: arguments split at NUL and line ends, in a
/// private directory with a few small maps; after a "\x01" byte, the text of
/// an option file.
int CommandLine(const std::uint8_t *Data, std::size_t Size);

struct TTargetInfo
{
    std::string_view Name;
    TTarget Run;
};

inline constexpr TTargetInfo Targets[] = {
    {"mapfile", MapFile},
    {"faceline", FaceLine},
    {"numbers", Numbers},
    {"mask", Mask},
    {"areaspec", AreaSpec},
    {"commandline", CommandLine},
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
