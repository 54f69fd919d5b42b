#include <gtest/gtest.h>

#include "jobs/DownloadJob.h"
#include "support/DocumentOpenerStub.h"
#include "support/FolderNames.h"
#include "support/HttpTestServer.h"
#include "support/MessageLoop.h"

#include <atomic>
#include <thread>

namespace
{
    using testsupport::HttpTestServer;

    const char* const imageName = "003_Family_11.1.5.dmg";

    // Long enough for a loopback answer even in a sanitizer build on a busy
    // machine, and far short of the real 30 s.
    constexpr int shortTimeoutMs = 1000;

    // libcurl checks its low-speed limit against the last five seconds. The
    // rest allows for a loaded machine, and is still well short of the real
    // time-out's 35 s.
    constexpr double stallGivesUpWithinMs = shortTimeoutMs + 5000.0 + 15000.0;

    // Far short of the real minute, so that a job that waited it out shows.
    constexpr int shortMountWaitMs = 3000;

    juce::MemoryBlock makeImage (size_t size, juce::int64 seed)
    {
        juce::MemoryBlock block (size);
        juce::Random random (seed);
        random.fillBitsRandomly (block.getData(), block.getSize());
        return block;
    }

    HttpTestServer::Response imageResponse (const juce::MemoryBlock& body)
    {
        HttpTestServer::Response response;
        response.body.append (body.getData(), body.getSize());
        return response;
    }

    /** Plays the system's disk-image mounting: once the image has been opened,
        waits a while and then makes its volume appear.
    */
    class Mounter
    {
    public:
        Mounter (const juce::File& imageToWaitFor, const juce::File& volumeToMake, int delayMs)
            : thread ([this, imageToWaitFor, volumeToMake, delayMs] {
                while (! stopping && ! testsupport::getOpenedDocuments().contains (imageToWaitFor.getFullPathName()))
                    std::this_thread::sleep_for (std::chrono::milliseconds (10));

                for (int waited = 0; waited < delayMs && ! stopping; waited += 10)
                    std::this_thread::sleep_for (std::chrono::milliseconds (10));

                if (! stopping)
                {
                    volumeToMake.createDirectory();
                    mountedAt = juce::Time::getMillisecondCounterHiRes();
                }
            })
        {
        }

        ~Mounter()
        {
            stopping = true;
            thread.join();
        }

        std::atomic<bool> stopping { false };
        std::atomic<double> mountedAt { 0.0 };

    private:
        std::thread thread;
    };

    class DownloadJobTest : public testing::Test
    {
    protected:
        static void SetUpTestSuite()
        {
            testsupport::installDocumentOpenerStub();
        }

        void SetUp() override
        {
            ASSERT_TRUE (server.isListening());
            folder = juce::File::createTempFile ("download-job");
            volumes = folder.getChildFile ("Volumes");
            ASSERT_TRUE (volumes.createDirectory());
            useTemporaryFolder (folder.getChildFile ("tmp"));
        }

        void TearDown() override
        {
            folder.deleteRecursively();
        }

        void useTemporaryFolder (const juce::File& newFolder)
        {
            temporary = newFolder;
            image = temporary.getChildFile (imageName);
        }

        juce::File mountVolume() const
        {
            const auto volume = volumes.getChildFile ("Avid 003 Family");
            volume.createDirectory();
            return volume;
        }

        /** Runs one job to its end and returns what it reported; checks that
            it reports exactly once, on the message thread.
        */
        juce::String runJob (const juce::String& address, int timeoutMs = DownloadJob::stallTimeoutMs,
                             int mountWaitMs = DownloadJob::mountWaitLimitMs)
        {
            juce::StringArray results;
            bool onMessageThread = true;

            auto record = [&results, &onMessageThread] (const juce::String& result) {
                onMessageThread = onMessageThread && juce::MessageManager::existsAndIsCurrentThread();
                results.add (result);
            };

            DownloadJob job (record, address, volumes, temporary, timeoutMs, mountWaitMs);

            startTime = juce::Time::getMillisecondCounterHiRes();
            EXPECT_TRUE (job.startThread());
            EXPECT_TRUE (testsupport::pumpUntil ([&results] { return ! results.isEmpty(); }, 40000));
            resultTime = juce::Time::getMillisecondCounterHiRes();

            // Anything the job posted before its thread ended arrives here.
            EXPECT_TRUE (testsupport::pumpUntil ([&job] { return ! job.isThreadRunning(); }, 5000));
            EXPECT_TRUE (testsupport::deliverQueuedMessages());

            EXPECT_EQ (results.size(), 1) << results.joinIntoString (" | ");
            EXPECT_TRUE (onMessageThread);
            return results[0];
        }

        bool wasOpened (const juce::File& file) const
        {
            return testsupport::getOpenedDocuments().contains (file.getFullPathName());
        }

        /** Opens a document of its own and waits until the opener has noted
            it: an opener that a job started earlier has noted its own by then.
        */
        bool waitForEarlierOpeners()
        {
            const auto marker = folder.getChildFile ("marker " + juce::String (++markers) + ".txt");
            marker.replaceWithText ("marker");
            marker.startAsProcess();
            return testsupport::pumpUntil ([this, marker] { return wasOpened (marker); }, 10000);
        }

        HttpTestServer server;
        juce::File folder, volumes, temporary, image;
        double startTime = 0, resultTime = 0;
        int markers = 0;
    };

    TEST_F (DownloadJobTest, SavesAndOpensTheImageThenWaitsForItsVolume)
    {
        // Several of the job's read blocks, the last one partly filled.
        const auto body = makeImage ((9 << 20) + 12345, 1);
        server.setResponse ("/image.dmg", imageResponse (body));

        // A larger earlier download must not leave its tail behind.
        ASSERT_TRUE (temporary.createDirectory());
        ASSERT_TRUE (image.replaceWithData (makeImage (12 << 20, 2).getData(), 12 << 20));

        Mounter mounter (image, volumes.getChildFile ("Avid 003 Family"), 1000);

        EXPECT_EQ (runJob (server.getUrl ("/image.dmg")), "");
        EXPECT_TRUE (wasOpened (image));

        juce::MemoryBlock saved;
        ASSERT_TRUE (image.loadFileAsData (saved));
        EXPECT_TRUE (saved == body);
        EXPECT_TRUE (saved == server.getServedBody ("/image.dmg"));
        EXPECT_EQ (testsupport::namesIn (temporary), juce::StringArray (imageName));

        // The wait ends with the first search that sees the volume, not at
        // the end of its minute.
        ASSERT_GT (mounter.mountedAt.load(), 0.0);
        EXPECT_GE (mounter.mountedAt.load() - startTime, 1000.0);
        EXPECT_LT (resultTime - mounter.mountedAt.load(), 20000.0);
    }

    TEST_F (DownloadJobTest, SucceedsAtOnceWhenTheVolumeIsAlreadyMounted)
    {
        // Just over one read block.
        const auto body = makeImage ((4 << 20) + 1000, 3);

        struct Case
        {
            const char* name;
            juce::String path;
            juce::String servedPath;
        };

        server.setResponse ("/image.dmg", imageResponse (body));
        server.setResponse ("/moved.dmg", server.redirectTo ("/image.dmg"));
        server.setResponse ("/twice.dmg", server.redirectTo ("/moved.dmg", 301));

        auto unannounced = imageResponse (body);
        unannounced.contentLength = HttpTestServer::Response::noContentLength;
        server.setResponse ("/unannounced.dmg", unannounced);

        const Case cases[] = {
            { "direct", "/image.dmg", "/image.dmg" },
            { "redirected", "/moved.dmg", "/image.dmg" },
            { "redirected twice", "/twice.dmg", "/image.dmg" },
            { "no length announced", "/unannounced.dmg", "/unannounced.dmg" },
        };

        mountVolume();

        for (const auto& c : cases)
        {
            SCOPED_TRACE (c.name);
            useTemporaryFolder (folder.getChildFile (c.name));

            EXPECT_EQ (runJob (server.getUrl (c.path)), "");
            // Far short of the minute that waiting for the new image could cost.
            EXPECT_LT (resultTime - startTime, 20000.0);

            juce::MemoryBlock saved;
            ASSERT_TRUE (image.loadFileAsData (saved));
            EXPECT_TRUE (saved == body);
            EXPECT_TRUE (saved == server.getServedBody (c.servedPath));
            EXPECT_EQ (testsupport::namesIn (temporary), juce::StringArray (imageName));
            EXPECT_TRUE (testsupport::pumpUntil ([this] { return wasOpened (image); }, 2000));
        }
    }

    TEST_F (DownloadJobTest, ReportsAVolumeThatNeverAppears)
    {
        server.setResponse ("/image.dmg", imageResponse (makeImage (4096, 4)));

        // Not the driver's volume.
        volumes.getChildFile ("Avid 003").createDirectory();

        EXPECT_EQ (runJob (server.getUrl ("/image.dmg"), DownloadJob::stallTimeoutMs, shortMountWaitMs), "Unable to mount driver DMG.");
        EXPECT_GE (resultTime - startTime, (double) shortMountWaitMs);
        EXPECT_TRUE (image.existsAsFile());
        EXPECT_TRUE (wasOpened (image));
    }

    TEST_F (DownloadJobTest, DeletingTheJobCutsTheWaitForTheVolumeShort)
    {
        server.setResponse ("/image.dmg", imageResponse (makeImage (4096, 8)));
        juce::StringArray results;

        {
            DownloadJob job ([&results] (const juce::String& result) { results.add (result); },
                             server.getUrl ("/image.dmg"), volumes, temporary);
            ASSERT_TRUE (job.startThread());
            ASSERT_TRUE (testsupport::pumpUntil ([this] { return wasOpened (image); }, 20000));
            startTime = juce::Time::getMillisecondCounterHiRes();
        }

        // Shutting down must not sit out the rest of the minute.
        EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - startTime, 20000.0);

        // The one last search still decides, as ever.
        ASSERT_TRUE (testsupport::deliverQueuedMessages());
        EXPECT_EQ (results, juce::StringArray ("Unable to mount driver DMG."));
    }

    TEST_F (DownloadJobTest, KeepsTheEarlierImageWhenTheDownloadFails)
    {
        // Longer than two read blocks, so that a body cut short has been
        // partly written when it ends.
        const auto body = makeImage (10 << 20, 5);
        constexpr juce::int64 partOfTheBody = 6 << 20;

        auto withStatus = [&body] (int status) {
            auto response = imageResponse (body);
            response.status = status;
            return response;
        };

        auto cutShort = imageResponse (body);
        cutShort.bytesBeforeClose = partOfTheBody;

        HttpTestServer::Response silent;
        silent.closeWithoutAnswer = true;

        HttpTestServer::Response neverAnswers;
        neverAnswers.neverAnswer = true;

        auto stallsBeforeTheBody = imageResponse (body);
        stallsBeforeTheBody.bytesBeforeStall = 0;

        auto stallsInMidBody = imageResponse (body);
        stallsInMidBody.bytesBeforeStall = partOfTheBody;

        server.setResponse ("/404.dmg", withStatus (404));
        server.setResponse ("/500.dmg", withStatus (500));
        server.setResponse ("/short.dmg", cutShort);
        server.setResponse ("/empty.dmg", imageResponse ({}));
        server.setResponse ("/silent.dmg", silent);
        server.setResponse ("/moved.dmg", server.redirectTo ("/404.dmg"));
        server.setResponse ("/never.dmg", neverAnswers);
        server.setResponse ("/stall-at-start.dmg", stallsBeforeTheBody);
        server.setResponse ("/stall.dmg", stallsInMidBody);

        struct Case
        {
            const char* name;
            juce::String address;
            bool stalls;
        };

        const auto closedPort = juce::String (HttpTestServer::findClosedPort());

        const Case cases[] = {
            { "no server listening", "http://127.0.0.1:" + closedPort + "/image.dmg", false },
            { "status 404", server.getUrl ("/404.dmg"), false },
            { "status 500", server.getUrl ("/500.dmg"), false },
            { "body cut short", server.getUrl ("/short.dmg"), false },
            { "empty body", server.getUrl ("/empty.dmg"), false },
            { "connection closed without an answer", server.getUrl ("/silent.dmg"), false },
            { "redirected to a missing file", server.getUrl ("/moved.dmg"), false },
            { "server never answers", server.getUrl ("/never.dmg"), true },
            { "server stalls before the body", server.getUrl ("/stall-at-start.dmg"), true },
            { "server stalls in mid-body", server.getUrl ("/stall.dmg"), true },
        };

        // Mounted already, so only the download itself can fail the job.
        mountVolume();
        const auto earlier = makeImage (300000, 6);

        for (const auto& c : cases)
        {
            SCOPED_TRACE (c.name);
            useTemporaryFolder (folder.getChildFile (c.name));
            ASSERT_TRUE (temporary.createDirectory());
            ASSERT_TRUE (image.replaceWithData (earlier.getData(), earlier.getSize()));

            EXPECT_EQ (runJob (c.address, c.stalls ? shortTimeoutMs : DownloadJob::stallTimeoutMs), "Unable to download driver.");

            juce::MemoryBlock kept;
            EXPECT_TRUE (image.loadFileAsData (kept) && kept == earlier);
            EXPECT_EQ (testsupport::namesIn (temporary), juce::StringArray (imageName));

            if (c.stalls)
            {
                EXPECT_LT (resultTime - startTime, stallGivesUpWithinMs);
            }
        }

        EXPECT_GT (server.getRequestCount ("/short.dmg"), 0);
        EXPECT_EQ ((juce::int64) server.getServedBody ("/short.dmg").getSize(), partOfTheBody);
        EXPECT_EQ ((juce::int64) server.getServedBody ("/stall.dmg").getSize(), partOfTheBody);

        // It was the job that gave up, while the server still kept silent.
        for (auto* path : { "/never.dmg", "/stall-at-start.dmg", "/stall.dmg" })
            EXPECT_TRUE (testsupport::pumpUntil ([this, path] { return server.getAbandonedCount (path) == 1; }, 5000)) << path;

        ASSERT_TRUE (waitForEarlierOpeners());

        for (const auto& c : cases)
            EXPECT_FALSE (wasOpened (folder.getChildFile (c.name).getChildFile (imageName))) << c.name;
    }

    TEST_F (DownloadJobTest, ReportsAnImageThatCannotBeSaved)
    {
        server.setResponse ("/image.dmg", imageResponse (makeImage ((5 << 20) + 7, 7)));
        mountVolume();

        // A folder that can't be made, even as root: its parent is a file.
        const auto blocker = folder.getChildFile ("not a folder");
        ASSERT_TRUE (blocker.replaceWithText ("x"));
        useTemporaryFolder (blocker.getChildFile ("tmp"));

        EXPECT_EQ (runJob (server.getUrl ("/image.dmg")), "Failed saving driver.");

        // The whole image arrives, but a folder holds its place (not an
        // empty one, which JUCE would replace).
        useTemporaryFolder (folder.getChildFile ("taken"));
        ASSERT_TRUE (image.createDirectory());
        ASSERT_TRUE (image.getChildFile ("inside").replaceWithText ("x"));

        EXPECT_EQ (runJob (server.getUrl ("/image.dmg")), "Failed saving driver.");
        EXPECT_TRUE (image.isDirectory());
        EXPECT_EQ (testsupport::namesIn (temporary), juce::StringArray (imageName));

        ASSERT_TRUE (waitForEarlierOpeners());
        EXPECT_FALSE (wasOpened (blocker.getChildFile ("tmp").getChildFile (imageName)));
        EXPECT_FALSE (wasOpened (image));
    }
}
