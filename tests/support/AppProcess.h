#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace testsupport
{
    /** Runs a command to its end and gives back what it printed. One still
        running after timeoutMs is stopped, and fails the calling test.
    */
    juce::String runCommand (const juce::StringArray& command, int* exitCode = nullptr, int timeoutMs = 60000);

    /** The built application, started as a separate process and driven from
        outside it the way a user drives it: through the X server.
    */
    class AppProcess
    {
    public:
        explicit AppProcess (const juce::StringArray& arguments = {},
                             const juce::File& binary = juce::File (VANTRY_APP_BINARY));
        ~AppProcess();

        /** The ids of this process's visible top-level windows with this title. */
        juce::StringArray findWindows (const juce::String& title = "Vantry Driver Helper") const;

        /** Waits for the main window; returns its X window id, or an empty string. */
        juce::String waitForWindow (int timeoutMs = 20000) const;

        /** The client area of a window in screen coordinates ("root" for the screen). */
        static juce::Rectangle<int> getGeometry (const juce::String& windowId);

        /** Asks the window manager to close the window, as its close button does. */
        static void requestClose (const juce::String& windowId);

        /** Saves the whole screen as a PNG file. */
        static void saveScreenshot (const juce::File& file);

        /** Asks the window manager to close the window until the process ends.
            A request made in the first moments after the window is mapped can
            go unanswered (seen with slow sanitizer builds), as it would for a
            user's very first click; the next one is not.
        */
        bool closeAndWaitForExit (const juce::String& windowId, int timeoutMs = 30000);

        bool isRunning() const;
        bool waitForExit (int timeoutMs = 20000);
        int getExitCode() const { return exitCode; }

        /** Everything the process printed so far. */
        juce::String getOutput() const;

    private:
        juce::TemporaryFile log, pidFile;
        juce::ChildProcess process;
        int pid = 0;
        int exitCode = -1;
        bool exited = false;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AppProcess)
    };
}
