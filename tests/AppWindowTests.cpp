#include <gtest/gtest.h>

#include "support/AppProcess.h"

using testsupport::AppProcess;

TEST (AppWindow, OpensOneCentredWindowAndQuitsOnClose)
{
    AppProcess app;
    const auto window = app.waitForWindow();
    ASSERT_TRUE (window.isNotEmpty()) << app.getOutput();

    EXPECT_EQ (app.findWindows().size(), 1);

    const auto geometry = AppProcess::getGeometry (window);
    EXPECT_EQ (geometry.getWidth(), 600);
    EXPECT_EQ (geometry.getHeight(), 400);

    const auto screen = AppProcess::getGeometry ("root");
    EXPECT_NEAR (geometry.getCentreX(), screen.getCentreX(), 2);
    EXPECT_NEAR (geometry.getCentreY(), screen.getCentreY(), 40); // the title bar shifts it down

    ASSERT_TRUE (app.closeAndWaitForExit (window));
    EXPECT_EQ (app.getExitCode(), 0);
}

TEST (AppWindow, TwoCopiesRunSideBySideWhateverTheirArguments)
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
