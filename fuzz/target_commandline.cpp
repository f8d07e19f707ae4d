// Whole runs in-process with command lines of any kind, in a private
// directory that holds a few small maps and an option file; every run starts
// from the same files.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "brixel/brixel.h"
#include "fixtures.h"
#include "targets.h"

namespace brix::fuzz
{

namespace
{

struct TFixture
{
    const char *Name;
    std::string_view Bytes;
};

constexpr TFixture Fixtures[] = {
    {"a.map", FixtureA},
    {"b.map", FixtureB},
    {"c.map", FixtureC},
    {"o.txt", FixtureOptions},
};

void WriteFile(const char *Name, std::string_view Bytes)
{
    std::ofstream F(Name, std::ios::binary | std::ios::trunc);
    F.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

// Back to the fixtures alone: runs write destinations and rewrite maps.
void ResetDirectory(std::string_view OptionFile)
{
    namespace fs = std::filesystem;
    std::error_code Ec;
    std::vector<fs::path> Extra;
    for (fs::directory_iterator It(".", Ec), End; !Ec && It != End; It.increment(Ec)) {
        const std::string Name = It->path().filename().string();
        bool Known = Name == "opt.txt";
        for (const TFixture &F : Fixtures) {
            Known = Known || Name == F.Name;
        }
        if (!Known) {
            Extra.push_back(It->path());
        }
    }
    for (const fs::path &P : Extra) {
        fs::remove_all(P, Ec);
    }
    for (const TFixture &F : Fixtures) {
        WriteFile(F.Name, F.Bytes);
    }
    WriteFile("opt.txt", OptionFile);
}

// No argument or option-file line may name anything outside the directory.
bool StaysInside(std::string_view Input)
{
    return Input.find('/') == std::string_view::npos && Input.find("..") == std::string_view::npos;
}

std::vector<std::string> SplitArguments(std::string_view Text)
{
    std::vector<std::string> Args;
    std::size_t Start = 0;
    for (std::size_t I = 0; I <= Text.size(); ++I) {
        if (I == Text.size() || Text[I] == '\0' || Text[I] == '\n') {
            Args.emplace_back(Text.substr(Start, I - Start));
            Start = I + 1;
        }
    }
    return Args;
}

} // namespace

int CommandLine(const std::uint8_t *Data, std::size_t Size)
{
    const std::string_view Input(reinterpret_cast<const char *>(Data), Size);
    if (!StaysInside(Input)) {
        return 0;
    }
    const TSandbox Sandbox;
    const std::size_t Split = Input.find('\x01');
    const std::string_view ArgText = Split == std::string_view::npos ? Input : Input.substr(0, Split);
    const std::string_view OptionFile = Split == std::string_view::npos ? FixtureOptions : Input.substr(Split + 1);
    ResetDirectory(OptionFile);

    std::ostringstream Out;
    std::istringstream In; // empty: every overwrite question is answered "n"
    const int Status = RunBrixel(SplitArguments(ArgText), Out, In);
    if (Status != 0 && Status != 1) {
        Fail("a run ends with a status other than 0 or 1");
    }
    const std::string Console = Out.str();
    const std::string VersionLine = std::string(BrixelBanner) + "\n";
    // "--version" on the command line: the banner line alone.
    if (Status == 0 && Console == VersionLine) {
        return 0;
    }
    if (Console.rfind(std::string(BrixelBanner) + "\n\n", 0) != 0) {
        Fail("a run does not start with the banner");
    }
    // A run that succeeds ends with "Complete" (either language) or the help;
    // one that fails never ends with a line that is just "Complete".
    const std::string Complete = "Complete";
    const std::string CompleteRu = "Выполнено"; // as a UTF-8 console shows it
    const std::string_view Text(Console);
    if (Status == 0) {
        if (!Text.ends_with(Complete + "\n") && !Text.ends_with(CompleteRu + "\n") &&
            !Text.ends_with(std::string(BrixelSite) + "\n") && !Text.ends_with("\n" + VersionLine)) {
            Fail("a run reports success without finishing");
        }
    } else {
        const std::string_view Body = Text.substr(0, Text.size() - (Text.ends_with('\n') ? 1 : 0));
        const std::string_view LastLine = Body.substr(Body.rfind('\n') + 1);
        // A question that the end of input answered ends a finished run with
        // status 1 (nobody said "y"): that run may end with "Complete".
        const bool Unanswered = Text.find("(y/n)") != std::string_view::npos;
        if (!Unanswered && (LastLine == Complete || LastLine == CompleteRu)) {
            Fail("a failed run ends as if it succeeded");
        }
    }
    return 0;
}

} // namespace brix::fuzz
