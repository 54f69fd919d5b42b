#pragma once

#include "wizard/WizardPage.h"

class MountPagePage : public WizardPage
{
public:
    MountPagePage();
    ~MountPagePage() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MountPagePage)
};
