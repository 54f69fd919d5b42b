#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Shows the "Error" alert with this message and one "OK" button, and returns
    at once: the caller goes on while the alert waits for the user.
*/
void showErrorAlert (const juce::String& message);
