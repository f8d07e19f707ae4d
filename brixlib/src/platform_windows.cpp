// Windows: file names and texts are in the system's ANSI code page, files are
// replaced through a new temporary file and ReplaceFile (or copied into when
// they have several names), the console's control handler removes temporary
// files, letters fold by the system's rules and the console takes CR LF line
// ends.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <system_error>
#include <vector>
#include <windows.h>

#include "brixlib/files.h"
#include "brixlib/messages.h"
#include "brixlib/text.h"
#include "platform.h"

namespace brix
{

const std::string_view ConsoleLineBreak = "\r\n";

namespace
{

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
            while (Back < 3 && Len > Back + 1 && (static_cast<unsigned char>(Utf8[Pos + Len - Back]) & 0xC0) == 0x80) {
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
        const int AnsiLen =
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide.data(), WideLen, nullptr, 0, nullptr, nullptr);
        const std::size_t Old = Result.size();
        Result.resize(Old + static_cast<std::size_t>(AnsiLen));
        WideCharToMultiByte(
            CP_ACP, WC_NO_BEST_FIT_CHARS, Wide.data(), WideLen, Result.data() + Old, AnsiLen, nullptr, nullptr);
        Pos += Len;
    }
    return Result;
}

} // namespace

// ---------------------------------------------------------------------------
// Platform functions

std::string platform::ErrorText(int Err)
{
    // Err is a C runtime errno here, not a system error code.
    return std::generic_category().message(Err);
}

std::string platform::FromUtf8(std::string Utf8)
{
    return Utf8ToAnsi(Utf8);
}

std::string platform::ToConsoleEncoding(std::string_view Utf8)
{
    return Utf8ToOem866(Utf8);
}

// A drive letter's colon ends the directory part too ("C:*.map").
const std::string_view platform::PathSeparators = "\\/:";
const std::string_view platform::ProgramName = "brixel.exe";
const bool platform::SlashQuestionShowsHelp = true;

std::size_t platform::NameCharLength(std::string_view S, std::size_t Pos)
{
    const auto Lead = static_cast<unsigned char>(S[Pos]);
    return (IsDBCSLeadByte(Lead) && Pos + 1 < S.size()) ? 2 : 1;
}

bool platform::SameNameChar(
    std::string_view Pattern, std::size_t P, std::string_view Name, std::size_t N, std::size_t Len)
{
    if (Pattern.compare(P, Len, Name, N, Len) == 0) {
        return true;
    }
    if (Len != 1) {
        return false;
    }
    char A[1] = {Pattern[P]};
    char B[1] = {Name[N]};
    CharUpperBuffA(A, 1);
    CharUpperBuffA(B, 1);
    return A[0] == B[0];
}

std::vector<std::string> platform::ListMatchingFiles(
    const std::string &DirPart, const std::string &NamePart, const std::function<bool(std::string_view)> &Matches)
{
    // The system's own search: its rules for "*" and "?", names compared
    // without regard to case, and every name as the directory holds it.
    (void)Matches;
    std::vector<std::string> Result;
    const std::string Pattern = DirPart + NamePart;
    WIN32_FIND_DATAA Data;
    const HANDLE Search = FindFirstFileExA(Pattern.c_str(), FindExInfoBasic, &Data, FindExSearchNameMatch, nullptr, 0);
    if (Search == INVALID_HANDLE_VALUE) {
        return Result;
    }
    do {
        if ((Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            Result.push_back(DirPart + Data.cFileName);
        }
    } while (FindNextFileA(Search, &Data));
    FindClose(Search);
    return Result;
}

void platform::PrepareConsole()
{
    // The program writes its own CR LF line ends; a text-mode stream would
    // turn each LF into another CR LF and change the bytes of inserted names.
    _setmode(_fileno(stdout), _O_BINARY);
}

void platform::RestartWithHugePageHeap(char ** /*Argv*/)
{
    // Large pages need a privilege that users do not have: nothing to ask for.
}

// ---------------------------------------------------------------------------
// Letter case

std::string CaseFoldKey(std::string_view S)
{
    // Texts are in the system's ANSI code page here: its letters fold by the
    // system's own rules. The key is the folded text as UTF-8, so two texts
    // that differ after folding never meet in a conversion back.
    constexpr std::size_t MaxLen = 1 << 28;
    if (S.empty() || S.size() > MaxLen) {
        return std::string(S);
    }
    const int Len = static_cast<int>(S.size());
    const int WideLen = MultiByteToWideChar(CP_ACP, 0, S.data(), Len, nullptr, 0);
    if (WideLen <= 0) {
        return std::string(S);
    }
    std::wstring Wide(static_cast<std::size_t>(WideLen), L'\0');
    MultiByteToWideChar(CP_ACP, 0, S.data(), Len, Wide.data(), WideLen);
    CharLowerBuffW(Wide.data(), static_cast<DWORD>(WideLen));
    const int KeyLen = WideCharToMultiByte(CP_UTF8, 0, Wide.data(), WideLen, nullptr, 0, nullptr, nullptr);
    std::string Key(static_cast<std::size_t>(std::max(KeyLen, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, Wide.data(), WideLen, Key.data(), KeyLen, nullptr, nullptr);
    return Key;
}

// ---------------------------------------------------------------------------
// Files

bool FileExists(const std::string &FileName)
{
    // The ANSI call: the name is in the ANSI code page, as it was received.
    if (FileName.empty()) {
        return false;
    }
    const DWORD Attr = GetFileAttributesA(FileName.c_str());
    return Attr != INVALID_FILE_ATTRIBUTES && (Attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

TFileIdentity FileIdentity(const std::string &FileName)
{
    if (FileName.empty()) {
        return {};
    }
    // No access asked for: the identity of a file that is open elsewhere, or
    // may not be read, is known all the same.
    const HANDLE H = CreateFileA(FileName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (H == INVALID_HANDLE_VALUE) {
        return {};
    }
    BY_HANDLE_FILE_INFORMATION Info;
    const BOOL Ok = GetFileInformationByHandle(H, &Info);
    CloseHandle(H);
    if (!Ok) {
        return {};
    }
    return {
        Info.dwVolumeSerialNumber, static_cast<std::uint64_t>(Info.nFileIndexHigh) << 32 | Info.nFileIndexLow, true};
}

namespace
{

// ---------------------------------------------------------------------------
// Temporary files to remove when the console is closed or interrupted

// The console's control handler runs on a thread of its own. It takes the
// lock and keeps it while the process ends, so the run can neither put a file
// in place nor start another one once the removal has begun.
SRWLOCK TempFilesLock = SRWLOCK_INIT;
std::vector<const std::string *> TempFiles;

class TTempFilesLocked
{
public:
    TTempFilesLocked() { AcquireSRWLockExclusive(&TempFilesLock); }
    ~TTempFilesLocked() { ReleaseSRWLockExclusive(&TempFilesLock); }
    TTempFilesLocked(const TTempFilesLocked &) = delete;
    TTempFilesLocked &operator=(const TTempFilesLocked &) = delete;
};

/// With the lock taken.
void EraseTempFile(const std::string *Name)
{
    TempFiles.erase(std::remove(TempFiles.begin(), TempFiles.end(), Name), TempFiles.end());
}

void UnlistTempFile(const std::string *Name)
{
    const TTempFilesLocked Locked;
    EraseTempFile(Name);
}

BOOL WINAPI RemoveTempFilesOnStop(DWORD Event)
{
    switch (Event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            return FALSE;
    }
    AcquireSRWLockExclusive(&TempFilesLock);
    for (const std::string *Name : TempFiles) {
        // Opened for sharing deletion: gone when the process closes it.
        DeleteFileA(Name->c_str());
    }
    return FALSE; // the system's own handler ends the process
}

/// The file a symbolic link stands for; other names unchanged.
std::string FollowLink(const std::string &FileName)
{
    const DWORD Attr = GetFileAttributesA(FileName.c_str());
    if (Attr == INVALID_FILE_ATTRIBUTES || (Attr & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return FileName;
    }
    const HANDLE H = CreateFileA(FileName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (H == INVALID_HANDLE_VALUE) {
        // A link to a missing file: the system cannot say here where it leads,
        // and replacing the link by a file would lose it.
        RaiseWinFileError("Cannot create file", FileName, GetLastError());
    }
    char Buf[MAX_PATH + 8];
    const DWORD Len =
        GetFinalPathNameByHandleA(H, Buf, static_cast<DWORD>(sizeof Buf), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(H);
    if (Len == 0 || Len >= sizeof Buf) {
        return FileName;
    }
    std::string Final(Buf, Len);
    // "\\?\C:\..." and "\\?\UNC\server\...": the forms the ANSI calls take.
    if (Final.rfind("\\\\?\\UNC\\", 0) == 0) {
        Final = "\\\\" + Final.substr(8);
    } else if (Final.rfind("\\\\?\\", 0) == 0) {
        Final = Final.substr(4);
    }
    return Final;
}

} // namespace

void RemoveTemporaryFilesWhenStopped()
{
    SetConsoleCtrlHandler(RemoveTempFilesOnStop, TRUE);
}

/// Writes into a new temporary file beside the target, which Commit puts in
/// place with ReplaceFile (the target's attributes, security and streams
/// stay), or copies into the target when it has several names.
class TAtomicFileWriter::TImpl
{
public:
    explicit TImpl(const std::string &FileName);
    ~TImpl();
    TImpl(const TImpl &) = delete;
    TImpl &operator=(const TImpl &) = delete;
    void Write(std::string_view Data);
    void Finish();
    void Commit();

private:
    [[noreturn]] void Fail(DWORD Err) const { RaiseWinFileError("Cannot create file", FFileName, Err); }
    void CopyIntoTarget();

    std::string FFileName; ///< as the user named it
    std::string FTarget;   ///< the file written, a link followed
    std::string FTemp;
    HANDLE FHandle = INVALID_HANDLE_VALUE;
    bool FExisted = false;
    bool FFinished = false;
    DWORD FLinks = 1;
};

TAtomicFileWriter::TImpl::TImpl(const std::string &FileName) : FFileName(FileName), FTarget(FollowLink(FileName))
{
    const DWORD Attr = GetFileAttributesA(FTarget.c_str());
    FExisted = Attr != INVALID_FILE_ATTRIBUTES;
    // A read-only file is not replaced, as the system refuses to open it for
    // writing; the check is made here since a move over it may succeed.
    if (FExisted && (Attr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        Fail(ERROR_ACCESS_DENIED);
    }
    if (FExisted) {
        const HANDLE H = CreateFileA(FTarget.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION Info;
        if (H != INVALID_HANDLE_VALUE && GetFileInformationByHandle(H, &Info)) {
            FLinks = Info.nNumberOfLinks;
        }
        if (H != INVALID_HANDLE_VALUE) {
            CloseHandle(H);
        }
    }
    // The temporary file lies beside the target ("\\", "/" or a drive's
    // colon ends the directory part), so the final move stays on one volume.
    const std::size_t Sep = FTarget.find_last_of("\\/:");
    const std::string DirPart = Sep == std::string::npos ? std::string() : FTarget.substr(0, Sep + 1);
    // The temporary name is short, so a name too long would fail only at the
    // move, after other files of the run are in place.
    const DWORD FullLength = GetFullPathNameA(FTarget.c_str(), 0, nullptr, nullptr);
    if (FTarget.size() - DirPart.size() > 255 || FullLength == 0 || FullLength > MAX_PATH) {
        Fail(FullLength == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    }

    static unsigned Counter = 0;
    const TTempFilesLocked Locked;
    for (int Attempt = 0; Attempt < 100 && FHandle == INVALID_HANDLE_VALUE; ++Attempt) {
        char Suffix[32];
        char *End = std::to_chars(Suffix, Suffix + sizeof Suffix - 1, GetCurrentProcessId(), 16).ptr;
        *End++ = '-';
        End = std::to_chars(End, Suffix + sizeof Suffix, Counter++, 16).ptr;
        FTemp = DirPart + "~brixel-" + std::string(Suffix, End) + ".tmp";
        // CREATE_NEW: never take over a file that someone else made.
        FHandle = CreateFileA(FTemp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (FHandle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (FHandle == INVALID_HANDLE_VALUE) {
        const DWORD Err = GetLastError();
        FTemp.clear();
        Fail(Err);
    }
    TempFiles.push_back(&FTemp);
}

TAtomicFileWriter::TImpl::~TImpl()
{
    // Not committed: the target stays as it was.
    if (FHandle != INVALID_HANDLE_VALUE) {
        CloseHandle(FHandle);
    }
    if (!FTemp.empty()) {
        DeleteFileA(FTemp.c_str());
    }
    UnlistTempFile(&FTemp);
}

void TAtomicFileWriter::TImpl::Write(std::string_view Data)
{
    const char *P = Data.data();
    std::size_t Left = Data.size();
    while (Left > 0) {
        const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(Left, std::size_t(1) << 30));
        DWORD Written = 0;
        const BOOL Ok = WriteFile(FHandle, P, Chunk, &Written, nullptr);
        if (!Ok || Written == 0) {
            Fail(Ok ? ERROR_WRITE_FAULT : GetLastError());
        }
        P += Written;
        Left -= Written;
    }
}

void TAtomicFileWriter::TImpl::Finish()
{
    if (FFinished) {
        return;
    }
    if (!FlushFileBuffers(FHandle)) {
        Fail(GetLastError());
    }
    const BOOL Closed = CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
    if (!Closed) {
        Fail(GetLastError());
    }
    FFinished = true;
}

void TAtomicFileWriter::TImpl::CopyIntoTarget()
{
    // Every name of the file must see the new text, so it goes into the file
    // itself; until it is all there, the temporary file holds it complete.
    const HANDLE From = CreateFileA(
        FTemp.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (From == INVALID_HANDLE_VALUE) {
        Fail(GetLastError());
    }
    const HANDLE To = CreateFileA(FTarget.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (To == INVALID_HANDLE_VALUE) {
        const DWORD Err = GetLastError();
        CloseHandle(From);
        Fail(Err);
    }
    char Buf[1 << 16];
    DWORD Err = 0;
    for (;;) {
        DWORD Got = 0;
        if (!ReadFile(From, Buf, static_cast<DWORD>(sizeof Buf), &Got, nullptr)) {
            Err = GetLastError();
            break;
        }
        if (Got == 0) {
            break;
        }
        DWORD Written = 0;
        const BOOL Ok = WriteFile(To, Buf, Got, &Written, nullptr);
        if (!Ok || Written != Got) {
            Err = Ok ? ERROR_WRITE_FAULT : GetLastError();
            break;
        }
    }
    if (Err == 0 && (!SetEndOfFile(To) || !FlushFileBuffers(To))) {
        Err = GetLastError();
    }
    CloseHandle(To);
    CloseHandle(From);
    if (Err != 0) {
        // The file is damaged now: the only complete text is the temporary
        // file's, which stays where it is.
        const std::string Kept = FTemp;
        EraseTempFile(&FTemp);
        FTemp.clear();
        RaiseError("Cannot create file \"" + FFileName + "\". " +
                   std::system_category().message(static_cast<int>(Err)) + ". " +
                   FmtMsg(TMsgId::msgCompleteTextKept, {Kept}));
    }
    DeleteFileA(FTemp.c_str());
}

void TAtomicFileWriter::TImpl::Commit()
{
    Finish();
    // Ctrl+C or a closed console waits until the file is in place.
    const TTempFilesLocked Locked;
    if (FExisted && FLinks > 1) {
        CopyIntoTarget();
    } else if (!FExisted || !ReplaceFileA(FTarget.c_str(), FTemp.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
        // A new file, or one the system could not replace keeping its
        // attributes (some file systems): moved over it whole or not at all.
        if (!MoveFileExA(FTemp.c_str(), FTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            Fail(GetLastError());
        }
    }
    EraseTempFile(&FTemp);
    FTemp.clear();
}

TAtomicFileWriter::TAtomicFileWriter(const std::string &FileName) : FImpl(std::make_unique<TImpl>(FileName)) {}
TAtomicFileWriter::~TAtomicFileWriter() = default;
TAtomicFileWriter::TAtomicFileWriter(TAtomicFileWriter &&) noexcept = default;
TAtomicFileWriter &TAtomicFileWriter::operator=(TAtomicFileWriter &&) noexcept = default;

void TAtomicFileWriter::Write(std::string_view Data)
{
    FImpl->Write(Data);
}

void TAtomicFileWriter::Finish()
{
    FImpl->Finish();
}

void TAtomicFileWriter::Commit()
{
    FImpl->Commit();
}

} // namespace brix
