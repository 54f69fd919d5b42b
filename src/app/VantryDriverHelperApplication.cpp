#include "app/VantryDriverHelperApplication.h"

#include "app/MainComponent.h"

VantryDriverHelperApplication::VantryDriverHelperApplication() = default;

VantryDriverHelperApplication::~VantryDriverHelperApplication() = default;

const juce::String VantryDriverHelperApplication::getApplicationName()
{
    return "Vantry Driver Helper";
}

const juce::String VantryDriverHelperApplication::getApplicationVersion()
{
    return "1.0.0";
}

bool VantryDriverHelperApplication::moreThanOneInstanceAllowed()
{
    return true;
}

void VantryDriverHelperApplication::initialise (const juce::String&)
{
    mainWindow = std::make_unique<MainWindow> (getApplicationName());
}

void VantryDriverHelperApplication::shutdown()
{
    // Emptied before the window goes, so nothing reaches a half-deleted window.
    auto window = std::move (mainWindow);
    window.reset();
}

void VantryDriverHelperApplication::anotherInstanceStarted (const juce::String&)
{
}

void VantryDriverHelperApplication::systemRequestedQuit()
{
    quit();
}

//==============================================================================
VantryDriverHelperApplication::MainWindow::MainWindow (const juce::String& name)
    : DocumentWindow (name,
                      juce::Desktop::getInstance().getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
                      DocumentWindow::allButtons)
{
    setUsingNativeTitleBar (true);
    setContentOwned (new MainComponent(), true);
    setResizable (true, true);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
}

VantryDriverHelperApplication::MainWindow::~MainWindow() = default;

void VantryDriverHelperApplication::MainWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
