#pragma once

#include <juce_core/juce_core.h>

/** The folder under which the system mounts disk images. */
juce::File getVolumesFolder();

/** True when a folder directly under volumesFolder has a name containing
    "Avid 003 Family", ignoring case.
*/
bool isDriverVolumeMounted (const juce::File& volumesFolder = getVolumesFolder());

/** The first such folder in listing order, or an empty File when there is none. */
juce::File findDriverVolume (const juce::File& volumesFolder = getVolumesFolder());
