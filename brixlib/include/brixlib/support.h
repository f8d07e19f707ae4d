// Support library: the process-wide switches, the bilingual message table,
// the general error, text helpers (trimming, number text, case folding),
// reading and safe writing of text files, and the origin point reader.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace brix
{

// ---------------------------------------------------------------------------
// Process-wide switches: the only mutable globals of the library.

extern bool UseRussian;         ///< messages and help in Russian ("-ru")
extern bool ConfirmOverwrite;   ///< ask before a file is overwritten (cleared by "-y")
extern bool ReplaceTextureMode; ///< concat replaces textures of shared brushes ("-rptx")

/// Puts the three switches back to their start-up values (tests, repeated runs).
void ResetSwitches();

// ---------------------------------------------------------------------------
// Messages

enum TMsgId : int
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
    msgRewriteQuestion = 100,
    msgComplete = 200,
    msgSaved = 201,
    msgInclude = 202,
    msgAdditionalFileSkipped = 203,
    msgSite = 204,
    msgWorldspawnSourceSkipped = 205,
};

/// The template of a message as console bytes: English as ASCII, Russian in
/// code page 866 (one byte per character). Unknown ids give "".
std::string GetMsg(int Id);

/// GetMsg with each "%s" replaced, left to right, by the next argument; the
/// arguments are inserted as the bytes they are.
std::string FmtMsg(int Id, std::initializer_list<std::string_view> Args = {});

/// "'%s' expected" with Token.
std::string ExpectedMsg(std::string_view Token);

/// The general error: every fatal condition of a run, carrying its final text.
class EBrixError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Raises the general error with Text.
[[noreturn]] void RaiseError(const std::string &Text);

/// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string &Out, char32_t Cp);

/// UTF-8 text to code page 866, one byte per character (Cyrillic, Ё/ё and
/// ASCII exactly; other characters become '?').
std::string Utf8ToOem866(std::string_view Text);

// ---------------------------------------------------------------------------
// Text helpers

/// Removes every character with a code up to 32 from both ends.
std::string_view Trim(std::string_view S);
std::string_view TrimLeft(std::string_view S);

/// ASCII-only upper / lower case folding (file names, option names).
std::string AsciiUpper(std::string_view S);
std::string AsciiLower(std::string_view S);

/// A key for comparisons that ignore letter case in any alphabet: UTF-8 is
/// decoded and letters are folded one to one (Latin-1, Latin Extended-A,
/// Greek, Cyrillic); bytes that are not valid UTF-8 stay as they are.
std::string CaseFoldKey(std::string_view S);

/// Reads a number in the map's text form: spaces, optional sign, digits with
/// an optional "." and fraction, optional exponent, spaces. "." is always the
/// decimal separator. False for any other text, or a value beyond a Double.
bool TryStrToFloat(std::string_view S, double &Value);

/// TryStrToFloat or raise "'%s' is not a valid floating point value".
double StrToFloat(std::string_view S);

/// The conversion-failure text for S: "'S' is not a valid floating point value".
std::string FloatErrorMsg(std::string_view S);

/// Writes a Double in general format with 15 significant digits ("128",
/// "-64.5", "0.0001", "1E15", "1E-5"); negative zero is "0".
std::string FloatToStr(double Value);

/// Appends FloatToStr(Value) to Out without a temporary string.
void AppendFloat(std::string &Out, double Value);

/// Reads a signed 32-bit whole number: leading spaces, optional sign, decimal
/// digits or hex digits after "$", "x", "X", "0x", "0X"; nothing after.
bool TryStrToInt(std::string_view S, std::int32_t &Value);

/// TryStrToInt or raise "''%s'' is not a valid integer value".
std::int32_t StrToInt(std::string_view S);

/// Reads an "origin" text: three numbers separated by blanks.
bool ParsePoint(std::string_view S, double &x, double &y, double &z);

// ---------------------------------------------------------------------------
// Files

/// The lines of a text; the views point into the text they were split from,
/// whose owner must outlive them.
using TLineList = std::vector<std::string_view>;

/// Reads a whole text file as bytes. Raises "Cannot open file "%s". %s".
std::string ReadFileBytes(const std::string &FileName);

/// Turns file bytes into text: a UTF-8 byte-order mark is dropped, UTF-16 LE
/// or BE with its mark is decoded to UTF-8, other bytes are kept as they are;
/// the text ends at its first NUL.
std::string DecodeText(std::string Bytes);

/// Splits a text at CR LF, lone LF and lone CR; a last line without line end
/// is a line (an empty text has no lines).
TLineList SplitLines(std::string_view Text);

/// ReadFileBytes + DecodeText.
std::string ReadTextFile(const std::string &FileName);

/// Writes Data to FileName through a temporary file in the same directory and
/// a rename, so an existing file is either replaced whole or left as it was.
/// Raises "Cannot create file "%s". %s" with the system's reason.
void WriteFileAtomic(const std::string &FileName, std::string_view Data);

/// Whether a file (not a directory) of that name exists.
bool FileExists(const std::string &FileName);

/// Lines of the written map format: each line is followed by CR LF.
class TLineWriter
{
public:
    void Add(std::string_view Line)
    {
        FText.append(Line);
        FText.append("\r\n");
    }
    /// Direct access to build a line in place; finish it with EndLine.
    std::string &Buffer() { return FText; }
    void EndLine() { FText.append("\r\n"); }
    const std::string &Text() const { return FText; }
    void Clear() { FText.clear(); }

private:
    std::string FText;
};

} // namespace brix
