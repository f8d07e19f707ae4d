// The hint after an undefined option: the edit distance and the choice of
// the option from those the help lists.
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "brixel/brixel.h"
#include "testfiles.h"

using namespace brix;

TEST(CommandLine, EditDistance)
{
    struct Case
    {
        const char *A, *B;
        std::size_t Edits;
    } Cases[] = {
        {"", "", 0},
        {"", "ab", 2},
        {"abc", "", 3},
        {"-DEST", "-dest", 0},
        {"-dets", "-dest", 1}, // a swap
        {"ab", "ba", 1},
        {"-dst", "-dest", 1},
        {"-dexst", "-dest", 1},
        {"--vresoin", "--version", 2},
        {"ca", "abc", 2}, // a swap, then an insertion between the swapped pair
        {"kitten", "sitting", 3},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(std::string(C.A) + " / " + C.B);
        EXPECT_EQ(EditDistance(C.A, C.B), C.Edits);
        EXPECT_EQ(EditDistance(C.B, C.A), C.Edits);
    }
}

TEST(CommandLine, SuggestOption)
{
    struct Case
    {
        std::string Arg, Suggestion;
    } Cases[] = {
        {"-dets:x", "-dest:"},
        {"-Dest", "-dest:"},         // a value-taking name without its ":"
        {"-rptx:1", "-rptx"},        // a switch with a value
        {"-WPROPS:a:b", "-wprops:"}, // the value is everything after the first ":"
        {"--hlep", "--help"},
        {"-x", "-y"}, // one edit from -y, -v and -h: the first the help lists
        {"-foo:bar", ""},
        {"-" + std::string(1 << 20, 'd') + ":x", ""},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Arg.substr(0, 20));
        EXPECT_EQ(SuggestOption(C.Arg), C.Suggestion);
    }
}

TEST(CommandLine, EveryOptionOfTheHelpIsKnown)
{
    // A suggestion the parser does not know would send the user round.
    for (const std::string &Name : HelpOptionNames()) {
        SCOPED_TRACE(Name);
        TRunState State;
        State.ArgList = {Name.back() == ':' ? Name + "x" : Name};
        std::ostringstream Out;
        try {
            ParseCommandLine(State, Out);
        } catch (const EUndefinedOption &) {
            ADD_FAILURE() << "undefined";
        } catch (const EBrixError &) {
            // a value that is no file or area: the option itself is known
        }
        ResetSwitches();
    }
}

TEST(CommandLine, TheManualPageAndTheCompletionKnowEveryOption)
{
    const std::string Manual = ReadAll(std::filesystem::path(BRIX_DOC_DIR) / "brixel.1");
    const std::string Completion = ReadAll(std::filesystem::path(BRIX_DOC_DIR) / "brixel.bash");
    std::set<std::string> Words;
    std::string Word;
    for (const char C : Completion + "\n") {
        if (C == ' ' || C == '\n' || C == '"') {
            Words.insert(Word);
            Word.clear();
        } else {
            Word += C;
        }
    }
    ASSERT_FALSE(Manual.empty());
    for (const std::string &Name : HelpOptionNames()) {
        if (Name == "/?") {
            continue; // Windows only; the completion is for bash
        }
        SCOPED_TRACE(Name);
        EXPECT_EQ(Words.count(Name), 1u) << "not completed";
        // In the manual page as roff writes it, "-" as "\-", not the start of a longer name.
        std::string Roff;
        for (const char C : Name) {
            Roff += C == '-' ? std::string("\\-") : std::string(1, C);
        }
        bool Found = false;
        for (std::size_t P = Manual.find(Roff); P != std::string::npos && !Found; P = Manual.find(Roff, P + 1)) {
            const char Next = P + Roff.size() < Manual.size() ? Manual[P + Roff.size()] : '\n';
            Found = !(Next >= 'a' && Next <= 'z');
        }
        EXPECT_TRUE(Found) << "not in the manual page";
    }
}
