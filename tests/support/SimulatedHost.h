#pragma once

#include <juce_core/juce_core.h>

namespace testsupport
{
    /** True when this test binary was started by runInSimulatedHost(). */
    bool isInsideSimulatedHostRun (int argc, char** argv);

    /** The repository's sim/ folder with the simulated host and its tools. */
    juce::File simFolder();

    /** Where the fixtures (sim/make-fixtures) are made for this build. */
    juce::File fixturesFolder();

    /** Runs the cases of this test binary that match gtestFilter inside
        sim/macos-host with the given options, and fails the calling test
        unless they all pass. Where the simulated host can't be made here
        the calling test is skipped, or fails when
        VANTRY_REQUIRE_SIMULATED_HOST=1 (as in CI).
        Use it as: RUN_IN_SIMULATED_HOST ({ "--macos", "11.2" }, "InHostX.*");
    */
    void runInSimulatedHost (const juce::StringArray& hostOptions, const juce::String& gtestFilter, int timeoutMs = 240000);
}

#define RUN_IN_SIMULATED_HOST(options, filter)                       \
    do                                                               \
    {                                                                \
        testsupport::runInSimulatedHost (options, filter);           \
        if (testing::Test::IsSkipped() || testing::Test::HasFailure()) \
            return;                                                  \
    } while (false)
