#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace testsupport
{
    /** The wizard's button with this text ("< Back", "Next >", "Cancel", "Restart"). */
    inline juce::Button* findButton (juce::Component& wizard, const juce::String& text)
    {
        for (auto* child : wizard.getChildren())
            if (auto* button = dynamic_cast<juce::Button*> (child))
                if (button->getButtonText() == text)
                    return button;

        return nullptr;
    }

    /** "e" enabled or "-" disabled, then "v" visible or "h" hidden. */
    inline juce::String describe (const juce::Button& button)
    {
        return juce::String (button.isEnabled() ? "e" : "-") + (button.isVisible() ? "v" : "h");
    }

    /** The states of "< Back", "Next >", "Cancel" and "Restart", as describe() writes them. */
    inline juce::String describeButtons (juce::Component& wizard)
    {
        juce::StringArray states;

        for (auto* text : { "< Back", "Next >", "Cancel", "Restart" })
            if (auto* button = findButton (wizard, text))
                states.add (describe (*button));
            else
                states.add ("missing");

        return states.joinIntoString (" ");
    }
}
