#include "support/DocumentOpenerStub.h"

#include "support/CommandRun.h"

#include <cstdlib>
#include <unistd.h>

namespace testsupport
{
    namespace
    {
        juce::File getStubFolder()
        {
            return juce::File::getSpecialLocation (juce::File::tempDirectory)
                .getChildFile ("vantry-opener-stub-" + juce::String ((int) getpid()));
        }

        juce::File getLog()
        {
            return getStubFolder().getChildFile ("opened.log");
        }

        void removeStubFolder()
        {
            getStubFolder().deleteRecursively();
        }
    }

    void installDocumentOpenerStub()
    {
        static bool installed = false;

        if (installed)
            return;

        installed = true;

        const auto folder = getStubFolder();
        writeShellScript (folder.getChildFile ("xdg-open"), "printf '%s\\n' \"$1\" >> '" + getLog().getFullPathName() + "'\n");

        // Set before any job runs, so no other thread is reading the environment.
        const juce::String path (std::getenv ("PATH") != nullptr ? std::getenv ("PATH") : "/usr/bin:/bin");
        setenv ("PATH", (folder.getFullPathName() + ":" + path).toRawUTF8(), 1);

        std::atexit (removeStubFolder);
    }

    juce::StringArray getOpenedDocuments()
    {
        juce::StringArray lines;
        lines.addLines (getLog().loadFileAsString());
        lines.removeEmptyStrings();
        return lines;
    }
}
