#include <gtest/gtest.h>

#include "app/MainComponent.h"
#include "platform/Platform.h"
#include "support/MessageLoop.h"
#include "support/ProbePage.h"
#include "support/WizardButtons.h"

using testsupport::ProbePage;

namespace
{
    struct ProbeWizard
    {
        explicit ProbeWizard (int numPages)
        {
            for (int i = 0; i < numPages; ++i)
            {
                auto* page = new ProbePage ("Page " + juce::String (i));
                pages.add (page);
                wizard.addPage (page);
            }

            wizard.setSize (600, 400);
        }

        int visiblePage() const
        {
            int index = -1, visible = 0;

            for (int i = 0; i < pages.size(); ++i)
            {
                if (pages[i]->isVisible())
                {
                    index = i;
                    ++visible;
                }
            }

            return visible == 1 ? index : -1;
        }

        void clearCalls()
        {
            for (auto* page : pages)
                page->calls.clear();
        }

        juce::Button& button (const juce::String& text) { return *testsupport::findButton (wizard, text); }
        juce::String buttons() { return testsupport::describeButtons (wizard); }

        Wizard wizard;
        juce::Array<ProbePage*> pages;
    };

    /** A click is posted; once this returns, it has been handled. */
    void clickNext (ProbeWizard& w)
    {
        w.button ("Next >").triggerClick();
        ASSERT_TRUE (testsupport::deliverQueuedMessages());
    }
}

TEST (Wizard, StartsOnTheFirstPageWhichAppearedOncePerAddition)
{
    ProbeWizard w (6);

    EXPECT_EQ (w.visiblePage(), 0);
    EXPECT_EQ (w.pages[0]->count ("didAppear"), 6);

    for (int i = 1; i < 6; ++i)
        EXPECT_TRUE (w.pages[i]->calls.isEmpty()) << "page " << i;

    EXPECT_EQ (w.buttons(), "-v ev ev -h");
}

TEST (Wizard, ButtonsFollowThePagePlace)
{
    struct Case
    {
        int pages, target;
        const char* expected;
    };

    // "< Back", "Next >", "Cancel", "Restart"
    const Case cases[] = {
        { 6, 0, "-v ev ev -h" }, // first
        { 6, 2, "ev ev ev -h" }, // middle
        { 6, 5, "ev -v -h ev" }, // last
        { 1, 0, "-v -v -h ev" }, // the only page is first and last
    };

    for (const auto& c : cases)
    {
        ProbeWizard w (c.pages);

        for (int i = 0; i < c.target; ++i)
            clickNext (w);

        EXPECT_EQ (w.visiblePage(), c.target);
        EXPECT_EQ (w.buttons(), c.expected) << c.pages << " pages, on page " << c.target;
    }
}

TEST (Wizard, HooksDecideTheButtons)
{
    struct Case
    {
        int target;
        std::function<void (ProbePage&)> set;
        const char* expected;
    };

    const Case cases[] = {
        { 2, [] (ProbePage& p) { p.backAllowed = false; }, "-v ev ev -h" },
        { 2, [] (ProbePage& p) { p.nextAllowed = false; }, "ev -v ev -h" },
        { 2, [] (ProbePage& p) { p.cancelAllowed = false; }, "ev ev -v -h" },
        { 5, [] (ProbePage& p) { p.restartAllowed = false; }, "ev -v -h -v" },
        { 5, [] (ProbePage& p) { p.backAllowed = false; }, "-v -v -h ev" },
        { 2, [] (ProbePage& p) { p.busy = true; }, "-v -v -v -h" },
        { 5, [] (ProbePage& p) { p.busy = true; }, "-v -v -h -v" },
    };

    for (const auto& c : cases)
    {
        ProbeWizard w (6);

        for (int i = 0; i < c.target; ++i)
            clickNext (w);

        auto& page = *w.pages[c.target];
        c.set (page);
        page.calls.clear();
        w.wizard.updateButtons();

        EXPECT_EQ (w.buttons(), c.expected) << "on page " << c.target;

        const auto expectedCalls = page.busy ? juce::StringArray { "isBusy", "isBusy", "isBusy", "isBusy" }
                                             : juce::StringArray { "isBusy", "canGoBack", "isBusy", "canGoNext",
                                                                   "isBusy", "canCancel", "isBusy", "canRestart" };
        EXPECT_EQ (page.calls, expectedCalls);
    }
}

TEST (Wizard, RefusedNextChangesNothing)
{
    ProbeWizard w (6);
    clickNext (w);
    w.pages[1]->leaveNextAllowed = false;
    w.clearCalls();

    clickNext (w);

    EXPECT_EQ (w.visiblePage(), 1);
    EXPECT_EQ (w.pages[1]->calls, juce::StringArray { "willGoNext" });
    EXPECT_TRUE (w.pages[2]->calls.isEmpty());
}

TEST (Wizard, BackAndNextAnnounceTheNewPage)
{
    ProbeWizard w (6);
    clickNext (w);
    clickNext (w);
    w.clearCalls();

    w.button ("< Back").triggerClick();
    ASSERT_TRUE (testsupport::deliverQueuedMessages());

    EXPECT_EQ (w.visiblePage(), 1);
    EXPECT_EQ (w.pages[2]->calls, juce::StringArray { "willGoBack" });
    EXPECT_EQ (w.pages[1]->calls.joinIntoString (","), "isBusy,canGoBack,isBusy,canGoNext,isBusy,canCancel,isBusy,canRestart,didAppear");
}

TEST (Wizard, PostedClicksEachMoveOnOrAreDropped)
{
    {
        ProbeWizard w (6);
        clickNext (w);
        w.clearCalls();

        w.button ("Next >").triggerClick();
        w.button ("Next >").triggerClick();
        ASSERT_TRUE (testsupport::deliverQueuedMessages());

        EXPECT_EQ (w.visiblePage(), 3);
        EXPECT_EQ (w.pages[1]->count ("willGoNext"), 1);
        EXPECT_EQ (w.pages[2]->count ("willGoNext"), 1);
        EXPECT_EQ (w.pages[2]->count ("didAppear"), 1);
        EXPECT_EQ (w.pages[3]->count ("didAppear"), 1);
    }

    {
        // The first click lands on the last page, where "Next >" is disabled.
        ProbeWizard w (3);
        clickNext (w);

        w.button ("Next >").triggerClick();
        w.button ("Next >").triggerClick();
        ASSERT_TRUE (testsupport::deliverQueuedMessages());

        EXPECT_EQ (w.visiblePage(), 2);
        EXPECT_EQ (w.pages[2]->count ("willGoNext"), 0);
    }

    {
        // A click posted while the page is busy finds "Next >" disabled.
        ProbeWizard w (3);
        w.pages[0]->busy = true;
        w.wizard.updateButtons();
        w.clearCalls();

        w.button ("Next >").triggerClick();
        ASSERT_TRUE (testsupport::deliverQueuedMessages());

        EXPECT_EQ (w.visiblePage(), 0);
        EXPECT_EQ (w.pages[0]->count ("willGoNext"), 0);
    }
}

TEST (Wizard, AddingAPageShowsTheFirstPageAgain)
{
    ProbeWizard w (3);
    clickNext (w);
    clickNext (w);
    w.clearCalls();

    auto* extra = new ProbePage ("extra");
    w.wizard.addPage (extra);

    EXPECT_EQ (w.visiblePage(), 0);
    EXPECT_FALSE (extra->isVisible());
    EXPECT_EQ (w.pages[0]->count ("didAppear"), 1);
    EXPECT_EQ (w.buttons(), "-v ev ev -h");
}

TEST (Wizard, LaysOutButtonsAndPages)
{
    struct Case
    {
        int width, height;
        juce::Rectangle<int> cancel, next, back, page;
    };

    const Case cases[] = {
        { 600, 400, { 492, 368, 100, 24 }, { 368, 368, 100, 24 }, { 260, 368, 100, 24 }, { 8, 8, 584, 352 } },
        { 200, 100, { 92, 68, 100, 24 }, { 8, 68, 60, 24 }, { 8, 68, 0, 24 }, { 8, 8, 184, 52 } },
        { 100, 50, { 8, 18, 84, 24 }, { 8, 18, 0, 24 }, { 8, 18, 0, 24 }, { 8, 8, 84, 2 } },
        { 16, 16, { 8, 8, 0, 0 }, { 8, 8, 0, 0 }, { 8, 8, 0, 0 }, { 8, 8, 0, 0 } },
    };

    for (const auto& c : cases)
    {
        ProbeWizard w (2);
        w.wizard.setSize (c.width, c.height);
        const auto size = juce::String (c.width) + " by " + juce::String (c.height);

        EXPECT_EQ (w.button ("Cancel").getBounds(), c.cancel) << size;
        EXPECT_EQ (w.button ("Restart").getBounds(), c.cancel) << size;
        EXPECT_EQ (w.button ("Next >").getBounds(), c.next) << size;
        EXPECT_EQ (w.button ("< Back").getBounds(), c.back) << size;

        for (auto* page : w.pages)
            EXPECT_EQ (page->getBounds(), c.page) << size;
    }
}

TEST (Wizard, CancelAsksBeforeQuitting)
{
    ProbeWizard w (3);
    clickNext (w);

    w.button ("Cancel").triggerClick();
    ASSERT_TRUE (testsupport::pumpUntil ([] { return testsupport::findAlert ("Cancel") != nullptr; }));

    auto* box = testsupport::findAlert ("Cancel");
    EXPECT_EQ (testsupport::getAlertMessage (*box), "Are you sure you want to exit the install process?");
    EXPECT_EQ (box->getNumButtons(), 2);

    testsupport::closeAlerts ("No");
    ASSERT_TRUE (testsupport::deliverQueuedMessages());

    EXPECT_FALSE (juce::MessageManager::getInstance()->hasStopMessageBeenSent());
    EXPECT_EQ (w.visiblePage(), 1);
    EXPECT_EQ (w.buttons(), "ev ev ev -h");

    w.button ("Cancel").triggerClick();
    ASSERT_TRUE (testsupport::pumpUntil ([] { return testsupport::findAlert ("Cancel") != nullptr; }));
    testsupport::findAlert ("Cancel")->triggerButtonClick ("Yes");

    EXPECT_TRUE (testsupport::pumpUntil ([] { return juce::MessageManager::getInstance()->hasStopMessageBeenSent(); }));
}

TEST (Wizard, RestartQuitsAndAsksTheSystemOnce)
{
    const juce::TemporaryFile stateFolder;
    platform::simulation::setStateFolder (stateFolder.getFile());

    ProbeWizard w (2);
    clickNext (w);
    w.button ("Restart").triggerClick();
    ASSERT_TRUE (testsupport::deliverQueuedMessages());

    EXPECT_TRUE (juce::MessageManager::getInstance()->hasStopMessageBeenSent());

    juce::StringArray requests;
    stateFolder.getFile().getChildFile ("restart-requests").readLines (requests);
    requests.removeEmptyStrings();
    EXPECT_EQ (requests, juce::StringArray { "tell application \"System Events\" to restart" });

    stateFolder.getFile().deleteRecursively();
}

TEST (MainComponent, ShowsTheSixPagesInOrder)
{
    MainComponent main;

    EXPECT_EQ (main.getWidth(), 600);
    EXPECT_EQ (main.getHeight(), 400);

    juce::StringArray titles;
    juce::Array<WizardPage*> pages;

    for (auto* child : main.getChildren())
        if (auto* page = dynamic_cast<WizardPage*> (child))
            pages.add (page);

    // Pages lie in front of the buttons, each added page in front of the last.
    EXPECT_EQ (main.getIndexOfChildComponent (pages.getFirst()), 4);

    for (auto* page : pages)
        titles.add (page->titleText);

    EXPECT_EQ (titles, (juce::StringArray { "Introduction", "Download Driver Installer", "Mount Driver DMG",
                                            "Ready To Install", "Run Installation", "Installation Finished" }));

    for (int i = 0; i < pages.size(); ++i)
    {
        EXPECT_EQ (pages[i]->isVisible(), i == 0) << i;
        EXPECT_EQ (pages[i]->titleLabel.getText(), i == 0 ? pages[i]->titleText : juce::String()) << i;
        EXPECT_EQ (pages[i]->bodyLabel.getText(), i == 0 ? pages[i]->bodyText : juce::String()) << i;
    }

    EXPECT_TRUE (pages[4]->bodyText.isEmpty());
    EXPECT_EQ (testsupport::describeButtons (main), "-v ev ev -h");
}
