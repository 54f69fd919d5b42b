// The start-up, idle and memory baseline: a JUCE application with one empty
// 600 by 400 document window and a native title bar, and nothing else.

#include <juce_gui_basics/juce_gui_basics.h>

class BareWindowApplication : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "Bare Window"; }
    const juce::String getApplicationVersion() override { return "1.0.0"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise (const juce::String&) override
    {
        window = std::make_unique<Window> (getApplicationName());
    }

    void shutdown() override
    {
        window.reset();
    }

private:
    class Window : public juce::DocumentWindow
    {
    public:
        explicit Window (const juce::String& name)
            : DocumentWindow (name,
                              juce::Desktop::getInstance().getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
                              DocumentWindow::allButtons)
        {
            setUsingNativeTitleBar (true);
            centreWithSize (600, 400);
            setVisible (true);
        }

        void closeButtonPressed() override
        {
            juce::JUCEApplication::getInstance()->systemRequestedQuit();
        }

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Window)
    };

    std::unique_ptr<Window> window;
};

START_JUCE_APPLICATION (BareWindowApplication)
