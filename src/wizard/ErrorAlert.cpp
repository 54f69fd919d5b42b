#include "wizard/ErrorAlert.h"

void showErrorAlert (const juce::String& message)
{
    // A callback, even one that does nothing: from JUCE 7.0.6 on, an alert
    // without one runs a modal loop of its own inside this call whenever
    // modal loops are permitted.
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::QuestionIcon,
                                            "Error",
                                            message,
                                            "OK",
                                            nullptr,
                                            juce::ModalCallbackFunction::create ([] (int) {}));
}
