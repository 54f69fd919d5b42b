#include "support/ContentServer.h"

#include "support/SimulatedHost.h"

namespace testsupport
{
    ContentServer::ContentServer (const juce::File& image)
    {
        const auto served = root.getChildFile ("AudioDrivers/Mac/Digi_002_003_Drivers/B9252F6B/003_Family_11.1.5.dmg");
        served.getParentDirectory().createDirectory();

        if (! image.copyFileTo (served))
            return;

        const auto readyFile = root.getChildFile ("ready");

        if (! server.start ({ simFolder().getChildFile ("serve-https").getFullPathName(),
                              "--root", root.getFullPathName(),
                              "--port", "443",
                              "--ready-file", readyFile.getFullPathName(),
                              "--lifetime", "300" },
                            0))
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
}
