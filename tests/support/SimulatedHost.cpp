#include "support/SimulatedHost.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <iostream>

namespace testsupport
{
    namespace
    {
        const char* const insideFlag = "--in-simulated-host";
        constexpr int cannotRunHere = 77;
    }

    bool isInsideSimulatedHostRun (int argc, char** argv)
    {
        for (int i = 1; i < argc; ++i)
            if (juce::String (argv[i]) == insideFlag)
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

    void runInSimulatedHost (const juce::StringArray& hostOptions, const juce::String& gtestFilter, int timeoutMs)
    {
        juce::StringArray command { simFolder().getChildFile ("macos-host").getFullPathName() };
        command.addArray (hostOptions);
        command.addArray ({ "--",
                            juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName(),
                            insideFlag,
                            "--gtest_filter=" + gtestFilter });

        // The test CA is made once per build rather than in the machine's own folders.
        setenv ("SIMULATED_MACOS_CACHE", juce::File (VANTRY_FIXTURES_DIR).getSiblingFile ("simulated-macos-cache").getFullPathName().toRawUTF8(), 1);

        juce::ChildProcess process;
        ASSERT_TRUE (process.start (command)) << command.joinIntoString (" ");

        const auto output = process.readAllProcessOutput();
        const auto finished = process.waitForProcessToFinish (timeoutMs);

        if (! finished)
            process.kill();

        const auto exitCode = (int) process.getExitCode();

        // Passed on, so that whatever the inner run reported (an assertion, a
        // leak, a sanitizer report) fails this test too.
        std::cout << "---- simulated host: " << command.joinIntoString (" ") << "\n"
                  << output << "---- exit " << exitCode << std::endl;

        if (finished && exitCode == cannotRunHere)
        {
            if (juce::SystemStats::getEnvironmentVariable ("VANTRY_REQUIRE_SIMULATED_HOST", {}) == "1")
                FAIL() << "the simulated host is required here but can't be made";
            else
                GTEST_SKIP() << "the simulated host can't be made on this machine (it needs root, unshare and overlayfs)";
        }

        ASSERT_TRUE (finished) << "the simulated host run timed out";
        EXPECT_EQ (exitCode, 0);
        EXPECT_FALSE (output.contains ("[  SKIPPED ]")) << "cases inside the simulated host were skipped";
        EXPECT_TRUE (output.contains ("[  PASSED  ]") && ! output.contains ("Running 0 tests")) << "no case ran inside the simulated host";
    }
}
