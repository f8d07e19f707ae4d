// Files: whole text files read and split into lines, files read in pieces,
// and files written safely (a temporary file renamed over the target).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brix
{

/// The lines of a text; the views point into the text they were split from,
/// whose owner must outlive them.
using TLineList = std::vector<std::string_view>;

/// Reads a whole text file as bytes. Raises "Cannot open file "%s". %s".
std::string ReadFileBytes(const std::string &FileName);

/// Turns file bytes into text: a UTF-8 byte-order mark is dropped, UTF-16 LE
/// or BE with its mark is decoded to UTF-8 (to the ANSI code page on
/// Windows), other bytes are kept as they are; the text ends at its first NUL.
std::string DecodeText(std::string Bytes);

/// Splits a text at CR LF, lone LF and lone CR; a last line without line end
/// is a line (an empty text has no lines).
TLineList SplitLines(std::string_view Text);
/// The same into Lines (cleared first), whose room is used again.
void SplitLines(std::string_view Text, TLineList &Lines);

/// ReadFileBytes + DecodeText; a file that goes on after a NUL is refused.
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
/// a short-named temporary file beside the target, which Finish completes and
/// Commit puts in place. A writer destroyed without Commit (an error on the
/// way) removes the temporary file and leaves the target as it was.
///
/// What is replaced is the text, not the file: the target keeps its mode,
/// owner, group and extended attributes where the system lets the process set
/// them; a file with several hard links gets the new text copied into it, so
/// every name of it sees the text; a symbolic link stays and its target is
/// written (created when missing). Raises "Cannot create file "%s". %s".
class TAtomicFileWriter
{
public:
    explicit TAtomicFileWriter(const std::string &FileName);
    ~TAtomicFileWriter();
    TAtomicFileWriter(TAtomicFileWriter &&) noexcept;
    TAtomicFileWriter &operator=(TAtomicFileWriter &&) noexcept;
    void Write(std::string_view Data);
    /// The temporary file is complete, on the disk and closed; the target has
    /// not been touched yet.
    void Finish();
    /// Finishes the text if need be and puts it in place. When the copy into
    /// a hard-linked file fails part way, the error names the temporary file,
    /// which then holds the complete text and is kept.
    void Commit();

    class TImpl; ///< the platform's own way of writing

private:
    std::unique_ptr<TImpl> FImpl;
};

/// From now on, a run stopped by SIGINT, SIGTERM, SIGHUP or SIGXFSZ (on
/// Windows: Ctrl+C, Ctrl+Break or a closed console) removes the temporary
/// files of the writers still open before it ends; a signal that the process
/// ignores stays ignored. For programs: a library does not take over signals
/// by itself.
void RemoveTemporaryFilesWhenStopped();

/// Which file a name stands for on disk, links followed: device and inode on
/// POSIX systems, volume serial number and file index on Windows.
struct TFileIdentity
{
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    bool Known = false; ///< false when the name names no existing file

    friend bool operator==(const TFileIdentity &, const TFileIdentity &) = default;
};

/// The identity of the file FileName names; not Known when it names none.
TFileIdentity FileIdentity(const std::string &FileName);

/// Whether two identities are known and the same file ("./a.map", an
/// absolute path, a link or a second hard link of a.map are a.map).
inline bool SameFile(const TFileIdentity &A, const TFileIdentity &B)
{
    return A.Known && B.Known && A == B;
}

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
    void SetSink(std::function<void(std::string_view)> Sink, std::size_t PieceBytes = std::size_t(1) << 18)
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
