#include "jobs/DownloadJob.h"

#include <juce_events/juce_events.h>

namespace
{
    const char* const imageFileName = "003_Family_11.1.5.dmg";

    // JUCE's streams drop each read's bytes from the front of their buffers,
    // which costs little only when a read takes most of what has arrived.
    // Larger blocks than this were no faster.
    constexpr int readBlockSize = 4 << 20;

    constexpr int pauseBetweenSearchesMs = 100;
}

DownloadJob::DownloadJob (Callback completionCallback,
                          const juce::String& address,
                          const juce::File& volumesFolder,
                          const juce::File& temporaryFolder,
                          int timeoutMs,
                          int mountWaitMs)
    : juce::Thread ("downloadJob")
    , callback (std::move (completionCallback))
    , imageAddress (address)
    , volumes (volumesFolder)
    , temporary (temporaryFolder)
    , stallTimeout (timeoutMs)
    , mountWait (mountWaitMs)
{
}

DownloadJob::~DownloadJob()
{
    stopThread (-1);
}

void DownloadJob::run()
{
    const auto image = temporary.getChildFile (imageFileName);

    switch (download (image))
    {
        case Outcome::downloadFailed:
            fail ("Unable to download driver.");
            return;

        case Outcome::saveFailed:
            fail ("Failed saving driver.");
            return;

        case Outcome::saved:
            break;
    }

    // Opening a disk image makes the system mount it in the background.
    image.startAsProcess();
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + mountWait;

    // Quitting needn't sit out the rest of the wait: whatever is posted then
    // is dropped.
    while (! threadShouldExit() && juce::Time::getMillisecondCounterHiRes() < deadline)
    {
        if (isDriverVolumeMounted (volumes))
            break;

        wait (pauseBetweenSearchesMs);
    }

    if (isDriverVolumeMounted (volumes))
        ok();
    else
        fail ("Unable to mount driver DMG.");
}

DownloadJob::Outcome DownloadJob::download (const juce::File& image) const
{
    // Without a time-out JUCE waits for ever on Linux and 60 s on macOS. With
    // one, libcurl gives up after that long below 100 bytes a second (averaged
    // over its last five seconds), and macOS after that long without data.
    int status = 0;
    const auto options = juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress)
                             .withConnectionTimeoutMs (stallTimeout)
                             .withStatusCode (&status);
    const auto stream = juce::URL (imageAddress).createInputStream (options);

    // An error page must not replace a good image saved earlier, nor be
    // handed to the system to mount.
    if (stream == nullptr || status < 200 || status >= 300)
        return Outcome::downloadFailed;

    const auto announcedLength = stream->getTotalLength();
    juce::HeapBlock<char> block (readBlockSize);
    auto got = stream->read (block.get(), readBlockSize);

    if (got <= 0)
        return Outcome::downloadFailed;

    if (image.getParentDirectory().createDirectory().failed())
        return Outcome::saveFailed;

    // Written beside the image and moved into place only once complete, so
    // that a failed download leaves an earlier image as it was. The file is
    // deleted on every way out of here.
    juce::TemporaryFile partial (image, juce::TemporaryFile::useHiddenFile);
    juce::int64 received = 0;

    {
        juce::FileOutputStream out (partial.getFile());

        if (! out.openedOk())
            return Outcome::saveFailed;

        for (; got > 0; got = stream->read (block.get(), readBlockSize))
        {
            if (! out.write (block.get(), (size_t) got))
                return Outcome::saveFailed;

            received += got;
        }

        out.flush();

        if (out.getStatus().failed())
            return Outcome::saveFailed;
    }

    // A stall ends the body early: libcurl reports it as an error, macOS
    // only by the body falling short of its announced length.
    const auto* webStream = dynamic_cast<juce::WebInputStream*> (stream.get());

    if ((webStream != nullptr && webStream->isError())
        || (announcedLength >= 0 && received != announcedLength))
        return Outcome::downloadFailed;

    return partial.overwriteTargetFileWithTemporary() ? Outcome::saved : Outcome::saveFailed;
}

void DownloadJob::ok()
{
    juce::MessageManager::callAsync ([completion = callback] { completion ({}); });
}

void DownloadJob::fail (const juce::String& message)
{
    juce::MessageManager::callAsync ([completion = callback, message] { completion (message); });
}
