#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <string>

namespace testsupport
{
    /** How a command run by runWithTimeLimit() went. */
    struct CommandRun
    {
        bool started = false;

        /** It was still running when its time was up, and was stopped. */
        bool timedOut = false;

        /** -1 when it was stopped. */
        int exitCode = -1;

        /** What it printed, up to its end or until it was stopped. */
        juce::String output;

        /** Its last lines of output, for a failure message. */
        juce::String lastLines (int count = 30) const;
    };

    /** Writes an executable "#!/bin/sh" script with this body, making its
        folder where needed; false when that failed.
    */
    bool writeShellScript (const juce::File& file, const juce::String& body);

    /** The ids of the processes whose environment holds this entry
        ("NAME=value"): everything a process starts inherits its environment.
    */
    juce::Array<int> findProcessesWithEnvironmentEntry (const std::string& entry);

    /** Runs a command and reads its output as it comes, handing each piece to
        onOutput (when given) on the calling thread. A command still running
        when its time is up is stopped together with every process it started,
        even those that have left its process tree since: each is asked to end
        (SIGTERM), and killed if it is still there a few seconds later.
    */
    CommandRun runWithTimeLimit (const juce::StringArray& command,
                                 int timeoutMs,
                                 int streamFlags = juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr,
                                 const std::function<void (const juce::String&)>& onOutput = {});
}
