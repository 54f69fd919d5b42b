#include "support/HttpTestServer.h"

#include <csignal>
#include <pthread.h>

namespace testsupport
{
    namespace
    {
        const char* const loopback = "127.0.0.1";

        juce::String reasonPhrase (int status)
        {
            switch (status)
            {
                case 200: return "OK";
                case 301: return "Moved Permanently";
                case 302: return "Found";
                case 307: return "Temporary Redirect";
                case 404: return "Not Found";
                case 500: return "Internal Server Error";
                default: return "Status";
            }
        }

        bool writeAll (juce::StreamingSocket& connection, const void* data, size_t size)
        {
            auto* bytes = static_cast<const char*> (data);

            while (size > 0)
            {
                const auto chunk = (int) juce::jmin (size, (size_t) 65536);
                const auto written = connection.write (bytes, chunk);

                if (written <= 0)
                    return false;

                bytes += written;
                size -= (size_t) written;
            }

            return true;
        }
    }

    HttpTestServer::HttpTestServer (int lifetimeMs)
        : juce::Thread ("httpTestServer")
        , endTime (juce::Time::getMillisecondCounter() + (juce::uint32) lifetimeMs)
    {
        if (listener.createListener (0, loopback))
            startThread();
    }

    HttpTestServer::~HttpTestServer()
    {
        signalThreadShouldExit();
        stopThread (5000);
        listener.close();
    }

    bool HttpTestServer::isListening() const
    {
        return listener.isConnected();
    }

    int HttpTestServer::getPort() const
    {
        return listener.getBoundPort();
    }

    juce::String HttpTestServer::getUrl (const juce::String& path) const
    {
        return "http://" + juce::String (loopback) + ":" + juce::String (getPort()) + path;
    }

    void HttpTestServer::setResponse (const juce::String& path, const Response& response)
    {
        const juce::ScopedLock sl (lock);

        // Copied by construction: JUCE 7.0.5's MemoryBlock assignment
        // misbehaves on an empty block.
        responses.erase (path);
        responses.emplace (path, response);
    }

    HttpTestServer::Response HttpTestServer::redirectTo (const juce::String& path, int status) const
    {
        Response response;
        response.status = status;
        response.headers.set ("Location", getUrl (path));
        return response;
    }

    int HttpTestServer::getRequestCount (const juce::String& path) const
    {
        const juce::ScopedLock sl (lock);
        const auto found = served.find (path);
        return found == served.end() ? 0 : found->second.requests;
    }

    juce::MemoryBlock HttpTestServer::getServedBody (const juce::String& path) const
    {
        const juce::ScopedLock sl (lock);
        const auto found = served.find (path);
        return found == served.end() ? juce::MemoryBlock() : found->second.body;
    }

    int HttpTestServer::getAbandonedCount (const juce::String& path) const
    {
        const juce::ScopedLock sl (lock);
        const auto found = served.find (path);
        return found == served.end() ? 0 : found->second.abandoned;
    }

    int HttpTestServer::findClosedPort()
    {
        juce::StreamingSocket probe;

        if (! probe.createListener (0, loopback))
            return 9;

        const auto port = probe.getBoundPort();
        probe.close();
        return port;
    }

    bool HttpTestServer::waitUnlessStopping (int milliseconds)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;

        while (juce::Time::getMillisecondCounter() < end)
        {
            if (threadShouldExit())
                return false;

            sleep (10);
        }

        return ! threadShouldExit();
    }

    bool HttpTestServer::holdUntilClientHangsUp (juce::StreamingSocket& connection)
    {
        while (! threadShouldExit() && juce::Time::getMillisecondCounter() < endTime)
        {
            const auto ready = connection.waitUntilReady (true, 20);

            if (ready < 0)
                return true;

            char byte = 0;

            // Readable with nothing to read: the client has closed its end.
            if (ready == 1 && connection.read (&byte, 1, false) <= 0)
                return true;
        }

        return false;
    }

    void HttpTestServer::run()
    {
        // A client that hangs up before the whole answer is written must not
        // end the test process: the write fails instead.
        sigset_t pipeSignal;
        sigemptyset (&pipeSignal);
        sigaddset (&pipeSignal, SIGPIPE);
        pthread_sigmask (SIG_BLOCK, &pipeSignal, nullptr);

        while (! threadShouldExit() && juce::Time::getMillisecondCounter() < endTime)
        {
            if (listener.waitUntilReady (true, 50) != 1)
                continue;

            if (std::unique_ptr<juce::StreamingSocket> connection { listener.waitForNextConnection() })
            {
                answer (*connection);
                connection->close();
            }
        }
    }

    juce::String HttpTestServer::readRequestPath (juce::StreamingSocket& connection)
    {
        juce::MemoryBlock request;
        char byte = 0;

        // The header is all there is to a GET.
        while (request.getSize() < 65536 && ! request.toString().contains ("\r\n\r\n"))
        {
            if (connection.waitUntilReady (true, 2000) != 1)
                return {};

            // A byte at a time: a non-blocking read would leave the socket
            // non-blocking, and the answer's writes would then fail on a full buffer.
            if (connection.read (&byte, 1, true) != 1)
                return {};

            request.append (&byte, 1);
        }

        // "GET /path HTTP/1.1"
        return request.toString().upToFirstOccurrenceOf ("\r\n", false, false).fromFirstOccurrenceOf (" ", false, false).upToFirstOccurrenceOf (" ", false, false);
    }

    void HttpTestServer::answer (juce::StreamingSocket& connection)
    {
        const auto path = readRequestPath (connection);

        if (path.isEmpty())
            return;

        const auto response = [this, &path] {
            const juce::ScopedLock sl (lock);
            served[path].requests++;
            served[path].body.reset();

            const auto found = responses.find (path);

            if (found != responses.end())
                return found->second;

            Response notFound;
            notFound.status = 404;
            notFound.body.append ("Not found", 9);
            return notFound;
        }();

        if (response.delayMs > 0 && ! waitUnlessStopping (response.delayMs))
            return;

        if (response.closeWithoutAnswer)
            return;

        const auto noteIfAbandoned = [this, &path, &connection] {
            if (holdUntilClientHangsUp (connection))
            {
                const juce::ScopedLock sl (lock);
                served[path].abandoned++;
            }
        };

        if (response.neverAnswer)
            return noteIfAbandoned();

        juce::String head;
        head << "HTTP/1.1 " << response.status << " " << reasonPhrase (response.status) << "\r\n"
             << "Connection: close\r\n";

        const auto contentLength = response.contentLength == Response::bodySize ? (juce::int64) response.body.getSize()
                                                                                : response.contentLength;
        if (contentLength >= 0)
            head << "Content-Length: " << contentLength << "\r\n";

        for (auto& key : response.headers.getAllKeys())
            head << key << ": " << response.headers[key] << "\r\n";

        head << "\r\n";

        if (! writeAll (connection, head.toRawUTF8(), head.getNumBytesAsUTF8()))
            return;

        auto toSend = response.body.getSize();

        if (response.bytesBeforeClose >= 0)
            toSend = juce::jmin (toSend, (size_t) response.bytesBeforeClose);

        if (response.bytesBeforeStall >= 0)
            toSend = juce::jmin (toSend, (size_t) response.bytesBeforeStall);

        if (! writeAll (connection, response.body.getData(), toSend))
            return;

        {
            const juce::ScopedLock sl (lock);
            served[path].body = juce::MemoryBlock (response.body.getData(), toSend);
        }

        if (response.bytesBeforeStall >= 0)
            noteIfAbandoned();
    }
}
