#include "wizard/Wizard.h"

#include "platform/Platform.h"

Wizard::Wizard()
{
    addAndMakeVisible (backButton);
    addAndMakeVisible (nextButton);
    addAndMakeVisible (cancelButton);
    addAndMakeVisible (restartButton);

    backButton.onClick = [this] { goBack(); };
    nextButton.onClick = [this] { goNext(); };
    cancelButton.onClick = [this] { cancel(); };
    restartButton.onClick = [this] { restart(); };
}

Wizard::~Wizard() = default;

void Wizard::addPage (WizardPage* page)
{
    jassert (page != nullptr);

    if (page == nullptr)
        return;

    addChildComponent (page, -1);
    pages.add (page);
    showPage (0);
}

int Wizard::currentPageIndex() const
{
    for (int i = 0; i < pages.size(); ++i)
        if (pages.getUnchecked (i)->isVisible())
            return i;

    return -1;
}

void Wizard::showPage (int index)
{
    for (int i = 0; i < pages.size(); ++i)
        pages.getUnchecked (i)->setVisible (i == index);

    updateButtons();

    if (auto* page = pages[index])
        page->didAppear();
}

void Wizard::goNext()
{
    auto* page = pages[currentPageIndex()];

    if (page == nullptr || ! page->willGoNext())
        return;

    const auto target = currentPageIndex() + 1;

    if (juce::isPositiveAndBelow (target, pages.size()))
        showPage (target);
}

void Wizard::goBack()
{
    auto* page = pages[currentPageIndex()];

    if (page == nullptr || ! page->willGoBack())
        return;

    const auto target = currentPageIndex() - 1;

    if (juce::isPositiveAndBelow (target, pages.size()))
        showPage (target);
}

void Wizard::updateButtons()
{
    const auto index = currentPageIndex();
    auto* page = pages[index];

    if (page == nullptr)
        return;

    const auto last = pages.size() - 1;

    backButton.setEnabled (! page->isBusy() && page->canGoBack() && index > 0);
    nextButton.setEnabled (! page->isBusy() && page->canGoNext() && index < last);
    cancelButton.setEnabled (! page->isBusy() && page->canCancel() && index != last);
    restartButton.setEnabled (! page->isBusy() && page->canRestart() && index == last);

    cancelButton.setVisible (index < last);
    restartButton.setVisible (index == last);
}

void Wizard::resized()
{
    auto area = getLocalBounds().reduced (8);
    auto row = area.removeFromBottom (24);

    cancelButton.setBounds (row.removeFromRight (100));
    restartButton.setBounds (cancelButton.getBounds());
    row.removeFromRight (24);
    nextButton.setBounds (row.removeFromRight (100));
    row.removeFromRight (8);
    backButton.setBounds (row.removeFromRight (100));

    area.removeFromBottom (8);

    for (auto* page : pages)
        page->setBounds (area);
}

void Wizard::cancel()
{
    auto quitOnYes = [] (int result) {
        if (result == 1)
            juce::JUCEApplicationBase::quit();
    };

    juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::QuestionIcon,
                                        "Cancel",
                                        "Are you sure you want to exit the install process?",
                                        "Yes",
                                        "No",
                                        this,
                                        juce::ModalCallbackFunction::create (quitOnYes));
}

void Wizard::restart()
{
    juce::JUCEApplicationBase::quit();
    platform::requestRestart();
}
