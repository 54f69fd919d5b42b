#include "support/SimulatedHost.h"

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

        /** Runs the command, passes on its output, and fails the calling test
            unless every case in it passed. */
        void runNested (const juce::StringArray& command, int timeoutMs)
        {
            juce::ChildProcess process;
            ASSERT_TRUE (process.start (command)) << command.joinIntoString (" ");

            const auto output = process.readAllProcessOutput();
            const auto finished = process.waitForProcessToFinish (timeoutMs);

            if (! finished)
                process.kill();

            const auto exitCode = (int) process.getExitCode();

            // Passed on, so that whatever the inner run reported (an assertion, a
            // leak, a sanitizer report) fails this test too.
            std::cout << "---- nested run: " << command.joinIntoString (" ") << "\n"
                      << output << "---- exit " << exitCode << std::endl;

            if (finished && exitCode == cannotRunHere)
            {
                if (juce::SystemStats::getEnvironmentVariable ("VANTRY_REQUIRE_SIMULATED_HOST", {}) == "1")
                    FAIL() << "the simulated host is required here but can't be made";
                else
                    GTEST_SKIP() << "the simulated host can't be made on this machine (it needs root, unshare and overlayfs)";
            }

            ASSERT_TRUE (finished) << "the nested run timed out";
            EXPECT_EQ (exitCode, 0);
            EXPECT_FALSE (output.contains ("[  SKIPPED ]")) << "nested cases were skipped";
            EXPECT_TRUE (output.contains ("[  PASSED  ]") && ! output.contains ("Running 0 tests")) << "no nested case ran";
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

        runNested (command, timeoutMs);
    }

    void runOnOwnDisplay (const juce::String& gtestFilter, int timeoutMs)
    {
        auto command = ownDisplayCommand();
        command.addArray (nestedRunOfThisBinary (gtestFilter));
        runNested (command, timeoutMs);
    }
}
