#include "jobs/DownloadJob.h"

#include <juce_events/juce_events.h>

namespace
{
    const char* const imageFileName = "003_Family_11.1.5.dmg";

    // The volume usually appears within a second or two of opening the image.
    constexpr int volumeSearches = 30;
    constexpr int pauseBetweenSearchesMs = 100;
}

DownloadJob::DownloadJob (Callback completionCallback,
                          const juce::String& address,
                          const juce::File& volumesFolder,
                          const juce::File& temporaryFolder)
    : juce::Thread ("downloadJob")
    , callback (std::move (completionCallback))
    , imageAddress (address)
    , volumes (volumesFolder)
    , temporary (temporaryFolder)
{
}

DownloadJob::~DownloadJob()
{
    stopThread (-1);
}

void DownloadJob::run()
{
    juce::MemoryBlock image;

    if (! download (image))
    {
        fail ("Unable to download driver.");
        return;
    }

    const auto file = temporary.getChildFile (imageFileName);

    // Without its folder the save can only fail, so don't try it.
    if (file.getParentDirectory().createDirectory().failed()
        || ! file.replaceWithData (image.getData(), image.getSize()))
    {
        fail ("Failed saving driver.");
        return;
    }

    // Opening a disk image makes the system mount it in the background.
    file.startAsProcess();

    for (int searchesLeft = volumeSearches; searchesLeft >= 2; --searchesLeft)
    {
        if (isDriverVolumeMounted (volumes))
            break;

        sleep (pauseBetweenSearchesMs);
    }

    if (isDriverVolumeMounted (volumes))
        ok();
    else
        fail ("Unable to mount driver DMG.");
}

bool DownloadJob::download (juce::MemoryBlock& image) const
{
    int status = 0;
    const auto options = juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress).withStatusCode (&status);
    const auto stream = juce::URL (imageAddress).createInputStream (options);

    if (stream == nullptr)
        return false;

    const auto announcedLength = stream->getTotalLength();
    stream->readIntoMemoryBlock (image);

    // An error page, or a body cut short, must not replace a good image
    // saved earlier, nor be handed to the system to mount.
    if (auto* webStream = dynamic_cast<juce::WebInputStream*> (stream.get()))
        if (webStream->isError())
            return false;

    const auto size = (juce::int64) image.getSize();

    return status >= 200 && status < 300
           && size > 0
           && (announcedLength < 0 || size == announcedLength);
}

void DownloadJob::ok()
{
    juce::MessageManager::callAsync ([completion = callback] { completion ({}); });
}

void DownloadJob::fail (const juce::String& message)
{
    juce::MessageManager::callAsync ([completion = callback, message] { completion (message); });
}
