// Map text of any kind: whatever reads must write, and what was written must
// read again, without a diagnostic, into the very same text.
#include <string>
#include <string_view>

#include "brixlib/mapfile.h"
#include "targets.h"

namespace brix::fuzz
{

namespace
{

// Bounds cost the fourth power of the face count; real brushes have a few
// dozen faces, and larger ones would only slow the search down.
constexpr std::size_t MaxBoundsFaces = 64;
// FindAnalog scans the whole map for every entity asked about.
constexpr std::size_t MaxAnalogQueries = 64;

std::string Written(const TMapFile &Map)
{
    TLineWriter Writer;
    Map.SaveToList(Writer);
    return Writer.Text();
}

void ExerciseModel(TMapFile &Map)
{
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        TEntity &E = Map[I];
        for (TBrush &B : E.Brushes) {
            if (B.Count() <= MaxBoundsFaces) {
                B.CalcMinMax();
            }
            if (!B.Cmp(B, true)) {
                Fail("a brush differs from itself");
            }
        }
        if (E.Brushes.Empty()) {
            try {
                E.CalcMinMax();
            } catch (const EBrixError &) {
                // A point entity without a usable origin: the run would report it.
            }
        }
        // Every entity corresponds at least to itself.
        if (I < MaxAnalogQueries && Map.FindAnalog(E) == nullptr) {
            Fail("FindAnalog misses the entity it was given");
        }
    }
}

} // namespace

int MapFile(const std::uint8_t *Data, std::size_t Size)
{
    const std::string_view Text(reinterpret_cast<const char *>(Data), Size);
    TMapFile Map("fuzz.map");
    std::string Error;
    Map.LoadFromText(Text, Error);
    // What a failed load kept is written too: it must not crash.
    const std::string First = Written(Map);
    ExerciseModel(Map);
    if (!Error.empty()) {
        return 0;
    }

    TMapFile Again("fuzz.map");
    std::string AgainError;
    Again.LoadFromText(First, AgainError);
    if (!AgainError.empty()) {
        Fail(("a written map does not read again: " + AgainError).c_str());
    }
    if (Again.Count() != Map.Count()) {
        Fail("a written map reads with another number of entities");
    }
    if (Written(Again) != First) {
        Fail("a map written, read and written again changed");
    }

    // The identifier operations on what was read; a number beyond 32 bits is
    // reported, nothing else may go wrong.
    try {
        Again.RemoveDupIDs();
        Again.ReIndex();
    } catch (const EBrixError &) {
    }
    return 0;
}

} // namespace brix::fuzz
