#include "support/SimulatedHost.h"

#include "support/CommandRun.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>

namespace testsupport
{
    namespace
    {
        const char* const nestedFlag = "--nested-run";
        constexpr int cannotRunHere = 77;
    }

    bool isNestedRun (int argc, char** argv)
    {
        for (int i = 1; i < argc; ++i)
            if (juce::String (argv[i]) == nestedFlag)
                return true;

        return false;
    }

    juce::File simFolder()
    {
        return juce::File (VANTRY_SOURCE_DIR).getChildFile ("sim");
    }

    juce::File fixturesFolder()
    {
        return juce::File (VANTRY_FIXTURES_DIR);
    }

    namespace
    {
        juce::StringArray ownDisplayCommand()
        {
            return { juce::File (VANTRY_SOURCE_DIR).getChildFile ("scripts/with-display").getFullPathName(), "--new" };
        }

        juce::StringArray nestedRunOfThisBinary (const juce::String& gtestFilter)
        {
            return { juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName(),
                     nestedFlag,
                     "--gtest_filter=" + gtestFilter };
        }

        /** Runs the command, passes on its output as it comes, and fails the
            calling test unless every case in it passed. */
        void runNested (const juce::StringArray& command, int timeoutMs, CommandRun& run)
        {
            // Passed on, so that whatever the inner run reported (an assertion, a
            // leak, a sanitizer report) fails this test too.
            std::cout << "---- nested run: " << command.joinIntoString (" ") << std::endl;
            run = runWithTimeLimit (command, timeoutMs, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr,
                                    [] (const juce::String& text) { std::cout << text << std::flush; });
            std::cout << "\n---- exit " << run.exitCode << std::endl;

            ASSERT_TRUE (run.started) << command.joinIntoString (" ");
            ASSERT_FALSE (run.timedOut) << "the nested run did not end within " << timeoutMs / 1000 << " s and was stopped, "
                                        << "with everything it had started; its output is above, and ended:\n"
                                        << run.lastLines();

            if (run.exitCode == cannotRunHere)
            {
                if (juce::SystemStats::getEnvironmentVariable ("VANTRY_REQUIRE_SIMULATED_HOST", {}) == "1")
                    FAIL() << "the simulated host is required here but can't be made";
                else
                    GTEST_SKIP() << "the simulated host can't be made on this machine (it needs root, unshare and overlayfs)";
            }

            EXPECT_EQ (run.exitCode, 0);
            EXPECT_FALSE (run.output.contains ("[  SKIPPED ]")) << "nested cases were skipped";
            EXPECT_TRUE (run.output.contains ("[  PASSED  ]") && ! run.output.contains ("Running 0 tests")) << "no nested case ran";
        }
    }

    void runInSimulatedHost (const juce::StringArray& hostOptions, const juce::String& gtestFilter, int timeoutMs, bool ownDisplay)
    {
        auto command = ownDisplay ? ownDisplayCommand() : juce::StringArray();
        command.add (simFolder().getChildFile ("macos-host").getFullPathName());
        command.addArray (hostOptions);
        command.add ("--");
        command.addArray (nestedRunOfThisBinary (gtestFilter));

        // The test CA is made once per build rather than in the machine's own folders.
        setenv ("SIMULATED_MACOS_CACHE", juce::File (VANTRY_FIXTURES_DIR).getSiblingFile ("simulated-macos-cache").getFullPathName().toRawUTF8(), 1);

        CommandRun run;
        runNested (command, timeoutMs, run);
    }

    juce::String runOnOwnDisplay (const juce::String& gtestFilter, int timeoutMs)
    {
        auto command = ownDisplayCommand();
        command.addArray (nestedRunOfThisBinary (gtestFilter));
        CommandRun run;
        runNested (command, timeoutMs, run);
        return run.output;
    }
}
