#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace testsupport
{
    /** Runs the message loop until the condition holds or the time is up;
        returns the condition's last answer.
    */
    bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 10000);

    /** Runs the message loop until everything queued before this call has
        been delivered. An alert shown a moment ago has then appeared, on every
        JUCE release, if it ever will: some put it up only once the loop runs.
    */
    bool deliverQueuedMessages (int timeoutMs = 10000);

    /** Every alert window on screen once there are at least this many, or
        those there are when the time is up.
    */
    juce::Array<juce::AlertWindow*> waitForAlerts (int count, int timeoutMs = 10000);

    /** The alert window with this title that is on screen, if any. */
    juce::AlertWindow* findAlert (const juce::String& title);

    /** Every alert window on screen. */
    juce::Array<juce::AlertWindow*> findAlerts();

    /** Closes every alert window on screen as its button with this text would. */
    void closeAlerts (const juce::String& buttonText);

    /** The message the alert shows. */
    juce::String getAlertMessage (const juce::AlertWindow& alert);

    /** Answers the first alert with this title that shows, as a user would,
        from the message loop, and notes what the check said at that moment:
        whether the code after the call that showed the alert had run by then.
        Should that call wait for the answer, the check sees it still waiting.
    */
    class AlertAnswerer : private juce::Timer
    {
    public:
        AlertAnswerer (const juce::String& title, const juce::String& buttonText, std::function<bool()> checkWhenAnswering);
        ~AlertAnswerer() override;

        /** Waits until the alert has been answered; false when it never showed. */
        bool waitUntilAnswered (int timeoutMs = 10000);

        /** The check's answer when the alert was answered. */
        bool checkHeld() const { return held; }

        /** The alert's message. */
        const juce::String& getMessage() const { return message; }

    private:
        void timerCallback() override;

        const juce::String alertTitle, button;
        const std::function<bool()> check;
        bool answered = false, held = false;
        juce::String message;
    };
}
