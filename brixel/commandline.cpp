// The command line and option files: classification of every argument into
// the run state, the help decision and the validation of the file names.
#include <algorithm>
#include <ostream>

#include "brixel/brixel.h"

namespace brix
{
namespace
{

struct TCommandWord
{
    std::string_view Word;
    TCommand Command;
};

struct TRuleOption
{
    std::string_view Name;
    TRuleKind Kind;
};

constexpr TRuleOption RuleOptions[] = {
    {"de", TRuleKind::rkDe},
    {"dse", TRuleKind::rkDse},
    {"dae", TRuleKind::rkDae},
    {"dt", TRuleKind::rkDt},
    {"dst", TRuleKind::rkDst},
    {"ddt", TRuleKind::rkDdt},
    {"dat", TRuleKind::rkDat},
    {"dl", TRuleKind::rkDl},
    {"kl", TRuleKind::rkKl},
};

constexpr TCommandWord CommandWords[] = {
    {"extract", TCommand::cmdExtract},
    {"concat", TCommand::cmdConcat},
    {"mkid", TCommand::cmdMkId},
    {"rmid", TCommand::cmdRmId},
    {"rmdpid", TCommand::cmdRmDpId},
    {"help", TCommand::cmdHelp},
};

[[noreturn]] void RaiseUndefinedOption(const std::string &Arg)
{
    RaiseError(FmtMsg(TMsgId::msgUndefinedOption, {Arg}));
}

// Appends the lines of an option file to the argument list: they are taken
// after everything already there, one line being one argument.
void IncludeOptionFile(TRunState &State, const std::string &FileName, std::ostream &Out)
{
    if (!FileExists(FileName)) {
        RaiseError(FmtMsg(TMsgId::msgFileNotFound, {FileName}));
    }
    // Any second inclusion is refused, recursive or not: it could only loop
    // or repeat options. Another path to the same file is the same file.
    const TFileIdentity Identity = FileIdentity(FileName);
    const auto &Seen = State.IncludedIdentities;
    if (!State.IncludedFiles.insert(CaseFoldKey(FileName)).second ||
        std::any_of(Seen.begin(), Seen.end(), [&](const TFileIdentity &Id) { return SameFile(Id, Identity); })) {
        RaiseError(FmtMsg(TMsgId::msgRecursiveInclude, {FileName}));
    }
    State.IncludedIdentities.push_back(Identity);
    WriteLine(Out, FmtMsg(TMsgId::msgInclude, {FileName}));

    const std::string Text = ReadTextFile(FileName);
    for (std::string_view Line : SplitLines(Text)) {
        // An empty line would be an argument without a first character.
        if (Line.empty() || Line.substr(0, 2) == "//") {
            continue;
        }
        State.ArgList.emplace_back(Line);
    }
}

// "-rt:MASK=NAME": the first "=" ends the mask. A name with a blank or a
// control character would be written into face lines that do not read back.
void AddTextureRename(TRunState &State, const std::string &Arg, const std::string &Value)
{
    const std::size_t Eq = Value.find('=');
    const bool Bad = Eq == std::string::npos || Eq == 0 || Eq + 1 == Value.size() ||
                     std::any_of(Value.begin() + static_cast<std::ptrdiff_t>(Eq + 1), Value.end(),
                         [](char C) { return static_cast<unsigned char>(C) <= 32; });
    if (Bad) {
        RaiseError(FmtMsg(TMsgId::msgIncorrectParameter, {Arg}));
    }
    State.TextureRenames.push_back({TMask(Value.substr(0, Eq)), Value.substr(Eq + 1)});
}

void ParseNamedOption(
    TRunState &State, const std::string &Arg, const std::string &Name, const std::string &Value, std::ostream &Out)
{
    if (Name == "sc") {
        IncludeOptionFile(State, Value, Out);
    } else if (Name == "ba") {
        ParseAreaSpec(State.BrushAreas.Add(), Value, Arg);
    } else if (Name == "ea") {
        ParseAreaSpec(State.EntityAreas.Add(), Value, Arg);
    } else if (Name == "dest") {
        // Only a name already given blocks another; an empty value gives none.
        if (!State.DestMap.FileName().empty()) {
            RaiseError(GetMsg(TMsgId::msgDestinationRedeclared));
        }
        State.DestMap.SetFileName(Value);
    } else if (Name == "wprops") {
        if (!State.WorldspawnSourceMap.FileName().empty()) {
            RaiseError(GetMsg(TMsgId::msgWorldspawnSourceRedeclared));
        }
        State.WorldspawnSourceMap.SetFileName(Value);
    } else if (Name == "nuid") {
        State.ConcatOptions.AddNonUniqueId(Value);
    } else if (Name == "rt") {
        AddTextureRename(State, Arg, Value);
    } else {
        for (const TRuleOption &Rule : RuleOptions) {
            if (Name == Rule.Name) {
                State.Rules.AddRule(Rule.Kind, Value);
                return;
            }
        }
        RaiseUndefinedOption(Arg);
    }
}

void ParseSwitch(TRunState &State, const std::string &Arg, const std::string &Name)
{
    if (Name == "ru") {
        UseRussian = true;
    } else if (Name == "rptx") {
        State.ConcatOptions.ReplaceTextures = true;
    } else if (Name == "rntn") {
        State.ConcatOptions.RenameTargetNames = true;
    } else if (Name == "valve") {
        State.ConvertToValve = true;
    } else if (Name == "y") {
        ConfirmOverwrite = false;
    } else {
        RaiseUndefinedOption(Arg);
    }
}

void ParseArgument(TRunState &State, const std::string &Arg, std::ostream &Out)
{
    if (!Arg.empty() && Arg[0] == '-') {
        const std::string Rest = Arg.substr(1);
        const std::size_t Colon = Rest.find(':');
        if (Colon != std::string::npos) {
            ParseNamedOption(State, Arg, AsciiLower(Rest.substr(0, Colon)), Rest.substr(Colon + 1), Out);
        } else {
            ParseSwitch(State, Arg, AsciiLower(Rest));
        }
        return;
    }
    if (State.Command != TCommand::cmdNone || Arg.find('.') != std::string::npos) {
        if (State.SourceMap.FileName().empty()) {
            State.SourceMap.SetFileName(Arg);
        } else {
            State.AddFileMasks.push_back(Arg);
        }
        return;
    }
    const std::string Word = AsciiLower(Arg);
    for (const TCommandWord &Entry : CommandWords) {
        if (Word == Entry.Word) {
            State.Command = Entry.Command;
            return;
        }
    }
    RaiseError(FmtMsg(TMsgId::msgUndefinedCommand, {Word}));
}

} // namespace

void ParseCommandLine(TRunState &State, std::ostream &Out)
{
    // By index: option files append to the list while it is being read.
    for (std::size_t I = 0; I < State.ArgList.size(); ++I) {
        const std::string Arg = State.ArgList[I];
        ParseArgument(State, Arg, Out);
    }
    if (State.Command == TCommand::cmdNone) {
        State.Command = TCommand::cmdConcat;
    }
}

bool HelpWanted(const TRunState &State)
{
    return State.CommandLineCount == 0 || State.Command == TCommand::cmdHelp ||
           (State.CommandLineCount == 1 && UseRussian);
}

void ValidateRunState(TRunState &State)
{
    if (State.SourceMap.FileName().empty()) {
        RaiseError(GetMsg(TMsgId::msgFileNotSpecified));
    }
    if (State.DestMap.FileName().empty()) {
        State.DestMap.SetFileName(State.SourceMap.FileName());
    }
    if (!FileExists(State.SourceMap.FileName())) {
        RaiseError(FmtMsg(TMsgId::msgFileNotFound, {State.SourceMap.FileName()}));
    }
    for (const std::string &Mask : State.AddFileMasks) {
        if (FindFiles(Mask).empty()) {
            RaiseError(FmtMsg(TMsgId::msgFileNotFound, {Mask}));
        }
    }
}

} // namespace brix
