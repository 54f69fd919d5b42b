#pragma once

#include "wizard/WizardPage.h"

class PreCheckPage : public WizardPage
{
public:
    PreCheckPage();
    ~PreCheckPage() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PreCheckPage)
};
