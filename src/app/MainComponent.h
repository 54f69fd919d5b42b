#pragma once

#include "wizard/Wizard.h"

/** The window's content: the wizard with the six pages of the installation. */
class MainComponent : public Wizard
{
public:
    MainComponent();
    ~MainComponent() override;

    void paint (juce::Graphics& g) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
