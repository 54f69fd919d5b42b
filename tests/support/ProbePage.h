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

        bool canGoBack() override { return answer ("canGoBack", backAllowed); }
        bool canGoNext() override { return answer ("canGoNext", nextAllowed); }
        bool willGoBack() override { return answer ("willGoBack", leaveBackAllowed); }
        bool willGoNext() override { return answer ("willGoNext", leaveNextAllowed); }
        bool canCancel() override { return answer ("canCancel", cancelAllowed); }
        bool canRestart() override { return answer ("canRestart", restartAllowed); }
        bool isBusy() override { return answer ("isBusy", busy); }

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
        bool answer (const char* hook, bool value)
        {
            calls.add (hook);
            return value;
        }

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProbePage)
    };
}
