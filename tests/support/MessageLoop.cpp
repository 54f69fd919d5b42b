#include "support/MessageLoop.h"

#include <atomic>
#include <memory>

namespace testsupport
{
    bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > end)
                return condition();

            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
        }

        return true;
    }

    bool deliverQueuedMessages (int timeoutMs)
    {
        // Messages are delivered in the order posted, so this one comes last.
        auto delivered = std::make_shared<std::atomic<bool>> (false);
        juce::MessageManager::callAsync ([delivered] { *delivered = true; });
        return pumpUntil ([delivered] { return delivered->load(); }, timeoutMs);
    }

    juce::Array<juce::AlertWindow*> waitForAlerts (int count, int timeoutMs)
    {
        deliverQueuedMessages (timeoutMs);
        pumpUntil ([count] { return findAlerts().size() >= count; }, timeoutMs);
        return findAlerts();
    }

    juce::Array<juce::AlertWindow*> findAlerts()
    {
        juce::Array<juce::AlertWindow*> alerts;
        auto& desktop = juce::Desktop::getInstance();

        for (int i = 0; i < desktop.getNumComponents(); ++i)
            if (auto* alert = dynamic_cast<juce::AlertWindow*> (desktop.getComponent (i)))
                alerts.add (alert);

        return alerts;
    }

    juce::AlertWindow* findAlert (const juce::String& title)
    {
        for (auto* alert : findAlerts())
            if (alert->getName() == title)
                return alert;

        return nullptr;
    }

    void closeAlerts (const juce::String& buttonText)
    {
        // An alert that is still on its way would otherwise outlive the test.
        deliverQueuedMessages();

        for (auto* alert : findAlerts())
            alert->triggerButtonClick (buttonText);

        pumpUntil ([] { return findAlerts().isEmpty(); }, 5000);
    }

    juce::String getAlertMessage (const juce::AlertWindow& alert)
    {
        // The window describes itself to accessibility clients as "title. message".
        return alert.getDescription().fromFirstOccurrenceOf (alert.getName() + ". ", false, false);
    }

    AlertAnswerer::AlertAnswerer (const juce::String& title, const juce::String& buttonText, std::function<bool()> checkWhenAnswering)
        : alertTitle (title)
        , button (buttonText)
        , check (std::move (checkWhenAnswering))
    {
        startTimer (5);
    }

    AlertAnswerer::~AlertAnswerer()
    {
        stopTimer();
    }

    bool AlertAnswerer::waitUntilAnswered (int timeoutMs)
    {
        return pumpUntil ([this] { return answered; }, timeoutMs);
    }

    void AlertAnswerer::timerCallback()
    {
        auto* alert = findAlert (alertTitle);

        if (alert == nullptr)
            return;

        stopTimer();
        held = check();
        message = getAlertMessage (*alert);
        alert->triggerButtonClick (button);
        answered = true;
    }
}
