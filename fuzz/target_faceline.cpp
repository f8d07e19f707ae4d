// Face lines of any kind: a face that reads writes a line that reads again
// into the same line.
#include <string>
#include <string_view>

#include "brixlib/geometry.h"
#include "targets.h"

namespace brix::fuzz
{

int FaceLine(const std::uint8_t *Data, std::size_t Size)
{
    const std::string_view Line(reinterpret_cast<const char *>(Data), Size);
    TBrushSide Side;
    std::string Error;
    Side.Load(Line, Error);
    if (!Error.empty()) {
        return 0;
    }
    const std::string Written = Side.ToString();
    TBrushSide Again;
    std::string AgainError;
    Again.Load(Written, AgainError);
    if (!AgainError.empty()) {
        Fail(("a written face does not read again: " + AgainError).c_str());
    }
    if (Again.ToString() != Written || Again.texture != Side.texture || Again.params != Side.params) {
        Fail("a face written, read and written again changed");
    }
    // The plane arithmetic on whatever numbers were read (overflow included).
    static_cast<void>(Again.Plane().Parallel(Side.Plane()));
    return 0;
}

} // namespace brix::fuzz
