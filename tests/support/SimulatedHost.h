#pragma once

#include <juce_core/juce_core.h>

namespace testsupport
{
    /** True when this test binary was started by runInSimulatedHost() or
        runOnOwnDisplay(). Suites named InHost... and OnOwnDisplay... run only then.
    */
    bool isNestedRun (int argc, char** argv);

    /** The repository's sim/ folder with the simulated host and its tools. */
    juce::File simFolder();

    /** Where the fixtures (sim/make-fixtures) are made for this build. */
    juce::File fixturesFolder();

    /** Runs the cases of this test binary that match gtestFilter inside
        sim/macos-host with the given options, and fails the calling test
        unless they all pass. Where the simulated host can't be made here
        the calling test is skipped, or fails when
        VANTRY_REQUIRE_SIMULATED_HOST=1 (as in CI). With ownDisplay the run
        gets an X display of its own, for cases that click on screen
        positions while other tests' windows may be showing.
        Use it as: const juce::StringArray options { "--macos", "11.2" };
        RUN_IN_SIMULATED_HOST (options, "InHostX.*"); (a braced list would
        split into macro arguments at its commas).
    */
    void runInSimulatedHost (const juce::StringArray& hostOptions, const juce::String& gtestFilter, int timeoutMs = 240000,
                             bool ownDisplay = false);

    /** Runs the cases that match gtestFilter in this test binary on an X
        display of their own, where no other test's window can cover theirs
        or change where the window manager puts them. Returns what they printed.
    */
    juce::String runOnOwnDisplay (const juce::String& gtestFilter, int timeoutMs = 120000);
}

#define RUN_IN_SIMULATED_HOST(options, filter)                         \
    do                                                                 \
    {                                                                  \
        testsupport::runInSimulatedHost (options, filter);             \
        if (testing::Test::IsSkipped() || testing::Test::HasFailure()) \
            return;                                                    \
    } while (false)
