#include "wizard/WizardPage.h"

WizardPage::WizardPage()
{
    addAndMakeVisible (titleLabel);
    addAndMakeVisible (bodyLabel);

    titleLabel.setJustificationType (juce::Justification::topLeft);
    bodyLabel.setJustificationType (juce::Justification::topLeft);
}

WizardPage::~WizardPage() = default;

void WizardPage::resized()
{
    auto area = getLocalBounds().reduced (8);

    titleLabel.setBounds (area.removeFromTop (24));
    area.removeFromTop (8);
    bodyLabel.setBounds (area.removeFromTop (80));
}

bool WizardPage::canGoBack() { return true; }
bool WizardPage::canGoNext() { return true; }
bool WizardPage::willGoBack() { return true; }
bool WizardPage::willGoNext() { return true; }
bool WizardPage::canCancel() { return true; }
bool WizardPage::canRestart() { return true; }
bool WizardPage::isBusy() { return false; }

void WizardPage::didAppear()
{
    titleLabel.setText (titleText, juce::dontSendNotification);
    bodyLabel.setText (bodyText, juce::dontSendNotification);
}
