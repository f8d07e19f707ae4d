// Files: reading whole text files (byte-order marks, line ends) and writing
// them safely through a temporary file and a rename.
#include "brixlib/support.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
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
    Text += std::system_category().message(Err);
    RaiseError(Text);
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
        Bytes.erase(0, 3);
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
        Bytes.swap(Out);
    }
    const std::size_t Nul = Bytes.find('\0');
    if (Nul != std::string::npos)
        Bytes.resize(Nul);
    return Bytes;
}

TLineList SplitLines(std::string_view Text)
{
    TLineList Lines;
    Lines.reserve(Text.size() / 32 + 1);
    const char *P = Text.data();
    const char *End = P + Text.size();
    while (P < End)
    {
        const auto *Lf = static_cast<const char *>(std::memchr(P, '\n', static_cast<std::size_t>(End - P)));
        const char *Stop = Lf ? Lf : End;
        const auto *Cr = static_cast<const char *>(std::memchr(P, '\r', static_cast<std::size_t>(Stop - P)));
        if (Cr)
        {
            // CR LF, or a lone CR that ends the line by itself.
            Lines.emplace_back(P, static_cast<std::size_t>(Cr - P));
            P = (Cr + 1 < End && Cr[1] == '\n') ? Cr + 2 : Cr + 1;
            continue;
        }
        Lines.emplace_back(P, static_cast<std::size_t>(Stop - P));
        P = Lf ? Lf + 1 : End;
    }
    return Lines;
}

std::string ReadTextFile(const std::string &FileName)
{
    return DecodeText(ReadFileBytes(FileName));
}

bool FileExists(const std::string &FileName)
{
    std::error_code Ec;
    return !FileName.empty() && std::filesystem::is_regular_file(FileName, Ec);
}

#ifdef _WIN32

void WriteFileAtomic(const std::string &FileName, std::string_view Data)
{
    namespace fs = std::filesystem;
    const fs::path Target(FileName);
    fs::path Dir = Target.parent_path();
    if (Dir.empty())
        Dir = ".";
    const fs::path Temp = Dir / (Target.filename().string() + ".brixel-tmp");
    std::FILE *F = std::fopen(Temp.string().c_str(), "wb");
    if (!F)
        RaiseFileError("Cannot create file", FileName, errno);
    const bool Ok = std::fwrite(Data.data(), 1, Data.size(), F) == Data.size();
    const int Err = errno;
    if (std::fclose(F) != 0 || !Ok)
    {
        std::remove(Temp.string().c_str());
        RaiseFileError("Cannot create file", FileName, Ok ? errno : Err);
    }
    if (!MoveFileExA(Temp.string().c_str(), FileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        const auto WinErr = GetLastError();
        std::remove(Temp.string().c_str());
        RaiseError("Cannot create file \"" + FileName + "\". " + std::system_category().message(static_cast<int>(WinErr)));
    }
}

#else

void WriteFileAtomic(const std::string &FileName, std::string_view Data)
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

    fs::path Dir = Target.parent_path();
    if (Dir.empty())
        Dir = ".";
    // A hidden name beside the target, so the rename stays on one file system.
    std::string TempName = ".";
    TempName += Target.filename().string();
    TempName += ".brixel-XXXXXX";
    std::string Temp = (Dir / TempName).string();
    const int Fd = ::mkstemp(Temp.data());
    if (Fd < 0)
        RaiseFileError("Cannot create file", FileName, errno);

    auto Fail = [&](int Err) {
        ::close(Fd);
        ::unlink(Temp.c_str());
        RaiseFileError("Cannot create file", FileName, Err);
    };
    const char *P = Data.data();
    std::size_t Left = Data.size();
    while (Left > 0)
    {
        const ssize_t Got = ::write(Fd, P, Left);
        if (Got < 0)
        {
            if (errno == EINTR)
                continue;
            Fail(errno);
        }
        P += Got;
        Left -= static_cast<std::size_t>(Got);
    }
    // Keep the permissions of the file being replaced; a new file gets the
    // usual mode for new files (mkstemp makes it private).
    mode_t Mode;
    if (Existed)
        Mode = Old.st_mode & 07777;
    else
    {
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        Mode = 0666 & ~Mask;
    }
    if (::fchmod(Fd, Mode) != 0 || ::fsync(Fd) != 0)
        Fail(errno);
    if (::close(Fd) != 0)
    {
        const int Err = errno;
        ::unlink(Temp.c_str());
        RaiseFileError("Cannot create file", FileName, Err);
    }
    if (::rename(Temp.c_str(), Target.c_str()) != 0)
    {
        const int Err = errno;
        ::unlink(Temp.c_str());
        RaiseFileError("Cannot create file", FileName, Err);
    }
}

#endif

} // namespace brix
