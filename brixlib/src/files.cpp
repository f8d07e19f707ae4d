// Files: reading whole text files (byte-order marks, line ends) and writing
// them safely through a temporary file and a rename.
#include "brixlib/support.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace brix
{

namespace
{

[[noreturn]] void RaiseFileError(const char *What, const std::string &FileName, int Err)
{
    std::string Text = What;
    Text += " \"";
    Text += FileName;
    Text += "\". ";
#ifdef _WIN32
    // Err is a C runtime errno here, not a system error code.
    Text += std::generic_category().message(Err);
#else
    Text += std::system_category().message(Err);
#endif
    RaiseError(Text);
}

#ifdef _WIN32

[[noreturn]] void RaiseWinFileError(const char *What, const std::string &FileName, DWORD Err)
{
    RaiseError(std::string(What) + " \"" + FileName + "\". " + std::system_category().message(static_cast<int>(Err)));
}

// Text inside the program is in the system's ANSI code page, as the C runtime
// hands over the arguments. Converted in pieces that end on whole characters,
// so no size overflows the system's int lengths.
std::string Utf8ToAnsi(std::string_view Utf8)
{
    constexpr std::size_t Piece = std::size_t(1) << 24;
    std::string Result;
    std::wstring Wide;
    std::size_t Pos = 0;
    while (Pos < Utf8.size()) {
        std::size_t Len = std::min(Piece, Utf8.size() - Pos);
        if (Pos + Len < Utf8.size()) {
            // Do not cut a UTF-8 sequence: back up over continuation bytes.
            std::size_t Back = 0;
            while (Back < 3 && Len > Back + 1 &&
                   (static_cast<unsigned char>(Utf8[Pos + Len - Back]) & 0xC0) == 0x80) {
                ++Back;
            }
            Len -= Back;
        }
        const char *Src = Utf8.data() + Pos;
        const int SrcLen = static_cast<int>(Len);
        const int WideLen = MultiByteToWideChar(CP_UTF8, 0, Src, SrcLen, nullptr, 0);
        Wide.resize(static_cast<std::size_t>(WideLen));
        MultiByteToWideChar(CP_UTF8, 0, Src, SrcLen, Wide.data(), WideLen);
        // No best-fit mapping: a character the code page lacks becomes "?",
        // never a look-alike such as a path separator.
        const int AnsiLen = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide.data(), WideLen, nullptr, 0,
            nullptr, nullptr);
        const std::size_t Old = Result.size();
        Result.resize(Old + static_cast<std::size_t>(AnsiLen));
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide.data(), WideLen, Result.data() + Old, AnsiLen,
            nullptr, nullptr);
        Pos += Len;
    }
    return Result;
}

#endif

// The text ends at its first NUL. Text after it would be dropped without a
// word, and a map written back would lose it: a file that goes on after its
// NUL with anything but blanks and further NULs is refused. Returns the NUL's
// offset in the file's bytes, or npos when the file is text.
std::size_t NulBeforeText(std::string_view Bytes)
{
    const auto U = [&](std::size_t I) { return static_cast<unsigned char>(Bytes[I]); };
    if (Bytes.size() >= 2 && ((U(0) == 0xFF && U(1) == 0xFE) || (U(0) == 0xFE && U(1) == 0xFF)))
    {
        const bool BigEndian = U(0) == 0xFE;
        std::size_t Nul = std::string_view::npos;
        for (std::size_t I = 2; I + 1 < Bytes.size(); I += 2)
        {
            const unsigned Unit = BigEndian ? (U(I) << 8 | U(I + 1)) : (U(I + 1) << 8 | U(I));
            if (Nul == std::string_view::npos)
            {
                if (Unit == 0)
                    Nul = I;
            }
            else if (Unit > 32)
                return Nul;
        }
        return std::string_view::npos;
    }
    const std::size_t Nul = Bytes.find('\0');
    if (Nul == std::string_view::npos)
        return Nul;
    for (std::size_t I = Nul + 1; I < Bytes.size(); ++I)
        if (U(I) > 32)
            return Nul;
    return std::string_view::npos;
}

[[noreturn]] void RaiseNotText(const std::string &FileName, std::size_t Offset)
{
    char Digits[24];
    const auto Res = std::to_chars(Digits, Digits + sizeof Digits, Offset);
    RaiseError("Cannot open file \"" + FileName + "\". Not a text file: NUL character at offset " +
               std::string(Digits, Res.ptr));
}

} // namespace
// ---------------------------------------------------------------------------
// Files

std::string ReadFileBytes(const std::string &FileName)
{
    std::FILE *F = std::fopen(FileName.c_str(), "rb");
    if (!F)
        RaiseFileError("Cannot open file", FileName, errno);
    std::string Data;
    std::error_code Ec;
    const auto Size = std::filesystem::file_size(FileName, Ec);
    if (!Ec && Size > 0)
        Data.reserve(static_cast<std::size_t>(Size));
    char Buf[1 << 16];
    for (;;)
    {
        const std::size_t Got = std::fread(Buf, 1, sizeof Buf, F);
        Data.append(Buf, Got);
        if (Got < sizeof Buf)
        {
            if (std::ferror(F))
            {
                const int Err = errno;
                std::fclose(F);
                RaiseFileError("Cannot open file", FileName, Err);
            }
            break;
        }
    }
    std::fclose(F);
    return Data;
}

std::string DecodeText(std::string Bytes)
{
    const auto U = [&](std::size_t I) { return static_cast<unsigned char>(Bytes[I]); };
    if (Bytes.size() >= 3 && U(0) == 0xEF && U(1) == 0xBB && U(2) == 0xBF)
    {
        Bytes.erase(0, 3);
#ifdef _WIN32
        Bytes = Utf8ToAnsi(Bytes);
#endif
    }
    else if (Bytes.size() >= 2 && ((U(0) == 0xFF && U(1) == 0xFE) || (U(0) == 0xFE && U(1) == 0xFF)))
    {
        const bool BigEndian = U(0) == 0xFE;
        std::string Out;
        Out.reserve(Bytes.size());
        for (std::size_t I = 2; I + 1 < Bytes.size(); I += 2)
        {
            const auto Unit = [&](std::size_t K) -> char32_t {
                return BigEndian ? (U(K) << 8 | U(K + 1)) : (U(K + 1) << 8 | U(K));
            };
            char32_t Cp = Unit(I);
            if (Cp >= 0xD800 && Cp <= 0xDBFF && I + 3 < Bytes.size())
            {
                const char32_t Low = Unit(I + 2);
                if (Low >= 0xDC00 && Low <= 0xDFFF)
                {
                    Cp = 0x10000 + ((Cp - 0xD800) << 10) + (Low - 0xDC00);
                    I += 2;
                }
            }
            if (Cp >= 0xD800 && Cp <= 0xDFFF)
                Cp = 0xFFFD; // a lone surrogate cannot be written as UTF-8
            AppendUtf8(Out, Cp);
        }
#ifdef _WIN32
        Out = Utf8ToAnsi(Out);
#endif
        Bytes.swap(Out);
    }
    const std::size_t Nul = Bytes.find('\0');
    if (Nul != std::string::npos)
        Bytes.resize(Nul);
    return Bytes;
}

void SplitLines(std::string_view Text, TLineList &Lines)
{
    Lines.clear();
    const char *P = Text.data();
    const char *const End = P + Text.size();
    const auto Find = [End](const char *From, char C) {
        const auto *Hit = static_cast<const char *>(std::memchr(From, C, static_cast<std::size_t>(End - From)));
        return Hit ? Hit : End;
    };
    // The next LF and the next CR are each searched from where the last one
    // was found, never again from every line: a text of lone CRs (or of lone
    // LFs) is still scanned once.
    const char *NextLf = Find(P, '\n');
    const char *NextCr = Find(P, '\r');
    while (P < End)
    {
        if (NextLf < P)
            NextLf = Find(P, '\n');
        if (NextCr < P)
            NextCr = Find(P, '\r');
        const char *Stop = NextLf < NextCr ? NextLf : NextCr;
        Lines.emplace_back(P, static_cast<std::size_t>(Stop - P));
        if (Stop == End)
            break;
        // CR LF ends one line; a lone CR or a lone LF ends one too.
        P = (*Stop == '\r' && Stop + 1 < End && Stop[1] == '\n') ? Stop + 2 : Stop + 1;
    }
}

TLineList SplitLines(std::string_view Text)
{
    TLineList Lines;
    Lines.reserve(Text.size() / 32 + 1);
    SplitLines(Text, Lines);
    return Lines;
}

std::string ReadTextFile(const std::string &FileName)
{
    std::string Bytes = ReadFileBytes(FileName);
    const std::size_t Nul = NulBeforeText(Bytes);
    if (Nul != std::string_view::npos)
        RaiseNotText(FileName, Nul);
    return DecodeText(std::move(Bytes));
}

TTextFileReader::TTextFileReader(const std::string &FileName) : FFileName(FileName)
{
    FFile = std::fopen(FileName.c_str(), "rb");
    if (!FFile)
        RaiseFileError("Cannot open file", FileName, errno);
    std::error_code Ec;
    const auto Size = std::filesystem::file_size(FileName, Ec);
    FLeft = Ec ? static_cast<std::uintmax_t>(-1) : Size;
}

TTextFileReader::~TTextFileReader()
{
    std::fclose(FFile);
}

void TTextFileReader::ReadChunk(std::string &Into)
{
    char Buf[1 << 16];
    const std::size_t More = std::fread(Buf, 1, sizeof Buf, FFile);
    Into.append(Buf, More);
    if (More < sizeof Buf)
    {
        if (std::ferror(FFile))
            RaiseFileError("Cannot open file", FFileName, errno);
        FEnded = true;
    }
}

bool TTextFileReader::ReadPiece(std::string &Text, std::size_t MaxBytes)
{
    if (FEnded)
        return false;
    const std::size_t Old = Text.size();
    // No more room than the rest of the file needs: a small file must not
    // cost a whole piece of memory.
    std::size_t Room = std::max<std::size_t>(MaxBytes, 4);
    if (FLeft < Room)
        Room = std::min<std::size_t>(Room, std::max<std::size_t>(static_cast<std::size_t>(FLeft) + 1, 1 << 16));
    Text.resize(Old + Room);
    const std::size_t Got = std::fread(Text.data() + Old, 1, Room, FFile);
    FLeft = Got < FLeft ? FLeft - Got : 0;
    Text.resize(Old + Got);
    if (Got == 0 || std::feof(FFile) || std::ferror(FFile))
    {
        if (std::ferror(FFile))
            RaiseFileError("Cannot open file", FFileName, errno);
        FEnded = true;
    }
    const bool First = !FStarted;
    FStarted = true;
    const auto U = [&](std::size_t I) { return static_cast<unsigned char>(Text[Old + I]); };
    if (First && Got >= 2 && ((U(0) == 0xFF && U(1) == 0xFE) || (U(0) == 0xFE && U(1) == 0xFF) ||
                                 (Got >= 3 && U(0) == 0xEF && U(1) == 0xBB && U(2) == 0xBF)))
    {
        // A marked text is decoded whole, as ReadTextFile does.
        std::string Bytes = Text.substr(Old);
        while (!FEnded)
            ReadChunk(Bytes);
        const std::size_t BadNul = NulBeforeText(Bytes);
        if (BadNul != std::string_view::npos)
            RaiseNotText(FFileName, BadNul);
        Text.resize(Old);
        Text += DecodeText(std::move(Bytes));
        return true;
    }
    const std::size_t Nul = Text.find('\0', Old);
    if (Nul != std::string::npos)
    {
        // The text ends at its first NUL, but only blanks may follow it.
        const long Position = std::ftell(FFile);
        const std::size_t NulOffset =
            Position < 0 ? Nul - Old : static_cast<std::size_t>(Position) - Got + (Nul - Old);
        std::string Rest = Text.substr(Nul);
        while (!FEnded)
        {
            ReadChunk(Rest);
            if (NulBeforeText(Rest) != std::string_view::npos)
                break;
            Rest.resize(1);
        }
        if (NulBeforeText(Rest) != std::string_view::npos)
            RaiseNotText(FFileName, NulOffset);
        Text.resize(Nul);
        FEnded = true;
    }
    return Text.size() > Old || !FEnded;
}

bool FileExists(const std::string &FileName)
{
#ifdef _WIN32
    // The ANSI call: the name is in the ANSI code page, as it was received.
    if (FileName.empty()) {
        return false;
    }
    const DWORD Attr = GetFileAttributesA(FileName.c_str());
    return Attr != INVALID_FILE_ATTRIBUTES && (Attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
#else
    std::error_code Ec;
    return !FileName.empty() && std::filesystem::is_regular_file(FileName, Ec);
#endif
}

#ifdef _WIN32

void WriteFileAtomic(const std::string &FileName, std::string_view Data)
{
    const DWORD Attr = GetFileAttributesA(FileName.c_str());
    // A read-only file is not replaced, as the system refuses to open it for
    // writing; the check is made here since a move over it may succeed.
    if (Attr != INVALID_FILE_ATTRIBUTES && (Attr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        RaiseWinFileError("Cannot create file", FileName, ERROR_ACCESS_DENIED);
    }
    // The temporary file lies beside the target ("\\", "/" or a drive's
    // colon ends the directory part), so the final move stays on one volume.
    const std::size_t Sep = FileName.find_last_of("\\/:");
    const std::string DirPart = Sep == std::string::npos ? std::string() : FileName.substr(0, Sep + 1);
    const std::string BaseName = Sep == std::string::npos ? FileName : FileName.substr(Sep + 1);

    static unsigned Counter = 0;
    std::string Temp;
    HANDLE H = INVALID_HANDLE_VALUE;
    for (int Attempt = 0; Attempt < 100 && H == INVALID_HANDLE_VALUE; ++Attempt) {
        char Suffix[32];
        char *End = Suffix;
        *End++ = '-';
        End = std::to_chars(End, Suffix + sizeof Suffix - 1, GetCurrentProcessId(), 16).ptr;
        *End++ = '-';
        End = std::to_chars(End, Suffix + sizeof Suffix, Counter++, 16).ptr;
        Temp = DirPart + "~" + BaseName + ".brixel" + std::string(Suffix, End);
        // CREATE_NEW: never take over a file that someone else made.
        H = CreateFileA(Temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (H == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (H == INVALID_HANDLE_VALUE) {
        RaiseWinFileError("Cannot create file", FileName, GetLastError());
    }

    auto Fail = [&](DWORD Err) {
        if (H != INVALID_HANDLE_VALUE) {
            CloseHandle(H);
        }
        DeleteFileA(Temp.c_str());
        RaiseWinFileError("Cannot create file", FileName, Err);
    };
    const char *P = Data.data();
    std::size_t Left = Data.size();
    while (Left > 0) {
        const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(Left, std::size_t(1) << 30));
        DWORD Written = 0;
        const BOOL Ok = WriteFile(H, P, Chunk, &Written, nullptr);
        if (!Ok || Written == 0) {
            Fail(Ok ? ERROR_WRITE_FAULT : GetLastError());
        }
        P += Written;
        Left -= Written;
    }
    if (!FlushFileBuffers(H)) {
        Fail(GetLastError());
    }
    const BOOL Closed = CloseHandle(H);
    H = INVALID_HANDLE_VALUE;
    if (!Closed) {
        Fail(GetLastError());
    }
    // Replaces the target whole or not at all; a read-only target is refused.
    if (!MoveFileExA(Temp.c_str(), FileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Fail(GetLastError());
    }
}

// A whole-file writer holds all pieces and writes them by Commit.
TAtomicFileWriter::TAtomicFileWriter(const std::string &FileName) : FFileName(FileName) {}

TAtomicFileWriter::~TAtomicFileWriter() = default;

void TAtomicFileWriter::Write(std::string_view Data)
{
    FPending.append(Data);
}

void TAtomicFileWriter::Commit()
{
    WriteFileAtomic(FFileName, FPending);
    FPending.clear();
}

#else

TAtomicFileWriter::TAtomicFileWriter(const std::string &FileName) : FFileName(FileName)
{
    namespace fs = std::filesystem;
    // Write through a symbolic link to the file it names, so the link stays.
    fs::path Target(FileName);
    std::error_code Ec;
    if (fs::is_symlink(fs::symlink_status(Target, Ec)))
    {
        const fs::path Resolved = fs::weakly_canonical(Target, Ec);
        if (!Ec)
            Target = Resolved;
    }
    struct stat Old
    {
    };
    const bool Existed = ::stat(Target.c_str(), &Old) == 0;
    if (Existed && S_ISDIR(Old.st_mode))
        RaiseFileError("Cannot create file", FileName, EISDIR);
    // A device or a pipe would be replaced by a plain file (as root even
    // /dev/null): only files are written.
    if (Existed && !S_ISREG(Old.st_mode))
        RaiseError("Cannot create file \"" + FileName + "\". Not a regular file");
    // The rename would replace a file that may not be written (protected, or
    // not checked out of version control): refuse it as writing it would.
    if (Existed && ::access(Target.c_str(), W_OK) != 0)
        RaiseFileError("Cannot create file", FileName, errno);
    // Keep the permissions of the file being replaced; a new file gets the
    // usual mode for new files (mkstemp makes it private).
    if (Existed)
        FMode = Old.st_mode & 07777;
    else
    {
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        FMode = 0666 & ~Mask;
    }

    fs::path Dir = Target.parent_path();
    if (Dir.empty())
        Dir = ".";
    // A hidden name beside the target, so the rename stays on one file system.
    std::string TempName = ".";
    TempName += Target.filename().string();
    TempName += ".brixel-XXXXXX";
    std::string Temp = (Dir / TempName).string();
    FFd = ::mkstemp(Temp.data());
    if (FFd < 0)
        RaiseFileError("Cannot create file", FileName, errno);
    FTemp = std::move(Temp);
    FTarget = Target.string();
}

TAtomicFileWriter::~TAtomicFileWriter()
{
    // Not committed: the target stays as it was.
    if (FFd >= 0)
        ::close(FFd);
    if (!FTemp.empty())
        ::unlink(FTemp.c_str());
}

void TAtomicFileWriter::Write(std::string_view Data)
{
    const char *P = Data.data();
    std::size_t Left = Data.size();
    while (Left > 0)
    {
        const ssize_t Got = ::write(FFd, P, Left);
        if (Got < 0)
        {
            if (errno == EINTR)
                continue;
            RaiseFileError("Cannot create file", FFileName, errno);
        }
        P += Got;
        Left -= static_cast<std::size_t>(Got);
    }
#ifdef __linux__
    // Start writing what is there to the disk now, while the next piece is
    // made: the fsync of Commit then waits for the last pieces only.
    ::sync_file_range(FFd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void TAtomicFileWriter::Commit()
{
    if (::fchmod(FFd, static_cast<mode_t>(FMode)) != 0 || ::fsync(FFd) != 0)
        RaiseFileError("Cannot create file", FFileName, errno);
    const int Fd = FFd;
    FFd = -1;
    if (::close(Fd) != 0)
        RaiseFileError("Cannot create file", FFileName, errno);
    if (::rename(FTemp.c_str(), FTarget.c_str()) != 0)
        RaiseFileError("Cannot create file", FFileName, errno);
    FTemp.clear();
}

void WriteFileAtomic(const std::string &FileName, std::string_view Data)
{
    TAtomicFileWriter Writer(FileName);
    Writer.Write(Data);
    Writer.Commit();
}

#endif

} // namespace brix
