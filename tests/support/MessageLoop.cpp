#include "support/MessageLoop.h"

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

    void pump (int milliseconds)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
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
        for (auto* alert : findAlerts())
            alert->triggerButtonClick (buttonText);

        pumpUntil ([] { return findAlerts().isEmpty(); }, 5000);
    }

    juce::String getAlertMessage (const juce::AlertWindow& alert)
    {
        // The window describes itself to accessibility clients as "title. message".
        return alert.getDescription().fromFirstOccurrenceOf (alert.getName() + ". ", false, false);
    }
}
