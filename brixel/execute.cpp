// Execution of a run: loading, the worldspawn-source file, the rule passes,
// the commands, the cut-off areas and the writing of the results.
#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "brixel/brixel.h"

namespace brix
{
namespace
{

void LoadSourceMap(TRunState &State)
{
    State.LoadError.clear();
    State.SourceMap.LoadFromFile(State.SourceMap.FileName(), State.LoadError);
    if (!State.LoadError.empty()) {
        throw EMapLoadError(State.LoadError);
    }
}

void LoadAdditionalMaps(TRunState &State, std::ostream &Out)
{
    for (const std::string &Mask : State.AddFileMasks) {
        const std::vector<std::string> Names = FindFiles(Mask);
        // Validation found it, but it may be gone since: a merge without it
        // must not be reported as complete.
        if (Names.empty()) {
            RaiseError(FmtMsg(msgFileNotFound, {Mask}));
        }
        for (const std::string &Name : Names) {
            // A file is loaded once, and never as both source and additional file.
            if (State.SourceMap.CmpFileName(Name) || State.AddMaps.FindFile(Name) != nullptr) {
                WriteLine(Out, FmtMsg(msgAdditionalFileSkipped, {Name}));
                continue;
            }
            TMapFile &Map = State.AddMaps.Add(std::make_unique<TMapFile>(Name));
            State.LoadError.clear();
            Map.LoadFromFile(Name, State.LoadError);
            if (!State.LoadError.empty()) {
                RaiseError(State.LoadError);
            }
        }
    }
}

void ApplyWorldspawnSource(TRunState &State, std::ostream &Out)
{
    const std::string &Name = State.WorldspawnSourceMap.FileName();
    if (Name.empty()) {
        return;
    }
    if (State.Command != TCommand::cmdConcat) {
        WriteLine(Out, FmtMsg(msgWorldspawnSourceSkipped, {Name}));
        return;
    }
    if (!FileExists(Name)) {
        RaiseError(FmtMsg(msgFileNotFound, {Name}));
    }
    State.LoadError.clear();
    State.WorldspawnSourceMap.LoadFromFile(Name, State.LoadError);
    if (!State.LoadError.empty()) {
        throw EMapLoadError(State.LoadError);
    }
    TEntity *Target = State.SourceMap.FindEntity("worldspawn");
    const bool NewTarget = Target == nullptr;
    if (NewTarget) {
        Target = &State.SourceMap[State.SourceMap.Add(std::make_unique<TEntity>())];
    }
    const TEntity *Donor = State.WorldspawnSourceMap.FindEntity("worldspawn");
    if (Donor == nullptr) {
        RaiseError(FmtMsg(msgWorldspawnNotFound, {Name}));
    }
    Target->Props = Donor->Props;
    Target->Values = Donor->Values;
    // A new entity that took a worldspawn's properties is the map's
    // worldspawn, as it would be had it been read so: otherwise the
    // additional maps' worldspawns would come in as second worldspawns.
    if (NewTarget) {
        Target->SetWorldSpawn(Target->PropValue("classname") == "worldspawn");
    }
}

// Applies to every entity of Map the rules whose kind is one of the two
// entity kinds or one of the two texture kinds given.
void ApplyRules(
    const TRules &Rules, TMapFile &Map, int EntityKind1, int EntityKind2, int TextureKind1, int TextureKind2)
{
    for (std::size_t I = 0; I < Map.Count(); ++I) {
        TEntity &E = Map[I];
        for (const TRule &R : Rules) {
            if (R.Rule == EntityKind1 || R.Rule == EntityKind2) {
                R.ApplyToEntity(E);
            } else if (R.Rule == TextureKind1 || R.Rule == TextureKind2) {
                R.ApplyToBrushes(E);
            }
        }
    }
}

/// The source's entities become the destination's: the source map is not
/// read after the command, so they are passed on, not copied (a copy would
/// differ only in its bounds, and no bounds are computed before the command).
void TakeSource(TRunState &State)
{
    for (std::unique_ptr<TEntity> &E : State.SourceMap.TakeAll()) {
        State.DestMap.Add(std::move(E));
    }
}

std::uint64_t MixKey(std::uint64_t H, std::uint64_t V)
{
    return (std::rotl(H, 5) ^ V) * 0x9E3779B97F4A7C15ull;
}

std::uint64_t MixKey(std::uint64_t H, std::string_view S)
{
    return MixKey(MixKey(H, std::hash<std::string_view>{}(S)), S.size());
}

bool SameClassAndFlags(const TEntity &A, const TEntity &B)
{
    return A.PropValue("classname") == B.PropValue("classname") &&
           A.PropValue("spawnflags") == B.PropValue("spawnflags");
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
                FBrushes[BrushKey(S, S.Brushes[J])].Items.push_back({&S, J});
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
            if (SameClassAndFlags(*Done, E) && Done->PropValue("origin") == E.PropValue("origin")) {
                return; // an equal entity removed these already
            }
        }
        for (TEntity *S : Bucket.Entities) {
            if (SameClassAndFlags(*S, E) && S->PropValue("origin") == E.PropValue("origin")) {
                S->SetIsStored(false);
            }
        }
        Bucket.Done.push_back(&E);
    }

    /// B is a brush of E: in every source entity of E's class name and spawn
    /// flags, the first brush equal to B (textures included) is removed.
    void MarkBrushes(const TEntity &E, const TBrush &B)
    {
        const auto It = FBrushes.find(BrushKey(E, B));
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
            if (S != Marked && SameClassAndFlags(*S, E) && std::as_const(S->Brushes)[J].Cmp(B, true)) {
                S->Brushes[J].SetIsStored(false);
                Marked = S;
            }
        }
        Bucket.Done.push_back({&E, &B});
    }

private:
    static std::uint64_t PointKey(const TEntity &E)
    {
        const std::uint64_t H = MixKey(MixKey(1, E.PropValue("classname")), E.PropValue("spawnflags"));
        return MixKey(H, E.PropValue("origin"));
    }
    static std::uint64_t BrushKey(const TEntity &E, const TBrush &B)
    {
        const std::uint64_t H = MixKey(MixKey(2, E.PropValue("classname")), E.PropValue("spawnflags"));
        return MixKey(H, GeometryKey(B));
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

void Extract(TRunState &State)
{
    TNonIndexedSources NonIndexedSources(State.SourceMap);
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        const TMapFile &Map = State.AddMaps[M];
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
            TEntity *S = State.SourceMap.FindEntity(E.ID());
            if (S == nullptr || !SameClassAndFlags(*S, E)) {
                continue;
            }
            if (E.Brushes.Empty() && S->Brushes.Empty()) {
                if (S->PropValue("origin") == E.PropValue("origin")) {
                    S->SetIsStored(false);
                }
                continue;
            }
            for (const TBrush &B : E.Brushes) {
                const std::ptrdiff_t Found = S->Brushes.FindAnalog(B, true);
                if (Found >= 0) {
                    S->Brushes[static_cast<std::size_t>(Found)].SetIsStored(false);
                }
            }
        }
    }
    for (std::unique_ptr<TEntity> &S : State.SourceMap.TakeAll()) {
        // The worldspawn stays even when every brush of it is found elsewhere:
        // a level needs its worldspawn and its properties. Only a rule removes it.
        if (!S->WorldSpawn() && !S->Brushes.Empty() && !S->Brushes.IsStored()) {
            S->SetIsStored(false);
        }
        if (S->WorldSpawn() || S->IsStored()) {
            State.DestMap.Add(std::move(S));
        }
    }
}

void Concat(TRunState &State)
{
    TakeSource(State);
    const bool Replace = ReplaceTextureMode;
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        // Concat never writes an additional map back, so its entities and
        // brushes move into the destination, and what is merged is freed.
        for (std::unique_ptr<TEntity> &Taken : State.AddMaps[M].TakeAll()) {
            TEntity &E = *Taken;
            TEntity *A = E.Indexed() ? State.DestMap.FindAnalog(E) : nullptr;
            if (A == nullptr || State.IsNonUniqueId(E.ID())) {
                State.DestMap.Add(std::move(Taken));
                continue;
            }
            for (std::size_t J = 0; J < E.Brushes.Count(); ++J) {
                TBrush &B = E.Brushes[J];
                if (!B.IsStored()) {
                    continue;
                }
                const std::ptrdiff_t Found = A->Brushes.FindAnalog(B, !Replace);
                if (Found < 0) {
                    A->Brushes.Add(std::move(B));
                } else if (Replace) {
                    A->Brushes[static_cast<std::size_t>(Found)].ReplaceTextures(B);
                }
            }
            Taken.reset();
        }
    }
}

// The identifier commands: the destination gets the source's entities and the
// operation, and every additional map gets it in place.
void RunIdentifierCommand(TRunState &State, void (TMapFile::*Operation)())
{
    TakeSource(State);
    (State.DestMap.*Operation)();
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        (State.AddMaps[M].*Operation)();
    }
}

void RunCommand(TRunState &State)
{
    switch (State.Command) {
        case TCommand::cmdExtract:
            Extract(State);
            break;
        case TCommand::cmdConcat:
            Concat(State);
            break;
        case TCommand::cmdMkId:
            RunIdentifierCommand(State, &TMapFile::ReIndex);
            break;
        case TCommand::cmdRmId:
            RunIdentifierCommand(State, &TMapFile::RemoveID);
            break;
        case TCommand::cmdRmDpId:
            RunIdentifierCommand(State, &TMapFile::RemoveDupIDs);
            break;
        case TCommand::cmdNone:
        case TCommand::cmdHelp:
            break;
    }
}

void CutOffAreas(TRunState &State)
{
    State.BrushAreas.UpdateAreas(State.DestMap);
    State.EntityAreas.UpdateAreas(State.DestMap);
    for (std::size_t I = 0; I < State.DestMap.Count(); ++I) {
        TEntity &E = State.DestMap[I];
        if (E.WorldSpawn()) {
            if (State.BrushAreas.Empty()) {
                continue;
            }
            for (TBrush &B : E.Brushes) {
                B.CalcMinMax();
                B.SetIsStored(B.IsStored() && State.BrushAreas.PointInArea(B.Center));
            }
        } else if (!State.EntityAreas.Empty()) {
            // Bounds are computed for removed entities too, so an entity
            // without a place is reported whatever else removed it.
            E.CalcMinMax();
            E.SetIsStored(E.IsStored() && State.EntityAreas.PointInArea(E.Center));
        }
    }
}

void WriteResults(TRunState &State, std::ostream &Out, std::istream &In)
{
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        if (State.AddMaps[M].NeedSave()) {
            State.AddMaps[M].Save(Out, In);
        }
    }
    State.DestMap.Save(Out, In);
    WriteLine(Out, GetMsg(msgComplete));
}

} // namespace

void ExecuteRun(TRunState &State, std::ostream &Out, std::istream &In)
{
    LoadSourceMap(State);
    LoadAdditionalMaps(State, Out);
    ApplyWorldspawnSource(State, Out);
    ApplyRules(State.Rules, State.SourceMap, rkDe, rkDse, rkDt, rkDst);
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        ApplyRules(State.Rules, State.AddMaps[M], rkDe, rkDae, rkDt, rkDat);
    }
    RunCommand(State);
    ApplyRules(State.Rules, State.DestMap, 0, 0, rkDt, rkDdt);
    CutOffAreas(State);
    WriteResults(State, Out, In);
}

} // namespace brix
