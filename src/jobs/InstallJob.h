#pragma once

#include <juce_events/juce_events.h>

#include "jobs/DriverVolumeSearch.h"

#include <functional>

/** Installs the driver from the mounted vendor disk image: copies the
    installer package, expands it, unpacks its payload and runs the install
    script as root once the user has authorised it.

    Posts exactly one result to the message thread: "success" or a message
    for the user.
*/
class InstallJob : public juce::Thread
{
public:
    using Callback = std::function<void (const juce::String&)>;

    /** The folders are for tests; the defaults are the real ones. */
    explicit InstallJob (Callback completionCallback,
                         const juce::File& volumesFolder = getVolumesFolder(),
                         const juce::File& temporaryFolder = juce::File::getSpecialLocation (juce::File::tempDirectory));

    /** Waits for a running installation to end: it can't be stopped halfway. */
    ~InstallJob() override;

    void run() override;

private:
    bool runScriptAsRoot (const juce::String& script);
    void ok (const juce::String& text);
    void fail (const juce::String& message);

    const Callback callback;
    const juce::File volumes, temporary;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallJob)
};
