#pragma once

#include <juce_events/juce_events.h>

#include <cstdio>

namespace bench
{
    /** A "Vm..." figure of /proc/self/status in KiB, or -1. */
    inline juce::int64 readMemoryFigureKb (const juce::String& name)
    {
        const auto lines = juce::StringArray::fromLines (juce::File ("/proc/self/status").loadFileAsString());

        for (const auto& line : lines)
            if (line.startsWith (name + ":"))
                return line.fromFirstOccurrenceOf (":", false, false).trim().getLargeIntValue();

        return -1;
    }

    /** Runs a job to its completion callback on this, the message thread.
        Returns the milliseconds from the start to the callback.
    */
    template <typename Job>
    double timeJob (Job& job, const bool& finished)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        job.startThread();

        while (! finished)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

        return juce::Time::getMillisecondCounterHiRes() - start;
    }

    inline void printFigure (const char* name, const juce::String& value, std::FILE* to = stdout)
    {
        std::fprintf (to, "%s=%s\n", name, value.toRawUTF8());
    }
}
