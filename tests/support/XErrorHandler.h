#pragma once

namespace testsupport
{
    /** Makes this process meet X errors as the application does. JUCE sets
        up Xlib for threads and installs its error handler only in a
        standalone application; without a handler, Xlib's own ends the
        process at the first failed request, such as one on a window manager's
        frame that has just gone. Each error is written to stderr instead, and
        the process goes on. Call it before JUCE opens its display.
    */
    void installXErrorHandler();
}
