// The command line and option files: classification of every argument into
// the run state, the help decision and the validation of the file names.
#include <algorithm>
#include <array>
#include <ostream>

#include "brixel/brixel.h"
#include "platform.h"

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
    throw EUndefinedOption(FmtMsg(TMsgId::msgUndefinedOption, {Arg}), SuggestOption(Arg));
}

char LowerChar(char C)
{
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
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
    } else if (Name == "v") {
        State.Verbose = true;
    } else if (Name == "h" || Name == "-help") {
        // Wherever it stands, as "help" does before a file name.
        State.Command = TCommand::cmdHelp;
    } else if (Name == "-version") {
        State.VersionAsked = true;
    } else {
        RaiseUndefinedOption(Arg);
    }
}

void ParseArgument(TRunState &State, const std::string &Arg, std::ostream &Out)
{
    if (platform::SlashQuestionShowsHelp && Arg == "/?") {
        State.Command = TCommand::cmdHelp;
        return;
    }
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

std::size_t EditDistance(std::string_view A, std::string_view B)
{
    // The unrestricted distance (Lowrance and Wagner): a swapped pair may be
    // edited further, so "ca" is two edits from "abc". D[I + 1][J + 1] holds
    // the distance of A's first I and B's first J characters; row and column
    // 0 stand for "too far" and keep swaps inside the texts.
    const std::size_t Far = A.size() + B.size() + 1;
    const std::size_t Width = B.size() + 2;
    std::vector<std::size_t> D((A.size() + 2) * Width, Far);
    const auto At = [&](std::size_t I, std::size_t J) -> std::size_t & { return D[I * Width + J]; };
    for (std::size_t I = 0; I <= A.size(); ++I) {
        At(I + 1, 1) = I;
    }
    for (std::size_t J = 0; J <= B.size(); ++J) {
        At(1, J + 1) = J;
    }
    std::array<std::size_t, 256> LastRowOf{}; // the last row of A that held each character
    for (std::size_t I = 1; I <= A.size(); ++I) {
        const auto Ai = static_cast<unsigned char>(LowerChar(A[I - 1]));
        std::size_t LastColumn = 0; // the last column of B in this row that matched
        for (std::size_t J = 1; J <= B.size(); ++J) {
            const auto Bj = static_cast<unsigned char>(LowerChar(B[J - 1]));
            const std::size_t K = LastRowOf[Bj];
            const std::size_t L = LastColumn;
            const std::size_t Cost = Ai == Bj ? 0 : 1;
            if (Cost == 0) {
                LastColumn = J;
            }
            At(I + 1, J + 1) = std::min(
                {At(I, J) + Cost, At(I + 1, J) + 1, At(I, J + 1) + 1, At(K, L) + (I - K - 1) + 1 + (J - L - 1)});
        }
        LastRowOf[Ai] = I;
    }
    return At(A.size() + 1, B.size() + 1);
}

std::string SuggestOption(std::string_view Arg)
{
    constexpr std::size_t MaxEdits = 2;
    const std::string_view Typed = Arg.substr(0, Arg.find(':'));
    std::string Best;
    std::size_t BestEdits = MaxEdits + 1;
    for (const std::string &Name : HelpOptionNames()) {
        std::string_view Bare = Name;
        if (Bare.ends_with(':')) {
            Bare.remove_suffix(1);
        }
        // Lengths further apart than the edits allowed need not be compared
        // (an argument may be megabytes long).
        if (Typed.size() > Bare.size() + MaxEdits || Bare.size() > Typed.size() + MaxEdits) {
            continue;
        }
        const std::size_t Edits = EditDistance(Typed, Bare);
        if (Edits < BestEdits) {
            Best = Name;
            BestEdits = Edits;
        }
    }
    return Best;
}

} // namespace brix
