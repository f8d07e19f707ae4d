// POSIX systems (Linux, macOS): file names and texts are bytes (UTF-8 by
// convention), files are replaced through mkstemp and rename, and letters
// fold by the library's own table.
#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

/// Writes into a private temporary file beside the target (mkstemp), which
/// Commit gives the target's mode and renames over it.
class TAtomicFileWriter::TImpl
{
public:
    explicit TImpl(const std::string &FileName);
    ~TImpl();
    TImpl(const TImpl &) = delete;
    TImpl &operator=(const TImpl &) = delete;
    void Write(std::string_view Data);
    void Commit();

private:
    std::string FFileName;
    std::string FTarget, FTemp;
    int FFd = -1;
    mode_t FMode = 0;
};

TAtomicFileWriter::TImpl::TImpl(const std::string &FileName) : FFileName(FileName)
{
    namespace fs = std::filesystem;
    // Write through a symbolic link to the file it names, so the link stays.
    fs::path Target(FileName);
    std::error_code Ec;
    if (fs::is_symlink(fs::symlink_status(Target, Ec))) {
        const fs::path Resolved = fs::weakly_canonical(Target, Ec);
        if (!Ec) {
            Target = Resolved;
        }
    }
    struct stat Old
    {};
    const bool Existed = ::stat(Target.c_str(), &Old) == 0;
    if (Existed && S_ISDIR(Old.st_mode)) {
        RaiseFileError("Cannot create file", FileName, EISDIR);
    }
    // A device or a pipe would be replaced by a plain file (as root even
    // /dev/null): only files are written.
    if (Existed && !S_ISREG(Old.st_mode)) {
        RaiseError("Cannot create file \"" + FileName + "\". Not a regular file");
    }
    // The rename would replace a file that may not be written (protected, or
    // not checked out of version control): refuse it as writing it would.
    if (Existed && ::access(Target.c_str(), W_OK) != 0) {
        RaiseFileError("Cannot create file", FileName, errno);
    }
    // Keep the permissions of the file being replaced; a new file gets the
    // usual mode for new files (mkstemp makes it private).
    if (Existed) {
        FMode = Old.st_mode & 07777;
    } else {
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        FMode = 0666 & ~Mask;
    }

    fs::path Dir = Target.parent_path();
    if (Dir.empty()) {
        Dir = ".";
    }
    // A hidden name beside the target, so the rename stays on one file system.
    std::string TempName = ".";
    TempName += Target.filename().string();
    TempName += ".brixel-XXXXXX";
    std::string Temp = (Dir / TempName).string();
    FFd = ::mkstemp(Temp.data());
    if (FFd < 0) {
        RaiseFileError("Cannot create file", FileName, errno);
    }
    FTemp = std::move(Temp);
    FTarget = Target.string();
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
}

void TAtomicFileWriter::TImpl::Write(std::string_view Data)
{
    const char *P = Data.data();
    std::size_t Left = Data.size();
    while (Left > 0) {
        const ssize_t Got = ::write(FFd, P, Left);
        if (Got < 0) {
            if (errno == EINTR) {
                continue;
            }
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

void TAtomicFileWriter::TImpl::Commit()
{
    if (::fchmod(FFd, static_cast<mode_t>(FMode)) != 0 || ::fsync(FFd) != 0) {
        RaiseFileError("Cannot create file", FFileName, errno);
    }
    const int Fd = FFd;
    FFd = -1;
    if (::close(Fd) != 0) {
        RaiseFileError("Cannot create file", FFileName, errno);
    }
    if (::rename(FTemp.c_str(), FTarget.c_str()) != 0) {
        RaiseFileError("Cannot create file", FFileName, errno);
    }
    FTemp.clear();
}

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
