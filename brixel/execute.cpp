// Execution of a run: loading the maps the command line names, the library's
// rule passes, command and cut-off areas, and the writing of the results.
#include <optional>
#include <ostream>
#include <sstream>
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
            Extract(State.DestMap, State.SourceMap, State.AddMaps, State.Stats);
            break;
        case TCommand::cmdConcat:
            Concat(State.DestMap, State.SourceMap, State.AddMaps, State.ConcatOptions, State.Stats);
            break;
        case TCommand::cmdMkId:
            MakeIds(State.DestMap, State.SourceMap, State.AddMaps, State.Stats);
            break;
        case TCommand::cmdRmId:
            RemoveIds(State.DestMap, State.SourceMap, State.AddMaps, State.Stats);
            break;
        case TCommand::cmdRmDpId:
            RemoveDupIds(State.DestMap, State.SourceMap, State.AddMaps, State.Stats);
            break;
        case TCommand::cmdNone:
        case TCommand::cmdHelp:
            break;
    }
}

std::string CommandSummary(TCommand Command, const TCommandStats &S)
{
    switch (Command) {
        case TCommand::cmdConcat:
            return FmtMsg(TMsgId::msgConcatCounts, {DecimalText(S.BrushesAdded), DecimalText(S.BrushesThere),
                                                       DecimalText(S.EntitiesAppended), DecimalText(S.EntitiesMerged)});
        case TCommand::cmdExtract:
            return FmtMsg(TMsgId::msgExtractCounts, {DecimalText(S.EntitiesLeftOut), DecimalText(S.BrushesLeftOut)});
        case TCommand::cmdMkId:
            return FmtMsg(TMsgId::msgIdsGiven, {DecimalText(S.IdsChanged)});
        case TCommand::cmdRmId:
            return FmtMsg(TMsgId::msgIdsRemoved, {DecimalText(S.IdsChanged)});
        case TCommand::cmdRmDpId:
            return FmtMsg(TMsgId::msgDupIdsRemoved, {DecimalText(S.IdsChanged)});
        case TCommand::cmdNone:
        case TCommand::cmdHelp:
            break;
    }
    return {};
}

/// Dest written already, when the run was read and written piece by piece:
/// its file and what it holds.
struct TStreamedDest
{
    TAtomicFileWriter &File;
    TMapFile::TCounts Counts;
};

void WriteResults(TRunState &State, std::ostream &Out, std::istream &In, std::optional<TStreamedDest> Streamed = {})
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
        if (Map == &State.DestMap && Streamed) {
            Files.Add(Map->FileName(), std::move(Streamed->File), Streamed->Counts);
        } else {
            Files.Add(*Map);
        }
    }
    Files.Commit(Out, State.Verbose);
    if (State.Verbose) {
        WriteLine(Out, CommandSummary(State.Command, State.Stats));
    }
    WriteLine(Out, GetMsg(TMsgId::msgComplete));
}

/// Whether the run may read, change and write the source a piece at a time,
/// so that a map of any size takes little memory: a command whose changes
/// each look at one entity of the source (mkid reads it twice: its numbers
/// follow the highest of the whole map; concat and extract look up the
/// additional maps, read whole), and no mask that would raise its error where
/// the passes over the whole map raise it.
bool CanStream(const TRunState &State)
{
    // Extract and concat look up the additional maps, which are read whole.
    // A concat that gives existing brushes other textures changes what may
    // have been written already.
    const bool WithAddMaps = State.Command == TCommand::cmdExtract ||
                             (State.Command == TCommand::cmdConcat && !State.ConcatOptions.ReplaceTextures);
    if (State.Command == TCommand::cmdNone || State.Command == TCommand::cmdHelp ||
        (!WithAddMaps && !State.AddFileMasks.empty()) || !State.WorldspawnSourceMap.FileName().empty() ||
        State.ConvertToValve) {
        return false;
    }
    for (const TAreaList *Areas : {&State.BrushAreas, &State.EntityAreas}) {
        for (std::size_t I = 0; I < Areas->Count(); ++I) {
            if ((*Areas)[I].AreaCenterType != TAreaCenterType::actPoint) {
                return false; // areas round entities are found in the whole map
            }
        }
    }
    try {
        for (const TRule &R : State.Rules) {
            if (R.IsLayerRule()) {
                return false;
            }
            R.Mask().Validate();
        }
        for (const TTextureRename &R : State.TextureRenames) {
            R.Mask.Validate();
        }
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

/// The identifier command's change of one entity; whether it changed it.
bool ChangeId(TCommand Command, TEntity &E, TIdNumbers &Numbers, std::string_view NamePart, TRepeatedIds &Ids)
{
    switch (Command) {
        case TCommand::cmdMkId:
            return Numbers.Give(E, NamePart);
        case TCommand::cmdRmId:
            return E.RemoveID();
        case TCommand::cmdRmDpId:
            return Ids.RemoveRepeated(E);
        case TCommand::cmdConcat:
        case TCommand::cmdExtract:
        case TCommand::cmdNone:
        case TCommand::cmdHelp:
            break;
    }
    return false;
}

/// Tells the first call of a stream's processing for each entity, however
/// many pieces its block takes.
class TFirstCall
{
public:
    bool operator()(const TEntity &E, bool Whole)
    {
        const bool First = FOpen != &E;
        // The next entity may take the place in memory of one that is closed.
        FOpen = Whole ? nullptr : &E;
        return First;
    }

private:
    const TEntity *FOpen = nullptr;
};

/// Streams the source as LoadSourceMap reads it, with its errors; false when
/// the map must be read whole.
bool StreamSource(const std::string &Name, TLineWriter &Writer, const TMapStream::TProcess &Process, TMapStream &Stream)
{
    std::string Error;
    const bool Streamed = Stream.Run(Name, Writer, Process, Error);
    if (!Error.empty()) {
        RaiseLoadError(Name, Stream.ErrorLine(), Error, TLoadFailure::lfDiagnostic);
    }
    // As for the map read whole: a text that is no map is not written back.
    if (Streamed && Stream.EntitiesRead() == 0 && Stream.HoldsOtherText()) {
        RaiseError(FmtMsg(TMsgId::msgNotAMapFile, {Name}));
    }
    return Streamed;
}

/// The run of CanStream, the changes of the passes over the whole map made
/// entity by entity. False when the map must be read whole after all: nothing
/// was printed or changed then.
bool StreamRun(TRunState &State, std::ostream &Out, std::istream &In)
{
    // A destination that cannot be written, or a write that fails, is left to
    // the run over the whole map: it reports the failure after the question.
    std::optional<TAtomicFileWriter> File;
    try {
        File.emplace(State.DestMap.FileName());
    } catch (const std::exception &) {
        return false;
    }
    bool WriteFailed = false;
    TLineWriter Writer;
    Writer.SetSink([&File, &WriteFailed](std::string_view Piece) {
        try {
            if (!WriteFailed) {
                File->Write(Piece);
            }
        } catch (const std::exception &) {
            WriteFailed = true;
        }
    });
    bool Prepared = false;
    const auto Prepare = [&State, &Prepared] {
        if (!Prepared) {
            TMapFile None; // point areas look at no map
            State.BrushAreas.UpdateAreas(None);
            State.EntityAreas.UpdateAreas(None);
            Prepared = true;
        }
    };
    const std::string &Name = State.SourceMap.FileName();
    // The additional maps are read first but reported as if after the source:
    // their lines wait, and a failure among them is left to the whole run.
    std::ostringstream AddMapLines;
    std::optional<TExtractStream> Extracting;
    std::optional<TConcatStream> Concatenating;
    if (State.Command == TCommand::cmdExtract || !State.AddFileMasks.empty()) {
        try {
            LoadAdditionalMaps(State, AddMapLines);
        } catch (const std::exception &) {
            State.AddMaps.Clear();
            return false;
        }
        for (std::size_t M = 0; M < State.AddMaps.Count(); ++M) {
            ApplyRules(State.Rules, State.AddMaps[M], TMapRole::mrAdditional);
        }
        if (State.Command == TCommand::cmdExtract) {
            Extracting.emplace(State.AddMaps);
        } else if (State.AddMaps.Count() > 0) {
            Concatenating.emplace(State.AddMaps, State.ConcatOptions);
        }
    }
    TIdNumbers Numbers;
    if (State.Command == TCommand::cmdMkId) {
        // The numbers given follow the highest of the whole map: a quick look
        // at its properties counts them. Numbers that do not fit, like any
        // fault of the text, are reported in their order by the whole run.
        ScanProperties(Name, [&Numbers](const TEntity &E) { Numbers.Count(E); });
        if (!Numbers.Fit()) {
            return false;
        }
    }
    const std::string_view NamePart = IdFileNamePart(State.DestMap.FileName());
    TRepeatedIds Ids;
    TFirstCall First;
    // What the destination's passes do to each of its entities.
    const auto DestPasses = [&](TEntity &E, bool) {
        Prepare();
        // Renamed first, so the destination's texture rules see the new names.
        RenameTextures(E, State.TextureRenames);
        ApplyRules(State.Rules, E, TMapRole::mrDestination);
        CutOffEntity(E, State.BrushAreas, State.EntityAreas);
        return true;
    };
    const auto Process = [&](TEntity &E, bool Whole) {
        // The properties are complete once brushes follow them; an entity cut
        // or extracted whole waits for its last brush.
        const bool OfItsOwn = !E.WorldSpawn() && (Extracting || (!IsWorldGeometry(E) && !State.EntityAreas.Empty()));
        if (!Whole && (E.Brushes.Empty() || OfItsOwn)) {
            return false;
        }
        ApplyRules(State.Rules, E, TMapRole::mrSource);
        if (Extracting && !Extracting->Apply(E, Whole, State.Stats)) {
            E.SetIsStored(false); // left out whole: not cut either
            return true;
        }
        if (Concatenating) {
            Concatenating->Apply(E, Whole, State.Stats);
        }
        if (First(E, Whole) && ChangeId(State.Command, E, Numbers, NamePart, Ids)) {
            ++State.Stats.IdsChanged;
        }
        return DestPasses(E, true);
    };
    TMapStream Stream;
    if (!StreamSource(Name, Writer, Process, Stream)) {
        State.AddMaps.Clear();
        return false;
    }
    if (Concatenating && !Stream.Failure()) {
        Concatenating->Finish([&](TEntity &E) { Stream.Append(E, Writer, DestPasses); }, State.Stats);
    }
    // Printed once the run is sure to end here, not in the whole run.
    const auto PrintAddMapLines = [&Out, Lines = AddMapLines.str()] {
        for (std::size_t P = 0; P < Lines.size();) {
            const std::size_t End = Lines.find(ConsoleLineBreak, P);
            WriteLine(Out, std::string_view(Lines).substr(P, End - P));
            P = End + ConsoleLineBreak.size();
        }
    };
    if (Stream.Failure()) {
        PrintAddMapLines();
        std::rethrow_exception(Stream.Failure());
    }
    Prepare();
    Writer.Flush();
    try {
        File->Finish();
    } catch (const std::exception &) {
        WriteFailed = true;
    }
    if (WriteFailed) {
        State.AddMaps.Clear();
        return false;
    }
    PrintAddMapLines();
    WriteResults(State, Out, In, TStreamedDest{*File, Stream.Written()});
    return true;
}

} // namespace

void ExecuteRun(TRunState &State, std::ostream &Out, std::istream &In)
{
    if (CanStream(State)) {
        const TCommandStats Before = State.Stats;
        if (StreamRun(State, Out, In)) {
            return;
        }
        State.Stats = Before; // counted afresh over the whole map
    }
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
