#pragma once

#include "wizard/WizardPage.h"

namespace testsupport
{
    /** A page that answers its hooks as told and records every question. */
    class ProbePage : public WizardPage
    {
    public:
        explicit ProbePage (const juce::String& title = {})
        {
            titleText = title;
            bodyText = title + " body";
        }

        bool canGoBack() override
        {
            calls.add ("canGoBack");
            return backAllowed;
        }
        bool canGoNext() override
        {
            calls.add ("canGoNext");
            return nextAllowed;
        }
        bool willGoBack() override
        {
            calls.add ("willGoBack");
            return leaveBackAllowed;
        }
        bool willGoNext() override
        {
            calls.add ("willGoNext");
            return leaveNextAllowed;
        }
        bool canCancel() override
        {
            calls.add ("canCancel");
            return cancelAllowed;
        }
        bool canRestart() override
        {
            calls.add ("canRestart");
            return restartAllowed;
        }
        bool isBusy() override
        {
            calls.add ("isBusy");
            return busy;
        }

        void didAppear() override
        {
            calls.add ("didAppear");
            WizardPage::didAppear();
        }

        int count (const juce::String& call) const
        {
            int n = 0;

            for (auto& c : calls)
                if (c == call)
                    ++n;

            return n;
        }

        bool backAllowed = true, nextAllowed = true, leaveBackAllowed = true, leaveNextAllowed = true;
        bool cancelAllowed = true, restartAllowed = true, busy = false;
        juce::StringArray calls;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProbePage)
    };
}
