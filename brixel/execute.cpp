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

void LoadSourceMap(TRunState &State)
{
    TMapFile &Source = State.SourceMap;
    LoadMapFile(Source, Source.FileName(), TLoadFailure::lfDiagnostic);
    // Written back as it reads, a text file that is not a map would become
    // an empty map: its text would be gone.
    if (Source.Count() == 0 && Source.HoldsOtherText()) {
        RaiseError(FmtMsg(TMsgId::msgNotAMapFile, {Source.FileName()}));
    }
}

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
            // A file is loaded once, and never as both source and additional
            // file, whatever path or link names it.
            const TFileIdentity Identity = FileIdentity(Name);
            if (State.SourceMap.CmpFileName(Name, Identity) || State.AddMaps.FindFile(Name) != nullptr) {
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
    // Every question first, then every file complete beside its target, and
    // only then are they put in place: a failure on the way leaves every file
    // of the run as it was, not some of them changed.
    std::vector<const TMapFile *> ToWrite;
    const auto Ask = [&](const TMapFile &Map) {
        switch (Map.AskOverwrite(Out, In)) {
            case TOverwrite::owWrite:
                ToWrite.push_back(&Map);
                break;
            case TOverwrite::owNoAnswer:
                State.Unanswered = true;
                break;
            case TOverwrite::owKeep:
                break;
        }
    };
    for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
        if (State.AddMaps[M].NeedSave()) {
            Ask(State.AddMaps[M]);
        }
    }
    Ask(State.DestMap);
    TWriteSet Files;
    for (const TMapFile *Map : ToWrite) {
        Files.Add(*Map);
    }
    Files.Commit(Out);
    WriteLine(Out, GetMsg(TMsgId::msgComplete));
}

} // namespace

void ExecuteRun(TRunState &State, std::ostream &Out, std::istream &In)
{
    LoadSourceMap(State);
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
    if (State.ConvertToValve) {
        ConvertToValve(State.DestMap);
    }
    WriteResults(State, Out, In);
}

} // namespace brix
