#pragma once

#include "jobs/DownloadJob.h"
#include "wizard/WizardPage.h"

#include <memory>

/** Offers to download and mount the vendor's disk image; after a download
    the wizard skips ahead to the page before the installation.
*/
class DownloadPage : public WizardPage
{
public:
    /** Each download uses this address, these folders and this time-out; the
        defaults are the real ones, the others are for tests.
    */
    explicit DownloadPage (const juce::String& downloadAddress = DownloadJob::downloadAddress,
                           const juce::File& volumesFolder = getVolumesFolder(),
                           const juce::File& temporaryFolder = juce::File::getSpecialLocation (juce::File::tempDirectory),
                           int stallTimeoutMs = DownloadJob::stallTimeoutMs);

    /** Waits for a running download to end. */
    ~DownloadPage() override;

    bool isBusy() override;

    juce::TextButton downloadButton { "Download" };

protected:
    /** Starts the job's thread; false when the system can't start one. */
    virtual bool startJob (DownloadJob& newJob);

private:
    void startDownload();
    void downloadFinished (const juce::String& result);

    std::unique_ptr<DownloadJob> job;
    const juce::String address;
    const juce::File volumes, temporary;
    const int stallTimeout;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DownloadPage)
};
