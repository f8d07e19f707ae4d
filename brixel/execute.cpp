// Execution of a run: loading, the worldspawn-source file, the rule passes,
// the commands, the cut-off areas and the writing of the results.
#include <ostream>

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
        for (const std::string &Name : FindFiles(Mask)) {
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
    if (Target == nullptr) {
        Target = &State.SourceMap[State.SourceMap.Add(std::make_unique<TEntity>())];
    }
    const TEntity *Donor = State.WorldspawnSourceMap.FindEntity("worldspawn");
    if (Donor == nullptr) {
        RaiseError(FmtMsg(msgWorldspawnNotFound, {Name}));
    }
    Target->Props = Donor->Props;
    Target->Values = Donor->Values;
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

void DuplicateSource(TRunState &State)
{
    for (std::size_t I = 0; I < State.SourceMap.Count(); ++I) {
        State.DestMap.Add(State.SourceMap[I].Duplicate());
    }
}

void Extract(TRunState &State)
{
    std::vector<TEntity *> NonIndexedSources;
    for (std::size_t I = 0; I < State.SourceMap.Count(); ++I) {
        if (!State.SourceMap[I].Indexed()) {
            NonIndexedSources.push_back(&State.SourceMap[I]);
        }
    }
    std::vector<TEntity *> Candidates;
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        const TMapFile &Map = State.AddMaps[M];
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            const TEntity &E = Map[I];
            Candidates.clear();
            if (E.Indexed()) {
                TEntity *S = State.SourceMap.FindEntity(E.ID());
                if (S == nullptr) {
                    continue;
                }
                Candidates.push_back(S);
            } else {
                Candidates = NonIndexedSources;
            }
            for (TEntity *S : Candidates) {
                if (S->PropValue("classname") != E.PropValue("classname") ||
                    S->PropValue("spawnflags") != E.PropValue("spawnflags")) {
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
    }
    for (std::size_t I = 0; I < State.SourceMap.Count(); ++I) {
        TEntity &S = State.SourceMap[I];
        // The worldspawn stays even when every brush of it is found elsewhere:
        // a level needs its worldspawn and its properties. Only a rule removes it.
        if (!S.WorldSpawn() && !S.Brushes.Empty() && !S.Brushes.IsStored()) {
            S.SetIsStored(false);
        }
        if (S.WorldSpawn() || S.IsStored()) {
            State.DestMap.Add(S.Duplicate());
        }
    }
}

void Concat(TRunState &State)
{
    DuplicateSource(State);
    const bool Replace = ReplaceTextureMode;
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        const TMapFile &Map = State.AddMaps[M];
        for (std::size_t I = 0; I < Map.Count(); ++I) {
            const TEntity &E = Map[I];
            TEntity *A = E.Indexed() ? State.DestMap.FindAnalog(E) : nullptr;
            if (A == nullptr || State.IsNonUniqueId(E.ID())) {
                State.DestMap.Add(E.Duplicate());
                continue;
            }
            for (const TBrush &B : E.Brushes) {
                if (!B.IsStored()) {
                    continue;
                }
                const std::ptrdiff_t Found = A->Brushes.FindAnalog(B, !Replace);
                if (Found < 0) {
                    A->Brushes.Add(B);
                } else if (Replace) {
                    A->Brushes[static_cast<std::size_t>(Found)].ReplaceTextures(B);
                }
            }
        }
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
            DuplicateSource(State);
            State.DestMap.ReIndex();
            for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
                State.AddMaps[M].ReIndex();
            }
            break;
        case TCommand::cmdRmId:
            DuplicateSource(State);
            State.DestMap.RemoveID();
            for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
                State.AddMaps[M].RemoveID();
            }
            break;
        case TCommand::cmdRmDpId:
            DuplicateSource(State);
            State.DestMap.RemoveDupIDs();
            for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
                State.AddMaps[M].RemoveDupIDs();
            }
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
