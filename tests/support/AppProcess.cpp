#include "support/AppProcess.h"

#include "support/CommandRun.h"
#include "support/DriverInstallHost.h"
#include "support/MessageLoop.h"
#include "support/WindowPixels.h"

#include <csignal>
#include <gtest/gtest.h>
#include <iostream>

namespace testsupport
{
    juce::String runCommand (const juce::StringArray& command, int* exitCode, int timeoutMs)
    {
        const auto run = runWithTimeLimit (command, timeoutMs, juce::ChildProcess::wantStdOut);

        if (run.timedOut)
            ADD_FAILURE() << command.joinIntoString (" ") << " did not end within " << timeoutMs << " ms and was stopped; it printed:\n"
                          << run.lastLines();

        if (exitCode != nullptr)
            *exitCode = run.exitCode;

        return run.output;
    }

    AppProcess::AppProcess (const juce::StringArray& arguments, const juce::File& binary)
    {
        // Through a shell, so that the output goes to a file rather than a pipe
        // that nobody reads while the app runs, and so that we learn its id.
        juce::StringArray command { "/bin/sh", "-c", "echo $$ > \"$0\"; log=\"$1\"; shift; exec \"$@\" > \"$log\" 2>&1" };
        command.add (pidFile.getFile().getFullPathName());
        command.add (log.getFile().getFullPathName());

        juce::StringArray app { binary.getFullPathName() };
        app.addArray (arguments);

        // A Mac's user runs the app, not root.
        command.addArray (installhost::insideSimulatedHost() ? installhost::asUser (app) : app);

        if (process.start (command, 0))
            pumpUntil ([this] { pid = pidFile.getFile().loadFileAsString().trim().getIntValue(); return pid > 0; }, 5000);
    }

    AppProcess::~AppProcess()
    {
        if (isRunning())
        {
            ::kill (pid, SIGKILL);
            process.waitForProcessToFinish (5000);
        }

        std::cout << "---- application output\n"
                  << getOutput() << "----" << std::endl;
    }

    juce::StringArray AppProcess::findWindows (const juce::String& title) const
    {
        const auto ids = juce::StringArray::fromLines (runCommand ({ "xdotool", "search", "--all", "--onlyvisible", "--pid", juce::String (pid),
                                                                     "--name", "^" + title + "$" }));
        juce::StringArray windows;

        for (auto& id : ids)
            if (id.isNotEmpty() && id.containsOnly ("0123456789"))
                windows.add (id);

        return windows;
    }

    juce::String AppProcess::waitForWindow (int timeoutMs) const
    {
        juce::String id, lastSeen;
        juce::Rectangle<int> lastBounds;

        // Settled: managed by the window manager (which otherwise drops a close
        // request), and the same window in the same place at two looks in a row,
        // as JUCE may map and move a window more than once while it starts.
        const auto settled = [&] {
            const auto candidate = findWindows()[0];
            const auto bounds = getGeometry (candidate);
            const auto managed = candidate.isNotEmpty() && ! bounds.isEmpty()
                                 && runCommand ({ "xprop", "-id", candidate, "WM_STATE" }).contains ("Normal");
            const auto same = managed && candidate == lastSeen && bounds == lastBounds;

            lastSeen = managed ? candidate : juce::String();
            lastBounds = bounds;

            if (! same)
                juce::Thread::sleep (100);

            id = same ? candidate : juce::String();
            return same;
        };

        pumpUntil (settled, timeoutMs);
        return id;
    }

    juce::Rectangle<int> AppProcess::getGeometry (const juce::String& windowId)
    {
        // Anything but a window id would make xwininfo wait for a click.
        if (windowId != "root" && (windowId.isEmpty() || ! windowId.containsOnly ("0123456789")))
            return {};

        const auto info = runCommand (windowId == "root" ? juce::StringArray { "xwininfo", "-root" }
                                                         : juce::StringArray { "xwininfo", "-id", windowId });
        const auto value = [&info] (const char* key) {
            return info.fromFirstOccurrenceOf (key, false, false).upToFirstOccurrenceOf ("\n", false, false).trim().getIntValue();
        };

        return { value ("Absolute upper-left X:"), value ("Absolute upper-left Y:"), value ("Width:"), value ("Height:") };
    }

    void AppProcess::requestClose (const juce::String& windowId)
    {
        runCommand ({ "wmctrl", "-i", "-c", windowId });
    }

    void AppProcess::saveScreenshot (const juce::File& file)
    {
        const auto screen = readWindowPixels ("root");
        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);

        if (! screen.isValid() || ! out.openedOk() || ! juce::PNGImageFormat().writeImageToStream (screen, out))
            ADD_FAILURE() << "could not save the screen as " << file.getFullPathName();
    }

    bool AppProcess::closeAndWaitForExit (const juce::String& windowId, int timeoutMs)
    {
        for (int waited = 0; waited < timeoutMs; waited += 2000)
        {
            requestClose (windowId);

            if (waitForExit (2000))
                return true;
        }

        return false;
    }

    bool AppProcess::isRunning() const
    {
        return ! exited && process.isRunning();
    }

    bool AppProcess::waitForExit (int timeoutMs)
    {
        if (! process.waitForProcessToFinish (timeoutMs))
            return false;

        exited = true;
        exitCode = (int) process.getExitCode();
        return true;
    }

    juce::String AppProcess::getOutput() const
    {
        return log.getFile().loadFileAsString();
    }
}
