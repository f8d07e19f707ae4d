// Messages and errors: the two process-wide switches the library reads, the
// bilingual message table, the general error and the console's line end.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace brix
{

// ---------------------------------------------------------------------------
// Process-wide switches: the only mutable globals of the library.

extern bool UseRussian;       ///< messages and help in Russian ("-ru")
extern bool ConfirmOverwrite; ///< ask before a file is overwritten (cleared by "-y")

/// Puts the switches back to their start-up values (tests, repeated runs).
void ResetSwitches();

// ---------------------------------------------------------------------------
// Messages

enum class TMsgId
{
    msgError = 0,
    msgUndefinedOption = 1,
    msgExpected = 2,
    msgUnexpectedEndOfFile = 3,
    msgTextureNameExpected = 4,
    msgUnexpectedEndOfLine = 5,
    msgFormatError = 6,
    msgUndefinedCommand = 7,
    msgDestinationRedeclared = 8,
    msgFileNotFound = 9,
    msgFileNotSpecified = 10,
    msgRecursiveInclude = 11,
    msgIncorrectParameter = 12,
    msgPointFormatError = 13,
    msgEntityArrangementError = 14,
    msgWorldspawnNotFound = 15,
    msgWorldspawnSourceRedeclared = 16,
    msgNotAMapFile = 17,
    msgNoFreeIdentifier = 18,
    msgCompleteTextKept = 19,
    msgUnknownBlock = 30,
    msgEndOfLineExpected = 31,
    msgPatchRows = 32,
    msgPatchPoints = 33,
    msgRewriteQuestion = 100,
    msgComplete = 200,
    msgSaved = 201,
    msgInclude = 202,
    msgAdditionalFileSkipped = 203,
    msgSite = 204,
    msgWorldspawnSourceSkipped = 205,
};

/// The template of a message as console bytes: English as ASCII, Russian as
/// the console shows it (UTF-8; code page 866 on Windows).
std::string GetMsg(TMsgId Id);

/// GetMsg with each "%s" replaced, left to right, by the next argument; the
/// arguments are inserted as the bytes they are.
std::string FmtMsg(TMsgId Id, std::initializer_list<std::string_view> Args = {});

/// "'%s' expected" with Token.
std::string ExpectedMsg(std::string_view Token);

/// The general error: every fatal condition of a run, carrying its final text.
class EBrixError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A map file that does not read: its diagnostic is printed as a plain line
/// (without the "ERROR!" wrapper) and the run ends.
class EMapLoadError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Raises the general error with Text.
[[noreturn]] void RaiseError(const std::string &Text);

/// The end of every console line: the platform's own line break, written as
/// these bytes (standard output is not translated on the way out).
extern const std::string_view ConsoleLineBreak;

} // namespace brix
