#include "pages/DownloadPage.h"

namespace
{
    // The vendor's support site, where the installer can be fetched by hand.
    const char* const supportSiteHost = "avid.secure.force.com";
}

DownloadPage::DownloadPage()
{
    titleText = "Download Driver Installer";
    bodyText = juce::String ("You must first download the driver installer from Avid's website. You can do it manually by navigating to https://")
             + supportSiteHost
             + "/pkb/articles/download/Digi-002-003-Drivers in a browser and downloading version 11.1.5. Or this utility can download it for you if you click the Download button.";
}

DownloadPage::~DownloadPage() = default;
