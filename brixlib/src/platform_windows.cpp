// Windows: file names and texts are in the system's ANSI code page, files are
// replaced through a new temporary file and MoveFileEx, letters fold by the
// system's rules and the console takes CR LF line ends.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <system_error>
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

/// Writes Data whole to a new temporary file beside the target and moves it
/// over the target.
void WriteWholeFile(const std::string &FileName, std::string_view Data)
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

/// The system cannot be handed a file in pieces and keep it private until it
/// is complete, as POSIX temporaries are: the pieces are held and written
/// whole by Commit.
class TAtomicFileWriter::TImpl
{
public:
    explicit TImpl(const std::string &FileName) : FFileName(FileName) {}
    void Write(std::string_view Data) { FPending.append(Data); }
    void Commit()
    {
        WriteWholeFile(FFileName, FPending);
        FPending.clear();
    }

private:
    std::string FFileName;
    std::string FPending;
};

TAtomicFileWriter::TAtomicFileWriter(const std::string &FileName) : FImpl(std::make_unique<TImpl>(FileName)) {}
TAtomicFileWriter::~TAtomicFileWriter() = default;

void TAtomicFileWriter::Write(std::string_view Data)
{
    FImpl->Write(Data);
}

void TAtomicFileWriter::Commit()
{
    FImpl->Commit();
}

} // namespace brix
