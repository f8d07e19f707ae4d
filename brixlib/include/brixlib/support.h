// Support library: the process-wide switches, the bilingual message table,
// the general error, text helpers (trimming, number text, case folding),
// reading and safe writing of text files, and the origin point reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
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

/// The end of every console line: the platform's own line break, written as
/// these bytes (standard output is not translated on the way out).
#ifdef _WIN32
inline constexpr std::string_view ConsoleLineBreak = "\r\n";
#else
inline constexpr std::string_view ConsoleLineBreak = "\n";
#endif

// ---------------------------------------------------------------------------
// Text helpers

/// Removes every character with a code up to 32 from both ends.
/// (Inline: every line of a map is trimmed several times on its way in.)
inline std::string_view Trim(std::string_view S)
{
    std::size_t B = 0, E = S.size();
    while (B < E && static_cast<unsigned char>(S[B]) <= 32) {
        ++B;
    }
    while (E > B && static_cast<unsigned char>(S[E - 1]) <= 32) {
        --E;
    }
    return S.substr(B, E - B);
}

inline std::string_view TrimLeft(std::string_view S)
{
    std::size_t B = 0;
    while (B < S.size() && static_cast<unsigned char>(S[B]) <= 32) {
        ++B;
    }
    return S.substr(B);
}

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

/// Reads a plain decimal from the front of S: an optional sign, then at most
/// 15 digits with an optional "." among them, not followed by an exponent or
/// a further digit. Returns how many characters it read, 0 when S does not
/// begin so (TryStrToFloat then decides); the value is TryStrToFloat's.
std::size_t ReadPlainDecimal(std::string_view S, double &Value);

/// TryStrToFloat or raise "'%s' is not a valid floating point value".
double StrToFloat(std::string_view S);

/// The conversion-failure text for S: "'S' is not a valid floating point value".
std::string FloatErrorMsg(std::string_view S);

/// Writes a Double in general format with 15 significant digits ("128",
/// "-64.5", "0.0001", "1E15", "1E-5"); negative zero is "0".
std::string FloatToStr(double Value);

/// Appends FloatToStr(Value) to Out without a temporary string.
void AppendFloat(std::string &Out, double Value);

/// Writes FloatToStr(Value) at P, which has room for FloatTextRoom characters;
/// returns the end of the text.
inline constexpr std::size_t FloatTextRoom = 32;
char *FormatFloat(char *P, double Value);

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
/// The same into Lines (cleared first), whose room is used again.
void SplitLines(std::string_view Text, TLineList &Lines);

/// ReadFileBytes + DecodeText.
std::string ReadTextFile(const std::string &FileName);

/// Writes Data to FileName through a temporary file in the same directory and
/// a rename, so an existing file is either replaced whole or left as it was.
/// Raises "Cannot create file "%s". %s" with the system's reason.
void WriteFileAtomic(const std::string &FileName, std::string_view Data);

/// Whether a file (not a directory) of that name exists.
bool FileExists(const std::string &FileName);

/// Reads a text file in pieces, decoded as ReadTextFile decodes it whole: a
/// file that begins with a byte-order mark comes whole, decoded, in the first
/// piece; any other comes as its bytes, up to its first NUL. Raises
/// "Cannot open file "%s". %s".
class TTextFileReader
{
public:
    explicit TTextFileReader(const std::string &FileName);
    ~TTextFileReader();
    TTextFileReader(const TTextFileReader &) = delete;
    TTextFileReader &operator=(const TTextFileReader &) = delete;
    /// Appends the next piece, about MaxBytes long, to Text; false, with
    /// nothing appended, at the end of the text.
    bool ReadPiece(std::string &Text, std::size_t MaxBytes);

private:
    /// Appends up to 64 KB more of the file to Into; notes the end of the file.
    void ReadChunk(std::string &Into);
    std::string FFileName;
    std::FILE *FFile = nullptr;
    std::uintmax_t FLeft = 0; ///< bytes not read yet, as far as the size is known
    bool FStarted = false, FEnded = false;
};

/// Writes a file in pieces, safely as WriteFileAtomic does: the pieces go to
/// a temporary file beside the target, which Commit renames over it. A writer
/// destroyed without Commit (an error on the way) removes the temporary file
/// and leaves the target as it was. Raises "Cannot create file "%s". %s".
class TAtomicFileWriter
{
public:
    explicit TAtomicFileWriter(const std::string &FileName);
    ~TAtomicFileWriter();
    TAtomicFileWriter(const TAtomicFileWriter &) = delete;
    TAtomicFileWriter &operator=(const TAtomicFileWriter &) = delete;
    void Write(std::string_view Data);
    void Commit();

private:
    std::string FFileName;
    std::string FPending; ///< where the platform cannot write in pieces: all of it, written by Commit
    std::string FTarget, FTemp;
    int FFd = -1;
    unsigned FMode = 0;
};

/// Lines of the written map format: each line is followed by CR LF.
class TLineWriter
{
public:
    void Add(std::string_view Line)
    {
        FText.append(Line);
        FText.append("\r\n");
        Spill();
    }
    /// Direct access to build a line in place; finish it with EndLine.
    std::string &Buffer() { return FText; }
    void EndLine()
    {
        FText.push_back('\r');
        FText.push_back('\n');
        Spill();
    }
    /// The text written since the last hand-over to the sink (all of it
    /// without a sink).
    const std::string &Text() const { return FText; }
    void Clear() { FText.clear(); }

    /// From now on, whole lines go to Sink whenever about PieceBytes of them
    /// are waiting, so a large map is written without holding all of it.
    void SetSink(std::function<void(std::string_view)> Sink, std::size_t PieceBytes = std::size_t(1) << 20)
    {
        FSink = std::move(Sink);
        FPieceBytes = PieceBytes;
        FText.reserve(PieceBytes + 4096);
    }
    /// Hands the waiting lines to the sink.
    void Flush()
    {
        if (FSink && !FText.empty()) {
            FSink(FText);
            FText.clear();
        }
    }

private:
    void Spill()
    {
        if (FSink && FText.size() >= FPieceBytes) {
            Flush();
        }
    }

    std::string FText;
    std::function<void(std::string_view)> FSink;
    std::size_t FPieceBytes = 0;
};

} // namespace brix
