// Deterministic synthetic level maps for the benchmarks: a worldspawn of N
// brushes and M entities (point and brush entities), each item a pure function
// of (seed, index), so two maps built from overlapping index ranges share
// exactly those items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brixbench
{

struct TMapSpec
{
    std::uint64_t Seed = 1;
    std::size_t FirstBrush = 0, BrushCount = 0;   ///< worldspawn brushes [First, First + Count)
    std::size_t FirstEntity = 0, EntityCount = 0; ///< entities [First, First + Count)
    bool EntityIds = true;                        ///< give entities an "id" (mkid wants none)
    bool Worldspawn = true;                       ///< start with the worldspawn entity
};

/// The map text (LF line ends, as editors write it).
std::string GenerateMap(const TMapSpec &Spec);

/// A worldspawn holding one brush of Faces faces, each touching a sphere of
/// radius Radius around the origin (points rounded to whole units).
std::string GenerateManyFacedBrush(std::size_t Faces, double Radius);

/// A worldspawn of Count brushes of one shape, brush I textured Prefix + I.
std::string GenerateSameShape(std::size_t Count, const std::string &Prefix);

/// A map of at least MB megabytes made of the given maps' entities, repeated
/// at shifted places: the worldspawn brushes of every copy go into one
/// worldspawn (the first map's keys), the other entities follow, their
/// brushes and origins moved with their copy.
std::string ScaleMaps(const std::vector<std::string> &Maps, double MB);

/// How many bytes one worldspawn brush and one entity (with its id) take on
/// average.
constexpr std::size_t BytesPerBrush = 609;
constexpr std::size_t BytesPerEntity = 382;

} // namespace brixbench
