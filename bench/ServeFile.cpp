// Serves a folder's files over HTTPS on a loopback port for the download
// figures, fast enough that the client, not the server, sets the pace:
// OpenSSL straight from C++, large writes, one connection at a time.
// sim/serve-https, in Python, spends nearly as much CPU time per byte as curl
// takes wall time.
//
//     ServeFile ROOT PORT READY_FILE CERT KEY
//
// Answers a GET with the bytes of the file at that path under ROOT, opened
// afresh for each request, and anything else with 404. Writes its process id
// to READY_FILE once it listens; runs until it is killed.

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
    constexpr size_t writeSize = 1 << 20;

    bool writeAll (SSL* ssl, const char* data, size_t size)
    {
        while (size > 0)
        {
            const auto written = SSL_write (ssl, data, (int) std::min (size, writeSize));

            if (written <= 0)
                return false;

            data += written;
            size -= (size_t) written;
        }

        return true;
    }

    std::string readRequestHead (SSL* ssl)
    {
        std::string head;
        char buffer[4096];

        while (head.find ("\r\n\r\n") == std::string::npos && head.size() < 65536)
        {
            const auto got = SSL_read (ssl, buffer, sizeof (buffer));

            if (got <= 0)
                return {};

            head.append (buffer, (size_t) got);
        }

        return head;
    }

    /** The file under root that a request line "GET /path HTTP/1.x" asks for, or -1. */
    int openRequested (const std::string& root, const std::string& requestLine)
    {
        const std::string method = "GET /";
        const auto end = requestLine.rfind (" HTTP/1.");

        if (requestLine.compare (0, method.size(), method) != 0 || end == std::string::npos || end < method.size())
            return -1;

        const auto path = requestLine.substr (method.size() - 1, end - method.size() + 1);

        if (path.find ("..") != std::string::npos)
            return -1;

        const auto file = open ((root + path).c_str(), O_RDONLY);
        struct stat info = {};

        if (file >= 0 && (fstat (file, &info) != 0 || ! S_ISREG (info.st_mode)))
        {
            close (file);
            return -1;
        }

        return file;
    }

    void answer (SSL* ssl, const std::string& root, std::vector<char>& buffer)
    {
        const auto head = readRequestHead (ssl);
        const auto file = openRequested (root, head.substr (0, head.find ("\r\n")));
        struct stat info = {};

        if (file < 0 || fstat (file, &info) != 0)
        {
            const std::string notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            writeAll (ssl, notFound.data(), notFound.size());
            return;
        }

        const auto response = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                              + std::to_string (info.st_size) + "\r\nConnection: close\r\n\r\n";

        if (writeAll (ssl, response.data(), response.size()))
        {
            for (off_t offset = 0; offset < info.st_size;)
            {
                const auto got = pread (file, buffer.data(), buffer.size(), offset);

                if (got <= 0 || ! writeAll (ssl, buffer.data(), (size_t) got))
                    break;

                offset += got;
            }
        }

        close (file);
    }
}

int main (int argc, char* argv[])
{
    if (argc != 6)
    {
        std::fprintf (stderr, "usage: ServeFile ROOT PORT READY_FILE CERT KEY\n");
        return 2;
    }

    const std::string root = argv[1];
    const auto port = std::atoi (argv[2]);
    std::signal (SIGPIPE, SIG_IGN);

    auto* context = SSL_CTX_new (TLS_server_method());

    if (context == nullptr
        || SSL_CTX_use_certificate_chain_file (context, argv[4]) != 1
        || SSL_CTX_use_PrivateKey_file (context, argv[5], SSL_FILETYPE_PEM) != 1)
    {
        ERR_print_errors_fp (stderr);
        return 1;
    }

    const auto listener = socket (AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt (listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof (on));

    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons ((uint16_t) port);
    address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);

    if (bind (listener, reinterpret_cast<sockaddr*> (&address), sizeof (address)) != 0 || listen (listener, 16) != 0)
    {
        std::perror ("ServeFile: listen");
        return 1;
    }

    // Renamed into place, so that it is never seen half written.
    const auto partial = std::string (argv[3]) + ".partial";

    if (auto* ready = std::fopen (partial.c_str(), "w"))
    {
        std::fprintf (ready, "%d\n", (int) getpid());
        std::fclose (ready);
        std::rename (partial.c_str(), argv[3]);
    }

    std::vector<char> buffer (writeSize);

    for (;;)
    {
        const auto connection = accept (listener, nullptr, nullptr);

        if (connection < 0)
            continue;

        if (auto* ssl = SSL_new (context))
        {
            SSL_set_fd (ssl, connection);

            if (SSL_accept (ssl) == 1)
            {
                answer (ssl, root, buffer);
                SSL_shutdown (ssl);
            }

            SSL_free (ssl);
        }

        close (connection);
    }
}
