// The program's entry: the arguments go to RunBrixel, its status back to the system.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "brixel/brixel.h"

int main(int argc, char **argv)
{
#ifdef SIGPIPE
    // A closed console is a failed write, reported like any other, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef _WIN32
    // The program writes its own CR LF line ends; a text-mode stream would
    // turn each LF into another CR LF and change the bytes of inserted names.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // The C runtime has split the command line already (quotes removed, in
    // the system's ANSI code page on Windows); an empty argument is not taken.
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
