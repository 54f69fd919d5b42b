#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "support/SimulatedHost.h"
#include "support/XErrorHandler.h"

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);

    // Cases that run inside the simulated host or on a display of their own
    // are started by their outer test; on their own they only run when asked for.
    if (! testsupport::isNestedRun (argc, argv))
    {
        auto filter = testing::GTEST_FLAG (filter);
        filter += (filter.find ('-') == std::string::npos ? "-" : ":");
        testing::GTEST_FLAG (filter) = filter + "InHost*.*:OnOwnDisplay*.*";
    }

#if JUCE_LINUX
    testsupport::installXErrorHandler();
#endif

    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
