#include "pages/RunInstallPage.h"

#include "wizard/ErrorAlert.h"
#include "wizard/Wizard.h"

RunInstallPage::RunInstallPage (const juce::File& volumesFolder, const juce::File& temporaryFolder)
    : volumes (volumesFolder)
    , temporary (temporaryFolder)
{
    titleText = "Run Installation";
}

RunInstallPage::~RunInstallPage()
{
    job.reset();
}

bool RunInstallPage::isBusy()
{
    return job != nullptr;
}

bool RunInstallPage::canGoNext()
{
    return installed;
}

void RunInstallPage::didAppear()
{
    WizardPage::didAppear();
    installed = false;

    auto newJob = std::make_unique<InstallJob> ([this] (const juce::String& result) { jobFinished (result); },
                                                volumes,
                                                temporary);
    const auto started = newJob->startThread();
    job = std::move (newJob);

    // A job that never ran never reports: without this the page would stay
    // busy, every button disabled, for good.
    if (! started)
    {
        job.reset();
        showErrorAlert ("Could not start the installation.");
    }

    updateWizardButtons();
}

void RunInstallPage::jobFinished (const juce::String& result)
{
    job.reset();

    // Set before the buttons are recomputed: the posted click is dropped
    // unless "Next >" is enabled by the time it arrives.
    installed = result == "success";

    if (installed)
    {
        if (auto* wizard = findParentComponentOfClass<Wizard>())
            wizard->nextButton.triggerClick();
    }
    else
    {
        showErrorAlert (result);
    }

    updateWizardButtons();
}

void RunInstallPage::updateWizardButtons()
{
    if (auto* wizard = findParentComponentOfClass<Wizard>())
        wizard->updateButtons();
}
