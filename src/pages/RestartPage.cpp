#include "pages/RestartPage.h"

RestartPage::RestartPage()
{
    titleText = "Installation Finished";
    bodyText = "The driver has been installed successfully. Please restart your system. After restarting your system, connect the 003 / 002, and launch the Audio MIDI Setup application. The 003 / 002 will be listed as an audio device.";
}

RestartPage::~RestartPage() = default;

bool RestartPage::canGoBack()
{
    return false;
}
