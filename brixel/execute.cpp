// Execution of a run: loading the maps the command line names, the library's
// rule passes, command and cut-off areas, and the writing of the results.
#include <ostream>
#include <string_view>
#include <vector>

#include "brixel/brixel.h"
#include "brixlib/commands.h"

namespace brix
{
namespace
{

void LoadAdditionalMaps(TRunState &State, std::ostream &Out)
{
    for (const std::string &Mask : State.AddFileMasks) {
        const std::vector<std::string> Names = FindFiles(Mask);
        // Validation found it, but it may be gone since: a merge without it
        // must not be reported as complete.
        if (Names.empty()) {
            RaiseError(FmtMsg(TMsgId::msgFileNotFound, {Mask}));
        }
        for (const std::string &Name : Names) {
            // A file is loaded once, and never as both source and additional file.
            if (State.SourceMap.CmpFileName(Name) || State.AddMaps.FindFile(Name) != nullptr) {
                WriteLine(Out, FmtMsg(TMsgId::msgAdditionalFileSkipped, {Name}));
                continue;
            }
            LoadMapFile(State.AddMaps.Add(std::make_unique<TMapFile>()), Name, TLoadFailure::lfError);
        }
    }
}

void ApplyWorldspawnSource(TRunState &State, std::ostream &Out)
{
    const std::string Name = State.WorldspawnSourceMap.FileName();
    if (Name.empty()) {
        return;
    }
    if (State.Command != TCommand::cmdConcat) {
        WriteLine(Out, FmtMsg(TMsgId::msgWorldspawnSourceSkipped, {Name}));
        return;
    }
    if (!FileExists(Name)) {
        RaiseError(FmtMsg(TMsgId::msgFileNotFound, {Name}));
    }
    LoadMapFile(State.WorldspawnSourceMap, Name, TLoadFailure::lfDiagnostic);
    TakeWorldspawnProperties(State.SourceMap, State.WorldspawnSourceMap);
}

void RunCommand(TRunState &State)
{
    switch (State.Command) {
        case TCommand::cmdExtract:
            Extract(State.DestMap, State.SourceMap, State.AddMaps);
            break;
        case TCommand::cmdConcat:
            Concat(State.DestMap, State.SourceMap, State.AddMaps, State.ConcatOptions);
            break;
        case TCommand::cmdMkId:
            MakeIds(State.DestMap, State.SourceMap, State.AddMaps);
            break;
        case TCommand::cmdRmId:
            RemoveIds(State.DestMap, State.SourceMap, State.AddMaps);
            break;
        case TCommand::cmdRmDpId:
            RemoveDupIds(State.DestMap, State.SourceMap, State.AddMaps);
            break;
        case TCommand::cmdNone:
        case TCommand::cmdHelp:
            break;
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
    WriteLine(Out, GetMsg(TMsgId::msgComplete));
}

} // namespace

void ExecuteRun(TRunState &State, std::ostream &Out, std::istream &In)
{
    LoadMapFile(State.SourceMap, State.SourceMap.FileName(), TLoadFailure::lfDiagnostic);
    LoadAdditionalMaps(State, Out);
    ApplyWorldspawnSource(State, Out);
    ApplyRules(State.Rules, State.SourceMap, TMapRole::mrSource);
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        ApplyRules(State.Rules, State.AddMaps[M], TMapRole::mrAdditional);
    }
    RunCommand(State);
    // Renamed first, so the destination's texture rules see the new names.
    RenameTextures(State.DestMap, State.TextureRenames);
    ApplyRules(State.Rules, State.DestMap, TMapRole::mrDestination);
    CutOffAreas(State.DestMap, State.BrushAreas, State.EntityAreas);
    WriteResults(State, Out, In);
}

} // namespace brix
