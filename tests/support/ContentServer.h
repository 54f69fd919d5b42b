#pragma once

#include <juce_core/juce_core.h>

namespace testsupport
{
    /** sim/serve-https standing in for the vendor's content server on
        127.0.0.1:443, serving one file at the download address's path.
        Only inside the simulated host, where cdn.avid.com is 127.0.0.1.
    */
    class ContentServer
    {
    public:
        /** Serves this file's bytes as "003_Family_11.1.5.dmg". With
            stallAfterBytes 0 or more, sends only that many of them and then
            keeps silent until the client hangs up.
        */
        explicit ContentServer (const juce::File& image, juce::int64 stallAfterBytes = -1);
        ~ContentServer();

        /** True once the server listens. */
        bool isReady() const { return ready; }

        /** With a stall: "stalled PATH" once the silence began, then
            "abandoned PATH" once the client hung up during it.
        */
        juce::StringArray getEvents() const;

    private:
        juce::File root = juce::File::createTempFile ("content-server");
        juce::ChildProcess server;
        bool ready = false;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ContentServer)
    };
}
