// The whole application, started as the built binary inside the simulated
// host and driven from outside its process: clicks on the buttons' places in
// the window and keys in its alerts, through the X server. What the user would
// see is saved as a screenshot per step under the build folder's
// "screenshots"; what the app did is read from its effects on the host.

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/AppProcess.h"
#include "support/ContentServer.h"
#include "support/DriverInstallHost.h"
#include "support/MessageLoop.h"
#include "support/SimulatedHost.h"

namespace host = testsupport::installhost;
using testsupport::AppProcess;

namespace
{
    //==============================================================================
    // Outside: one simulated host per road, its screenshots copied out after.
    /** Runs InHostWalk.<this test's name> inside a host made with these options. */
    void walkInSimulatedHost (const juce::StringArray& options)
    {
        const juce::String name (testing::UnitTest::GetInstance()->current_test_info()->name());

        // Under /tmp, which the simulated host shares with this machine.
        const auto shots = juce::File::createTempFile ("walk-screenshots");
        shots.createDirectory();
        setenv ("VANTRY_WALK_SCREENSHOTS", shots.getFullPathName().toRawUTF8(), 1);

        testsupport::runInSimulatedHost (options, "InHostWalk." + name, 240000, true);

        const auto target = juce::File (VANTRY_SCREENSHOTS_DIR).getChildFile (name);
        target.deleteRecursively();
        target.getParentDirectory().createDirectory();
        shots.copyDirectoryTo (target);
        shots.deleteRecursively();
    }

    //==============================================================================
    // Inside: the app in its window, and what a user does with it.
    const juce::Point<int> backButton { 310, 380 }, nextButton { 418, 380 }, cancelButton { 542, 380 },
        restartButton { 542, 380 }, downloadButton { 66, 140 };

    class Walk
    {
    public:
        Walk()
        {
            window = app.waitForWindow();

            // Mapped is not yet painted, nor ready for a click: under load the
            // first click could be lost while the window manager still moved
            // the focus to the new window.
            if (window.isNotEmpty())
                testsupport::runCommand ({ "xdotool", "windowactivate", "--sync", window });

            testsupport::pump (1000);
        }

        ~Walk()
        {
            testsupport::pump (200);
        }

        bool started() const { return window.isNotEmpty(); }

        void click (juce::Point<int> point, int settleMs = 300)
        {
            AppProcess::click (window, point);
            testsupport::pump (settleMs);
        }

        void shot (const juce::String& step)
        {
            const auto folder = juce::SystemStats::getEnvironmentVariable ("VANTRY_WALK_SCREENSHOTS", {});

            if (folder.isNotEmpty())
                AppProcess::saveScreenshot (juce::File (folder).getChildFile (juce::String (++shots).paddedLeft ('0', 2) + " " + step + ".png"));
        }

        /** The id of the app's alert window with this title, once it shows. */
        juce::String waitForAlert (const juce::String& title, int timeoutMs = 15000)
        {
            juce::String id;
            testsupport::pumpUntil ([&] { id = app.findWindows (title)[0]; return id.isNotEmpty(); }, timeoutMs);
            return id;
        }

        /** Presses a key in the alert with this title, as a user answering it
            would, until the alert has gone: the first press can land before the
            alert has the keyboard focus.
        */
        bool answer (const juce::String& title, const juce::String& key)
        {
            for (int attempt = 0; attempt < 5; ++attempt)
            {
                const auto alert = app.findWindows (title)[0];

                if (alert.isEmpty())
                    return true;

                testsupport::runCommand ({ "xdotool", "windowactivate", "--sync", alert });
                testsupport::runCommand ({ "xdotool", "key", "--clearmodifiers", key });

                if (testsupport::pumpUntil ([&] { return app.findWindows (title).isEmpty(); }, 2000))
                    return true;
            }

            return false;
        }

        bool waitForState (const juce::String& name, int lines = 1, int timeoutMs = 15000)
        {
            return testsupport::pumpUntil ([&] { return host::readStateLines (name).size() >= lines; }, timeoutMs);
        }

        /** The root script has run, no alert is up, and /Library holds the payload's tree. */
        bool finishesInstalling()
        {
            if (! waitForState ("privileged-runs"))
                return false;

            testsupport::pump (1500);
            shot ("Installation Finished");
            return app.findWindows ("Error").isEmpty() && installedTreeIsThePayloads();
        }

        static bool installedTreeIsThePayloads()
        {
            return host::describeInstalledTree (juce::File ("/Library")) == host::describePayloadTree()
                   && host::kextOwnedByRootWheel();
        }

        bool quits (int timeoutMs = 20000)
        {
            return app.waitForExit (timeoutMs) && app.getExitCode() == 0;
        }

        // Before the app starts, which takes its temporary folder from TMPDIR:
        // /tmp here is this machine's own.
        static bool prepareHost()
        {
            host::resetHost();
            host::useTemporaryFolder (juce::File ("/private/var/folders/vantry walk/T"));
            return true;
        }

        const bool hostPrepared = prepareHost();
        AppProcess app;
        juce::String window;
        int shots = 0;
    };
}

//==============================================================================
TEST (Walk, MainRoad)
{
    walkInSimulatedHost ({ "--net", "--macos", "11.7.10", "--cpu", "intel", "--auth", "grant:500", "--mount-delay", "500" });
}

TEST (InHostWalk, MainRoad)
{
    const testsupport::ContentServer server (testsupport::fixturesFolder().getChildFile ("images/003_Family_11.1.5.dmg"));
    ASSERT_TRUE (server.isReady());

    Walk walk;
    ASSERT_TRUE (walk.started()) << walk.app.getOutput();
    walk.shot ("Introduction");

    walk.click (nextButton);
    walk.shot ("Download Driver Installer");
    ASSERT_TRUE (walk.waitForAlert ("Error", 500).isEmpty()) << "the host check refused a supported Mac";

    walk.click (downloadButton, 100);
    walk.shot ("Downloading");

    // Mounted, then the wizard skips "Mount Driver DMG" and lands on "Ready To Install".
    ASSERT_TRUE (testsupport::pumpUntil ([] { return juce::File ("/Volumes/Avid 003 Family").isDirectory(); }, 15000));
    testsupport::pump (1500);
    walk.shot ("Ready To Install");
    EXPECT_TRUE (walk.app.findWindows ("Error").isEmpty());

    walk.click (nextButton, 100);
    ASSERT_TRUE (walk.waitForState ("authorisation-requests"));
    walk.shot ("Run Installation");

    ASSERT_TRUE (walk.finishesInstalling());

    walk.click (restartButton, 0);
    EXPECT_TRUE (walk.quits());
    EXPECT_EQ (host::readStateLines ("restart-requests"), juce::StringArray { "tell application \"System Events\" to restart" });
}

//==============================================================================
TEST (Walk, ManualRoad)
{
    walkInSimulatedHost ({ "--macos", "14.2", "--auth", "grant:0" });
}

TEST (InHostWalk, ManualRoad)
{
    Walk walk;
    ASSERT_TRUE (walk.started()) << walk.app.getOutput();
    host::mountFixtureVolume ("good");

    walk.click (nextButton);
    walk.shot ("Download Driver Installer");
    walk.click (nextButton);
    walk.shot ("Mount Driver DMG");
    walk.click (nextButton);
    walk.shot ("Ready To Install");
    EXPECT_TRUE (host::readStateLines ("authorisation-requests").isEmpty());

    walk.click (nextButton, 100);
    ASSERT_TRUE (walk.finishesInstalling());

    // "< Back" is disabled on the last page; "Restart" still works.
    walk.click (backButton);
    walk.click (restartButton, 0);
    EXPECT_TRUE (walk.quits());
    EXPECT_EQ (host::readStateLines ("restart-requests").size(), 1);
}

//==============================================================================
TEST (Walk, RefusedHost)
{
    walkInSimulatedHost ({ "--macos", "10.15.7", "--cpu", "intel" });
}

TEST (InHostWalk, RefusedHost)
{
    Walk walk;
    ASSERT_TRUE (walk.started()) << walk.app.getOutput();

    for (int press = 0; press < 2; ++press)
    {
        walk.click (nextButton);
        const auto alert = walk.waitForAlert ("Error");
        ASSERT_TRUE (alert.isNotEmpty());
        walk.shot ("Refused");
        ASSERT_TRUE (walk.answer ("Error", "Return"));
    }

    // Still on the first page: "Cancel", then "Yes", quits.
    walk.click (cancelButton);
    const auto box = walk.waitForAlert ("Cancel");
    ASSERT_TRUE (box.isNotEmpty());
    EXPECT_TRUE (walk.answer ("Cancel", "Return"));
    EXPECT_TRUE (walk.quits());
}

//==============================================================================
TEST (Walk, FailuresAreReportedAndTheWizardGoesOn)
{
    // No content server listens, and the dialog refuses.
    walkInSimulatedHost ({ "--net", "--macos", "12.6", "--auth", "refuse:0" });
}

TEST (InHostWalk, FailuresAreReportedAndTheWizardGoesOn)
{
    Walk walk;
    ASSERT_TRUE (walk.started()) << walk.app.getOutput();
    walk.click (nextButton);

    walk.click (downloadButton);
    auto alert = walk.waitForAlert ("Error");
    ASSERT_TRUE (alert.isNotEmpty());
    walk.shot ("Download failed");
    ASSERT_TRUE (walk.answer ("Error", "Return"));

    // Mounted by hand instead, and on to the installation, which the dialog refuses.
    host::mountFixtureVolume ("good");
    walk.click (nextButton);
    walk.click (nextButton);
    host::setAuthorisation ("refuse 0");
    walk.click (nextButton, 100);

    alert = walk.waitForAlert ("Error");
    ASSERT_TRUE (alert.isNotEmpty());
    walk.shot ("Installation refused");
    EXPECT_TRUE (host::readStateLines ("privileged-runs").isEmpty());
    ASSERT_TRUE (walk.answer ("Error", "Return"));

    // "< Back" and "Next >" try again, and this time the user says yes.
    host::setAuthorisation ("grant 0");
    walk.click (backButton);
    walk.click (nextButton, 100);
    ASSERT_TRUE (walk.finishesInstalling());
    EXPECT_EQ (host::readStateLines ("authorisation-requests").size(), 2);

    walk.click (restartButton, 0);
    EXPECT_TRUE (walk.quits());
}

//==============================================================================
TEST (Walk, CancelAndClose)
{
    walkInSimulatedHost ({ "--macos", "11.0.1", "--auth", "grant:2500" });
}

TEST (InHostWalk, CancelAndClose)
{
    Walk walk;
    ASSERT_TRUE (walk.started()) << walk.app.getOutput();
    host::mountFixtureVolume ("good");
    walk.click (nextButton);

    walk.click (cancelButton);
    auto box = walk.waitForAlert ("Cancel");
    ASSERT_TRUE (box.isNotEmpty());
    walk.shot ("Cancel");
    ASSERT_TRUE (walk.answer ("Cancel", "Escape"));
    EXPECT_TRUE (walk.app.isRunning());

    // The window's close request while the installation waits for the dialog:
    // the app asks nothing, and ends only once the installation has run.
    walk.click (nextButton);
    walk.click (nextButton);
    walk.click (nextButton, 100);
    ASSERT_TRUE (walk.waitForState ("authorisation-requests"));
    walk.shot ("Run Installation");
    AppProcess::requestClose (walk.window);

    EXPECT_TRUE (walk.quits());
    EXPECT_EQ (host::readStateLines ("privileged-runs").size(), 1);
    EXPECT_TRUE (Walk::installedTreeIsThePayloads());
}
