#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** One page of the wizard: a title and a body text in two labels, and the
    hooks through which the wizard asks the visible page about its buttons.
*/
class WizardPage : public juce::Component
{
public:
    WizardPage();
    ~WizardPage() override;

    void resized() override;

    virtual bool canGoBack();
    virtual bool canGoNext();
    virtual bool willGoBack();
    virtual bool willGoNext();
    virtual bool canCancel();
    virtual bool canRestart();
    virtual bool isBusy();
    virtual void didAppear();

    juce::String bodyText;
    juce::String titleText;
    juce::Label bodyLabel;
    juce::Label titleLabel;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WizardPage)
};
