#pragma once

// After JUCE's headers, where JUCE is used: Xlib's macros would clash with its names.
#include <X11/Xlib.h>

namespace testsupport
{
    /** The calls of libX11 that the tests make, from the library loaded at
        run time as JUCE loads it (nothing here links to it).
    */
    class Xlib
    {
    public:
        static const Xlib& get();

        /** False where libX11 or one of these functions is missing. */
        bool isValid() const { return valid; }

        decltype (XInitThreads)* initThreads = nullptr;
        decltype (XSetErrorHandler)* setErrorHandler = nullptr;
        decltype (XGetErrorText)* getErrorText = nullptr;
        decltype (XGetErrorDatabaseText)* getErrorDatabaseText = nullptr;
        decltype (XOpenDisplay)* openDisplay = nullptr;
        decltype (XCloseDisplay)* closeDisplay = nullptr;
        decltype (XSync)* sync = nullptr;
        decltype (XCreateSimpleWindow)* createSimpleWindow = nullptr;
        decltype (XDestroyWindow)* destroyWindow = nullptr;
        decltype (XQueryTree)* queryTree = nullptr;
        decltype (XGetWindowAttributes)* getWindowAttributes = nullptr;
        decltype (XGetImage)* getImage = nullptr;

    private:
        Xlib();

        bool valid = false;
    };
}
