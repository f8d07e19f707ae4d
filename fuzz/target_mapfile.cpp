// Map text of any kind: whatever reads must write, and what was written must
// read again, without a diagnostic, into the very same text.
#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "brixlib/commands.h"
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

/// A change that looks at one entity at a time, as the runs that stream make
/// them: brushes whose first point lies at an odd x go, and so do entities
/// with an id; a door waits for its whole block.
bool Change(TEntity &E, bool Whole)
{
    if (!Whole && E.PropValue("classname") == "func_door") {
        return false;
    }
    for (TBrush &B : E.Brushes) {
        // The whole part's parity, for any Double (1E308 too).
        if (B.Count() > 0 && std::fabs(std::fmod(B.Sides(0).p1.x, 2.0)) >= 1.0) {
            B.SetIsStored(false);
        }
    }
    E.SetIsStored(E.IsStored() && E.IDView().empty());
    return true;
}

/// Read, changed and written a piece at a time, the text gives what it gives
/// read whole and changed entity by entity: the same diagnostic at the same
/// line, or the same written text.
void CheckStream(std::string_view Text, std::size_t PieceBytes)
{
    if (Text.find('\0') != std::string_view::npos) {
        return; // a file that holds a NUL is no text file: it is refused unread
    }
    TMapFile Whole;
    std::string WholeError;
    Whole.LoadFromText(Text, WholeError);
    for (std::size_t I = 0; I < Whole.Count(); ++I) {
        Change(Whole[I], true);
    }
    const TSandbox Sandbox;
    std::ofstream("stream.map", std::ios::binary).write(Text.data(), static_cast<std::streamsize>(Text.size()));
    TLineWriter Out;
    TMapStream Stream;
    std::string Error;
    const bool Streamed = Stream.Run("stream.map", Out, Change, Error, PieceBytes);
    if (Error != WholeError || (!Error.empty() && Stream.ErrorLine() != Whole.ErrorLine())) {
        Fail("a map read in pieces reports another fault");
    }
    if (Error.empty() && Streamed && Out.Text() != Written(Whole)) {
        Fail("a map written as it is read differs from the map changed whole");
    }
}

/// Merged, as a source read in pieces, with itself read whole (every entity
/// with an id meets its twin), the text writes what concat of the whole maps
/// writes, with the same counts.
void CheckConcatStream(std::string_view Text, std::size_t PieceBytes)
{
    TMapFile Source;
    std::string Error;
    Source.LoadFromText(Text, Error);
    if (!Error.empty() || Text.find('\0') != std::string_view::npos) {
        return; // a source that does not read is never merged
    }
    TConcatOptions Options;
    Options.RenameTargetNames = PieceBytes % 2 == 0;
    Options.AddNonUniqueId(PieceBytes % 3 == 0 ? "worldspawn" : "#temp");
    const auto Added = [&Text] {
        TMapFileList List;
        std::string Unused;
        List.Add(std::make_unique<TMapFile>("add.map")).LoadFromText(Text, Unused);
        return List;
    };
    TMapFileList InMemory = Added();
    TMapFile Dest;
    TCommandStats WholeStats;
    Concat(Dest, Source, InMemory, Options, WholeStats);

    const TSandbox Sandbox;
    std::ofstream("stream.map", std::ios::binary).write(Text.data(), static_cast<std::streamsize>(Text.size()));
    TMapFileList Streamed = Added();
    TConcatStream Concatenating(Streamed, Options);
    TCommandStats Stats;
    const TMapStream::TProcess Process = [&](TEntity &E, bool Whole) {
        if (!Whole && E.Brushes.Empty()) {
            return false; // properties may still come
        }
        Concatenating.Apply(E, Whole, Stats);
        return true;
    };
    TLineWriter Out;
    TMapStream Stream;
    if (!Stream.Run("stream.map", Out, Process, Error, PieceBytes)) {
        return; // a property after brushes passed on: read whole
    }
    const TMapStream::TProcess Keep = [](TEntity &, bool) { return true; };
    Concatenating.Finish([&](TEntity &E) { Stream.Append(E, Out, Keep); }, Stats);
    if (!Error.empty() || Out.Text() != Written(Dest)) {
        Fail("concat of a map read in pieces differs from concat of the map read whole");
    }
    if (Stats.BrushesAdded != WholeStats.BrushesAdded || Stats.BrushesThere != WholeStats.BrushesThere ||
        Stats.EntitiesAppended != WholeStats.EntitiesAppended || Stats.EntitiesMerged != WholeStats.EntitiesMerged) {
        Fail("concat of a map read in pieces counts otherwise");
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
    CheckStream(Text, 1 + Size % 61);
    CheckConcatStream(Text, 1 + Size % 61);
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
