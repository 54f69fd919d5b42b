// A failed X request in a test process, nested ones included: reported, and
// the run goes on, as in the application. Xlib's own handler would end it.

#include <gtest/gtest.h>

#include <iostream>

#include "support/SimulatedHost.h"
#include "support/Xlib.h"

TEST (OnOwnDisplayXErrors, QueriesAWindowThatHasGone)
{
    const auto& xlib = testsupport::Xlib::get();
    ASSERT_TRUE (xlib.isValid());

    auto* display = xlib.openDisplay (nullptr);
    ASSERT_NE (display, nullptr);

    // As when a window manager's frame goes just before JUCE asks about it.
    const auto window = xlib.createSimpleWindow (display, DefaultRootWindow (display), 0, 0, 10, 10, 0, 0, 0);
    xlib.destroyWindow (display, window);

    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    EXPECT_EQ (xlib.queryTree (display, window, &root, &parent, &children, &count), 0);
    xlib.sync (display, False);
    xlib.closeDisplay (display);

    std::cout << "went on after querying window 0x" << juce::String::toHexString ((juce::int64) window) << std::endl;
}

TEST (XErrors, ATestProcessReportsAFailedRequestAndGoesOn)
{
    const auto output = testsupport::runOnOwnDisplay ("OnOwnDisplayXErrors.*");

    const auto window = output.fromFirstOccurrenceOf ("went on after querying window ", false, false).upToFirstOccurrenceOf ("\n", false, false);
    ASSERT_TRUE (window.startsWith ("0x")) << output;
    EXPECT_TRUE (output.contains ("X error, ignored as a JUCE application would: BadWindow (invalid Window parameter), request 15.0 (X_QueryTree), resource " + window))
        << output;
}
