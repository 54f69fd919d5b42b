#pragma once

#include "wizard/WizardPage.h"

class RunInstallPage : public WizardPage
{
public:
    RunInstallPage();
    ~RunInstallPage() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RunInstallPage)
};
