#include <gtest/gtest.h>

#include "platform/Authorization.h"
#include "platform/Platform.h"
#include "support/CommandRun.h"
#include "support/DriverInstallHost.h"
#include "support/SimulatedHost.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
    // Points the stand-in at a private state folder for the length of a test.
    struct SimulatedState
    {
        SimulatedState() { platform::simulation::setStateFolder (folder); }
        ~SimulatedState() { folder.deleteRecursively(); }

        void write (const juce::String& name, const juce::String& text) const
        {
            auto file = folder.getChildFile (name);
            file.getParentDirectory().createDirectory();
            file.replaceWithText (text, false, false, "\n");
        }

        juce::StringArray lines (const juce::String& name) const
        {
            juce::StringArray result;
            folder.getChildFile (name).readLines (result);
            result.removeEmptyStrings();
            return result;
        }

        juce::File folder = juce::File::createTempFile ("simulated-macos");
    };

    OSStatus askForAdminRight (AuthorizationRef ref)
    {
        const char* tool = "/bin/sh";
        AuthorizationItem item { "system.privilege.admin", 7, const_cast<char*> (tool), 0 };
        AuthorizationRights rights { 1, &item };
        return AuthorizationCopyRights (ref, &rights, nullptr,
                                        kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights | kAuthorizationFlagPreAuthorize,
                                        nullptr);
    }
}

namespace
{
    /** Has the dialog grant the right, asks for it and starts /bin/sh -c with
        the script as root; the stream to the shell in stream.
    */
    void startRootShell (const SimulatedState& state, const char* script, FILE*& stream)
    {
        state.write ("authorisation", "grant 0");

        AuthorizationRef ref = nullptr;
        ASSERT_EQ (AuthorizationCreate (nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
        ASSERT_EQ (askForAdminRight (ref), errAuthorizationSuccess);

        juce::String option ("-c"), text (script);
        char* const arguments[] = { const_cast<char*> (option.toRawUTF8()), const_cast<char*> (text.toRawUTF8()), nullptr };
        stream = nullptr;
        EXPECT_EQ (AuthorizationExecuteWithPrivileges (ref, "/bin/sh", kAuthorizationFlagDefaults, arguments, &stream), errAuthorizationSuccess);
        AuthorizationFree (ref, kAuthorizationFlagDefaults);
        ASSERT_NE (stream, nullptr);
    }

    /** One line from the stream, without its newline: read byte by byte, so
        that nothing after it is taken from the stream.
    */
    std::string readLine (FILE* stream)
    {
        std::string line;
        char c = 0;

        while (read (fileno (stream), &c, 1) == 1 && c != '\n')
            line += c;

        return line;
    }

    /** A line that holds a process id. */
    pid_t readIdLine (FILE* stream)
    {
        return (pid_t) std::atoi (readLine (stream).c_str());
    }

    std::string linkTarget (const juce::String& path)
    {
        char target[256] = {};
        const auto length = readlink (path.toRawUTF8(), target, sizeof (target) - 1);
        return length > 0 ? std::string (target, (size_t) length) : std::string();
    }
}

TEST (InHostPlatformStandIn, TheToolIsOurChildTalkingOnTheStream)
{
    SimulatedState state;
    FILE* stream = nullptr;
    startRootShell (state, "echo $$ $PPID # a \\ and\nread -r line\necho \"got $line\"\nexit 3", stream);

    if (stream == nullptr)
        return;

    // Nobody sets an owner on the stream, so it names no process.
    EXPECT_EQ (fcntl (fileno (stream), F_GETOWN, 0), 0);

    int pid = 0, parent = 0;
    ASSERT_EQ (std::sscanf (readLine (stream).c_str(), "%d %d", &pid, &parent), 2);
    EXPECT_EQ (parent, (int) getpid());
    EXPECT_EQ (getpgid (pid), getpgrp());

    // While it waits for its line: standard input and output are both the
    // other end of the stream, and standard error is ours.
    const auto tool = "/proc/" + juce::String (pid) + "/fd/";
    EXPECT_EQ (linkTarget (tool + "0").rfind ("socket:", 0), 0u) << linkTarget (tool + "0");
    EXPECT_EQ (linkTarget (tool + "1"), linkTarget (tool + "0"));
    EXPECT_NE (linkTarget (tool + "0"), linkTarget ("/proc/self/fd/" + juce::String (fileno (stream))));
    EXPECT_EQ (linkTarget (tool + "2"), linkTarget ("/proc/self/fd/2"));

    const char line[] = "hello\n";
    ASSERT_EQ (write (fileno (stream), line, sizeof (line) - 1), (ssize_t) sizeof (line) - 1);
    EXPECT_EQ (readLine (stream), "got hello");

    int status = 0;
    EXPECT_EQ (waitpid (pid, &status, 0), pid);
    EXPECT_TRUE (WIFEXITED (status));
    EXPECT_EQ (WEXITSTATUS (status), 3);
    fclose (stream);

    // One line per run, whatever the arguments hold.
    EXPECT_EQ (state.lines ("privileged-runs"),
               juce::StringArray { "/bin/sh -c echo $$ $PPID # a \\\\ and\\nread -r line\\necho \"got $line\"\\nexit 3" });
}

TEST (InHostPlatformStandIn, TheStreamHoldsAboutEightKilobytes)
{
    SimulatedState state;

    // The tool reads nothing until it is told to end.
    FILE* stream = nullptr;
    startRootShell (state, "echo $$; exec sleep 60", stream);

    if (stream == nullptr)
        return;

    const auto pid = readIdLine (stream);
    ASSERT_GT (pid, 0);

    const auto fd = fileno (stream);
    ASSERT_EQ (fcntl (fd, F_SETFL, fcntl (fd, F_GETFL) | O_NONBLOCK), 0);

    const std::vector<char> block (512, 'x');
    size_t held = 0;

    for (ssize_t written = 0; (written = write (fd, block.data(), block.size())) > 0;)
        held += (size_t) written;

    EXPECT_EQ (errno, EAGAIN);
    EXPECT_GE (held, 4096u);
    EXPECT_LE (held, 16384u);

    kill (pid, SIGKILL);
    waitpid (pid, nullptr, 0);
    fclose (stream);
}

TEST (InHostPlatformStandIn, OptionsOtherThanTheDefaultsAreRefused)
{
    SimulatedState state;
    state.write ("authorisation", "grant 0");

    AuthorizationRef ref = nullptr;
    ASSERT_EQ (AuthorizationCreate (nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
    ASSERT_EQ (askForAdminRight (ref), errAuthorizationSuccess);

    for (const AuthorizationFlags options : { AuthorizationFlags { kAuthorizationFlagInteractionAllowed },
                                              AuthorizationFlags { kAuthorizationFlagPreAuthorize },
                                              AuthorizationFlags { 0x80000000u } })
    {
        char* const arguments[] = { nullptr };
        FILE* stream = nullptr;
        EXPECT_EQ (AuthorizationExecuteWithPrivileges (ref, "/bin/true", options, arguments, &stream), errAuthorizationInvalidFlags)
            << options;
        EXPECT_EQ (stream, nullptr);
    }

    EXPECT_TRUE (state.lines ("privileged-runs").isEmpty());
    AuthorizationFree (ref, kAuthorizationFlagDefaults);
}

TEST (InHostPlatformStandIn, AToolOfTheTestsChoosingRunsInTheToolsPlace)
{
    SimulatedState state;

    const auto substitute = state.folder.getChildFile ("substitute");
    ASSERT_TRUE (testsupport::writeShellScript (substitute, "echo $$\necho \"substitute $*\"\n"));
    state.write ("privileged-tool", substitute.getFullPathName() + "\n");

    FILE* stream = nullptr;
    startRootShell (state, "echo not this", stream);

    if (stream == nullptr)
        return;

    const auto pid = readIdLine (stream);
    EXPECT_EQ (readLine (stream), "substitute -c echo not this");
    EXPECT_EQ (readLine (stream), "");
    EXPECT_EQ (waitpid (pid, nullptr, 0), pid);
    fclose (stream);

    // The requested tool is what the record shows.
    EXPECT_EQ (state.lines ("privileged-runs"), juce::StringArray { "/bin/sh -c echo not this" });
}

TEST (InHostPlatformStandIn, TheDialogAnswersAsScripted)
{
    struct Case
    {
        const char* script;
        OSStatus expected;
        int atLeastMs;
    };

    const Case cases[] = {
        { nullptr, errAuthorizationCanceled, 0 }, // nobody answers: refused
        { "refuse 0", errAuthorizationCanceled, 0 },
        { "grant 0", errAuthorizationSuccess, 0 },
        { "grant 300", errAuthorizationSuccess, 300 },
        { "refuse 300", errAuthorizationCanceled, 300 },
    };

    for (const auto& c : cases)
    {
        SimulatedState state;

        if (c.script != nullptr)
            state.write ("authorisation", c.script);

        AuthorizationRef ref = nullptr;
        ASSERT_EQ (AuthorizationCreate (nullptr, nullptr, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);

        const auto start = juce::Time::getMillisecondCounter();
        EXPECT_EQ (askForAdminRight (ref), c.expected) << (c.script != nullptr ? c.script : "nothing scripted");
        EXPECT_GE ((int) (juce::Time::getMillisecondCounter() - start), c.atLeastMs);

        EXPECT_EQ (state.lines ("authorisation-requests"), juce::StringArray { "system.privilege.admin /bin/sh 19" });

        // Without the right the tool never starts.
        char option[] = "-c", script[] = "echo $$";
        char* const arguments[] = { option, script, nullptr };
        FILE* stream = nullptr;
        const auto started = AuthorizationExecuteWithPrivileges (ref, "/bin/sh", kAuthorizationFlagDefaults, arguments, &stream);
        EXPECT_EQ (started == errAuthorizationSuccess, c.expected == errAuthorizationSuccess);
        EXPECT_EQ (state.lines ("privileged-runs").size(), started == errAuthorizationSuccess ? 1 : 0);

        if (stream != nullptr)
        {
            waitpid (readIdLine (stream), nullptr, 0);
            fclose (stream);
        }

        AuthorizationFree (ref, kAuthorizationFlagDefaults);
    }
}

// What the user's app sees of a privileged run, in a process of the user's.
TEST (InHostPlatformStandIn, TheToolHasRootsEffectiveIdTheCallersRealOneAndTheTrampolinesVariables)
{
    namespace host = testsupport::installhost;
    ASSERT_TRUE (host::insideSimulatedHost());
    host::resetHost();

    const auto run = testsupport::runWithTimeLimit (
        host::asUser ({ VANTRY_USER_PROCESS_BINARY, "privileged", "-p", "-c",
                        "id -u; id -ru; id -g; echo \"$__AUTHORIZATION\" \"$_BASH_IMPLICIT_DASH_PEE\"; "
                        "[ -e \"/proc/$$/fd/${__AUTHORIZATION#auth }\" ] && echo \"its mailbox is open\"" }),
        30000);
    std::cout << run.output << std::flush;

    juce::StringArray printed;

    // Less JUCE's own greeting.
    for (const auto& line : juce::StringArray::fromLines (run.output.trimEnd()))
        if (! line.startsWith ("JUCE v"))
            printed.add (line);

    ASSERT_EQ (printed.size(), 6) << run.output;
    EXPECT_EQ (printed[0], "0");
    EXPECT_EQ (printed[1], juce::String (host::userId));
    EXPECT_EQ (printed[2], juce::String (host::userGroupId));
    EXPECT_TRUE (printed[3].matchesWildcard ("auth * -p", false)) << printed[3];
    EXPECT_EQ (printed[4], "its mailbox is open");
    EXPECT_EQ (printed[5], "status: 0");
}

TEST (PlatformStandInInSimulatedHost, PrivilegedRuns)
{
    const juce::StringArray options;
    RUN_IN_SIMULATED_HOST (options, "InHostPlatformStandIn.*");
}

TEST (PlatformStandIn, SystemControlsReadAsScripted)
{
    SimulatedState state;
    state.write ("sysctl/hw.cputype", "16777223\n");
    state.write ("sysctl/broken", "not a number");

    std::int32_t value = 0;
    size_t size = sizeof (value);
    EXPECT_EQ (platform::sysctlbyname ("hw.cputype", &value, &size, nullptr, 0), 0);
    EXPECT_EQ (value, 0x01000007);
    EXPECT_EQ (size, sizeof (value));

    for (auto* missing : { "sysctl.proc_translated", "broken" })
    {
        value = 0;
        size = sizeof (value);
        EXPECT_NE (platform::sysctlbyname (missing, &value, &size, nullptr, 0), 0) << missing;
        EXPECT_EQ (value, 0) << missing;
    }

    std::int16_t tooSmall = 0;
    size = sizeof (tooSmall);
    EXPECT_NE (platform::sysctlbyname ("hw.cputype", &tooSmall, &size, nullptr, 0), 0);
}

TEST (PlatformStandIn, RestartIsOnlyRecorded)
{
    SimulatedState state;

    platform::requestRestart();
    platform::requestRestart();

    EXPECT_EQ (state.lines ("restart-requests"), juce::StringArray ({ "tell application \"System Events\" to restart",
                                                                      "tell application \"System Events\" to restart" }));
}
