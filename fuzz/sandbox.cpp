// What the targets share: the loud failure and the private directory.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "targets.h"

namespace brix::fuzz
{

namespace
{

std::filesystem::path &SandboxPath()
{
    static std::filesystem::path Path;
    return Path;
}

void RemoveSandbox()
{
    std::error_code Ec;
    std::filesystem::remove_all(SandboxPath(), Ec);
}

} // namespace

void Fail(const char *What)
{
    std::fputs("brixel fuzz check failed: ", stderr);
    std::fputs(What, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

TSandbox::TSandbox()
{
    namespace fs = std::filesystem;
    FReturnTo = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FReturnTo < 0) {
        Fail("cannot note the current directory");
    }
    std::error_code Ec;
    if (SandboxPath().empty()) {
        // A memory file system when there is one: the targets write files on
        // every run, and a disk would make each run wait for it.
        fs::path Base = "/dev/shm";
        if (!fs::is_directory(Base, Ec) || ::access(Base.c_str(), W_OK) != 0) {
            Base = fs::temp_directory_path(Ec);
            if (Ec) {
                Fail("no temporary directory");
            }
        }
        const fs::path Path = Base / ("brixel-fuzz-" + std::to_string(::getpid()));
        fs::remove_all(Path, Ec);
        if (!fs::create_directories(Path, Ec) || Ec) {
            Fail("cannot create the private directory");
        }
        SandboxPath() = Path;
        std::atexit(RemoveSandbox);
    }
    if (::chdir(SandboxPath().c_str()) != 0) {
        Fail("cannot enter the private directory");
    }
}

TSandbox::~TSandbox()
{
    if (::fchdir(FReturnTo) != 0) {
        Fail("cannot return to the directory the run started in");
    }
    ::close(FReturnTo);
}

} // namespace brix::fuzz
