#include "support/XErrorHandler.h"

#include "support/Xlib.h"

#include <cstdio>
#include <string>

namespace testsupport
{
    namespace
    {
        int reportAndGoOn (Display* display, XErrorEvent* event)
        {
            const auto& xlib = Xlib::get();
            char error[128] = {};
            char request[128] = {};
            xlib.getErrorText (display, event->error_code, error, (int) sizeof (error));
            xlib.getErrorDatabaseText (display, "XRequest", std::to_string (event->request_code).c_str(), "unknown", request, (int) sizeof (request));

            std::fprintf (stderr, "X error, ignored as a JUCE application would: %s, request %d.%d (%s), resource 0x%lx\n",
                          error, event->request_code, event->minor_code, request, event->resourceid);
            return 0;
        }
    }

    void installXErrorHandler()
    {
        const auto& xlib = Xlib::get();

        // No libX11, no X errors.
        if (! xlib.isValid())
            return;

        xlib.initThreads();
        xlib.setErrorHandler (reportAndGoOn);
    }
}
