#include "support/ContentServer.h"

#include "support/SimulatedHost.h"

namespace testsupport
{
    ContentServer::ContentServer (const juce::File& image, juce::int64 stallAfterBytes)
    {
        const auto served = root.getChildFile ("files/AudioDrivers/Mac/Digi_002_003_Drivers/B9252F6B/003_Family_11.1.5.dmg");
        served.getParentDirectory().createDirectory();

        if (! image.copyFileTo (served))
            return;

        const auto readyFile = root.getChildFile ("ready");
        juce::StringArray command { simFolder().getChildFile ("serve-https").getFullPathName(),
                                    "--root", root.getChildFile ("files").getFullPathName(),
                                    "--port", "443",
                                    "--ready-file", readyFile.getFullPathName(),
                                    "--lifetime", "300" };

        if (stallAfterBytes >= 0)
            command.addArray ({ "--stall-after", juce::String (stallAfterBytes), "--events", root.getChildFile ("events").getFullPathName() });

        if (! server.start (command, 0))
            return;

        for (int i = 0; i < 400 && ! readyFile.existsAsFile() && server.isRunning(); ++i)
            juce::Thread::sleep (25);

        ready = readyFile.existsAsFile();
    }

    ContentServer::~ContentServer()
    {
        server.kill();
        server.waitForProcessToFinish (5000);
        root.deleteRecursively();
    }

    juce::StringArray ContentServer::getEvents() const
    {
        juce::StringArray lines;
        lines.addLines (root.getChildFile ("events").loadFileAsString());
        lines.removeEmptyStrings();
        return lines;
    }
}
