#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../testplatform.h"
#include "brixel/brixel.h"

using testplatform::ConsoleText;

namespace
{

std::string RunInProcess(const std::vector<std::string> &Args, int &Status)
{
    std::ostringstream Out;
    std::istringstream In;
    Status = brix::RunBrixel(Args, Out, In);
    return Out.str();
}

} // namespace

TEST(RunBrixel, RunsAreIndependent)
{
    // Each run starts from the default switches, whatever the run before set.
    struct Case
    {
        std::vector<std::string> Args;
        std::string Tail;
        int Status;
    };
    const Case Cases[] = {
        {{"-ru", "-y", "-rptx", "-zz"},
            testplatform::PerPlatform<std::string>("ОШИБКА! ", "\x8E\x98\x88\x81\x8A\x80! "), 1},
        {{"-zz"}, "ERROR! Undefined option: -zz\n", 1},
        {{"help"}, "Site: https://github.com/brixel-tools/brixel\n", 0},
        {{"", "-y"}, "ERROR! File not specify\n", 1},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Args.back());
        int Status = -1;
        const std::string Out = RunInProcess(C.Args, Status);
        EXPECT_EQ(Status, C.Status);
        ASSERT_EQ(Out.rfind(ConsoleText("brixel v1.51\n\n"), 0), 0u);
        EXPECT_NE(Out.find(ConsoleText(C.Tail)), std::string::npos) << Out;
    }
}

TEST(RunBrixel, FailedConsole)
{
    // A console that fails is reported through the exit status.
    std::ostringstream Out;
    Out.setstate(std::ios::badbit);
    std::istringstream In;
    EXPECT_EQ(brix::RunBrixel({"help"}, Out, In), 1);
}
