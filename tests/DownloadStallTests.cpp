// The built application, its window closed while the vendor's server has
// stalled in mid-download: the app can't cut the download short, but the
// download gives up after its time-out, and then the app ends as usual.

#include <gtest/gtest.h>

#include "jobs/DownloadJob.h"
#include "support/AppProcess.h"
#include "support/ContentServer.h"
#include "support/DriverInstallHost.h"
#include "support/MessageLoop.h"
#include "support/SimulatedHost.h"
#include "support/Walk.h"

#include <iostream>

namespace host = testsupport::installhost;

namespace
{
    // The body goes on for several read blocks after the server falls silent.
    constexpr int imageSize = 24 << 20;
    constexpr juce::int64 bytesBeforeStall = 5 << 20;

    // libcurl measures the speed it holds against its limit over the last
    // five seconds; shutting the app down takes a moment more.
    constexpr int exitsWithinMs = DownloadJob::stallTimeoutMs + 5000 + 10000;

    bool waitForEvent (const testsupport::ContentServer& server, const juce::String& event, int timeoutMs)
    {
        return testsupport::pumpUntil ([&] { return server.getEvents().joinIntoString ("\n").contains (event); }, timeoutMs);
    }
}

TEST (DownloadStall, ClosingTheWindowEndsTheAppOnceTheDownloadGivesUp)
{
    const juce::StringArray options { "--net" };
    testsupport::runInSimulatedHost (options, "InHostDownloadStall.*", 240000, true);
}

TEST (InHostDownloadStall, ClosingTheWindowEndsTheAppOnceTheDownloadGivesUp)
{
    juce::TemporaryFile image;
    {
        juce::MemoryBlock bytes (imageSize);
        juce::Random (12).fillBitsRandomly (bytes.getData(), bytes.getSize());
        ASSERT_TRUE (image.getFile().replaceWithData (bytes.getData(), bytes.getSize()));
    }

    const testsupport::ContentServer server (image.getFile(), bytesBeforeStall);
    ASSERT_TRUE (server.isReady());

    testsupport::Walk walk;
    ASSERT_TRUE (walk.started()) << walk.getApp().getOutput();
    ASSERT_TRUE (walk.clickToPage (testsupport::Walk::nextButton, "Download Driver Installer"));
    ASSERT_TRUE (walk.click (testsupport::Walk::downloadButton, [&] { return waitForEvent (server, "stalled", 0); }))
        << "the download never started";
    walk.shot ("Download stalled");
    const auto stalledAt = juce::Time::getMillisecondCounterHiRes();

    auto& app = walk.getApp();
    ASSERT_TRUE (app.closeAndWaitForExit (walk.getWindow(), exitsWithinMs)) << "still running after the download's time-out";
    const auto endedAfterMs = juce::Time::getMillisecondCounterHiRes() - stalledAt;
    EXPECT_LT (endedAfterMs, (double) exitsWithinMs);
    std::cout << "The app ended " << juce::roundToInt (endedAfterMs) << " ms after the server fell silent." << std::endl;
    EXPECT_EQ (app.getExitCode(), 0);

    // The app hung up; the server would have kept silent.
    EXPECT_TRUE (waitForEvent (server, "abandoned", 5000));

    // Neither the image nor a partial one, which would be hidden.
    const juce::File temporary ("/private/var/folders/vantry walk/T");
    EXPECT_TRUE (temporary.findChildFiles (juce::File::findFilesAndDirectories, true, "*003_Family_11.1.5*").isEmpty()) << "something was saved";
    EXPECT_TRUE (host::readStateLines ("open-log").isEmpty()) << "something was opened";
}
