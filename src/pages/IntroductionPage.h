#pragma once

#include "wizard/WizardPage.h"

class IntroductionPage : public WizardPage
{
public:
    IntroductionPage();
    ~IntroductionPage() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IntroductionPage)
};
