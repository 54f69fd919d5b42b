#include "pages/PreCheckPage.h"

PreCheckPage::PreCheckPage (const juce::File& volumesFolderToSearch)
    : volumesFolder (volumesFolderToSearch)
{
    titleText = "Ready To Install";
    bodyText = "This utility will copy the Avid 003/002 driver files to your system. You will need to allow it using your account password. Click the Next button to run the installation.";
}

PreCheckPage::~PreCheckPage() = default;

void PreCheckPage::didAppear()
{
    WizardPage::didAppear();

    // The page doesn't act on the answer: a missing volume is reported when
    // the installation runs.
    juce::ignoreUnused (isDriverVolumeMounted (volumesFolder));
}
