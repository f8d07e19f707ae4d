// Cut-off areas: boxes and balls round a point or round matching entities,
// boxes between two corners, and the worldspawn brushes of another map; the
// text form of the area options and the containment test.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "brixlib/commands.h"
#include "brixlib/entitykeys.h"
#include "brixlib/numbers.h"
#include "brixlib/rules.h"

namespace brix
{

TAreaInfo::TAreaInfo() = default;
TAreaInfo::~TAreaInfo() = default;

void TAreaInfo::Assign(const TAreaInfo &Src)
{
    AreaType = Src.AreaType;
    AreaCenterType = Src.AreaCenterType;
    x1 = Src.x1;
    y1 = Src.y1;
    z1 = Src.z1;
    x2 = Src.x2;
    y2 = Src.y2;
    z2 = Src.z2;
    R = Src.R;
    Coord3Exists = Src.Coord3Exists;
    EntityClass = Src.EntityClass;
}

std::unique_ptr<TAreaInfo> TAreaInfo::Duplicate() const
{
    auto Copy = std::make_unique<TAreaInfo>();
    Copy->Assign(*this);
    return Copy;
}

TAreaList &TAreaInfo::Areas()
{
    if (!FAreaList) {
        FAreaList = std::make_unique<TAreaList>();
    }
    return *FAreaList;
}

bool TAreaInfo::HasAreas() const
{
    return FAreaList && !FAreaList->Empty();
}

TBrush &TAreaInfo::Brush()
{
    if (!FBrush) {
        FBrush = std::make_unique<TBrush>();
    }
    return *FBrush;
}

void TAreaInfo::UpdateAreas(TMapFile &Map)
{
    if (AreaType == TAreaType::atMap && FAreaList) {
        for (std::size_t I = 0; I < FAreaList->Count(); ++I) {
            (*FAreaList)[I].Brush().PreparePlans();
        }
    }
    if (AreaCenterType == TAreaCenterType::actPoint) {
        return;
    }

    // Sub-areas are made afresh from the map as it is now.
    Areas().Clear();
    const TMask Mask(EntityClass);
    const bool ByID = AreaCenterType == TAreaCenterType::actID;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        TEntity &E = Map[I];
        const bool Match = ByID ? (E.Indexed() && Mask.Matches(E.IDView())) : Mask.Matches(E.PropValue(KeyClassName));
        // A group or detail entity without brushes (a TrenchBroom group of
        // point entities) has no place of its own: it centres no area.
        if (!Match || (E.Brushes.Empty() && IsWorldGeometry(E))) {
            continue;
        }
        // The bounds first: when they raise, no half-made sub-area is left.
        E.CalcMinMax();
        std::unique_ptr<TAreaInfo> Sub = Duplicate();
        Sub->AreaCenterType = TAreaCenterType::actPoint;
        Sub->x1 = E.Bounds.Center.x;
        Sub->y1 = E.Bounds.Center.y;
        Sub->z1 = E.Bounds.Center.z;
        FAreaList->Add(std::move(Sub));
    }
}

bool TAreaInfo::PointInArea(const T3DPoint &P) const
{
    if (HasAreas()) {
        return FAreaList->PointInArea(P);
    }
    // An area round entities that matched nothing has no centre of its own:
    // it holds no point rather than a column round the origin. The brush
    // records of a map area keep their zero centre kind and are tested.
    if (AreaType != TAreaType::atMap && AreaCenterType != TAreaCenterType::actPoint) {
        return false;
    }
    return PointInSelf(P);
}

bool TAreaInfo::PointInSelf(const T3DPoint &P) const
{
    switch (AreaType) {
        case TAreaType::atRect:
            if (P.x < x1 - R || P.x > x1 + R || P.y < y1 - R || P.y > y1 + R) {
                return false;
            }
            return !Coord3Exists || (P.z >= z1 - R && P.z <= z1 + R);
        case TAreaType::atRound: {
            const double DX = P.x - x1;
            const double DY = P.y - y1;
            double Sum = DX * DX + DY * DY;
            if (Coord3Exists) {
                const double DZ = P.z - z1;
                Sum += DZ * DZ;
            }
            return std::sqrt(Sum) <= R;
        }
        case TAreaType::atBounds:
            // The corners are taken as given: a first corner above the second
            // leaves the area empty on that axis.
            if (P.x < x1 || P.x > x2 || P.y < y1 || P.y > y2) {
                return false;
            }
            return !Coord3Exists || (P.z >= z1 && P.z <= z2);
        case TAreaType::atMap:
            if (!FBrush) {
                return true;
            }
            for (const TPlane &Plane : FBrush->Planes()) {
                if (Plane.PointValues(P.x, P.y, P.z) < 0.0) {
                    return false;
                }
            }
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------

TAreaInfo &TAreaList::Add()
{
    FItems.push_back(std::make_unique<TAreaInfo>());
    return *FItems.back();
}

TAreaInfo &TAreaList::Add(std::unique_ptr<TAreaInfo> Area)
{
    if (!Area) {
        Area = std::make_unique<TAreaInfo>();
    }
    FItems.push_back(std::move(Area));
    return *FItems.back();
}

void TAreaList::UpdateAreas(TMapFile &Map)
{
    for (auto &Area : FItems) {
        Area->UpdateAreas(Map);
    }
}

bool TAreaList::PointInArea(const T3DPoint &P) const
{
    for (const auto &Area : FItems) {
        if (Area->PointInArea(P)) {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------

namespace
{

[[noreturn]] void FailFormat(const std::string &Argument)
{
    RaiseError(FmtMsg(TMsgId::msgIncorrectParameter, {Argument}));
}

/// Splits at "/": an empty part at the start or in the middle fails, one "/"
/// at the end is dropped.
bool SplitParts(std::string_view Value, std::vector<std::string_view> &Parts)
{
    std::size_t Pos;
    while ((Pos = Value.find('/')) != std::string_view::npos) {
        if (Pos == 0) {
            return false;
        }
        Parts.push_back(Value.substr(0, Pos));
        Value.remove_prefix(Pos + 1);
    }
    if (!Value.empty()) {
        Parts.push_back(Value);
    }
    return true;
}

bool IsAsciiLetter(char C)
{
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
}

bool IsDigit(char C)
{
    return C >= '0' && C <= '9';
}

/// A whole number of the "r" and "c" forms; a bad one is a format error of
/// the whole argument.
double WholeOrFail(std::string_view S, const std::string &Argument)
{
    std::int32_t V = 0;
    if (!TryStrToInt(S, V)) {
        FailFormat(Argument);
    }
    return V;
}

void ParseCentred(TAreaInfo &Area, const std::vector<std::string_view> &Parts, const std::string &Argument)
{
    if (Parts.size() < 3) {
        FailFormat(Argument);
    }
    const std::string_view S = Parts[1];
    const char First = S.front(); // parts are never empty
    if ((IsAsciiLetter(First) || First == '_') && Parts.size() == 3) {
        Area.EntityClass = std::string(S);
        Area.AreaCenterType =
            S.find('#') != std::string_view::npos ? TAreaCenterType::actID : TAreaCenterType::actEntityClass;
    } else if ((First == '-' || IsDigit(First)) && (Parts.size() == 4 || Parts.size() == 5)) {
        Area.AreaCenterType = TAreaCenterType::actPoint;
        Area.x1 = WholeOrFail(Parts[1], Argument);
        Area.y1 = WholeOrFail(Parts[2], Argument);
        Area.Coord3Exists = Parts.size() == 5;
        if (Area.Coord3Exists) {
            Area.z1 = WholeOrFail(Parts[3], Argument);
        }
    } else {
        FailFormat(Argument);
    }
    Area.R = WholeOrFail(Parts.back(), Argument);
}

void ParseBounds(TAreaInfo &Area, const std::vector<std::string_view> &Parts, const std::string &Argument)
{
    Area.AreaType = TAreaType::atBounds;
    Area.AreaCenterType = TAreaCenterType::actPoint;
    if (Parts.size() != 5 && Parts.size() != 7) {
        FailFormat(Argument);
    }
    // The corners report the conversion's own text, naming the bad part.
    Area.x1 = StrToInt(Parts[1]);
    Area.y1 = StrToInt(Parts[2]);
    Area.Coord3Exists = Parts.size() == 7;
    if (Area.Coord3Exists) {
        Area.z1 = StrToInt(Parts[3]);
        Area.x2 = StrToInt(Parts[4]);
        Area.y2 = StrToInt(Parts[5]);
        Area.z2 = StrToInt(Parts[6]);
    } else {
        Area.x2 = StrToInt(Parts[3]);
        Area.y2 = StrToInt(Parts[4]);
    }
}

void ParseMap(TAreaInfo &Area, const std::vector<std::string_view> &Parts, const std::string &Argument)
{
    Area.AreaType = TAreaType::atMap;
    Area.AreaCenterType = TAreaCenterType::actPoint;
    if (Parts.size() != 2) {
        FailFormat(Argument);
    }
    const std::string FileName(Parts[1]);
    if (!FileExists(FileName)) {
        RaiseError(FmtMsg(TMsgId::msgFileNotFound, {FileName}));
    }
    TMapFile Map;
    LoadMapFile(Map, FileName, TLoadFailure::lfDiagnostic);
    const TEntity *WorldSpawn = nullptr;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        if (Map[I].WorldSpawn()) {
            WorldSpawn = &Map[I];
            break;
        }
    }
    if (!WorldSpawn) {
        RaiseError(FmtMsg(TMsgId::msgWorldspawnNotFound, {FileName}));
    }
    for (const TBrush &B : WorldSpawn->Brushes) {
        // A patch encloses nothing: as a brush without faces it would hold
        // every point.
        if (B.IsPatch()) {
            continue;
        }
        TAreaInfo &Sub = Area.Areas().Add();
        Sub.AreaType = TAreaType::atMap;
        Sub.Brush().Assign(B);
        // Planes right away, so the area is usable even before it is resolved.
        Sub.Brush().PreparePlans();
    }
}

} // namespace

void ParseAreaSpec(TAreaInfo &Area, std::string_view Value, const std::string &Argument)
{
    std::vector<std::string_view> Parts;
    if (!SplitParts(Value, Parts) || Parts.empty()) {
        FailFormat(Argument);
    }
    const std::string_view Kind = Parts[0];
    if (Kind == "r" || Kind == "c") {
        Area.AreaType = Kind == "r" ? TAreaType::atRect : TAreaType::atRound;
        ParseCentred(Area, Parts, Argument);
    } else if (Kind == "b") {
        ParseBounds(Area, Parts, Argument);
    } else if (Kind == "m") {
        ParseMap(Area, Parts, Argument);
    } else {
        FailFormat(Argument);
    }
}

} // namespace brix
