// The run state and the one place where every error of a run is caught.
#include <algorithm>
#include <memory>
#include <new>
#include <ostream>
#include <vector>

#include "brixel/brixel.h"

namespace brix
{

namespace
{

// Reports on a console that may itself be the cause of the error: nothing
// here may throw again.
template <typename TMakeText> void ReportError(std::ostream &Out, TMakeText MakeText) noexcept
{
    try {
        const std::string Text = MakeText();
        Out.write(Text.data(), static_cast<std::streamsize>(Text.size()));
        Out.write(ConsoleLineBreak.data(), static_cast<std::streamsize>(ConsoleLineBreak.size()));
        Out.flush();
    } catch (...) {
        // Nothing is left to tell the user with; the exit status still says it.
    }
}

bool VersionWanted(const std::vector<std::string> &Args)
{
    return std::any_of(Args.begin(), Args.end(), [](const std::string &A) { return AsciiLower(A) == "--version"; });
}

bool LeaveMaps = false;

/// Keeps State reachable to the end of the process, so that leak checkers
/// see memory left on purpose, not lost.
void Leave(std::unique_ptr<TRunState> State)
{
    static auto *const Left = new std::vector<std::unique_ptr<TRunState>>();
    Left->push_back(std::move(State));
}

int Run(const std::vector<std::string> &Args, std::ostream &Out, std::istream &In)
{
    WriteLine(Out, BrixelBanner);
    // The banner line alone: a script reads the version from the only line.
    if (VersionWanted(Args)) {
        return 0;
    }
    WriteLine(Out, "");

    auto Owned = std::make_unique<TRunState>();
    TRunState &State = *Owned;
    for (const std::string &Arg : Args) {
        // An empty argument has nothing to classify; it is not taken.
        if (!Arg.empty()) {
            State.ArgList.push_back(Arg);
        }
    }
    State.CommandLineCount = State.ArgList.size();

    ParseCommandLine(State, Out);
    if (State.VersionAsked) {
        // From an option file: the version line again, as the last line.
        WriteLine(Out, BrixelBanner);
        return 0;
    }
    if (HelpWanted(State)) {
        PrintHelp(Out);
        return 0;
    }
    ValidateRunState(State);
    ExecuteRun(State, Out, In);
    Out.flush();
    const int Status = State.Unanswered ? 1 : 0;
    if (LeaveMaps) {
        Leave(std::move(Owned));
    }
    return Status;
}

} // namespace

void LeaveMapsToTheSystem()
{
    LeaveMaps = true;
}

int RunBrixel(const std::vector<std::string> &Args, std::ostream &Out, std::istream &In)
{
    ResetSwitches();
    try {
        return Run(Args, Out, In);
    } catch (const EUndefinedOption &E) {
        ReportError(Out, [&] { return FmtMsg(TMsgId::msgError, {E.what()}); });
        if (!E.Suggestion().empty()) {
            ReportError(Out, [&] { return FmtMsg(TMsgId::msgDidYouMean, {E.Suggestion()}); });
        }
    } catch (const EMapLoadError &E) {
        // A map that does not read is reported by its diagnostic alone.
        ReportError(Out, [&] { return std::string(E.what()); });
    } catch (const EBrixError &E) {
        ReportError(Out, [&] { return FmtMsg(TMsgId::msgError, {E.what()}); });
    } catch (const std::bad_alloc &) {
        ReportError(Out, [] { return FmtMsg(TMsgId::msgError, {"Out of memory"}); });
    } catch (const std::exception &E) {
        ReportError(Out, [&] { return FmtMsg(TMsgId::msgError, {E.what()}); });
    } catch (...) {
        ReportError(Out, [] { return FmtMsg(TMsgId::msgError, {"Unknown error"}); });
    }
    return 1;
}

} // namespace brix
