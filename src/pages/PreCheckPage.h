#pragma once

#include "jobs/DriverVolumeSearch.h"
#include "wizard/WizardPage.h"

class PreCheckPage : public WizardPage
{
public:
    explicit PreCheckPage (const juce::File& volumesFolderToSearch = getVolumesFolder());
    ~PreCheckPage() override;

    void didAppear() override;

private:
    juce::File volumesFolder;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PreCheckPage)
};
