#include <gtest/gtest.h>

#include "pages/RunInstallPage.h"
#include "support/DriverInstallHost.h"
#include "support/MessageLoop.h"
#include "support/ProbePage.h"
#include "support/SimulatedHost.h"
#include "support/WizardButtons.h"
#include "wizard/Wizard.h"

#include <optional>
#include <pthread.h>

namespace
{
    /** The page, with the job's result replaced by a given one when asked. */
    class ResultPage : public RunInstallPage
    {
    public:
        using RunInstallPage::RunInstallPage;

        std::optional<juce::String> result;

    protected:
        void jobFinished (const juce::String& jobResult) override
        {
            RunInstallPage::jobFinished (result.value_or (jobResult));
        }
    };

    /** "Ready To Install", the page under test, "Installation Finished". */
    struct InstallWizard
    {
        // The defaults are the real folders, as inside the simulated host.
        explicit InstallWizard (const juce::File& volumes = getVolumesFolder(),
                                const juce::File& temporary = juce::File::getSpecialLocation (juce::File::tempDirectory))
        {
            wizard.addPage (new testsupport::ProbePage ("Ready To Install"));
            wizard.addPage (page = new ResultPage (volumes, temporary));
            wizard.addPage (finished = new testsupport::ProbePage ("Installation Finished"));
            wizard.setSize (600, 400);
        }

        juce::String buttons() { return testsupport::describeButtons (wizard); }
        void click (const juce::String& text) { testsupport::findButton (wizard, text)->onClick(); }

        /** A click as the user makes it: dropped while the button is disabled. */
        void clickAsUser (const juce::String& text)
        {
            testsupport::findButton (wizard, text)->triggerClick();
            testsupport::deliverQueuedMessages();
        }

        Wizard wizard;
        ResultPage* page = nullptr;
        testsupport::ProbePage* finished = nullptr;
    };

    const juce::String allDisabled = "-v -v -v -h";
    const juce::String failed = "ev -v ev -h";

    class RunInstallPageTest : public testing::Test
    {
    protected:
        void TearDown() override
        {
            testsupport::closeAlerts ("OK");
            root.deleteRecursively();
        }

        juce::File root = juce::File::createTempFile ("run install page");
        juce::File volumes = root.getChildFile ("Volumes");
        juce::File temporary = root.getChildFile ("tmp");
    };

    juce::AlertWindow* waitForErrorAlert()
    {
        testsupport::pumpUntil ([] { return testsupport::findAlert ("Error") != nullptr; });
        return testsupport::findAlert ("Error");
    }
}

TEST_F (RunInstallPageTest, BusyWhileTheJobRunsThenShowsItsFailureWithNextDisabled)
{
    InstallWizard w (volumes, temporary);
    w.page->bodyLabel.setText ("stale", juce::dontSendNotification);

    w.click ("Next >");

    // The job can't report before the message loop runs again.
    ASSERT_TRUE (w.page->isVisible());
    EXPECT_TRUE (w.page->isBusy());
    EXPECT_EQ (w.buttons(), allDisabled);
    EXPECT_EQ (w.page->titleLabel.getText(), "Run Installation");
    EXPECT_EQ (w.page->bodyLabel.getText(), "");

    auto* alert = waitForErrorAlert();
    ASSERT_NE (alert, nullptr);
    EXPECT_EQ (testsupport::getAlertMessage (*alert), "Installer disk image not mounted");
    EXPECT_EQ (testsupport::findAlerts().size(), 1);

    EXPECT_FALSE (w.page->isBusy());
    EXPECT_TRUE (w.page->isVisible());
    EXPECT_EQ (w.buttons(), failed);

    // Closing the box changes nothing.
    testsupport::closeAlerts ("OK");
    EXPECT_TRUE (w.page->isVisible());
    EXPECT_EQ (w.buttons(), failed);
}

TEST_F (RunInstallPageTest, OnlyAResultOfExactlySuccessLetsTheWizardGoOn)
{
    const char* const failures[] = {
        "Installer disk image not mounted",
        "Could not copy installer",
        "Failed to expand package",
        "Failed to extract archive",
        "Failed to install driver",
        "Success",
        "success ",
        "",
    };

    for (auto* failure : failures)
    {
        SCOPED_TRACE ("\"" + std::string (failure) + "\"");
        InstallWizard w (volumes, temporary);
        w.page->result = failure;

        w.click ("Next >");
        auto* alert = waitForErrorAlert();
        ASSERT_NE (alert, nullptr);
        EXPECT_EQ (testsupport::getAlertMessage (*alert), failure);
        EXPECT_EQ (w.buttons(), failed);

        w.clickAsUser ("Next >");
        EXPECT_TRUE (w.page->isVisible());
        EXPECT_EQ (w.finished->count ("didAppear"), 0);
        testsupport::closeAlerts ("OK");
    }

    InstallWizard w (volumes, temporary);
    w.page->result = "success";

    w.click ("Next >");
    EXPECT_TRUE (testsupport::pumpUntil ([&] { return w.finished->isVisible(); }));
    testsupport::deliverQueuedMessages();
    EXPECT_EQ (w.finished->count ("didAppear"), 1);
    EXPECT_FALSE (w.page->isBusy());
    EXPECT_TRUE (testsupport::findAlerts().isEmpty());
}

TEST_F (RunInstallPageTest, TheButtonsAreBackBeforeTheAlertIsAnswered)
{
    InstallWizard w (volumes, temporary);
    testsupport::AlertAnswerer answerer ("Error", "OK", [&] { return ! w.page->isBusy() && w.buttons() == failed; });

    w.click ("Next >");

    ASSERT_TRUE (answerer.waitUntilAnswered());
    EXPECT_TRUE (answerer.checkHeld()) << "the page waited for the user to answer its alert";
    EXPECT_EQ (answerer.getMessage(), "Installer disk image not mounted");
}

TEST_F (RunInstallPageTest, BackThenNextStartsAFreshJob)
{
    InstallWizard w (volumes, temporary);

    w.click ("Next >");
    ASSERT_NE (waitForErrorAlert(), nullptr);
    testsupport::closeAlerts ("OK");

    // This time the volume is there but holds no package.
    ASSERT_TRUE (volumes.getChildFile ("Avid 003 Family").createDirectory());

    w.click ("< Back");
    w.click ("Next >");
    EXPECT_TRUE (w.page->isBusy());
    EXPECT_EQ (w.buttons(), allDisabled);

    auto* alert = waitForErrorAlert();
    ASSERT_NE (alert, nullptr);
    EXPECT_EQ (testsupport::getAlertMessage (*alert), "Could not copy installer");
    EXPECT_EQ (w.buttons(), failed);

    // "Next >" on its own can't skip the installation that failed.
    testsupport::closeAlerts ("OK");
    w.clickAsUser ("Next >");
    EXPECT_TRUE (w.page->isVisible());
    EXPECT_FALSE (w.page->isBusy());
    EXPECT_EQ (w.finished->count ("didAppear"), 0);
}

TEST_F (RunInstallPageTest, AJobThatCannotStartIsReportedAndLeavesThePageIdle)
{
    InstallWizard w (volumes, temporary);

    // A default stack no system can map makes every new thread fail to start.
    pthread_attr_t original;
    ASSERT_EQ (pthread_getattr_default_np (&original), 0);

    pthread_attr_t unstartable;
    ASSERT_EQ (pthread_attr_init (&unstartable), 0);
    ASSERT_EQ (pthread_attr_setstacksize (&unstartable, (size_t) 1 << 62), 0);
    ASSERT_EQ (pthread_setattr_default_np (&unstartable), 0);

    w.click ("Next >");

    EXPECT_EQ (pthread_setattr_default_np (&original), 0);
    pthread_attr_destroy (&unstartable);
    pthread_attr_destroy (&original);

    EXPECT_FALSE (w.page->isBusy());
    EXPECT_EQ (w.buttons(), failed);

    auto* alert = waitForErrorAlert();
    ASSERT_NE (alert, nullptr);
    EXPECT_EQ (testsupport::getAlertMessage (*alert), "Could not start the installation.");
    EXPECT_TRUE (w.page->isVisible());
}

//==============================================================================
// Inside the simulated host, the page with its real folders: /Volumes and
// the temporary folder that TMPDIR names.
namespace
{
    namespace host = testsupport::installhost;

    class InHostRunInstallPage : public testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE (host::insideSimulatedHost());
            host::resetHost();
            host::blankTemporaryFolder().deleteRecursively();
            host::useTemporaryFolder (host::blankTemporaryFolder());
            host::mountFixtureVolume ("good");
        }

        void TearDown() override
        {
            testsupport::closeAlerts ("OK");
            initialDirectory.setAsCurrentWorkingDirectory();
            unsetenv ("TMPDIR");
        }

        const juce::File initialDirectory = juce::File::getCurrentWorkingDirectory();
    };

}

TEST_F (InHostRunInstallPage, SuccessLandsOnTheLastPageWithNoAlert)
{
    // The "user" takes a moment to type the password.
    host::setAuthorisation ("grant 500");

    InstallWizard w;
    w.click ("Next >");

    // While the dialog waits for the password.
    EXPECT_TRUE (testsupport::pumpUntil ([] { return host::readStateLines ("authorisation-requests").size() == 1; }));
    EXPECT_TRUE (w.page->isVisible());
    EXPECT_TRUE (w.page->isBusy());
    EXPECT_EQ (w.buttons(), allDisabled);

    EXPECT_TRUE (testsupport::pumpUntil ([&] { return w.finished->isVisible(); }, 60000));
    testsupport::deliverQueuedMessages();

    EXPECT_FALSE (w.page->isBusy());
    EXPECT_EQ (w.finished->count ("didAppear"), 1);
    EXPECT_TRUE (testsupport::findAlerts().isEmpty());
    EXPECT_TRUE (juce::File ("/Library/Extensions/Avid00Family.kext").isDirectory());
}

TEST_F (InHostRunInstallPage, AFailedScriptShowsTheJobsMessage)
{
    host::resetHost();
    host::mountFixtureVolume ("payload-missing-folder");

    InstallWizard w;
    w.click ("Next >");

    auto* alert = waitForErrorAlert();
    ASSERT_NE (alert, nullptr);
    EXPECT_EQ (testsupport::getAlertMessage (*alert), "Failed to install driver");
    EXPECT_TRUE (w.page->isVisible());
    EXPECT_EQ (w.buttons(), failed);
}

// Quitting ends the message loop; shut-down then deletes the pages.
TEST (InHostRunInstallPageQuit, WaitsForTheRunningJobAndShowsNothing)
{
    ASSERT_TRUE (host::insideSimulatedHost());
    host::resetHost();
    host::useTemporaryFolder (host::blankTemporaryFolder());
    host::mountFixtureVolume ("good");
    host::setAuthorisation ("grant 1000");

    auto w = std::make_unique<InstallWizard>();
    w->click ("Next >");
    ASSERT_TRUE (testsupport::pumpUntil ([] { return host::readStateLines ("authorisation-requests").size() == 1; }));
    ASSERT_TRUE (w->page->isBusy());

    juce::MessageManager::getInstance()->stopDispatchLoop();

    w.reset();

    // The job ran to its end, dialog and script, before the page went.
    EXPECT_TRUE (juce::File ("/Library/Extensions/Avid00Family.kext").isDirectory());
    EXPECT_EQ (host::readStateLines ("privileged-runs").size(), 1);

    // Its result was dropped when it was posted, the loop having been told to stop.
    EXPECT_TRUE (testsupport::findAlerts().isEmpty());
    unsetenv ("TMPDIR");
}

TEST (RunInstallPageInSimulatedHost, EndToEnd)
{
    const juce::StringArray options;
    RUN_IN_SIMULATED_HOST (options, "InHostRunInstallPage.*");
}

TEST (RunInstallPageInSimulatedHost, QuitWhileInstalling)
{
    const juce::StringArray options;
    RUN_IN_SIMULATED_HOST (options, "InHostRunInstallPageQuit.*");
}
