#pragma once

#include "wizard/WizardPage.h"

/** A page-by-page dialog: shows one of its pages at a time above the
    "< Back", "Next >", "Cancel" and "Restart" buttons.
*/
class Wizard : public juce::Component
{
public:
    Wizard();
    ~Wizard() override;

    void resized() override;

    virtual void cancel();
    virtual void restart();

    /** Takes ownership of the page and shows the first page again. */
    void addPage (WizardPage* page);

    /** Recomputes the buttons from the visible page's hooks. */
    void updateButtons();

private:
    int currentPageIndex() const;
    void showPage (int index);
    void goNext();
    void goBack();

    // Declared in this order so that the buttons go before the pages at
    // destruction, and the pages go last to first.
    juce::OwnedArray<WizardPage> pages;
    juce::TextButton backButton { "< Back" };

public:
    /** Public so that a page can move the wizard on with triggerClick(). */
    juce::TextButton nextButton { "Next >" };

private:
    juce::TextButton cancelButton { "Cancel" };
    juce::TextButton restartButton { "Restart" };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Wizard)
};
