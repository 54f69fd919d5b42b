#include "jobs/DriverVolumeSearch.h"

juce::File getVolumesFolder()
{
    return juce::File ("/Volumes");
}

bool isDriverVolumeMounted (const juce::File& volumesFolder)
{
    return findDriverVolume (volumesFolder) != juce::File();
}

juce::File findDriverVolume (const juce::File& volumesFolder)
{
    // Listed anew on every call: callers poll this while an image mounts.
    for (const auto& entry : volumesFolder.findChildFiles (juce::File::findDirectories, false, "*"))
        if (entry.getFileName().containsIgnoreCase ("Avid 003 Family"))
            return entry;

    return {};
}
