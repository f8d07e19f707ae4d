// POSIX systems (Linux, macOS): file names and texts are bytes (UTF-8 by
// convention), files are replaced through mkstemp and rename (or copied into
// when they have several names), temporary files are removed by the stopping
// signals' handler, and letters fold by the library's own table.
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pthread.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include "brixlib/files.h"
#include "brixlib/messages.h"
#include "brixlib/text.h"
#include "platform.h"

namespace brix
{

const std::string_view ConsoleLineBreak = "\n";

namespace
{

[[noreturn]] void RaiseFileError(const char *What, const std::string &FileName, int Err)
{
    RaiseError(std::string(What) + " \"" + FileName + "\". " + platform::ErrorText(Err));
}

/// Lower-case partner of a letter, for comparisons without regard to case.
char32_t FoldLetter(char32_t Cp)
{
    if (Cp >= 'A' && Cp <= 'Z') {
        return Cp + 32;
    }
    if (Cp < 0xC0) {
        return Cp;
    }
    if (Cp <= 0xDE) {
        return Cp == 0xD7 ? Cp : Cp + 32; // Latin-1, except the multiplication sign
    }
    if (Cp >= 0x100 && Cp <= 0x17F) {
        // Latin Extended-A: mostly upper/lower pairs, with two runs that start on an odd code.
        if ((Cp >= 0x139 && Cp <= 0x148) || (Cp >= 0x179 && Cp <= 0x17E)) {
            return (Cp % 2 == 1) ? Cp + 1 : Cp;
        }
        if (Cp == 0x178) {
            return 0xFF;
        }
        if (Cp == 0x130 || Cp == 0x131 || Cp == 0x138 || Cp == 0x149 || Cp == 0x17F) {
            return Cp;
        }
        return (Cp % 2 == 0) ? Cp + 1 : Cp;
    }
    if (Cp >= 0x391 && Cp <= 0x3A9 && Cp != 0x3A2) {
        return Cp + 32; // Greek
    }
    if (Cp == 0x386) {
        return 0x3AC;
    }
    if (Cp >= 0x388 && Cp <= 0x38A) {
        return Cp + 37;
    }
    if (Cp == 0x38C) {
        return 0x3CC;
    }
    if (Cp == 0x38E || Cp == 0x38F) {
        return Cp + 63;
    }
    if (Cp >= 0x410 && Cp <= 0x42F) {
        return Cp + 32; // Cyrillic
    }
    if (Cp >= 0x400 && Cp <= 0x40F) {
        return Cp + 80; // Ё and the other Cyrillic letters with marks
    }
    if ((Cp >= 0x460 && Cp <= 0x481) || (Cp >= 0x48A && Cp <= 0x4BF)) {
        return (Cp % 2 == 0) ? Cp + 1 : Cp;
    }
    return Cp;
}

} // namespace

// ---------------------------------------------------------------------------
// Platform functions

std::string platform::ErrorText(int Err)
{
    return std::system_category().message(Err);
}

std::string platform::FromUtf8(std::string Utf8)
{
    return Utf8;
}

std::string platform::ToConsoleEncoding(std::string_view Utf8)
{
    return std::string(Utf8);
}

const std::string_view platform::PathSeparators = "/";
const std::string_view platform::ProgramName = "brixel";
const bool platform::SlashQuestionShowsHelp = false;

std::size_t platform::NameCharLength(std::string_view S, std::size_t Pos)
{
    const auto Lead = static_cast<unsigned char>(S[Pos]);
    const auto IsContinuation = [](unsigned char C) { return (C & 0xC0) == 0x80; };
    std::size_t Len = 1;
    if (Lead >= 0xC2 && Lead <= 0xDF) {
        Len = 2;
    } else if (Lead >= 0xE0 && Lead <= 0xEF) {
        Len = 3;
    } else if (Lead >= 0xF0 && Lead <= 0xF4) {
        Len = 4;
    }
    if (Pos + Len > S.size()) {
        return 1;
    }
    for (std::size_t I = 1; I < Len; ++I) {
        if (!IsContinuation(static_cast<unsigned char>(S[Pos + I]))) {
            return 1;
        }
    }
    return Len;
}

bool platform::SameNameChar(
    std::string_view Pattern, std::size_t P, std::string_view Name, std::size_t N, std::size_t Len)
{
    return Pattern.compare(P, Len, Name, N, Len) == 0;
}

std::vector<std::string> platform::ListMatchingFiles(
    const std::string &DirPart, const std::string &NamePart, const std::function<bool(std::string_view)> &Matches)
{
    namespace fs = std::filesystem;
    std::vector<std::string> Result;
    if (NamePart.find_first_of("*?") == std::string::npos) {
        if (FileExists(DirPart + NamePart)) {
            Result.push_back(DirPart + NamePart);
        }
        return Result;
    }
    std::error_code Ec;
    fs::directory_iterator It(DirPart.empty() ? fs::path(".") : fs::path(DirPart), Ec);
    if (Ec) {
        return Result;
    }
    for (; It != fs::directory_iterator(); It.increment(Ec)) {
        if (Ec) {
            return {};
        }
        const std::string Name = It->path().filename().string();
        std::error_code TypeEc;
        // is_regular_file follows links, so a link to a file counts as the file.
        if (Matches(Name) && It->is_regular_file(TypeEc) && !TypeEc) {
            Result.push_back(DirPart + Name);
        }
    }
    return Result;
}

void platform::PrepareConsole()
{
    // A closed console is a failed write, reported like any other, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
}

void platform::RestartWithHugePageHeap(char **Argv)
{
#if defined(__linux__) && defined(__GLIBC__)
    constexpr std::string_view Tunable = "glibc.malloc.hugetlb";
    const char *Tunables = std::getenv("GLIBC_TUNABLES");
    // Set already (by us, before the restart, or by the user): never again.
    if (Tunables != nullptr && std::string_view(Tunables).find(Tunable) != std::string_view::npos) {
        return;
    }
    // "always" gives huge pages without asking, "never" not at all.
    std::ifstream Mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string Line;
    if (!std::getline(Mode, Line) || Line.find("[madvise]") == std::string::npos) {
        return;
    }
    std::string Value = Tunables != nullptr && *Tunables != '\0' ? std::string(Tunables) + ":" : std::string();
    Value.append(Tunable).append("=1");
    if (::setenv("GLIBC_TUNABLES", Value.c_str(), 1) == 0) {
        ::execv("/proc/self/exe", Argv);
    }
#else
    (void)Argv;
#endif
}

// ---------------------------------------------------------------------------
// Letter case

std::string CaseFoldKey(std::string_view S)
{
    std::string Out;
    Out.reserve(S.size());
    for (std::size_t I = 0; I < S.size();) {
        char32_t Cp;
        const std::size_t Len = DecodeUtf8(S, I, Cp);
        if (Len == 0) {
            // Not UTF-8: keep the byte as it is. A raw byte can never equal a
            // decoded letter, since valid sequences are re-encoded in full.
            Out += S[I];
            ++I;
            continue;
        }
        AppendUtf8(Out, FoldLetter(Cp));
        I += Len;
    }
    return Out;
}

// ---------------------------------------------------------------------------
// Files

bool FileExists(const std::string &FileName)
{
    std::error_code Ec;
    return !FileName.empty() && std::filesystem::is_regular_file(FileName, Ec);
}

TFileIdentity FileIdentity(const std::string &FileName)
{
    struct stat St
    {};
    if (FileName.empty() || ::stat(FileName.c_str(), &St) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(St.st_dev), static_cast<std::uint64_t>(St.st_ino), true};
}

namespace
{

// ---------------------------------------------------------------------------
// Temporary files to remove when the run is stopped

/// A temporary file that is not in place yet. The list changes only while
/// the stopping signals are held back, so the handler always finds it whole.
struct TTempEntry
{
    const char *Name = nullptr;
    TTempEntry *Prev = nullptr;
    TTempEntry *Next = nullptr;
    bool Listed = false;
};

TTempEntry *TempFiles = nullptr;

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

sigset_t StopSignalSet()
{
    sigset_t Set;
    sigemptyset(&Set);
    for (const int Sig : StopSignals) {
        sigaddset(&Set, Sig);
    }
    return Set;
}

class TStopSignalsHeld
{
public:
    TStopSignalsHeld()
    {
        const sigset_t Set = StopSignalSet();
        ::pthread_sigmask(SIG_BLOCK, &Set, &FOld);
    }
    ~TStopSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &FOld, nullptr); }
    TStopSignalsHeld(const TStopSignalsHeld &) = delete;
    TStopSignalsHeld &operator=(const TStopSignalsHeld &) = delete;

private:
    sigset_t FOld;
};

void ListTempFile(TTempEntry &Entry)
{
    Entry.Prev = nullptr;
    Entry.Next = TempFiles;
    if (TempFiles != nullptr) {
        TempFiles->Prev = &Entry;
    }
    TempFiles = &Entry;
    Entry.Listed = true;
}

void UnlistTempFile(TTempEntry &Entry)
{
    if (!Entry.Listed) {
        return;
    }
    const TStopSignalsHeld Held;
    if (Entry.Prev != nullptr) {
        Entry.Prev->Next = Entry.Next;
    } else {
        TempFiles = Entry.Next;
    }
    if (Entry.Next != nullptr) {
        Entry.Next->Prev = Entry.Prev;
    }
    Entry.Listed = false;
}

void RemoveTempFilesAndStop(int Sig)
{
    // The run may have been stopped anywhere: async-signal-safe calls only.
    for (const TTempEntry *Entry = TempFiles; Entry != nullptr; Entry = Entry->Next) {
        ::unlink(Entry->Name);
    }
    // Ends the process as the signal would have, once the handler returns
    // (the signal is held back while it runs).
    ::signal(Sig, SIG_DFL);
    ::raise(Sig);
}

// ---------------------------------------------------------------------------
// Replacing a file

/// The file that FileName stands for once symbolic links are followed; a
/// link to a missing file stands for that file, which is then created.
std::string FollowLinks(const std::string &FileName)
{
    namespace fs = std::filesystem;
    fs::path Path(FileName);
    for (int Hop = 0; Hop < 40; ++Hop) {
        std::error_code Ec;
        if (!fs::is_symlink(fs::symlink_status(Path, Ec)) || Ec) {
            return Path.string();
        }
        const fs::path Link = fs::read_symlink(Path, Ec);
        if (Ec) {
            RaiseFileError("Cannot create file", FileName, Ec.value());
        }
        Path = Link.is_absolute() ? Link : Path.parent_path() / Link;
    }
    RaiseFileError("Cannot create file", FileName, ELOOP);
}

#ifdef __linux__
/// Best effort: a file system without extended attributes, or one the
/// process may not set (trusted.*, security.*), is no reason to refuse.
void CopyExtendedAttributes(const std::string &From, int ToFd)
{
    ssize_t Size = ::listxattr(From.c_str(), nullptr, 0);
    if (Size <= 0) {
        return;
    }
    std::string Names(static_cast<std::size_t>(Size), '\0');
    Size = ::listxattr(From.c_str(), Names.data(), Names.size());
    if (Size <= 0) {
        return;
    }
    Names.resize(static_cast<std::size_t>(Size));
    std::string Value;
    for (std::size_t Pos = 0; Pos < Names.size(); Pos = Names.find('\0', Pos) + 1) {
        const char *Name = Names.c_str() + Pos;
        const ssize_t Len = ::getxattr(From.c_str(), Name, nullptr, 0);
        if (Len < 0) {
            continue;
        }
        Value.resize(static_cast<std::size_t>(Len));
        const ssize_t Got = ::getxattr(From.c_str(), Name, Value.data(), Value.size());
        if (Got >= 0) {
            ::fsetxattr(ToFd, Name, Value.data(), static_cast<std::size_t>(Got), 0);
        }
    }
}
#endif

bool WriteAll(int Fd, const char *P, std::size_t Left)
{
    while (Left > 0) {
        const ssize_t Got = ::write(Fd, P, Left);
        if (Got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        P += Got;
        Left -= static_cast<std::size_t>(Got);
    }
    return true;
}

} // namespace

void RemoveTemporaryFilesWhenStopped()
{
    struct sigaction Action
    {};
    Action.sa_handler = RemoveTempFilesAndStop;
    Action.sa_mask = StopSignalSet(); // one handler at a time
    for (const int Sig : StopSignals) {
        struct sigaction Old
        {};
        // A signal ignored on purpose (nohup, a shell's background job) stays ignored.
        if (::sigaction(Sig, nullptr, &Old) == 0 && Old.sa_handler != SIG_IGN) {
            ::sigaction(Sig, &Action, nullptr);
        }
    }
}

/// Writes into a private temporary file beside the target (mkstemp), which
/// Finish gives the target's owner, attributes and mode, and Commit renames
/// over the target or, for a file of several names, copies into it.
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
    [[noreturn]] void Fail(int Err) const { RaiseFileError("Cannot create file", FFileName, Err); }
    void CopyIntoTarget();
    void SyncDirectory() const;

    std::string FFileName; ///< as the user named it
    std::string FTarget;   ///< the file written, links followed
    std::string FDir;      ///< its directory, "" for the current one
    std::string FTemp;
    TTempEntry FEntry;
    int FFd = -1;
    bool FExisted = false;
    bool FFinished = false;
    struct stat FOld
    {};
};

TAtomicFileWriter::TImpl::TImpl(const std::string &FileName) : FFileName(FileName), FTarget(FollowLinks(FileName))
{
    FExisted = ::stat(FTarget.c_str(), &FOld) == 0;
    if (FExisted && S_ISDIR(FOld.st_mode)) {
        Fail(EISDIR);
    }
    // A device or a pipe would be replaced by a plain file (as root even
    // /dev/null): only files are written.
    if (FExisted && !S_ISREG(FOld.st_mode)) {
        RaiseError("Cannot create file \"" + FileName + "\". Not a regular file");
    }
    // The rename would replace a file that may not be written (protected, or
    // not checked out of version control): refuse it as writing it would.
    if (FExisted && ::access(FTarget.c_str(), W_OK) != 0) {
        Fail(errno);
    }
    const std::size_t Slash = FTarget.rfind('/');
    FDir = Slash == std::string::npos ? std::string() : FTarget.substr(0, Slash + 1);
    // The temporary name is short, so a name too long for the directory would
    // fail only at the rename, after other files of the run are in place.
    const long NameMax = ::pathconf(FDir.empty() ? "." : FDir.c_str(), _PC_NAME_MAX);
    const std::size_t NameLength = FTarget.size() - FDir.size();
    if ((NameMax > 0 && NameLength > static_cast<std::size_t>(NameMax)) || FTarget.size() >= PATH_MAX) {
        Fail(ENAMETOOLONG);
    }

    // Beside the target, so the rename stays on one file system.
    std::string Temp = FDir + ".brixel-XXXXXX";
    const TStopSignalsHeld Held;
    FFd = ::mkstemp(Temp.data());
    if (FFd < 0) {
        Fail(errno);
    }
    FTemp = std::move(Temp);
    FEntry.Name = FTemp.c_str();
    ListTempFile(FEntry);
}

TAtomicFileWriter::TImpl::~TImpl()
{
    // Not committed: the target stays as it was.
    if (FFd >= 0) {
        ::close(FFd);
    }
    if (!FTemp.empty()) {
        ::unlink(FTemp.c_str());
    }
    UnlistTempFile(FEntry);
}

void TAtomicFileWriter::TImpl::Write(std::string_view Data)
{
    if (!WriteAll(FFd, Data.data(), Data.size())) {
        Fail(errno);
    }
#ifdef __linux__
    // Start writing what is there to the disk now, while the next piece is
    // made: the fsync of Finish then waits for the last pieces only.
    ::sync_file_range(FFd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void TAtomicFileWriter::TImpl::Finish()
{
    if (FFinished) {
        return;
    }
    mode_t Mode = 0;
    if (FExisted) {
        // The owner first: a change of owner clears the set-id bits of the mode.
        // Where the process may not give the file away, it may still keep the
        // group when it belongs to it; beyond that the new file is its own.
        if (::fchown(FFd, FOld.st_uid, FOld.st_gid) != 0) {
            (void)::fchown(FFd, static_cast<uid_t>(-1), FOld.st_gid);
        }
#ifdef __linux__
        CopyExtendedAttributes(FTarget, FFd);
#endif
        Mode = FOld.st_mode & 07777;
    } else {
        // The usual mode for new files (mkstemp makes it private).
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        Mode = 0666 & ~Mask;
    }
    if (::fchmod(FFd, Mode) != 0 || ::fsync(FFd) != 0) {
        Fail(errno);
    }
    const int Fd = FFd;
    FFd = -1;
    if (::close(Fd) != 0) {
        Fail(errno);
    }
    FFinished = true;
}

void TAtomicFileWriter::TImpl::CopyIntoTarget()
{
    // Every name of the file must see the new text, so it goes into the file
    // itself; until it is all there, the temporary file holds it complete.
    const int From = ::open(FTemp.c_str(), O_RDONLY | O_CLOEXEC);
    if (From < 0) {
        Fail(errno);
    }
    const int To = ::open(FTarget.c_str(), O_WRONLY | O_CLOEXEC);
    if (To < 0) {
        const int Err = errno;
        ::close(From);
        Fail(Err);
    }
    char Buf[1 << 16];
    off_t Size = 0;
    int Err = 0;
    while (Err == 0) {
        const ssize_t Got = ::read(From, Buf, sizeof Buf);
        if (Got < 0 && errno == EINTR) {
            continue;
        }
        if (Got <= 0) {
            Err = Got < 0 ? errno : 0;
            break;
        }
        if (!WriteAll(To, Buf, static_cast<std::size_t>(Got))) {
            Err = errno;
        }
        Size += Got;
    }
    if (Err == 0 && (::ftruncate(To, Size) != 0 || ::fsync(To) != 0)) {
        Err = errno;
    }
    if (::close(To) != 0 && Err == 0) {
        Err = errno;
    }
    ::close(From);
    if (Err != 0) {
        // The file is damaged now: the only complete text is the temporary
        // file's, which stays where it is.
        const std::string Kept = FTemp;
        UnlistTempFile(FEntry);
        FTemp.clear();
        RaiseError("Cannot create file \"" + FFileName + "\". " + platform::ErrorText(Err) + ". " +
                   FmtMsg(TMsgId::msgCompleteTextKept, {Kept}));
    }
    ::unlink(FTemp.c_str());
}

void TAtomicFileWriter::TImpl::SyncDirectory() const
{
    // The rename is in place only once the directory is on the disk too. A
    // file system that cannot flush a directory has nothing more to do, and
    // the file is in place either way: no error from here.
    const int Fd = ::open(FDir.empty() ? "." : FDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd >= 0) {
        ::fsync(Fd);
        ::close(Fd);
    }
}

void TAtomicFileWriter::TImpl::Commit()
{
    Finish();
    if (FExisted && FOld.st_nlink > 1) {
        // Not stopped half way: the handler would remove the only complete text.
        const TStopSignalsHeld Held;
        CopyIntoTarget();
    } else if (::rename(FTemp.c_str(), FTarget.c_str()) != 0) {
        Fail(errno);
    }
    UnlistTempFile(FEntry);
    FTemp.clear();
    SyncDirectory();
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
