// Lookups: the fast searches of the commands over brush lists and maps. Each
// is an object the command builds over a list and tells about changes; each
// answers exactly what a scan in list order would: a key only narrows the
// search, the list's own comparison decides, and the first item that passes
// wins. Private to the library.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "brixlib/geometry.h"
#include "brixlib/mapfile.h"

namespace brix
{

/// Key hashing for every lookup: order-dependent mixing of 64-bit words and
/// texts.
class TKeyHash
{
public:
    explicit TKeyHash(std::uint64_t Seed = 0x2545F4914F6CDD1Dull) : FH(Seed) {}
    TKeyHash &Add(std::uint64_t V)
    {
        FH = (std::rotl(FH, 5) ^ V) * 0x9E3779B97F4A7C15ull;
        return *this;
    }
    /// Doubles by value: 0 and -0 are equal numbers and hash alike.
    TKeyHash &Add(double V) { return Add(std::bit_cast<std::uint64_t>(V == 0 ? 0.0 : V)); }
    TKeyHash &Add(std::string_view S);
    /// The final key; never TPositionIndex::NoKey.
    std::uint64_t Key() const
    {
        std::uint64_t X = FH;
        X ^= X >> 33;
        X *= 0xFF51AFD7ED558CCDull;
        X ^= X >> 33;
        X *= 0xC4CEB9FE1A85EC53ull;
        X ^= X >> 33;
        return X == 0 ? 1 : X;
    }

private:
    std::uint64_t FH;
};

/// Positions 0 .. Size()-1 of a list, each with its key (or NoKey when the
/// item cannot be found by key at all). The positions of one key form a
/// chain in ascending order, so the first position that passes a test is
/// found without looking at the later ones, however many share the key. The
/// chains' heads are kept by open addressing with linear probing.
class TPositionIndex
{
public:
    static constexpr std::uint64_t NoKey = 0;
    /// Lists longer than this are not indexed (the caller scans them).
    static constexpr std::size_t MaxPositions = std::numeric_limits<std::uint32_t>::max() - 2;

    std::size_t Size() const { return FKeys.size(); }
    /// Covers one more position, the next one, with its key.
    void Append(std::uint64_t Key);
    /// Gives a covered position a new key.
    void Update(std::size_t Pos, std::uint64_t Key);

    /// The lowest position whose key is Key and for which Matches(Pos) holds;
    /// -1 when there is none.
    template <class TPred> std::ptrdiff_t FindFirst(std::uint64_t Key, TPred &&Matches) const
    {
        const std::size_t S = FindSlot(Key);
        if (S == NoSlot) {
            return -1;
        }
        for (std::uint32_t Pos = FSlots[S] - 1; Pos != NoPos; Pos = FNext[Pos]) {
            if (Matches(static_cast<std::size_t>(Pos))) {
                return static_cast<std::ptrdiff_t>(Pos);
            }
        }
        return -1;
    }

private:
    static constexpr std::uint32_t Empty = 0;
    static constexpr std::uint32_t Deleted = std::numeric_limits<std::uint32_t>::max();
    static constexpr std::uint32_t NoPos = std::numeric_limits<std::uint32_t>::max();
    static constexpr std::size_t NoSlot = std::numeric_limits<std::size_t>::max();

    std::size_t Home(std::uint64_t Key) const
    {
        return static_cast<std::size_t>((Key * 0x9E3779B97F4A7C15ull) >> FShift);
    }
    /// The slot of Key's chain; NoSlot when no position has Key.
    std::size_t FindSlot(std::uint64_t Key) const;
    /// Puts Pos into the chain of its key, in order.
    void Link(std::size_t Pos);
    /// Takes Pos out of the chain of its key.
    void Unlink(std::size_t Pos);
    /// A new chain holding Pos alone, in the first free slot of its probe run.
    void NewChain(std::size_t Pos);
    void Rehash(std::size_t MinChains);

    std::vector<std::uint64_t> FKeys;  ///< per position
    std::vector<std::uint32_t> FNext;  ///< per position: the next of its chain, or NoPos
    std::vector<std::uint32_t> FSlots; ///< a chain's first position + 1, Empty or Deleted
    std::vector<std::uint32_t> FTails; ///< per slot: the chain's last position
    std::size_t FChains = 0, FDeleted = 0;
    int FShift = 64;
};

/// A key of the brush's faces: its kind, the face count and every point,
/// exactly (0 and -0 alike), and with WithTextures every face's texture too;
/// for a patch its header and control points (and texture). Brushes that
/// Cmp (with textures, when WithTextures) have equal keys.
std::uint64_t BrushKey(const TBrush &Brush, bool WithTextures);

/// Finds brushes of one list by their faces. Brushes appended to the list
/// are taken in at the next search; a brush whose faces or textures change
/// in place must be reported with Changed (IsStored needs no word). A list
/// that is cleared or cut needs a new lookup (a shorter list is indexed anew
/// at the next search, so a stale lookup answers wrongly but never reads
/// past the list). The list must outlive the lookup.
class TBrushLookup
{
public:
    explicit TBrushLookup(const TBrushList &List) : FList(&List) {}
    /// The first brush, in list order, that Cmp's ABrush; -1 when none.
    std::ptrdiff_t FindAnalog(const TBrush &ABrush, bool cmpTexture);
    /// The faces or textures of brush I changed.
    void Changed(std::size_t I);

private:
    const TBrushList *FList;
    TPositionIndex FPositions;
    /// Whether the keys hold textures: they do for the searches that compare
    /// them, so equal shapes with other textures do not share a chain.
    bool FWithTextures = false;
};

/// Finds entities of one map by identifier, and by correspondence (class
/// name, spawn flags and, for brushless entities, origin text). Entities
/// appended to the map are taken in at the next search; an entity whose id,
/// class name, spawn flags or origin change, or that gains its first brush or
/// loses its last, must be reported with Changed. A map that is cleared or
/// cut needs a new lookup, as for brushes. The map must outlive the lookup.
class TEntityLookup
{
public:
    explicit TEntityLookup(const TMapFile &Map) : FMap(&Map) {}
    /// The position of the first indexed entity whose ID equals AID exactly;
    /// -1 when none.
    std::ptrdiff_t FindEntity(std::string_view AID);
    /// The position of the entity that corresponds to Ent; -1 when none.
    std::ptrdiff_t FindAnalog(const TEntity &Ent);
    /// Entity I changed.
    void Changed(std::size_t I);

private:
    /// Takes in the entities appended since the last search; false when the
    /// map is too long to index (the searches then scan).
    bool Refresh(bool WithAnalogs);

    const TMapFile *FMap;
    TPositionIndex FIds;
    TPositionIndex FAnalogs; ///< kept only once a search by correspondence needed it
    bool FHaveAnalogs = false;
};

} // namespace brix
