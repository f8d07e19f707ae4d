// Area option values of any kind: parsed or refused with a message, and an
// area that parses is resolved against a small map and asked about points.
#include <fstream>
#include <string>
#include <string_view>

#include "brixlib/rules.h"
#include "fixtures.h"
#include "targets.h"

namespace brix::fuzz
{

namespace
{

// The "m" form names a file; its parts are split at "/", so it can only name
// a file of the current directory, the private one.
void PrepareFiles()
{
    static bool Done = false;
    if (Done) {
        return;
    }
    std::ofstream("a.map", std::ios::binary) << FixtureA;
    std::ofstream("c.map", std::ios::binary) << FixtureC;
    Done = true;
}

TMapFile &ResolveMap()
{
    static TMapFile Map = [] {
        TMapFile M("a.map");
        std::string Error;
        M.LoadFromText(FixtureA, Error);
        if (!Error.empty()) {
            Fail("the fixture map does not read");
        }
        return M;
    }();
    return Map;
}

} // namespace

int AreaSpec(const std::uint8_t *Data, std::size_t Size)
{
    const TSandbox Sandbox;
    PrepareFiles();
    const std::string_view Value(reinterpret_cast<const char *>(Data), Size);
    const std::string Argument = "-ba:" + std::string(Value);
    TAreaList Areas;
    TAreaInfo &Area = Areas.Add();
    try {
        ParseAreaSpec(Area, Value, Argument);
    } catch (const EMapLoadError &) {
        return 0;
    } catch (const EBrixError &E) {
        if (std::string_view(E.what()).empty()) {
            Fail("an area is refused without a message");
        }
        return 0;
    }
    try {
        Areas.UpdateAreas(ResolveMap());
    } catch (const EBrixError &) {
        return 0;
    }
    const T3DPoint Points[] = {{0, 0, 0}, {32, 32, 8}, {-1e9, 5e8, 3}, {2147483647.0, -2147483648.0, 0.5}};
    for (const T3DPoint &P : Points) {
        static_cast<void>(Areas.PointInArea(P));
    }
    return 0;
}

} // namespace brix::fuzz
