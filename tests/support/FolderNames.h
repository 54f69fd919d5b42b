#pragma once

#include <juce_core/juce_core.h>

namespace testsupport
{
    /** Every name in the folder, hidden ones too, sorted. */
    inline juce::StringArray namesIn (const juce::File& folder)
    {
        juce::StringArray names;

        for (const auto& entry : folder.findChildFiles (juce::File::findFilesAndDirectories, false))
            names.add (entry.getFileName());

        names.sort (false);
        return names;
    }
}
