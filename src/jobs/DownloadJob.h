#pragma once

#include <juce_core/juce_core.h>

#include "jobs/DriverVolumeSearch.h"

#include <functional>

/** Downloads the vendor's driver disk image, saves it in the temporary folder,
    opens it so that the system mounts it, and waits for its volume to appear
    for as long as a Mac may take to verify and mount the image.

    Posts exactly one result to the message thread: an empty text once the
    volume is there, else a message for the user.
*/
class DownloadJob : public juce::Thread
{
public:
    using Callback = std::function<void (const juce::String&)>;

    static constexpr const char* downloadAddress = "https://cdn.avid.com/AudioDrivers/Mac/Digi_002_003_Drivers/B9252F6B/003_Family_11.1.5.dmg";

    /** A server that sends nothing for this long fails the download. */
    static constexpr int stallTimeoutMs = 30000;

    /** How long after opening the image its volume may take to turn up. The
        system first verifies the whole image, and an image with a licence
        waits for the user to agree to it.
    */
    static constexpr int mountWaitLimitMs = 60000;

    /** The address, folders and times are for tests; the defaults are the real ones. */
    explicit DownloadJob (Callback completionCallback,
                          const juce::String& address = downloadAddress,
                          const juce::File& volumesFolder = getVolumesFolder(),
                          const juce::File& temporaryFolder = juce::File::getSpecialLocation (juce::File::tempDirectory),
                          int timeoutMs = stallTimeoutMs,
                          int mountWaitMs = mountWaitLimitMs);

    /** Waits for a running download to end: it can't be stopped halfway. The
        wait for the volume ends early, with one last search.
    */
    ~DownloadJob() override;

    void run() override;

private:
    enum class Outcome
    {
        saved,
        downloadFailed,
        saveFailed
    };

    Outcome download (const juce::File& image) const;
    void ok();
    void fail (const juce::String& message);

    const Callback callback;
    const juce::String imageAddress;
    const juce::File volumes, temporary;
    const int stallTimeout, mountWait;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DownloadJob)
};
