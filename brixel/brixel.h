// The brixel program: the run state, the command line and option files, the
// execution of the commands, the console dialogue and the help, and the
// directory search behind additional-file patterns.
#pragma once

#include <iosfwd>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "brixlib/commands.h"
#include "brixlib/files.h"
#include "brixlib/mapfile.h"
#include "brixlib/messages.h"
#include "brixlib/rules.h"
#include "brixlib/text.h"

namespace brix
{

/// The banner printed first by every run.
inline constexpr std::string_view BrixelBanner = "brixel v1.51";
/// The home-page address printed after the help.
inline constexpr std::string_view BrixelSite = "https://github.com/brixel-tools/brixel";

enum class TCommand
{
    cmdNone,
    cmdExtract,
    cmdConcat,
    cmdMkId,
    cmdRmId,
    cmdRmDpId,
    cmdHelp,
};

/// Everything one run holds; it owns every map, rule and area until the run ends.
struct TRunState
{
    std::vector<std::string> ArgList;              ///< command-line arguments, then option-file lines
    std::size_t CommandLineCount = 0;              ///< how many of ArgList came from the command line
    std::set<std::string> IncludedFiles;           ///< option files read, as CaseFoldKey
    std::vector<TFileIdentity> IncludedIdentities; ///< the same files on disk
    TCommand Command = TCommand::cmdNone;
    TConcatOptions ConcatOptions; ///< "-rptx", "-nuid", "-rntn"
    TMapFile SourceMap;
    TMapFile DestMap;
    TMapFile WorldspawnSourceMap;
    std::vector<std::string> AddFileMasks;
    TMapFileList AddMaps;
    TRules Rules;
    std::vector<TTextureRename> TextureRenames; ///< "-rt", in order
    TAreaList BrushAreas;
    TAreaList EntityAreas;
    bool ConvertToValve = false; ///< "-valve": the destination's faces in the Valve 220 form
    bool Unanswered = false;     ///< the end of input stood for an overwrite answer
    bool Verbose = false;        ///< "-v": the counts of what was written and done
    bool VersionAsked = false;   ///< "--version" in an option file: the banner line ends the run
    TCommandStats Stats;         ///< what the command did, for "-v"
};

/// "Undefined option: %s", and the option of the help the user most likely
/// meant (empty when none is close enough).
class EUndefinedOption : public EBrixError
{
public:
    EUndefinedOption(const std::string &Text, std::string Suggestion)
        : EBrixError(Text), FSuggestion(std::move(Suggestion))
    {}
    const std::string &Suggestion() const { return FSuggestion; }

private:
    std::string FSuggestion;
};

/// One whole run: banner, command line, help or execution. Everything is
/// written to Out; In answers the overwrite question. Returns the exit status:
/// 0 after a normal end or the help, 1 after any reported error, and 1 after a
/// run in which the end of input stood for an answer (a file asked for was
/// not written, and nobody said so).
int RunBrixel(const std::vector<std::string> &Args, std::ostream &Out, std::istream &In);

/// From now on a run that ends normally leaves its maps in memory: the
/// process is about to end, and the system takes all of it back at once,
/// faster than freeing it piece by piece.
void LeaveMapsToTheSystem();

// --- command line ------------------------------------------------------------

/// Classifies every entry of State.ArgList (which option files extend while it
/// runs) and fills the state; raises the command-line errors.
void ParseCommandLine(TRunState &State, std::ostream &Out);
/// After parsing: whether the run only shows the help.
bool HelpWanted(const TRunState &State);
/// After parsing: the file names must be usable; raises otherwise.
void ValidateRunState(TRunState &State);

/// The number of single-character insertions, deletions, substitutions and
/// swaps of two neighbouring characters that turn A into B, ASCII letter
/// case ignored. Its time and memory grow with the product of the lengths.
std::size_t EditDistance(std::string_view A, std::string_view B);
/// The option of the help closest to Arg (an undefined option as typed),
/// within two edits: Arg's value part (from its first ":") and the ":" of a
/// value-taking option are not counted, so "-dest" is 0 edits from "-dest:".
/// Ties go to the option the help lists first; empty when none is close.
std::string SuggestOption(std::string_view Arg);

// --- execution -----------------------------------------------------------------

/// Loads the maps, applies rules and areas, runs the command and writes the
/// results: every overwrite question first, then every file complete beside
/// its target, then all of them put in place. A source or worldspawn-source
/// file that does not read raises EMapLoadError with its diagnostic; a source
/// that holds text but no entity raises "Not a map file: %s".
void ExecuteRun(TRunState &State, std::ostream &Out, std::istream &In);

// --- console -------------------------------------------------------------------

/// Writes Text and a line break; a failed write raises the general error.
void WriteLine(std::ostream &Out, std::string_view Text);
/// Writes UTF-8 Text as the console shows it (see GetMsg) and a line break.
void WriteRussianLine(std::ostream &Out, std::string_view Text);
void PrintEnglishHelp(std::ostream &Out);
void PrintRussianHelp(std::ostream &Out);
/// The help in the current language, an empty line and the site line.
void PrintHelp(std::ostream &Out);
/// The options the help lists, in its order; an option that takes a value
/// with its ":" ("-dest:"), a switch without.
std::vector<std::string> HelpOptionNames();

// --- directory search ------------------------------------------------------------

/// Whether Name matches Pattern: "*" any run, "?" one character, anything else
/// itself (letter case ignored only where the platform's file names ignore it).
bool WildcardMatch(std::string_view Pattern, std::string_view Name);
/// The files a pattern names, sorted by byte order. Wildcards stand only in the
/// last component; its directory part is kept in front of every name. Without
/// wildcards: the name itself when it is an existing file. Directories never
/// match; a directory that cannot be read matches nothing.
std::vector<std::string> FindFiles(const std::string &Pattern);

} // namespace brix
