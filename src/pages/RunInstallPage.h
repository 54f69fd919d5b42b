#pragma once

#include "jobs/InstallJob.h"
#include "wizard/WizardPage.h"

#include <memory>

/** Installs the driver each time it appears, with the wizard's buttons
    disabled until the install job has reported. "Next >" stays disabled
    until the installation started on this appearance has succeeded.
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
    bool canGoNext() override;
    void didAppear() override;

protected:
    /** Called on the message thread with the install job's result. Virtual so
        that tests can hand the page results that no job gives.
    */
    virtual void jobFinished (const juce::String& result);

private:
    void updateWizardButtons();

    const juce::File volumes, temporary;
    std::unique_ptr<InstallJob> job;
    bool installed = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RunInstallPage)
};
