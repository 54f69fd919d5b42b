#include <gtest/gtest.h>

#include "jobs/DownloadJob.h"
#include "support/DocumentOpenerStub.h"
#include "support/HttpTestServer.h"
#include "support/MessageLoop.h"

#include <atomic>
#include <thread>

namespace
{
    using testsupport::HttpTestServer;

    const char* const imageName = "003_Family_11.1.5.dmg";

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
        juce::String runJob (const juce::String& address)
        {
            juce::StringArray results;
            bool onMessageThread = true;

            auto record = [&results, &onMessageThread] (const juce::String& result) {
                onMessageThread = onMessageThread && juce::MessageManager::existsAndIsCurrentThread();
                results.add (result);
            };

            DownloadJob job (record, address, volumes, temporary);

            startTime = juce::Time::getMillisecondCounterHiRes();
            EXPECT_TRUE (job.startThread());
            EXPECT_TRUE (testsupport::pumpUntil ([&results] { return ! results.isEmpty(); }, 15000));
            resultTime = juce::Time::getMillisecondCounterHiRes();

            // Anything the job posts after its first result arrives here.
            EXPECT_TRUE (testsupport::pumpUntil ([&job] { return ! job.isThreadRunning(); }, 5000));
            testsupport::pump (100);

            EXPECT_EQ (results.size(), 1) << results.joinIntoString (" | ");
            EXPECT_TRUE (onMessageThread);
            return results[0];
        }

        bool wasOpened() const
        {
            return testsupport::getOpenedDocuments().contains (image.getFullPathName());
        }

        HttpTestServer server;
        juce::File folder, volumes, temporary, image;
        double startTime = 0, resultTime = 0;
    };

    TEST_F (DownloadJobTest, SavesAndOpensTheImageThenWaitsForItsVolume)
    {
        const auto body = makeImage (1 << 20, 1);
        server.setResponse ("/image.dmg", imageResponse (body));

        // A larger earlier download must not leave its tail behind.
        ASSERT_TRUE (temporary.createDirectory());
        ASSERT_TRUE (image.replaceWithData (makeImage (3 << 20, 2).getData(), 3 << 20));

        Mounter mounter (image, volumes.getChildFile ("Avid 003 Family"), 1000);

        EXPECT_EQ (runJob (server.getUrl ("/image.dmg")), "");
        EXPECT_TRUE (wasOpened());

        juce::MemoryBlock saved;
        ASSERT_TRUE (image.loadFileAsData (saved));
        EXPECT_TRUE (saved == body);
        EXPECT_TRUE (saved == server.getServedBody ("/image.dmg"));

        // The wait ends with the first search that sees the volume, not after
        // the whole three seconds.
        ASSERT_GT (mounter.mountedAt.load(), 0.0);
        EXPECT_GE (mounter.mountedAt.load() - startTime, 1000.0);
        // The full wait would have ended about 1.9 s after the mount.
        EXPECT_LT (resultTime - mounter.mountedAt.load(), 1500.0);
    }

    TEST_F (DownloadJobTest, SucceedsAtOnceWhenTheVolumeIsAlreadyMounted)
    {
        const auto body = makeImage (200000, 3);

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
            // Well short of the 2.9 s that a search that missed would cost.
            EXPECT_LT (resultTime - startTime, 2000.0);

            juce::MemoryBlock saved;
            ASSERT_TRUE (image.loadFileAsData (saved));
            EXPECT_TRUE (saved == body);
            EXPECT_TRUE (saved == server.getServedBody (c.servedPath));
            EXPECT_TRUE (testsupport::pumpUntil ([this] { return wasOpened(); }, 2000));
        }
    }

    TEST_F (DownloadJobTest, ReportsAVolumeThatNeverAppears)
    {
        server.setResponse ("/image.dmg", imageResponse (makeImage (4096, 4)));

        // Not the driver's volume.
        volumes.getChildFile ("Avid 003").createDirectory();

        EXPECT_EQ (runJob (server.getUrl ("/image.dmg")), "Unable to mount driver DMG.");
        EXPECT_GE (resultTime - startTime, 2800.0);
        EXPECT_TRUE (image.existsAsFile());
        EXPECT_TRUE (wasOpened());
    }

    TEST_F (DownloadJobTest, KeepsTheEarlierImageWhenTheDownloadFails)
    {
        const auto body = makeImage (10000, 5);

        auto withStatus = [&body] (int status) {
            auto response = imageResponse (body);
            response.status = status;
            return response;
        };

        auto cutShort = imageResponse (body);
        cutShort.bytesBeforeClose = 6000;

        HttpTestServer::Response silent;
        silent.closeWithoutAnswer = true;

        server.setResponse ("/404.dmg", withStatus (404));
        server.setResponse ("/500.dmg", withStatus (500));
        server.setResponse ("/short.dmg", cutShort);
        server.setResponse ("/empty.dmg", imageResponse ({}));
        server.setResponse ("/silent.dmg", silent);
        server.setResponse ("/moved.dmg", server.redirectTo ("/404.dmg"));

        const std::pair<const char*, juce::String> cases[] = {
            { "no server listening", "http://127.0.0.1:" + juce::String (HttpTestServer::findClosedPort()) + "/image.dmg" },
            { "status 404", server.getUrl ("/404.dmg") },
            { "status 500", server.getUrl ("/500.dmg") },
            { "body cut short", server.getUrl ("/short.dmg") },
            { "empty body", server.getUrl ("/empty.dmg") },
            { "connection closed without an answer", server.getUrl ("/silent.dmg") },
            { "redirected to a missing file", server.getUrl ("/moved.dmg") },
        };

        // Mounted already, so only the download itself can fail the job.
        mountVolume();
        const juce::String earlier ("an earlier, good download");

        for (const auto& [name, address] : cases)
        {
            SCOPED_TRACE (name);
            useTemporaryFolder (folder.getChildFile (name));
            ASSERT_TRUE (temporary.createDirectory());
            ASSERT_TRUE (image.replaceWithText (earlier));

            EXPECT_EQ (runJob (address), "Unable to download driver.");
            EXPECT_EQ (image.loadFileAsString(), earlier);
        }

        EXPECT_GT (server.getRequestCount ("/short.dmg"), 0);
        EXPECT_EQ (server.getServedBody ("/short.dmg").getSize(), 6000u);

        // Give a wrongly started opener time to show up.
        testsupport::pump (300);

        for (const auto& [name, address] : cases)
            EXPECT_FALSE (testsupport::getOpenedDocuments().contains (folder.getChildFile (name).getChildFile (imageName).getFullPathName())) << name;
    }

    TEST_F (DownloadJobTest, ReportsAnImageThatCannotBeSaved)
    {
        server.setResponse ("/image.dmg", imageResponse (makeImage (4096, 6)));
        mountVolume();

        // A folder that can't be made, even as root: its parent is a file.
        const auto blocker = folder.getChildFile ("not a folder");
        ASSERT_TRUE (blocker.replaceWithText ("x"));
        useTemporaryFolder (blocker.getChildFile ("tmp"));

        EXPECT_EQ (runJob (server.getUrl ("/image.dmg")), "Failed saving driver.");
        testsupport::pump (300);
        EXPECT_FALSE (wasOpened());
    }
}
