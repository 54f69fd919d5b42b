// The Linux stand-in for the Mac this program is written for. It answers
// from the simulated host's state folder (see sim/), so that every step of
// the program runs here unchanged.

#include "platform/Authorization.h"
#include "platform/Platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
    juce::CriticalSection stateFolderLock;

    juce::File& stateFolder()
    {
        static juce::File folder ("/var/db/simulated-macos");
        return folder;
    }

    const char* const systemVersionPlist = "/System/Library/CoreServices/SystemVersion.plist";
    const char* const adminRight = "system.privilege.admin";

    // Where macOS has it; the simulated host puts its own there.
    const char* const trampolinePath = "/usr/libexec/security_authtrampoline";

    // What the trampoline reads back from its mailbox, zero bytes filling its
    // 32. A Mac's external form is a handle for authd; the simulated one only
    // says that the right is held.
    const char externalForm[32] = "granted system.privilege.admin";

    void appendLine (const juce::String& fileName, const juce::String& line)
    {
        auto file = platform::simulation::getStateFolder().getChildFile (fileName);
        file.getParentDirectory().createDirectory();
        file.appendText (line + "\n", false, false, "\n");
    }

    // Records stay one line per call, even for a script handed over whole.
    juce::String asOneLine (const juce::String& text)
    {
        return text.replace ("\\", "\\\\").replace ("\n", "\\n");
    }

    // A local stream socket on macOS buffers 8 KiB each way, so a tool that
    // writes more than that blocks until it is read. Linux counts its own
    // bookkeeping into the figure, so the data held is a little less.
    bool setBufferSizes (int fd)
    {
        const int size = 8192;
        return setsockopt (fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof (size)) == 0
               && setsockopt (fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof (size)) == 0;
    }

    // The types JUCE names, or the bare MacOSX in releases that don't name
    // them: the int overload is chosen whenever its type exists.
    template <typename Stats>
    auto macOS14Type (int) -> decltype ((int) Stats::MacOS_14)
    {
        return Stats::MacOS_14;
    }
    template <typename Stats>
    auto macOS15Type (int) -> decltype ((int) Stats::MacOS_15)
    {
        return Stats::MacOS_15;
    }
    template <typename Stats>
    auto macOS26Type (int) -> decltype ((int) Stats::MacOS_26)
    {
        return Stats::MacOS_26;
    }

    template <typename Stats>
    int macOS14Type (long)
    {
        return Stats::MacOSX;
    }
    template <typename Stats>
    int macOS15Type (long)
    {
        return Stats::MacOSX;
    }
    template <typename Stats>
    int macOS26Type (long)
    {
        return Stats::MacOSX;
    }

    juce::String readProductVersion (const juce::File& plist)
    {
        auto xml = juce::parseXML (plist);

        if (xml == nullptr)
            return {};

        if (auto* dict = xml->getChildByName ("dict"))
        {
            for (auto* key : dict->getChildWithTagNameIterator ("key"))
                if (key->getAllSubText() == "ProductVersion")
                    if (auto* value = key->getNextElement())
                        return value->getAllSubText().trim();
        }

        return {};
    }
}

struct AuthorizationOpaqueRef
{
    bool adminRightGranted = false;
};

namespace platform
{
    namespace simulation
    {
        juce::File getStateFolder()
        {
            const juce::ScopedLock sl (stateFolderLock);
            return stateFolder();
        }

        void setStateFolder (const juce::File& folder)
        {
            const juce::ScopedLock sl (stateFolderLock);
            stateFolder() = folder;
        }

        int operatingSystemTypeForProductVersion (const juce::String& productVersion)
        {
            // The same mapping as the JUCE release we are built with has on
            // macOS: each names the systems it knew of, and reports later ones
            // as the bare MacOSX.
            juce::StringArray parts;
            parts.addTokens (productVersion, ".", juce::StringRef());

            const auto major = parts[0].getIntValue();
            const auto minor = parts[1].getIntValue();

            switch (major)
            {
                case 10: return minor + juce::SystemStats::MacOSX_10_7 - 7;
                case 11: return juce::SystemStats::MacOS_11;
                case 12: return juce::SystemStats::MacOS_12;
                case 13: return juce::SystemStats::MacOS_13;
                case 14: return macOS14Type<juce::SystemStats> (0);
                case 15: return macOS15Type<juce::SystemStats> (0);
                // macOS 26 reports itself as 16.x to programs built with older SDKs.
                case 16:
                case 26: return macOS26Type<juce::SystemStats> (0);
                default: break;
            }

            return juce::SystemStats::MacOSX;
        }
    }

    int getOperatingSystemType()
    {
        const juce::File plist (systemVersionPlist);

        if (! plist.existsAsFile())
            return juce::SystemStats::getOperatingSystemType();

        return simulation::operatingSystemTypeForProductVersion (readProductVersion (plist));
    }

    int sysctlbyname (const char* name, void* oldValue, size_t* oldLength, void* newValue, size_t newLength)
    {
        juce::ignoreUnused (newValue, newLength);

        if (name == nullptr || oldLength == nullptr)
        {
            errno = EINVAL;
            return -1;
        }

        const auto file = simulation::getStateFolder().getChildFile ("sysctl").getChildFile (name);
        const auto text = file.loadFileAsString().trim();

        if (text.isEmpty() || ! text.containsOnly ("-0123456789"))
        {
            errno = ENOENT;
            return -1;
        }

        const auto value = (std::int32_t) text.getLargeIntValue();

        if (oldValue != nullptr)
        {
            if (*oldLength < sizeof (value))
            {
                errno = ENOMEM;
                return -1;
            }

            std::memcpy (oldValue, &value, sizeof (value));
        }

        *oldLength = sizeof (value);
        return 0;
    }

    void requestRestart()
    {
        appendLine ("restart-requests", "tell application \"System Events\" to restart");
    }
}

//==============================================================================
OSStatus AuthorizationCreate (const AuthorizationRights*, const AuthorizationEnvironment*,
                              AuthorizationFlags, AuthorizationRef* authorization)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;

    *authorization = new AuthorizationOpaqueRef();
    return errAuthorizationSuccess;
}

OSStatus AuthorizationFree (AuthorizationRef authorization, AuthorizationFlags)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;

    delete authorization;
    return errAuthorizationSuccess;
}

OSStatus AuthorizationCopyRights (AuthorizationRef authorization, const AuthorizationRights* rights,
                                  const AuthorizationEnvironment*, AuthorizationFlags flags,
                                  AuthorizationRights** authorizedRights)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;

    if (rights == nullptr || rights->count != 1 || rights->items == nullptr
        || std::strcmp (rights->items[0].name, adminRight) != 0)
        return errAuthorizationInvalidSet;

    if (authorizedRights != nullptr)
        *authorizedRights = nullptr;

    if (authorization->adminRightGranted)
        return errAuthorizationSuccess;

    if ((flags & kAuthorizationFlagInteractionAllowed) == 0)
        return errAuthorizationDenied;

    // The simulated dialog: its answer, and how long the "user" takes to
    // give it, come from the state folder. Nothing scripted means nobody
    // typed a password.
    const auto& item = rights->items[0];
    appendLine ("authorisation-requests",
                juce::String (item.name) + " "
                    + juce::String (static_cast<const char*> (item.value), item.valueLength) + " "
                    + juce::String ((int) flags));

    const auto answer = juce::StringArray::fromTokens (
        platform::simulation::getStateFolder().getChildFile ("authorisation").loadFileAsString(), true);

    if (answer.size() > 1)
        juce::Thread::sleep (answer[1].getIntValue());

    if (answer[0] != "grant")
        return errAuthorizationCanceled;

    authorization->adminRightGranted = true;
    return errAuthorizationSuccess;
}

OSStatus AuthorizationExecuteWithPrivileges (AuthorizationRef authorization, const char* pathToTool,
                                             AuthorizationFlags options, char* const* arguments,
                                             FILE** communicationsPipe)
{
    if (authorization == nullptr)
        return errAuthorizationInvalidRef;

    // The options are reserved: the system refuses anything but the defaults.
    if (options != kAuthorizationFlagDefaults)
        return errAuthorizationInvalidFlags;

    if (! authorization->adminRightGranted)
        return errAuthorizationDenied;

    if (pathToTool == nullptr)
        return errAuthorizationInvalidSet;

    juce::StringArray record { pathToTool };

    for (auto* const* arg = arguments; arg != nullptr && *arg != nullptr; ++arg)
        record.add (*arg);

    appendLine ("privileged-runs", asOneLine (record.joinIntoString (" ")));

    // Tests may have another program started in the tool's place, with the
    // same arguments.
    const auto substitute = platform::simulation::getStateFolder().getChildFile ("privileged-tool").loadFileAsString().trim();
    const auto executable = substitute.isNotEmpty() ? substitute : juce::String (pathToTool);

    // As on macOS: the caller's child execs the setuid trampoline, which reads
    // the authorisation back from a "mailbox" descriptor, checks the right
    // and execs the tool, so that the tool is our own child with effective
    // uid 0 and our real uid. The trampoline answers on a notification pipe:
    // a status when it failed, end-of-file once the tool runs.
    const auto mailbox = memfd_create ("authorization", MFD_CLOEXEC);

    if (mailbox < 0)
        return errAuthorizationInternal;

    if (write (mailbox, externalForm, sizeof (externalForm)) != (ssize_t) sizeof (externalForm))
    {
        close (mailbox);
        return errAuthorizationInternal;
    }

    const auto mailboxText = "auth " + juce::String (mailbox);
    std::vector<char*> argv { const_cast<char*> (trampolinePath),
                              const_cast<char*> (executable.toRawUTF8()),
                              const_cast<char*> (mailboxText.toRawUTF8()) };

    for (auto* const* arg = arguments; arg != nullptr && *arg != nullptr; ++arg)
        argv.push_back (*arg);

    argv.push_back (nullptr);

    // Close-on-exec, so that no other child started meanwhile holds them.
    int notify[2] = { -1, -1 };
    int fds[2] = { -1, -1 };

    const auto closeAll = [&] {
        for (auto fd : { mailbox, notify[0], notify[1], fds[0], fds[1] })
            if (fd >= 0)
                close (fd);
    };

    if (pipe2 (notify, O_CLOEXEC) != 0)
    {
        closeAll();
        return errAuthorizationToolExecuteFailure;
    }

    if (communicationsPipe != nullptr)
    {
        if (socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        {
            closeAll();
            return errAuthorizationToolExecuteFailure;
        }

        if (! setBufferSizes (fds[0]) || ! setBufferSizes (fds[1]))
        {
            closeAll();
            return errAuthorizationInternal;
        }
    }

    const auto pid = fork();

    if (pid < 0)
    {
        closeAll();
        return errAuthorizationToolExecuteFailure;
    }

    if (pid == 0)
    {
        // Only async-signal-safe calls from here on: the parent has threads.
        // The tool's end of the stream becomes standard input (the trampoline
        // makes it standard output too), the notification pipe standard
        // output. As on macOS, whatever else we have open stays open.
        const auto toolEnd = communicationsPipe != nullptr ? fds[1] : open ("/dev/null", O_RDWR);
        dup2 (notify[1], STDOUT_FILENO);
        dup2 (toolEnd, STDIN_FILENO);
        fcntl (mailbox, F_SETFD, 0);

        execv (trampolinePath, argv.data());

        const auto status = (OSStatus) htonl ((std::uint32_t) errAuthorizationToolExecuteFailure);
        juce::ignoreUnused (write (STDOUT_FILENO, &status, sizeof (status)));
        _exit (1);
    }

    close (notify[1]);
    notify[1] = -1;
    close (mailbox);

    if (communicationsPipe != nullptr)
    {
        close (fds[1]);
        fds[1] = -1;
    }

    std::uint32_t reported = 0;
    ssize_t got = 0;

    while ((got = read (notify[0], &reported, sizeof (reported))) < 0 && errno == EINTR)
    {
    }

    close (notify[0]);

    if (got != 0)
    {
        if (fds[0] >= 0)
            close (fds[0]);

        return got == (ssize_t) sizeof (reported) ? (OSStatus) ntohl (reported) : errAuthorizationToolEnvironmentError;
    }

    if (communicationsPipe == nullptr)
        return errAuthorizationSuccess;

    *communicationsPipe = fdopen (fds[0], "r+");

    if (*communicationsPipe == nullptr)
    {
        close (fds[0]);
        return errAuthorizationInternal;
    }

    return errAuthorizationSuccess;
}
