#include <gtest/gtest.h>

#include "app/MainComponent.h"
#include "app/VantryDriverHelperApplication.h"
#include "support/AppProcess.h"
#include "support/SimulatedHost.h"

using testsupport::AppProcess;

TEST (OnOwnDisplayAppWindow, OpensOneWindowAndQuitsOnClose)
{
    AppProcess app;
    const auto window = app.waitForWindow();
    ASSERT_TRUE (window.isNotEmpty()) << app.getOutput();

    EXPECT_EQ (app.findWindows().size(), 1);

    const auto geometry = AppProcess::getGeometry (window);
    EXPECT_EQ (geometry.getWidth(), 600);
    EXPECT_EQ (geometry.getHeight(), 400);

    ASSERT_TRUE (app.closeAndWaitForExit (window));
    EXPECT_EQ (app.getExitCode(), 0);
}

TEST (OnOwnDisplayAppWindow, TwoCopiesRunSideBySideWhateverTheirArguments)
{
    AppProcess first;
    AppProcess second ({ "--unknown-option", "some file.dmg", "-psn_0_12345" });

    const auto firstWindow = first.waitForWindow();
    const auto secondWindow = second.waitForWindow();
    ASSERT_TRUE (firstWindow.isNotEmpty()) << first.getOutput();
    ASSERT_TRUE (secondWindow.isNotEmpty()) << second.getOutput();
    EXPECT_NE (firstWindow, secondWindow);

    EXPECT_EQ (AppProcess::getGeometry (secondWindow).getWidth(), 600);
    EXPECT_EQ (AppProcess::getGeometry (secondWindow).getHeight(), 400);

    ASSERT_TRUE (second.closeAndWaitForExit (secondWindow));
    EXPECT_EQ (second.getExitCode(), 0);
    EXPECT_TRUE (first.isRunning());

    ASSERT_TRUE (first.closeAndWaitForExit (firstWindow));
    EXPECT_EQ (first.getExitCode(), 0);
}

// Other tests' windows on a shared display would change where the window
// manager puts this one.
TEST (AppWindow, OnADisplayOfItsOwn)
{
    testsupport::runOnOwnDisplay ("OnOwnDisplayAppWindow.*");
}

// Where the window lands on Linux is up to the window manager in the end, so
// what the window asks for is checked here, in process.
TEST (MainWindow, AsksForACentredResizableWindowAroundTheWizard)
{
    VantryDriverHelperApplication::MainWindow window ("Vantry Driver Helper");

    EXPECT_TRUE (window.isVisible());
    EXPECT_EQ (window.getName(), "Vantry Driver Helper");
    EXPECT_TRUE (window.isUsingNativeTitleBar());
    EXPECT_TRUE (window.isResizable());
    EXPECT_EQ (window.getBackgroundColour(),
               juce::Desktop::getInstance().getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId));

    const auto styleFlags = window.getDesktopWindowStyleFlags();
    EXPECT_NE (styleFlags & juce::ComponentPeer::windowHasCloseButton, 0);
    EXPECT_NE (styleFlags & juce::ComponentPeer::windowHasMinimiseButton, 0);
    EXPECT_NE (styleFlags & juce::ComponentPeer::windowHasMaximiseButton, 0);

    auto* content = dynamic_cast<MainComponent*> (window.getContentComponent());
    ASSERT_NE (content, nullptr);
    EXPECT_EQ (content->getWidth(), 600);
    EXPECT_EQ (content->getHeight(), 400);

    const auto userArea = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    EXPECT_NEAR (window.getBounds().getCentreX(), userArea.getCentreX(), 1);
    EXPECT_NEAR (window.getBounds().getCentreY(), userArea.getCentreY(), 1);
}
