#include "support/WindowPixels.h"

#if JUCE_LINUX
    #include "support/Xlib.h"

    #include <X11/Xutil.h>
#endif

namespace testsupport
{
#if JUCE_LINUX
    namespace
    {
        int failedRequests = 0;

        int countFailedRequest (Display*, XErrorEvent*)
        {
            ++failedRequests;
            return 0;
        }

        juce::uint8 channel (unsigned long pixel, unsigned long mask)
        {
            if (mask == 0)
                return 0;

            int shift = 0;

            while (((mask >> shift) & 1) == 0)
                ++shift;

            return (juce::uint8) (((pixel & mask) >> shift) * 255 / (mask >> shift));
        }

        juce::Image toImage (XImage& pixels)
        {
            juce::Image image (juce::Image::RGB, pixels.width, pixels.height, false);
            const juce::Image::BitmapData data (image, juce::Image::BitmapData::writeOnly);

            for (int y = 0; y < pixels.height; ++y)
            {
                for (int x = 0; x < pixels.width; ++x)
                {
                    const auto pixel = XGetPixel (&pixels, x, y);
                    data.setPixelColour (x, y, juce::Colour (channel (pixel, pixels.red_mask), channel (pixel, pixels.green_mask), channel (pixel, pixels.blue_mask)));
                }
            }

            return image;
        }
    }

    juce::Image readWindowPixels (const juce::String& windowId)
    {
        // Unlike a screen-grabbing tool, this holds no grab on the server
        // and never waits for anyone.
        const auto& xlib = Xlib::get();

        if (! xlib.isValid() || (windowId != "root" && (windowId.isEmpty() || ! windowId.containsOnly ("0123456789"))))
            return {};

        auto* display = xlib.openDisplay (nullptr);

        if (display == nullptr)
            return {};

        // A window that goes meanwhile is an error to report, not to exit on
        // as Xlib's own handler would.
        failedRequests = 0;
        const auto previousHandler = xlib.setErrorHandler (countFailedRequest);

        const auto window = windowId == "root" ? DefaultRootWindow (display) : (Window) windowId.getLargeIntValue();
        XWindowAttributes attributes {};
        juce::Image image;

        if (xlib.getWindowAttributes (display, window, &attributes) != 0 && attributes.map_state == IsViewable)
        {
            if (auto* pixels = xlib.getImage (display, window, 0, 0, (unsigned int) attributes.width, (unsigned int) attributes.height, AllPlanes, ZPixmap))
            {
                image = toImage (*pixels);
                XDestroyImage (pixels);
            }
        }

        xlib.sync (display, False);
        xlib.setErrorHandler (previousHandler);
        xlib.closeDisplay (display);

        return failedRequests == 0 ? image : juce::Image();
    }
#else
    juce::Image readWindowPixels (const juce::String&)
    {
        return {};
    }
#endif
}
