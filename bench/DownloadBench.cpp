// Times one DownloadJob against the address compiled into it and reports
// the process's peak resident memory. bench/run runs it inside the
// simulated host, where that address is a local server.
//
//     DownloadBench TEMPORARY_FOLDER VOLUMES_FOLDER

#include "BenchSupport.h"
#include "jobs/DownloadJob.h"

#include <juce_gui_basics/juce_gui_basics.h>

int main (int argc, char* argv[])
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: DownloadBench TEMPORARY_FOLDER VOLUMES_FOLDER\n");
        return 2;
    }

    const auto temporary = juce::File (juce::String (argv[1]));
    const auto volumes = juce::File (juce::String (argv[2]));

    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    const auto peakBefore = bench::readMemoryFigureKb ("VmHWM");
    juce::String result;
    bool finished = false;

    const auto onFinished = [&] (const juce::String& text) {
        result = text;
        finished = true;
    };

    DownloadJob job (onFinished, DownloadJob::downloadAddress, volumes, temporary);

    const auto elapsedMs = bench::timeJob (job, finished);

    bench::printFigure ("result", result.isEmpty() ? "ok" : result);
    bench::printFigure ("elapsed_ms", juce::String (elapsedMs, 1));
    bench::printFigure ("bytes", juce::String (temporary.getChildFile ("003_Family_11.1.5.dmg").getSize()));
    bench::printFigure ("hwm_before_kb", juce::String (peakBefore));
    bench::printFigure ("hwm_kb", juce::String (bench::readMemoryFigureKb ("VmHWM")));

    return result.isEmpty() ? 0 : 1;
}
