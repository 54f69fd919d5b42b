#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace testsupport
{
    /** Runs the message loop until the condition holds or the time is up;
        returns the condition's last answer.
    */
    bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 10000);

    /** Runs the message loop for a while, delivering whatever is queued. */
    void pump (int milliseconds = 50);

    /** The alert window with this title that is on screen, if any. */
    juce::AlertWindow* findAlert (const juce::String& title);

    /** Every alert window on screen. */
    juce::Array<juce::AlertWindow*> findAlerts();

    /** Closes every alert window on screen as its button with this text would. */
    void closeAlerts (const juce::String& buttonText);

    /** The message the alert shows. */
    juce::String getAlertMessage (const juce::AlertWindow& alert);
}
