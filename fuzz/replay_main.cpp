// Feeds stored inputs to the fuzz targets in any build, without libFuzzer:
//   brix_fuzz_replay TARGET FILE_OR_DIR...   every file to that target
//   brix_fuzz_replay --all DIR               DIR/<target>/* to each target
// A failed check aborts, naming nothing: the input being run is printed first.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "targets.h"

namespace fs = std::filesystem;

namespace
{

std::vector<fs::path> FilesUnder(const fs::path &Path)
{
    std::vector<fs::path> Files;
    std::error_code Ec;
    if (fs::is_directory(Path, Ec)) {
        for (const auto &Entry : fs::recursive_directory_iterator(Path, Ec)) {
            if (Entry.is_regular_file()) {
                Files.push_back(Entry.path());
            }
        }
    } else if (fs::is_regular_file(Path, Ec)) {
        Files.push_back(Path);
    }
    std::sort(Files.begin(), Files.end());
    return Files;
}

// Returns how many files were run; -1 when one could not be read.
int ReplayFiles(brix::fuzz::TTarget Target, const std::vector<fs::path> &Files)
{
    int Count = 0;
    for (const fs::path &File : Files) {
        std::ifstream In(File, std::ios::binary);
        const std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        if (!In.good() && !In.eof()) {
            std::cerr << "cannot read " << File.string() << "\n";
            return -1;
        }
        std::cout << "  " << File.string() << std::endl;
        Target(reinterpret_cast<const std::uint8_t *>(Bytes.data()), Bytes.size());
        ++Count;
    }
    return Count;
}

int Usage()
{
    std::cerr << "usage: brix_fuzz_replay TARGET FILE_OR_DIR...\n"
                 "       brix_fuzz_replay --all DIR\n"
                 "targets:";
    for (const auto &T : brix::fuzz::Targets) {
        std::cerr << " " << T.Name;
    }
    std::cerr << "\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        return Usage();
    }
    // Paths first: a target may change the current directory.
    std::vector<fs::path> Paths;
    for (int I = 2; I < argc; ++I) {
        Paths.push_back(fs::absolute(argv[I]));
    }
    const std::string First = argv[1];
    int Total = 0;
    if (First == "--all") {
        if (Paths.size() != 1) {
            return Usage();
        }
        for (const auto &T : brix::fuzz::Targets) {
            std::cout << std::string(T.Name) << ":" << std::endl;
            const int N = ReplayFiles(T.Run, FilesUnder(Paths[0] / std::string(T.Name)));
            if (N < 0) {
                return 1;
            }
            Total += N;
        }
    } else {
        const brix::fuzz::TTarget Target = brix::fuzz::FindTarget(First);
        if (Target == nullptr) {
            return Usage();
        }
        for (const fs::path &P : Paths) {
            const std::vector<fs::path> Files = FilesUnder(P);
            if (Files.empty()) {
                std::cerr << "no input in " << P.string() << "\n";
                return 1;
            }
            const int N = ReplayFiles(Target, Files);
            if (N < 0) {
                return 1;
            }
            Total += N;
        }
    }
    char Digits[16];
    const auto Res = std::to_chars(Digits, Digits + sizeof(Digits), Total);
    std::cout << std::string(Digits, Res.ptr) << " inputs replayed, all checks held" << std::endl;
    return 0;
}
