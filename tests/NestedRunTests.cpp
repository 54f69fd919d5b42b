// A nested run that outlives its time limit: stopped, with every process it
// started, and reported as a failure that shows what it had printed.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "support/CommandRun.h"
#include "support/SimulatedHost.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace
{
    const char* const tokenVariable = "VANTRY_HANG_TOKEN";
    const char* const hangingLine = "hanging now, and so is a child that holds this output";

    /** Prints a line and never ends, nor does the child it leaves holding
        its output open, as a server or a display can.
    */
    void hang()
    {
        ASSERT_TRUE (juce::SystemStats::getEnvironmentVariable (tokenVariable, {}).isNotEmpty());
        ASSERT_EQ (std::system ("sleep 86400 &"), 0);
        std::cout << hangingLine << std::endl;

        for (;;)
            pause();
    }

    /** The command lines of the other processes whose environment holds
        this entry: everything a nested run started inherits ours.
    */
    juce::StringArray processesWithEnvironment (const std::string& entry)
    {
        juce::StringArray found;

        for (const auto pid : testsupport::findProcessesWithEnvironmentEntry (entry))
        {
            if (pid == (int) getpid())
                continue;

            // Arguments are separated by nulls.
            std::ifstream file ("/proc/" + std::to_string (pid) + "/cmdline", std::ios::binary);
            std::string commandLine { std::istreambuf_iterator<char> (file), std::istreambuf_iterator<char>() };
            std::replace (commandLine.begin(), commandLine.end(), '\0', ' ');
            found.add (juce::String (pid) + " " + juce::String (commandLine));
        }

        return found;
    }

    /** Runs the hanging case through a nested run with a short limit, and
        checks what that reported and what was left.
    */
    void expectStoppedAndReported (const std::function<void (int timeoutMs)>& runHangingCase)
    {
        const auto token = juce::Uuid().toString();
        setenv (tokenVariable, token.toRawUTF8(), 1);

        // Long enough for the case to start and hang even on a loaded machine.
        const int limitMs = 20000;
        const auto start = juce::Time::getMillisecondCounter();

        testing::TestPartResultArray results;

        {
            const testing::ScopedFakeTestPartResultReporter reporter (testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
            runHangingCase (limitMs);
        }

        const auto took = juce::Time::getMillisecondCounter() - start;

        for (int i = 0; i < results.size(); ++i)
            if (results.GetTestPartResult (i).skipped())
                GTEST_SKIP() << results.GetTestPartResult (i).message();

        ASSERT_EQ (results.size(), 1);
        const auto& failure = results.GetTestPartResult (0);
        const juce::String message (failure.message());
        EXPECT_TRUE (failure.fatally_failed());
        EXPECT_TRUE (message.contains ("did not end within 20 s")) << message;
        EXPECT_TRUE (message.contains (hangingLine)) << message;

        // Stopped at its limit, give or take the grace its processes get to end.
        EXPECT_LT (took, (juce::uint32) limitMs + 60000);

        // Its display server, window manager, sandbox and the child included.
        const auto left = processesWithEnvironment (juce::String (tokenVariable).toStdString() + "=" + token.toStdString());
        EXPECT_TRUE (left.isEmpty()) << "still running:\n"
                                     << left.joinIntoString ("\n");
    }
}

TEST (OnOwnDisplayNestedRun, Hangs)
{
    hang();
}

TEST (InHostNestedRun, Hangs)
{
    hang();
}

TEST (NestedRun, OverItsLimitOnADisplayOfItsOwnIsStoppedAndFailsWithItsOutput)
{
    expectStoppedAndReported ([] (int limitMs) { testsupport::runOnOwnDisplay ("OnOwnDisplayNestedRun.Hangs", limitMs); });
}

TEST (NestedRun, OverItsLimitInTheSimulatedHostIsStoppedAndFailsWithItsOutput)
{
    expectStoppedAndReported ([] (int limitMs) { testsupport::runInSimulatedHost ({}, "InHostNestedRun.Hangs", limitMs, true); });
}
