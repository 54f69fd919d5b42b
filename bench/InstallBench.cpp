// Times one InstallJob, or prints the install script it would run, so that
// bench/run can time a plain shell doing the same steps.
//
//     InstallBench install TEMPORARY_FOLDER VOLUMES_FOLDER
//     InstallBench script PAYLOAD2_FOLDER

#include "BenchSupport.h"
#include "jobs/InstallJob.h"
#include "jobs/InstallScript.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <unistd.h>

int main (int argc, char* argv[])
{
    const juce::String mode (argc > 1 ? argv[1] : "");

    if (mode == "script" && argc == 3)
    {
        std::fputs (composeInstallScript (juce::String (argv[2])).toRawUTF8(), stdout);
        return 0;
    }

    if (mode != "install" || argc != 4)
    {
        std::fprintf (stderr, "usage: InstallBench install TEMPORARY_FOLDER VOLUMES_FOLDER\n"
                              "       InstallBench script PAYLOAD2_FOLDER\n");
        return 2;
    }

    const auto temporary = juce::File (juce::String (argv[2]));
    const auto volumes = juce::File (juce::String (argv[3]));

    // The tools' output (tar -v lists every file) goes where the shell
    // baseline's goes, to standard error; the figures alone to standard output.
    auto* figures = fdopen (dup (STDOUT_FILENO), "w");
    dup2 (STDERR_FILENO, STDOUT_FILENO);

    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    juce::String result;
    bool finished = false;

    const auto onFinished = [&] (const juce::String& text) {
        result = text;
        finished = true;
    };

    InstallJob job (onFinished, volumes, temporary);

    const auto elapsedMs = bench::timeJob (job, finished);

    bench::printFigure ("result", result, figures);
    bench::printFigure ("elapsed_ms", juce::String (elapsedMs, 1), figures);
    std::fclose (figures);

    return result == "success" ? 0 : 1;
}
