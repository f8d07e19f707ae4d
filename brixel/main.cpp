// The program's entry: the arguments go to RunBrixel, its status back to the system.
#include <iostream>
#include <string>
#include <vector>

#include "brixel/brixel.h"
#include "platform.h"

int main(int argc, char **argv)
{
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
