#pragma once

#include "jobs/InstallJob.h"
#include "wizard/WizardPage.h"

#include <memory>

/** Installs the driver each time it appears, with the wizard's buttons
    disabled until the install job has reported.
*/
class RunInstallPage : public WizardPage
{
public:
    /** The folders are handed to each install job; tests pass their own. */
    explicit RunInstallPage (const juce::File& volumesFolder = getVolumesFolder(),
                             const juce::File& temporaryFolder = juce::File::getSpecialLocation (juce::File::tempDirectory));

    /** Waits for a running installation to end. */
    ~RunInstallPage() override;

    bool isBusy() override;
    void didAppear() override;

private:
    void jobFinished (const juce::String& result);
    void updateWizardButtons();

    const juce::File volumes, temporary;
    std::unique_ptr<InstallJob> job;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RunInstallPage)
};
