// The whole application, started as the built binary inside the simulated
// host and driven from outside its process: clicks on the buttons' places in
// the window and keys in its alerts, through the X server. What the user would
// see is saved as a screenshot per step under the build folder's
// "screenshots"; what the app did is read from its window and from its effects
// on the host.

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ContentServer.h"
#include "support/DriverInstallHost.h"
#include "support/MessageLoop.h"
#include "support/SimulatedHost.h"
#include "support/Walk.h"

namespace host = testsupport::installhost;
using testsupport::Walk;

namespace
{
    /** Runs InHostWalk.<this test's name> inside a host made with these
        options, on a display of its own, and copies its screenshots out.
    */
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

    bool authorisationRequests (int count)
    {
        return host::readStateLines ("authorisation-requests").size() >= count;
    }
}

//==============================================================================
TEST (Walk, MainRoad)
{
    walkInSimulatedHost ({ "--net", "--macos", "11.7.10", "--cpu", "intel", "--auth", "grant:500", "--mount-delay", "6000" });
}

TEST (InHostWalk, MainRoad)
{
    const testsupport::ContentServer server (testsupport::fixturesFolder().getChildFile ("images/003_Family_11.1.5.dmg"));
    ASSERT_TRUE (server.isReady());

    Walk walk;
    ASSERT_TRUE (walk.started()) << walk.getApp().getOutput();
    walk.shot ("Introduction");

    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Download Driver Installer")) << "the host check refused a supported Mac";
    walk.shot ("Download Driver Installer");

    ASSERT_TRUE (walk.clickForChange (Walk::downloadButton));
    walk.shot ("Downloading");

    // Downloaded and mounted, then the wizard skips "Mount Driver DMG".
    ASSERT_TRUE (walk.waitForPage ("Ready To Install"));
    walk.shot ("Ready To Install");
    EXPECT_TRUE (juce::File ("/Volumes/Avid 003 Family").isDirectory());
    EXPECT_TRUE (walk.getApp().findWindows ("Error").isEmpty());

    ASSERT_TRUE (walk.click (Walk::nextButton, [] { return authorisationRequests (1); }));
    walk.shot ("Run Installation");

    ASSERT_TRUE (walk.finishesInstalling());

    ASSERT_TRUE (walk.click (Walk::restartButton, [] { return ! host::readStateLines ("restart-requests").isEmpty(); }));
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
    ASSERT_TRUE (walk.started()) << walk.getApp().getOutput();
    host::mountFixtureVolume ("good");

    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Download Driver Installer"));
    walk.shot ("Download Driver Installer");
    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Mount Driver DMG"));
    walk.shot ("Mount Driver DMG");
    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Ready To Install"));
    walk.shot ("Ready To Install");
    EXPECT_TRUE (host::readStateLines ("authorisation-requests").isEmpty());

    ASSERT_TRUE (walk.click (Walk::nextButton, [] { return authorisationRequests (1); }));
    ASSERT_TRUE (walk.finishesInstalling());

    // "< Back" is disabled on the last page; "Restart" still works.
    EXPECT_TRUE (walk.clickChangesNothing (Walk::backButton, Walk::restartButton));
    ASSERT_TRUE (walk.click (Walk::restartButton, [] { return ! host::readStateLines ("restart-requests").isEmpty(); }));
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
    ASSERT_TRUE (walk.started()) << walk.getApp().getOutput();

    for (int press = 0; press < 2; ++press)
    {
        ASSERT_TRUE (walk.clickForAlert (Walk::nextButton, "Error").isNotEmpty());
        walk.shot ("Refused");
        ASSERT_TRUE (walk.answer ("Error", "Return"));
        EXPECT_EQ (walk.currentPage(), "Introduction");
    }

    // Still on the first page: "Cancel", then "Yes", quits.
    ASSERT_TRUE (walk.clickForAlert (Walk::cancelButton, "Cancel").isNotEmpty());
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
    ASSERT_TRUE (walk.started()) << walk.getApp().getOutput();
    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Download Driver Installer"));

    ASSERT_TRUE (walk.clickForAlert (Walk::downloadButton, "Error").isNotEmpty());
    walk.shot ("Download failed");
    ASSERT_TRUE (walk.answer ("Error", "Return"));
    EXPECT_EQ (walk.currentPage(), "Download Driver Installer");

    // Mounted by hand instead, and on to the installation, which the dialog refuses.
    host::mountFixtureVolume ("good");
    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Mount Driver DMG"));
    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Ready To Install"));
    host::setAuthorisation ("refuse 0");
    ASSERT_TRUE (walk.clickForAlert (Walk::nextButton, "Error").isNotEmpty());
    walk.shot ("Installation refused");
    EXPECT_EQ (host::readStateLines ("authorisation-requests").size(), 1);
    EXPECT_TRUE (host::readStateLines ("privileged-runs").isEmpty());
    ASSERT_TRUE (walk.answer ("Error", "Return"));
    EXPECT_EQ (walk.currentPage(), "Run Installation");

    // Nothing was installed, so "Next >" can't lead to "Installation Finished".
    walk.shot ("Installation refused, Next disabled");
    EXPECT_TRUE (walk.clickChangesNothing (Walk::nextButton, Walk::backButton));
    EXPECT_EQ (walk.currentPage(), "Run Installation");
    walk.shot ("Next clicked, nothing changed");

    // "< Back" and "Next >" try again, and this time the user says yes.
    host::setAuthorisation ("grant 0");
    ASSERT_TRUE (walk.clickToPage (Walk::backButton, "Ready To Install"));
    walk.shot ("Back on Ready To Install");
    ASSERT_TRUE (walk.click (Walk::nextButton, [] { return authorisationRequests (2); }));
    walk.shot ("Run Installation again");
    ASSERT_TRUE (walk.finishesInstalling());
    EXPECT_EQ (host::readStateLines ("authorisation-requests").size(), 2);

    ASSERT_TRUE (walk.click (Walk::restartButton, [] { return ! host::readStateLines ("restart-requests").isEmpty(); }));
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
    ASSERT_TRUE (walk.started()) << walk.getApp().getOutput();
    host::mountFixtureVolume ("good");
    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Download Driver Installer"));

    ASSERT_TRUE (walk.clickForAlert (Walk::cancelButton, "Cancel").isNotEmpty());
    walk.shot ("Cancel");
    ASSERT_TRUE (walk.answer ("Cancel", "Escape"));
    EXPECT_TRUE (walk.getApp().isRunning());
    EXPECT_EQ (walk.currentPage(), "Download Driver Installer");

    // The window's close request while the installation waits for the dialog:
    // the app asks nothing, and ends only once the installation has run.
    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Mount Driver DMG"));
    ASSERT_TRUE (walk.clickToPage (Walk::nextButton, "Ready To Install"));
    ASSERT_TRUE (walk.click (Walk::nextButton, [] { return authorisationRequests (1); }));
    EXPECT_EQ (walk.currentPage(), "Run Installation");
    walk.shot ("Run Installation");
    testsupport::AppProcess::requestClose (walk.getWindow());

    EXPECT_TRUE (walk.quits());
    EXPECT_TRUE (walk.getApp().findWindows ("Cancel").isEmpty());
    EXPECT_EQ (host::readStateLines ("privileged-runs").size(), 1);
    EXPECT_TRUE (Walk::installedTreeIsThePayloads());
}
