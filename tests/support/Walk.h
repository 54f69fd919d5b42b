#pragma once

#include "support/AppProcess.h"

#include <functional>
#include <memory>

namespace testsupport
{
    /** The built application in its window inside the simulated host, driven
        from outside its process as a user drives it: the pointer and clicks
        on its buttons' places, keys in its alerts. Each step waits for what it
        should bring about (a page, an alert, a state file's line, the app's
        end) and gives up only after a limit.

        Under load a click now and then comes to nothing. One is made again
        only when the app has shown that it handled it and that nothing
        changed: the button shows the pointer arrive before the click and
        leave after it, and the window is then as it was before. A click the
        app hasn't handled yet is never repeated, as it could move the wizard
        twice.
    */
    class Walk
    {
    public:
        /** Places in the window: the wizard's buttons and the download page's. */
        static const juce::Rectangle<int> backButton, nextButton, cancelButton, restartButton, downloadButton;

        /** Resets the simulated host, starts the app and waits until its
            window shows the first page.
        */
        Walk();
        ~Walk();

        /** The window showed the first page. */
        bool started() const { return firstPageShown; }

        AppProcess& getApp() { return *app; }
        const juce::String& getWindow() const { return window; }

        //==============================================================================
        /** The window's client area as on screen; invalid once the window has gone. */
        juce::Image capture() const;

        /** The title of the page the window shows, told by the pixels of its
            title against each page's title drawn here as the app draws it;
            empty while it shows none of them.
        */
        juce::String currentPage() const;

        bool waitForPage (const juce::String& title, int timeoutMs = 30000) const;

        /** Waits until the simulated host's state file has at least this many lines. */
        bool waitForState (const juce::String& name, int lines = 1, int timeoutMs = 30000) const;

        /** Saves the screen as the next numbered screenshot of the walk. */
        void shot (const juce::String& step);

        //==============================================================================
        /** Clicks the button at this place until the effect holds. */
        bool click (juce::Rectangle<int> button, const std::function<bool()>& effect, int timeoutMs = 30000);

        /** Clicks until the window changes beyond the button itself, or a
            window opens or closes.
        */
        bool clickForChange (juce::Rectangle<int> button);

        /** Clicks until the window shows this page; gives up at once when an
            "Error" alert shows instead.
        */
        bool clickToPage (juce::Rectangle<int> button, const juce::String& title);

        /** Clicks until an alert with this title shows; its id, or empty. */
        juce::String clickForAlert (juce::Rectangle<int> button, const juce::String& title);

        /** Clicks once, and shows that the click changed nothing: no window
            opened, and the page and the clicked button look as before, once
            the app has handled the click. That shows as the pointer, moved on
            to the witness (another button, an enabled one), lights it up.
        */
        bool clickChangesNothing (juce::Rectangle<int> button, juce::Rectangle<int> witness);

        /** Presses a key in the alert with this title until it has gone, and
            any that follow it with the same title.
        */
        bool answer (const juce::String& title, const juce::String& key);

        /** The privileged run has ended, the last page shows, no alert is up,
            and /Library holds the payload's tree.
        */
        bool finishesInstalling();

        /** The app ends, with exit code 0. */
        bool quits (int timeoutMs = 30000);

        static bool installedTreeIsThePayloads();

    private:
        void drawTitles();
        void note (const juce::String& text) const;
        void movePointer (juce::Point<int> place);
        bool clickUntil (juce::Rectangle<int> button, const std::function<bool (const juce::Image& idle)>& effectSince, int timeoutMs = 30000);
        juce::Image settledCapture() const;
        juce::Image restPointer();
        bool pointerArrived (juce::Rectangle<int> button, const juce::Image& idle);
        bool pointerLeft (juce::Rectangle<int> button, const juce::Image& idle);

        std::unique_ptr<AppProcess> app;
        juce::String window;
        bool firstPageShown = false;

        juce::Rectangle<int> titleArea;
        juce::StringArray titles;
        juce::Array<juce::Image> drawnTitles;

        int shots = 0;
        const juce::uint32 startedAt = juce::Time::getMillisecondCounter();

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Walk)
    };
}
