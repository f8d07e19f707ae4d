// The commands over maps: concat, extract, the identifier commands, the rule
// passes, the cut-off areas and the worldspawn properties of another map.
#include "brixlib/commands.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "brixlib/entitykeys.h"
#include "brixlib/text.h"
#include "lookup.h"

namespace brix
{

void TConcatOptions::AddNonUniqueId(std::string_view Id)
{
    FNonUniqueIds.insert(CaseFoldKey(Id));
}

bool TConcatOptions::IsNonUniqueId(std::string_view Id) const
{
    // "#temp" marks placeholder ids that must never be merged.
    static const std::string Temp = CaseFoldKey("#temp");
    const std::string Key = CaseFoldKey(Id);
    return Key == Temp || FNonUniqueIds.count(Key) != 0;
}

namespace
{

/// The source's entities become the destination's: the source map is not
/// read after the command, so they are passed on, not copied (a copy would
/// differ only in its bounds, and no bounds are computed before the command).
void TakeSource(TMapFile &Dest, TMapFile &Source)
{
    // The editor's lines at the top of the source describe the result too.
    Dest.SetHeader(Source.Header());
    for (std::unique_ptr<TEntity> &E : Source.TakeAll()) {
        Dest.Add(std::move(E));
    }
}

/// One lookup per brush list that is searched, made at its first search.
class TBrushLookups
{
public:
    TBrushLookup &For(const TBrushList &List) { return FLookups.try_emplace(&List, List).first->second; }

private:
    std::unordered_map<const TBrushList *, TBrushLookup> FLookups;
};

bool SameClassAndFlags(const TEntity &A, const TEntity &B)
{
    return A.PropValue(KeyClassName) == B.PropValue(KeyClassName) &&
           A.PropValue(KeySpawnFlags) == B.PropValue(KeySpawnFlags);
}

/// The source entities without identifier, which every additional entity
/// without identifier is compared with, found by what has to match instead
/// of by trying them all: point entities by class name, spawn flags and
/// origin; brushes of brush entities by class name, spawn flags and geometry.
/// The removals of a candidate do not depend on its flags or on the order in
/// which candidates are visited, so the result is that of the full scan.
class TNonIndexedSources
{
public:
    explicit TNonIndexedSources(TMapFile &Source)
    {
        for (std::size_t I = 0; I < Source.Count(); ++I) {
            TEntity &S = Source[I];
            if (S.Indexed()) {
                continue;
            }
            if (S.Brushes.Empty()) {
                FPoints[PointKey(S)].Entities.push_back(&S);
                continue;
            }
            for (std::size_t J = 0; J < S.Brushes.Count(); ++J) {
                FBrushes[EntityBrushKey(S, S.Brushes[J])].Items.push_back({&S, J});
            }
        }
    }

    /// E has no brushes: removes every brushless source entity of its class
    /// name, spawn flags and origin text.
    void MarkPointEntities(const TEntity &E)
    {
        const auto It = FPoints.find(PointKey(E));
        if (It == FPoints.end()) {
            return;
        }
        TPointBucket &Bucket = It->second;
        for (const TEntity *Done : Bucket.Done) {
            if (SameClassAndFlags(*Done, E) && Done->PropValue(KeyOrigin) == E.PropValue(KeyOrigin)) {
                return; // an equal entity removed these already
            }
        }
        for (TEntity *S : Bucket.Entities) {
            if (SameClassAndFlags(*S, E) && S->PropValue(KeyOrigin) == E.PropValue(KeyOrigin)) {
                S->SetIsStored(false);
            }
        }
        Bucket.Done.push_back(&E);
    }

    /// B is a brush of E: in every source entity of E's class name and spawn
    /// flags, the first brush equal to B (textures included) is removed.
    void MarkBrushes(const TEntity &E, const TBrush &B)
    {
        const auto It = FBrushes.find(EntityBrushKey(E, B));
        if (It == FBrushes.end()) {
            return;
        }
        TBrushBucket &Bucket = It->second;
        for (const auto &[DoneEntity, DoneBrush] : Bucket.Done) {
            if (SameClassAndFlags(*DoneEntity, E) && DoneBrush->Cmp(B, true)) {
                return;
            }
        }
        // Items are in source order, and in brush order within an entity.
        const TEntity *Marked = nullptr;
        for (const auto &[S, J] : Bucket.Items) {
            if (S != Marked && SameClassAndFlags(*S, E) && S->Brushes[J].Cmp(B, true)) {
                S->Brushes[J].SetIsStored(false);
                Marked = S;
            }
        }
        Bucket.Done.push_back({&E, &B});
    }

private:
    static std::uint64_t PointKey(const TEntity &E)
    {
        return TKeyHash(1)
            .Add(E.PropValue(KeyClassName))
            .Add(E.PropValue(KeySpawnFlags))
            .Add(E.PropValue(KeyOrigin))
            .Key();
    }
    static std::uint64_t EntityBrushKey(const TEntity &E, const TBrush &B)
    {
        return TKeyHash(2).Add(E.PropValue(KeyClassName)).Add(E.PropValue(KeySpawnFlags)).Add(BrushKey(B, true)).Key();
    }

    struct TPointBucket
    {
        std::vector<TEntity *> Entities;
        std::vector<const TEntity *> Done; ///< additional entities already applied
    };
    struct TBrushBucket
    {
        std::vector<std::pair<TEntity *, std::size_t>> Items;
        std::vector<std::pair<const TEntity *, const TBrush *>> Done;
    };
    std::unordered_map<std::uint64_t, TPointBucket> FPoints;
    std::unordered_map<std::uint64_t, TBrushBucket> FBrushes;
};

using TIdOperation = void (TMapFile::*)();

void RunIdentifierCommand(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, TIdOperation Operation)
{
    TakeSource(Dest, Source);
    (Dest.*Operation)();
    for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
        (AddMaps[M].*Operation)();
    }
}

} // namespace

void Concat(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps, const TConcatOptions &Options)
{
    TakeSource(Dest, Source);
    const bool Replace = Options.ReplaceTextures;
    // Merging only adds brushes to entities of the destination and appends
    // entities: neither changes what the lookups key on.
    TEntityLookup Entities(Dest);
    TBrushLookups Brushes;
    for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
        // Concat never writes an additional map back, so its entities and
        // brushes move into the destination, and what is merged is freed.
        for (std::unique_ptr<TEntity> &Taken : AddMaps[M].TakeAll()) {
            TEntity &E = *Taken;
            const std::ptrdiff_t Found = E.Indexed() ? Entities.FindAnalog(E) : -1;
            if (Found < 0 || Options.IsNonUniqueId(E.IDView())) {
                Dest.Add(std::move(Taken));
                continue;
            }
            TEntity &A = Dest[static_cast<std::size_t>(Found)];
            TBrushLookup &Lookup = Brushes.For(A.Brushes);
            for (TBrush &B : E.Brushes) {
                if (!B.IsStored()) {
                    continue;
                }
                const std::ptrdiff_t Same = Lookup.FindAnalog(B, !Replace);
                if (Same < 0) {
                    A.Brushes.Add(std::move(B));
                } else if (Replace) {
                    A.Brushes[static_cast<std::size_t>(Same)].ReplaceTextures(B);
                    Lookup.Changed(static_cast<std::size_t>(Same));
                }
            }
            Taken.reset();
        }
    }
}

void Extract(TMapFile &Dest, TMapFile &Source, const TMapFileList &AddMaps)
{
    TNonIndexedSources NonIndexedSources(Source);
    // Extract changes only IsStored flags of the source, which no lookup keys on.
    TEntityLookup Entities(Source);
    TBrushLookups Brushes;
    for (std::size_t M = 0; M < AddMaps.Count(); ++M) {
        const TMapFile &Map = AddMaps[M];
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            const TEntity &E = Map[I];
            if (!E.Indexed()) {
                if (E.Brushes.Empty()) {
                    NonIndexedSources.MarkPointEntities(E);
                } else {
                    for (const TBrush &B : E.Brushes) {
                        NonIndexedSources.MarkBrushes(E, B);
                    }
                }
                continue;
            }
            const std::ptrdiff_t Found = Entities.FindEntity(E.IDView());
            if (Found < 0) {
                continue;
            }
            TEntity &S = Source[static_cast<std::size_t>(Found)];
            if (!SameClassAndFlags(S, E)) {
                continue;
            }
            if (E.Brushes.Empty() && S.Brushes.Empty()) {
                // A worldspawn without brushes is no point entity: the level
                // needs it all the same.
                if (!S.WorldSpawn() && S.PropValue(KeyOrigin) == E.PropValue(KeyOrigin)) {
                    S.SetIsStored(false);
                }
                continue;
            }
            TBrushLookup &Lookup = Brushes.For(S.Brushes);
            for (const TBrush &B : E.Brushes) {
                const std::ptrdiff_t Same = Lookup.FindAnalog(B, true);
                if (Same >= 0) {
                    S.Brushes[static_cast<std::size_t>(Same)].SetIsStored(false);
                }
            }
        }
    }
    for (std::unique_ptr<TEntity> &S : Source.TakeAll()) {
        // The worldspawn stays even when every brush of it is found elsewhere:
        // a level needs its worldspawn and its properties. Only a rule removes it.
        if (!S->WorldSpawn() && !S->Brushes.Empty() && !S->Brushes.IsStored()) {
            S->SetIsStored(false);
        }
        if (S->WorldSpawn() || S->IsStored()) {
            Dest.Add(std::move(S));
        }
    }
}

void MakeIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps)
{
    RunIdentifierCommand(Dest, Source, AddMaps, &TMapFile::ReIndex);
}

void RemoveIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps)
{
    RunIdentifierCommand(Dest, Source, AddMaps, &TMapFile::RemoveID);
}

void RemoveDupIds(TMapFile &Dest, TMapFile &Source, TMapFileList &AddMaps)
{
    RunIdentifierCommand(Dest, Source, AddMaps, &TMapFile::RemoveDupIDs);
}

void ApplyRules(const TRules &Rules, TMapFile &Map, TMapRole Role)
{
    std::vector<TMask> DeleteLayers;
    std::vector<TMask> KeepLayers;
    for (const TRule &R : Rules) {
        if (R.AppliesTo(Role) && R.IsLayerRule()) {
            (R.Rule == TRuleKind::rkDl ? DeleteLayers : KeepLayers).push_back(R.Mask());
        }
    }
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        TEntity &E = Map[I];
        for (const TRule &R : Rules) {
            if (!R.AppliesTo(Role) || R.IsLayerRule()) {
                continue;
            }
            if (R.IsEntityRule()) {
                R.ApplyToEntity(E);
            } else {
                R.ApplyToBrushes(E);
            }
        }
    }
    // Rules only clear flags, so the layer pass may come after the others.
    if (!DeleteLayers.empty() || !KeepLayers.empty()) {
        RemoveLayers(Map, DeleteLayers, KeepLayers);
    }
}

bool IsWorldGeometry(const TEntity &E)
{
    const std::string &Class = E.PropValue(KeyClassName);
    return Class == ClassFuncGroup || Class.starts_with(ClassDetailPrefix);
}

void CutOffAreas(TMapFile &Map, TAreaList &BrushAreas, TAreaList &EntityAreas)
{
    BrushAreas.UpdateAreas(Map);
    EntityAreas.UpdateAreas(Map);
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        TEntity &E = Map[I];
        // Compilers merge groups and detail into the world: a cut through the
        // world must cut them brush by brush too, or a region keeps them whole.
        if (E.WorldSpawn() || IsWorldGeometry(E)) {
            if (BrushAreas.Empty()) {
                continue;
            }
            for (TBrush &B : E.Brushes) {
                B.CalcMinMax();
                B.SetIsStored(B.IsStored() && BrushAreas.PointInArea(B.Bounds.Center));
            }
        } else if (!EntityAreas.Empty()) {
            // Bounds are computed for removed entities too, so an entity
            // without a place is reported whatever else removed it.
            E.CalcMinMax();
            E.SetIsStored(E.IsStored() && EntityAreas.PointInArea(E.Bounds.Center));
        }
    }
}

namespace
{

bool IsTbEntity(const TEntity &E, std::string_view Type)
{
    return E.PropValue(KeyTbType) == Type && E.PropValue(KeyClassName) == ClassFuncGroup;
}

/// The positions of the layers or of the groups of a map by "_tb_id"; the
/// first of equal ids wins. An empty id is left out, so that a missing
/// "_tb_layer" or "_tb_group" (read as empty) names nothing.
std::unordered_map<std::string_view, std::size_t> TbEntitiesById(const TMapFile &Map, std::string_view Type)
{
    std::unordered_map<std::string_view, std::size_t> Found;
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        const std::string &Id = Map[I].PropValue(KeyTbId);
        if (!Id.empty() && IsTbEntity(Map[I], Type)) {
            Found.try_emplace(Id, I);
        }
    }
    return Found;
}

} // namespace

std::vector<const TEntity *> FindLayers(const TMapFile &Map)
{
    const auto Layers = TbEntitiesById(Map, TbTypeLayer);
    const auto Groups = TbEntitiesById(Map, TbTypeGroup);
    enum class TState : std::uint8_t
    {
        stUnknown,
        stOnPath,
        stDone
    };
    std::vector<TState> State(Map.Count(), TState::stUnknown);
    std::vector<const TEntity *> Result(Map.Count(), nullptr);
    std::vector<std::size_t> Path;
    // A chain of groups is walked without recursion (nesting may be deep in a
    // hostile file) and every group on it learns the answer at once.
    for (std::size_t Start = 0; Start < Map.Count(); ++Start) {
        const TEntity *Layer = nullptr;
        std::size_t At = Start;
        Path.clear();
        while (true) {
            if (State[At] == TState::stDone) {
                Layer = Result[At];
                break;
            }
            if (State[At] == TState::stOnPath) {
                break; // a cycle of groups leads to no layer
            }
            State[At] = TState::stOnPath;
            Path.push_back(At);
            const TEntity &E = Map[At];
            if (E.WorldSpawn()) {
                break;
            }
            if (IsTbEntity(E, TbTypeLayer)) {
                Layer = &E;
                break;
            }
            if (const auto It = Layers.find(E.PropValue(KeyTbLayer)); It != Layers.end()) {
                Layer = &Map[It->second];
                break;
            }
            const auto It = Groups.find(E.PropValue(KeyTbGroup));
            if (It == Groups.end()) {
                break;
            }
            At = It->second;
        }
        for (const std::size_t P : Path) {
            State[P] = TState::stDone;
            Result[P] = Layer;
        }
    }
    return Result;
}

std::string_view LayerName(const TEntity *Layer)
{
    return Layer == nullptr ? TbDefaultLayerName : std::string_view(Layer->PropValue(KeyTbName));
}

void RemoveLayers(TMapFile &Map, const std::vector<TMask> &Delete, const std::vector<TMask> &Keep)
{
    // As with every rule, an empty name matches no mask.
    const auto AnyMatches = [](const std::vector<TMask> &Masks, std::string_view Name) {
        return !Name.empty() &&
               std::any_of(Masks.begin(), Masks.end(), [Name](const TMask &M) { return M.Matches(Name); });
    };
    const std::vector<const TEntity *> Layers = FindLayers(Map);
    std::unordered_map<const TEntity *, bool> Removed; // one decision per layer
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        const auto [It, New] = Removed.try_emplace(Layers[I], false);
        if (New) {
            const std::string_view Name = LayerName(Layers[I]);
            It->second =
                (Layers[I] != nullptr && AnyMatches(Delete, Name)) || (!Keep.empty() && !AnyMatches(Keep, Name));
        }
        if (!It->second) {
            continue;
        }
        TEntity &E = Map[I];
        if (E.WorldSpawn()) {
            // The level's properties stay; only its brushes are the layer's.
            for (TBrush &B : E.Brushes) {
                B.SetIsStored(false);
            }
        } else {
            E.SetIsStored(false);
        }
    }
}

void RenameTextures(TMapFile &Map, const std::vector<TTextureRename> &Renames)
{
    for (const TTextureRename &R : Renames) {
        R.Mask.Validate();
    }
    if (Renames.empty()) {
        return;
    }
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        for (TBrush &B : Map[I].Brushes) {
            for (TBrushSide &Side : B.SideList()) {
                for (const TTextureRename &R : Renames) {
                    if (R.Mask.Matches(Side.texture)) {
                        Side.texture = R.Name;
                    }
                }
            }
        }
    }
}

void TakeWorldspawnProperties(TMapFile &Map, const TMapFile &Donor)
{
    // The donor first: a failure leaves the map as it was.
    const TEntity *Source = Donor.FindEntity(ClassWorldSpawn);
    if (Source == nullptr) {
        RaiseError(FmtMsg(TMsgId::msgWorldspawnNotFound, {Donor.FileName()}));
    }
    TEntity *Target = Map.FindEntity(ClassWorldSpawn);
    const bool NewTarget = Target == nullptr;
    if (NewTarget) {
        Target = &Map[Map.Add(std::make_unique<TEntity>())];
    }
    Target->Props = Source->Props;
    Target->Values = Source->Values;
    // A new entity that took a worldspawn's properties is the map's
    // worldspawn, as it would be had it been read so: otherwise the
    // additional maps' worldspawns would come in as second worldspawns.
    if (NewTarget) {
        Target->SetWorldSpawn(Target->PropValue(KeyClassName) == ClassWorldSpawn);
    }
}

} // namespace brix
