#pragma once

#include <juce_graphics/juce_graphics.h>

namespace testsupport
{
    /** What an X window of this display shows now ("root" for the whole
        screen), read straight from the X server; an invalid image when the
        window has gone or isn't on screen.
    */
    juce::Image readWindowPixels (const juce::String& windowId);
}
