#include "pages/DownloadPage.h"

#include "wizard/ErrorAlert.h"
#include "wizard/Wizard.h"

namespace
{
    // The vendor's support site, where the installer can be fetched by hand.
    const char* const supportSiteHost = "avid.secure.force.com";
}

DownloadPage::DownloadPage (const juce::String& downloadAddress, const juce::File& volumesFolder, const juce::File& temporaryFolder, int stallTimeoutMs)
    : address (downloadAddress)
    , volumes (volumesFolder)
    , temporary (temporaryFolder)
    , stallTimeout (stallTimeoutMs)
{
    titleText = "Download Driver Installer";
    bodyText = juce::String ("You must first download the driver installer from Avid's website. You can do it manually by navigating to https://")
               + supportSiteHost
               + "/pkb/articles/download/Digi-002-003-Drivers in a browser and downloading version 11.1.5. Or this utility can download it for you if you click the Download button.";

    addAndMakeVisible (downloadButton);
    downloadButton.setBounds (8, 120, 100, 24);
    downloadButton.onClick = [this] { startDownload(); };
}

DownloadPage::~DownloadPage()
{
    job.reset();
}

bool DownloadPage::isBusy()
{
    return job != nullptr;
}

bool DownloadPage::startJob (DownloadJob& newJob)
{
    return newJob.startThread();
}

void DownloadPage::startDownload()
{
    // The result may arrive after the page is gone when the window is
    // deleted without quitting first.
    auto finished = [page = juce::Component::SafePointer<DownloadPage> (this)] (const juce::String& result) {
        if (page != nullptr)
            page->downloadFinished (result);
    };

    auto newJob = std::make_unique<DownloadJob> (std::move (finished), address, volumes, temporary, stallTimeout);

    if (! startJob (*newJob))
    {
        showErrorAlert ("Could not start the download.");
        return;
    }

    job = std::move (newJob);
    downloadButton.setEnabled (false);

    if (auto* wizard = findParentComponentOfClass<Wizard>())
        wizard->updateButtons();
}

void DownloadPage::downloadFinished (const juce::String& result)
{
    job.reset();

    auto* wizard = findParentComponentOfClass<Wizard>();

    if (result.isNotEmpty())
    {
        showErrorAlert (result);
    }
    else if (wizard != nullptr)
    {
        // Posted clicks, performed once updateButtons() below has enabled
        // "Next >" again: past "Mount Driver DMG" to "Ready To Install".
        wizard->nextButton.triggerClick();
        wizard->nextButton.triggerClick();
    }

    downloadButton.setEnabled (true);

    if (wizard != nullptr)
        wizard->updateButtons();
}
