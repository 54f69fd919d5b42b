#include <gtest/gtest.h>

#include "app/MainComponent.h"
#include "pages/DownloadPage.h"
#include "pages/MountPagePage.h"
#include "pages/PreCheckPage.h"
#include "support/ContentServer.h"
#include "support/DocumentOpenerStub.h"
#include "support/DriverInstallHost.h"
#include "support/FolderNames.h"
#include "support/HttpTestServer.h"
#include "support/MessageLoop.h"
#include "support/ProbePage.h"
#include "support/SimulatedHost.h"
#include "support/WizardButtons.h"
#include "wizard/Wizard.h"

namespace
{
    using testsupport::HttpTestServer;

    const char* const imageName = "003_Family_11.1.5.dmg";

    HttpTestServer::Response imageResponse (int status = 200, int delayMs = 0)
    {
        HttpTestServer::Response response;
        response.status = status;
        response.delayMs = delayMs;
        response.body.setSize (50000);
        juce::Random (7).fillBitsRandomly (response.body.getData(), response.body.getSize());
        return response;
    }

    constexpr int shortTimeoutMs = 1000;

    // libcurl checks its low-speed limit against the last five seconds. The
    // rest allows for a loaded machine, and is still well short of the real
    // time-out's 35 s.
    constexpr int stallGivesUpWithinMs = shortTimeoutMs + 5000 + 15000;

    /** A page whose jobs never get a thread. */
    class UnstartablePage : public DownloadPage
    {
    public:
        using DownloadPage::DownloadPage;

    protected:
        bool startJob (DownloadJob&) override { return false; }

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UnstartablePage)
    };

    /** The download page in a wizard, between pages that record their appearances,
        in a window; downloads go to the local test server.
    */
    class DownloadPageTest : public testing::Test
    {
    protected:
        static void SetUpTestSuite()
        {
            testsupport::installDocumentOpenerStub();
        }

        void SetUp() override
        {
            ASSERT_TRUE (server.isListening());
            folder = juce::File::createTempFile ("download-page");
            volumes = folder.getChildFile ("Volumes");
            ASSERT_TRUE (volumes.createDirectory());
            image = folder.getChildFile ("tmp").getChildFile (imageName);
        }

        void TearDown() override
        {
            window.reset();
            testsupport::closeAlerts ("OK");
            folder.deleteRecursively();
        }

        template <typename PageClass = DownloadPage>
        void makeWizard (int timeoutMs = DownloadJob::stallTimeoutMs)
        {
            auto owned = std::make_unique<Wizard>();
            owned->addPage (first = new testsupport::ProbePage ("Introduction"));
            owned->addPage (page = new PageClass (server.getUrl ("/image.dmg"), volumes, folder.getChildFile ("tmp"), timeoutMs));
            owned->addPage (mount = new testsupport::ProbePage ("Mount Driver DMG"));
            owned->addPage (ready = new testsupport::ProbePage ("Ready To Install"));
            owned->addPage (new testsupport::ProbePage ("Run Installation"));
            owned->setSize (600, 400);
            wizard = owned.get();

            window = std::make_unique<juce::DocumentWindow> ("Download page test", juce::Colours::grey, juce::DocumentWindow::allButtons);
            window->setContentOwned (owned.release(), true);
            window->setVisible (true);

            next().triggerClick();
            ASSERT_TRUE (testsupport::pumpUntil ([this] { return page->isVisible(); }));
        }

        juce::Button& next() { return wizard->nextButton; }
        juce::Button& back() { return *testsupport::findButton (*wizard, "< Back"); }

        void mountVolume() const
        {
            volumes.getChildFile ("Avid 003 Family").createDirectory();
        }

        void expectIdleOnThePage() const
        {
            EXPECT_TRUE (page->isVisible());
            EXPECT_FALSE (page->isBusy());
            EXPECT_TRUE (page->downloadButton.isEnabled());
            EXPECT_EQ (testsupport::describeButtons (*wizard), "ev ev ev -h");
        }

        void expectErrorAlert (const juce::String& message) const
        {
            ASSERT_TRUE (testsupport::pumpUntil ([] { return testsupport::findAlert ("Error") != nullptr; }));
            auto* alert = testsupport::findAlert ("Error");
            EXPECT_EQ (testsupport::getAlertMessage (*alert), message);
            EXPECT_EQ (alert->getAlertType(), juce::MessageBoxIconType::QuestionIcon);
            EXPECT_EQ (testsupport::findAlerts().size(), 1);

            testsupport::closeAlerts ("OK");
            EXPECT_TRUE (testsupport::findAlerts().isEmpty()) << "no \"OK\" button";
        }

        HttpTestServer server;
        juce::File folder, volumes, image;
        std::unique_ptr<juce::DocumentWindow> window;
        Wizard* wizard = nullptr;
        DownloadPage* page = nullptr;
        testsupport::ProbePage *first = nullptr, *mount = nullptr, *ready = nullptr;
    };

    TEST_F (DownloadPageTest, DownloadSkipsAheadToReadyToInstall)
    {
        server.setResponse ("/image.dmg", imageResponse());
        mountVolume();
        makeWizard();

        EXPECT_EQ (page->downloadButton.getButtonText(), "Download");
        EXPECT_EQ (page->downloadButton.getBounds(), juce::Rectangle<int> (8, 120, 100, 24));
        window->setSize (900, 700);
        EXPECT_EQ (page->downloadButton.getBounds(), juce::Rectangle<int> (8, 120, 100, 24));

        const auto mountAppearances = mount->count ("didAppear");
        const auto readyAppearances = ready->count ("didAppear");

        page->downloadButton.onClick();

        EXPECT_TRUE (page->isBusy());
        EXPECT_FALSE (page->downloadButton.isEnabled());
        EXPECT_EQ (testsupport::describeButtons (*wizard), "-v -v -v -h");

        ASSERT_TRUE (testsupport::pumpUntil ([this] { return ready->isVisible(); }));
        EXPECT_EQ (mount->count ("didAppear"), mountAppearances + 1);
        EXPECT_EQ (ready->count ("didAppear"), readyAppearances + 1);
        EXPECT_TRUE (image.existsAsFile());
        EXPECT_EQ (server.getRequestCount ("/image.dmg"), 1);

        // No third click, and no alert.
        ASSERT_TRUE (testsupport::deliverQueuedMessages());
        EXPECT_TRUE (ready->isVisible());
        EXPECT_TRUE (testsupport::findAlerts().isEmpty());

        back().triggerClick();
        back().triggerClick();
        ASSERT_TRUE (testsupport::pumpUntil ([this] { return page->isVisible(); }));
        expectIdleOnThePage();
    }

    TEST_F (DownloadPageTest, FailureShowsTheErrorAndAnotherClickDownloadsAnew)
    {
        server.setResponse ("/image.dmg", imageResponse (404));
        mountVolume();
        makeWizard();

        page->downloadButton.triggerClick();

        expectErrorAlert ("Unable to download driver.");
        expectIdleOnThePage();
        EXPECT_TRUE (testsupport::namesIn (folder.getChildFile ("tmp")).isEmpty());

        server.setResponse ("/image.dmg", imageResponse());
        page->downloadButton.triggerClick();

        ASSERT_TRUE (testsupport::pumpUntil ([this] { return ready->isVisible(); }));
        EXPECT_EQ (server.getRequestCount ("/image.dmg"), 2);
        EXPECT_TRUE (image.existsAsFile());
        EXPECT_TRUE (testsupport::findAlerts().isEmpty());
    }

    TEST_F (DownloadPageTest, ClosingTheWindowDuringADownloadWaitsForItAndShowsNothing)
    {
        server.setResponse ("/image.dmg", imageResponse (200, 500));
        mountVolume();
        makeWizard();

        page->downloadButton.onClick();
        ASSERT_TRUE (page->isBusy());
        ASSERT_TRUE (testsupport::pumpUntil ([this] { return server.getRequestCount ("/image.dmg") > 0; }));

        window.reset();

        // The job ran to its end before the page went.
        EXPECT_TRUE (image.existsAsFile());

        ASSERT_TRUE (testsupport::deliverQueuedMessages());
        EXPECT_TRUE (testsupport::findAlerts().isEmpty());
    }

    TEST_F (DownloadPageTest, ClosingTheWindowDuringAStalledDownloadWaitsOnlyForTheTimeOut)
    {
        auto stalls = imageResponse();
        stalls.bytesBeforeStall = 20000;
        server.setResponse ("/image.dmg", stalls);
        mountVolume();
        makeWizard (shortTimeoutMs);

        page->downloadButton.onClick();
        ASSERT_TRUE (testsupport::pumpUntil ([this] { return server.getServedBody ("/image.dmg").getSize() > 0; }));

        const auto closed = juce::Time::getMillisecondCounterHiRes();
        window.reset();
        EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - closed, (double) stallGivesUpWithinMs);

        EXPECT_TRUE (testsupport::namesIn (folder.getChildFile ("tmp")).isEmpty());
        ASSERT_TRUE (testsupport::deliverQueuedMessages());
        EXPECT_TRUE (testsupport::findAlerts().isEmpty());
    }

    TEST_F (DownloadPageTest, AStalledServerEndsInTheErrorAlert)
    {
        HttpTestServer::Response neverAnswers;
        neverAnswers.neverAnswer = true;
        server.setResponse ("/image.dmg", neverAnswers);
        mountVolume();
        makeWizard (shortTimeoutMs);

        const auto clicked = juce::Time::getMillisecondCounterHiRes();
        page->downloadButton.triggerClick();

        ASSERT_TRUE (testsupport::pumpUntil ([this] { return ! page->isBusy(); }, 40000));
        EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - clicked, (double) stallGivesUpWithinMs);

        expectErrorAlert ("Unable to download driver.");
        expectIdleOnThePage();
        EXPECT_TRUE (testsupport::namesIn (folder.getChildFile ("tmp")).isEmpty());
    }

    TEST_F (DownloadPageTest, TheErrorAlertFindsThePageIdleAlready)
    {
        server.setResponse ("/image.dmg", imageResponse (500));
        mountVolume();
        makeWizard();

        // Answered from the message loop as soon as it shows: had showing it
        // waited for the answer, the page would still be busy then.
        testsupport::AlertAnswerer answerer ("Error", "OK", [this] {
            return ! page->isBusy() && page->downloadButton.isEnabled()
                   && testsupport::describeButtons (*wizard) == "ev ev ev -h";
        });

        page->downloadButton.triggerClick();

        ASSERT_TRUE (answerer.waitUntilAnswered());
        EXPECT_TRUE (answerer.checkHeld()) << "the page's work after the alert waited for its answer";
        EXPECT_EQ (answerer.getMessage(), "Unable to download driver.");
        EXPECT_TRUE (testsupport::pumpUntil ([] { return testsupport::findAlerts().isEmpty(); }));
        expectIdleOnThePage();
    }

    TEST_F (DownloadPageTest, AJobThatCannotStartLeavesThePageIdle)
    {
        server.setResponse ("/image.dmg", imageResponse());
        makeWizard<UnstartablePage>();

        page->downloadButton.triggerClick();

        expectErrorAlert ("Could not start the download.");
        expectIdleOnThePage();
        EXPECT_EQ (server.getRequestCount ("/image.dmg"), 0);
    }
}

namespace
{
    /** The real application's wizard in a window, inside the simulated host:
        the compiled-in https address reaches a local TLS server through the
        host's /etc/hosts, and the host's document opener mounts the image.
    */
    class InHostDownload : public testing::Test
    {
    protected:
        void SetUp() override
        {
            folder = juce::File ("/tmp").getNonexistentChildFile ("vantry-download-" + juce::Uuid().toString(), {});
            ASSERT_TRUE (folder.createDirectory());

            // The host's /tmp is the real machine's: keep the download out of its way.
            temporary = folder.getChildFile ("tmp");
            ASSERT_TRUE (temporary.createDirectory());
            testsupport::installhost::useTemporaryFolder (temporary);

            const auto fixture = testsupport::fixturesFolder().getChildFile ("images/003_Family_11.1.5.dmg");
            ASSERT_TRUE (fixture.loadFileAsData (fixtureBytes));
            server = std::make_unique<testsupport::ContentServer> (fixture);
            ASSERT_TRUE (server->isReady());

            auto owned = std::make_unique<MainComponent>();
            wizard = owned.get();

            for (auto* child : wizard->getChildren())
            {
                if (auto* p = dynamic_cast<DownloadPage*> (child))
                    page = p;
                else if (auto* m = dynamic_cast<MountPagePage*> (child))
                    mount = m;
                else if (auto* r = dynamic_cast<PreCheckPage*> (child))
                    ready = r;
            }

            ASSERT_TRUE (page != nullptr && mount != nullptr && ready != nullptr);

            window = std::make_unique<juce::DocumentWindow> ("Vantry Driver Helper", juce::Colours::grey, juce::DocumentWindow::allButtons);
            window->setContentOwned (owned.release(), true);
            window->setVisible (true);

            wizard->nextButton.triggerClick();
            ASSERT_TRUE (testsupport::pumpUntil ([this] { return page->isVisible(); }));
        }

        void TearDown() override
        {
            window.reset();
            testsupport::closeAlerts ("OK");

            server.reset();
            folder.deleteRecursively();
        }

        juce::File savedImage() const
        {
            return temporary.getChildFile ("003_Family_11.1.5.dmg");
        }

        juce::File folder, temporary;
        juce::MemoryBlock fixtureBytes;
        std::unique_ptr<testsupport::ContentServer> server;
        std::unique_ptr<juce::DocumentWindow> window;
        Wizard* wizard = nullptr;
        DownloadPage* page = nullptr;
        MountPagePage* mount = nullptr;
        PreCheckPage* ready = nullptr;
    };

    TEST_F (InHostDownload, ReachesReadyToInstall)
    {
        // Labels are filled when a page appears.
        ASSERT_TRUE (mount->titleLabel.getText().isEmpty());
        ASSERT_TRUE (ready->titleLabel.getText().isEmpty());
        ASSERT_FALSE (isDriverVolumeMounted());

        page->downloadButton.triggerClick();

        // However long the host takes to mount, within the job's minute.
        ASSERT_TRUE (testsupport::pumpUntil ([this] { return ready->isVisible() || testsupport::findAlert ("Error") != nullptr; }, 90000));
        ASSERT_EQ (testsupport::findAlert ("Error"), nullptr) << testsupport::getAlertMessage (*testsupport::findAlert ("Error"));
        EXPECT_TRUE (ready->isVisible());
        EXPECT_EQ (mount->titleLabel.getText(), "Mount Driver DMG");
        EXPECT_EQ (ready->titleLabel.getText(), "Ready To Install");

        juce::MemoryBlock saved;
        ASSERT_TRUE (savedImage().loadFileAsData (saved));
        EXPECT_TRUE (saved == fixtureBytes);
        EXPECT_TRUE (juce::File ("/Volumes/Avid 003 Family").isDirectory());
        EXPECT_TRUE (juce::File ("/var/db/simulated-macos/open-log").loadFileAsString().contains ("mounted " + savedImage().getFullPathName() + " at /Volumes/Avid 003 Family"));
    }

    TEST_F (InHostDownload, GivesUpOnAnImageThatNeverMounts)
    {
        const auto clicked = juce::Time::getMillisecondCounterHiRes();
        page->downloadButton.triggerClick();

        ASSERT_TRUE (testsupport::pumpUntil ([] { return testsupport::findAlert ("Error") != nullptr; }, 120000));
        const auto failedAfter = juce::Time::getMillisecondCounterHiRes() - clicked;
        EXPECT_EQ (testsupport::getAlertMessage (*testsupport::findAlert ("Error")), "Unable to mount driver DMG.");

        // The image was opened after the click, so the whole wait lies between.
        EXPECT_GE (failedAfter, (double) DownloadJob::mountWaitLimitMs);
        EXPECT_LT (failedAfter, DownloadJob::mountWaitLimitMs + 15000.0);

        EXPECT_TRUE (page->isVisible());
        EXPECT_FALSE (page->isBusy());
        EXPECT_TRUE (mount->titleLabel.getText().isEmpty());

        juce::MemoryBlock saved;
        ASSERT_TRUE (savedImage().loadFileAsData (saved));
        EXPECT_TRUE (saved == fixtureBytes);
        EXPECT_TRUE (juce::File ("/var/db/simulated-macos/open-log").loadFileAsString().contains ("not mounted " + savedImage().getFullPathName()));
    }

    TEST_F (InHostDownload, RefusesAnUntrustedServer)
    {
        page->downloadButton.triggerClick();

        ASSERT_TRUE (testsupport::pumpUntil ([] { return testsupport::findAlert ("Error") != nullptr; }, 30000));
        EXPECT_EQ (testsupport::getAlertMessage (*testsupport::findAlert ("Error")), "Unable to download driver.");
        EXPECT_TRUE (page->isVisible());
        EXPECT_TRUE (page->downloadButton.isEnabled());
        EXPECT_FALSE (savedImage().exists());
        EXPECT_TRUE (mount->titleLabel.getText().isEmpty());
    }

    TEST (DownloadInSimulatedHost, DownloadsMountsAndSkipsToReadyToInstall)
    {
        const juce::StringArray host { "--net", "--mount-delay", "1000" };
        RUN_IN_SIMULATED_HOST (host, "InHostDownload.ReachesReadyToInstall");
    }

    // As a Mac that first verifies the whole image, on a slow disk.
    TEST (DownloadInSimulatedHost, WaitsForAMountThatTakesEightSeconds)
    {
        const juce::StringArray host { "--net", "--mount-delay", "8000" };
        RUN_IN_SIMULATED_HOST (host, "InHostDownload.ReachesReadyToInstall");
    }

    TEST (DownloadInSimulatedHost, WaitsForAMountThatTakesTwentyFiveSeconds)
    {
        const juce::StringArray host { "--net", "--mount-delay", "25000" };
        RUN_IN_SIMULATED_HOST (host, "InHostDownload.ReachesReadyToInstall");
    }

    TEST (DownloadInSimulatedHost, AnImageThatNeverMountsFailsOnceTheWaitIsOver)
    {
        const juce::StringArray host { "--net", "--no-mount" };
        RUN_IN_SIMULATED_HOST (host, "InHostDownload.GivesUpOnAnImageThatNeverMounts");
    }

    TEST (DownloadInSimulatedHost, UntrustedCertificateFailsTheDownload)
    {
        const juce::StringArray host { "--net", "--no-test-ca" };
        RUN_IN_SIMULATED_HOST (host, "InHostDownload.RefusesAnUntrustedServer");
    }
}
