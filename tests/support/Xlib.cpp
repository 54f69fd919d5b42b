#include "support/Xlib.h"

#include <dlfcn.h>

namespace testsupport
{
    namespace
    {
        template <typename Function>
        bool find (void* library, Function*& function, const char* name)
        {
            function = reinterpret_cast<Function*> (dlsym (library, name));
            return function != nullptr;
        }
    }

    Xlib::Xlib()
    {
        // Kept loaded: JUCE unloads libX11 at shut-down, after which
        // LeakSanitizer could no longer match the caches it keeps against
        // tests/lsan.supp.
        auto* library = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_NODELETE);

        valid = library != nullptr
                && find (library, initThreads, "XInitThreads") && find (library, setErrorHandler, "XSetErrorHandler")
                && find (library, getErrorText, "XGetErrorText") && find (library, getErrorDatabaseText, "XGetErrorDatabaseText")
                && find (library, openDisplay, "XOpenDisplay") && find (library, closeDisplay, "XCloseDisplay")
                && find (library, sync, "XSync") && find (library, createSimpleWindow, "XCreateSimpleWindow")
                && find (library, destroyWindow, "XDestroyWindow") && find (library, queryTree, "XQueryTree")
                && find (library, getWindowAttributes, "XGetWindowAttributes") && find (library, getImage, "XGetImage");
    }

    const Xlib& Xlib::get()
    {
        static const Xlib xlib;
        return xlib;
    }
}
