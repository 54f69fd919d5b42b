#pragma once

#include <juce_core/juce_core.h>

#include <map>

namespace testsupport
{
    /** A small HTTP server on 127.0.0.1 for tests. It answers each path as
        scripted, one connection at a time, closes every connection after one
        answer, and stops by itself when its lifetime is over.
    */
    class HttpTestServer : private juce::Thread
    {
    public:
        struct Response
        {
            int status = 200;
            juce::MemoryBlock body;

            /** Sent as Content-Length; the body's size by default. With
                noContentLength none is sent, and the body ends when the
                connection closes.
            */
            juce::int64 contentLength = bodySize;

            /** Body bytes sent before the connection is closed; all by default. */
            juce::int64 bytesBeforeClose = -1;

            /** Closes the connection without sending anything. */
            bool closeWithoutAnswer = false;

            /** Reads the request and then sends nothing, keeping the
                connection open until the client gives up.
            */
            bool neverAnswer = false;

            /** With 0 or more: sends the head and this many body bytes, then
                falls silent, keeping the connection open until the client
                gives up.
            */
            juce::int64 bytesBeforeStall = -1;

            /** Waits this long before answering. */
            int delayMs = 0;

            juce::StringPairArray headers;

            static constexpr juce::int64 bodySize = -2;
            static constexpr juce::int64 noContentLength = -1;
        };

        explicit HttpTestServer (int lifetimeMs = 60000);
        ~HttpTestServer() override;

        /** False when no port could be opened. */
        bool isListening() const;
        int getPort() const;

        /** "http://127.0.0.1:port" followed by the path. */
        juce::String getUrl (const juce::String& path) const;

        /** Paths without a response get a 404. */
        void setResponse (const juce::String& path, const Response& response);

        /** A response that sends the client on to another path of this server. */
        Response redirectTo (const juce::String& path, int status = 302) const;

        int getRequestCount (const juce::String& path) const;

        /** The body bytes actually sent in the last answer on this path. */
        juce::MemoryBlock getServedBody (const juce::String& path) const;

        /** How many times a client hung up on this path while the server
            kept silent (neverAnswer, bytesBeforeStall).
        */
        int getAbandonedCount (const juce::String& path) const;

        /** A port on 127.0.0.1 on which nothing listens (as far as can be told). */
        static int findClosedPort();

    private:
        struct Served
        {
            int requests = 0;
            int abandoned = 0;
            juce::MemoryBlock body;
        };

        void run() override;
        void answer (juce::StreamingSocket& connection);
        juce::String readRequestPath (juce::StreamingSocket& connection);
        bool waitUnlessStopping (int milliseconds);
        bool holdUntilClientHangsUp (juce::StreamingSocket& connection);

        juce::StreamingSocket listener;
        const juce::uint32 endTime;

        juce::CriticalSection lock;
        std::map<juce::String, Response> responses;
        std::map<juce::String, Served> served;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HttpTestServer)
    };
}
