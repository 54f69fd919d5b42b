#pragma once

#include "wizard/WizardPage.h"

class RestartPage : public WizardPage
{
public:
    RestartPage();
    ~RestartPage() override;

    /** The driver is installed: there is no way back from here. */
    bool canGoBack() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RestartPage)
};
