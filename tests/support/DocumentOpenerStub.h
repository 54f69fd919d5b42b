#pragma once

#include <juce_core/juce_core.h>

namespace testsupport
{
    /** Puts a stand-in xdg-open first on PATH for the rest of this process,
        so that juce::File::startAsProcess() (which runs xdg-open on Linux)
        opens nothing on the desktop and only records the document's path.
        Safe to call more than once.
    */
    void installDocumentOpenerStub();

    /** The paths handed to the stand-in so far, oldest first. */
    juce::StringArray getOpenedDocuments();
}
