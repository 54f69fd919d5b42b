#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "support/SimulatedHost.h"

#if JUCE_LINUX
    #include <dlfcn.h>
#endif

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
    // JUCE unloads libX11 at shut-down, after which LeakSanitizer can no longer
    // match the caches it keeps against tests/lsan.supp.
    dlopen ("libX11.so.6", RTLD_LAZY | RTLD_NODELETE);
#endif

    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
