// The program's entry: the arguments go to RunBrixel, its status back to the system.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "brixel/brixel.h"

int main(int argc, char **argv)
{
#ifdef SIGPIPE
    // A closed console is a failed write, reported like any other, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::vector<std::string> Args;
    for (int I = 1; I < argc; ++I) {
        if (argv[I] != nullptr && argv[I][0] != '\0') {
            Args.emplace_back(argv[I]);
        }
    }
    int Status = brix::RunBrixel(Args, std::cout, std::cin);
    std::cout.flush();
    if (!std::cout) {
        Status = 1;
    }
    return Status;
}
