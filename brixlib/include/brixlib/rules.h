// Selection rules and cut-off areas: the removal rules made from the entity
// and texture removal options, and the areas made from "-ba" / "-ea".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "brixlib/geometry.h"
#include "brixlib/mapfile.h"

namespace brix
{

/// Rule kinds, one per option: entities removed by class name or id from
/// all maps ("de"), the source ("dse"), the additional maps ("dae"); brushes
/// removed by texture from all maps ("dt"), the source ("dst"), the
/// destination ("ddt"), the additional maps ("dat"). TrenchBroom layers
/// removed by name from the source and the additional maps ("dl"), or all
/// layers but those named kept ("kl").
enum class TRuleKind
{
    rkDe = 1,
    rkDse = 2,
    rkDae = 3,
    rkDt = 4,
    rkDst = 5,
    rkDdt = 6,
    rkDat = 7,
    rkDl = 8,
    rkKl = 9,
};

/// The part a map plays in a run, which decides the rules that apply to it.
enum class TMapRole
{
    mrSource,
    mrAdditional,
    mrDestination,
};

/// One removal rule: a kind and a wildcard mask.
class TRule
{
public:
    TRule(TRuleKind ARule, std::string AParam) : Rule(ARule), Param(std::move(AParam)), FMask(Param) {}

    /// Value is not empty and matches the mask (raises on an invalid mask).
    bool Cmp(std::string_view Value) const;
    /// The mask holds "#": it selects identifiers, not class names.
    bool IDMask() const;
    /// The compiled mask, for texture tests.
    const TMask &Mask() const { return FMask; }

    /// Whether the rule removes entities by class name or id.
    bool IsEntityRule() const;
    /// Whether the rule selects TrenchBroom layers by name: it is applied to
    /// a whole map at once (ApplyRules), since membership runs through groups.
    bool IsLayerRule() const;
    /// Whether the rule applies to a map of that role. Entity rules never
    /// apply to the destination: it is made of entities the rules have seen.
    bool AppliesTo(TMapRole Role) const;

    /// Entity rule: clears IsStored when E's ID (ID mask) or class name matches.
    void ApplyToEntity(TEntity &E) const;
    /// Texture rule: clears IsStored of every brush of E that has a face whose
    /// texture matches.
    void ApplyToBrushes(TEntity &E) const;

    TRuleKind Rule;
    std::string Param;

private:
    TMask FMask;
};

/// The rules of a run, in the order the options were read.
class TRules
{
public:
    TRule &AddRule(TRuleKind ARule, std::string AParam)
    {
        FItems.emplace_back(ARule, std::move(AParam));
        return FItems.back();
    }
    std::size_t Count() const { return FItems.size(); }
    const TRule &operator[](std::size_t I) const { return FItems[I]; }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<TRule> FItems;
};

// ---------------------------------------------------------------------------

enum class TAreaType : std::uint8_t
{
    atRect = 0,
    atRound = 1,
    atBounds = 2,
    atMap = 3,
};

enum class TAreaCenterType : std::uint8_t
{
    actEntityClass = 0,
    actID = 1,
    actPoint = 2,
};

class TAreaList;

/// One cut-off area: a box or ball round a point, a box or column round
/// matching entities, a box between two corners, or a map's worldspawn brushes.
class TAreaInfo
{
public:
    TAreaInfo();
    ~TAreaInfo();
    TAreaInfo(const TAreaInfo &) = delete;
    TAreaInfo &operator=(const TAreaInfo &) = delete;

    /// Copies the shape, centre kind, numbers and mask; not sub-areas or brush.
    void Assign(const TAreaInfo &Src);
    std::unique_ptr<TAreaInfo> Duplicate() const;

    /// The sub-areas, created empty on first use.
    TAreaList &Areas();
    bool HasAreas() const;
    /// The brush of a map sub-area, created empty on first use.
    TBrush &Brush();

    /// Resolves the area against a map: planes of map brushes, one point
    /// sub-area per matching entity for areas round entities (none for a
    /// world-geometry entity without brushes: it has no place of its own).
    void UpdateAreas(TMapFile &Map);
    bool PointInArea(const T3DPoint &P) const;

    TAreaType AreaType = TAreaType::atRect;
    TAreaCenterType AreaCenterType = TAreaCenterType::actEntityClass;
    double x1 = 0, y1 = 0, z1 = 0;
    double x2 = 0, y2 = 0, z2 = 0;
    double R = 0;
    bool Coord3Exists = false;
    std::string EntityClass;

private:
    bool PointInSelf(const T3DPoint &P) const;
    std::unique_ptr<TAreaList> FAreaList;
    std::unique_ptr<TBrush> FBrush;
};

/// An owning list of areas; a point is inside when any area holds it.
class TAreaList
{
public:
    /// Appends a new record with every field zero and returns it.
    TAreaInfo &Add();
    TAreaInfo &Add(std::unique_ptr<TAreaInfo> Area);
    std::size_t Count() const { return FItems.size(); }
    bool Empty() const { return FItems.empty(); }
    TAreaInfo &operator[](std::size_t I) { return *FItems[I]; }
    const TAreaInfo &operator[](std::size_t I) const { return *FItems[I]; }
    void Clear() { FItems.clear(); }

    void UpdateAreas(TMapFile &Map);
    bool PointInArea(const T3DPoint &P) const;

private:
    std::vector<std::unique_ptr<TAreaInfo>> FItems;
};

/// Fills Area from the value of a "-ba" / "-ea" option; Argument is the whole
/// option as typed, quoted by "Incorrect format of parameter: %s". The "m"
/// form loads the named map; a map that does not read raises EMapLoadError
/// with its diagnostic.
void ParseAreaSpec(TAreaInfo &Area, std::string_view Value, const std::string &Argument);

} // namespace brix
