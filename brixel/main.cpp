// The program's entry: the arguments go to RunBrixel, its status back to the system.
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "brixel/brixel.h"
#include "platform.h"

namespace
{

/// Whether the files the arguments name hold enough bytes for a huge-page
/// heap to pay for a restart of the program; patterns and options are not
/// looked into, small maps never wait for it. The heap then grows in 2 MB
/// pages: on maps of a few dozen MB that is a tenth or more of the memory,
/// for page faults that cost a few milliseconds.
bool NamesLargeFiles(int argc, char **argv)
{
    constexpr std::uintmax_t LargeBytes = std::uintmax_t(32) << 20;
    std::uintmax_t Total = 0;
    for (int I = 1; I < argc; ++I) {
        std::error_code Err;
        if (argv[I] != nullptr && argv[I][0] != '-' && std::filesystem::is_regular_file(argv[I], Err)) {
            const std::uintmax_t Size = std::filesystem::file_size(argv[I], Err);
            Total += Err ? 0 : Size;
        }
    }
    return Total >= LargeBytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (NamesLargeFiles(argc, argv)) {
        brix::platform::RestartWithHugePageHeap(argv);
    }
    brix::platform::PrepareConsole();
    // The destination is the source by default: a run stopped half way must
    // leave neither a damaged file nor a temporary one behind.
    brix::RemoveTemporaryFilesWhenStopped();
    // The C runtime has split the command line already (quotes removed, in
    // the system's ANSI code page on Windows); an empty argument is not taken.
    std::vector<std::string> Args;
    for (int I = 1; I < argc; ++I) {
        if (argv[I] != nullptr && argv[I][0] != '\0') {
            Args.emplace_back(argv[I]);
        }
    }
    brix::LeaveMapsToTheSystem();
    int Status = brix::RunBrixel(Args, std::cout, std::cin);
    std::cout.flush();
    if (!std::cout) {
        Status = 1;
    }
    return Status;
}
