#pragma once

#include "wizard/WizardPage.h"

class DownloadPage : public WizardPage
{
public:
    DownloadPage();
    ~DownloadPage() override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DownloadPage)
};
