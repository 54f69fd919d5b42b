#include <gtest/gtest.h>

#include "platform/Authorization.h"
#include "platform/Platform.h"

#include <fcntl.h>
#include <sys/wait.h>

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
            file.replaceWithText (text);
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
    /** Asks for the right and starts /bin/sh -c with the script as root; the
        stream to the shell in stream.
    */
    void startRootShell (const char* script, FILE*& stream)
    {
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
}

TEST (PlatformStandIn, PrivilegedToolReportsItsIdAndExitStatus)
{
    SimulatedState state;
    state.write ("authorisation", "grant 0");

    FILE* stream = nullptr;
    startRootShell ("echo $$ # a \\ and\nexit 3", stream);

    if (stream == nullptr)
        return;

    const auto pid = fcntl (fileno (stream), F_GETOWN, 0);
    int reportedPid = 0;
    ASSERT_EQ (fscanf (stream, "%d", &reportedPid), 1);
    EXPECT_EQ (pid, reportedPid);

    int status = 0;
    EXPECT_EQ (waitpid (pid, &status, 0), pid);
    EXPECT_TRUE (WIFEXITED (status));
    EXPECT_EQ (WEXITSTATUS (status), 3);
    fclose (stream);

    // One line per run, whatever the arguments hold.
    EXPECT_EQ (state.lines ("privileged-runs"), juce::StringArray { "/bin/sh -c echo $$ # a \\\\ and\\nexit 3" });
}

TEST (PlatformStandIn, AScriptedStreamOwnerIsWhatTheStreamReports)
{
    for (const auto owner : { -1, 0 })
    {
        SCOPED_TRACE (owner);
        SimulatedState state;
        state.write ("authorisation", "grant 0");
        state.write ("stream-owner", juce::String (owner) + "\n");

        FILE* stream = nullptr;
        startRootShell ("exit 0", stream);

        if (stream == nullptr)
            return;

        EXPECT_EQ (fcntl (fileno (stream), F_GETOWN, 0), owner);
        EXPECT_EQ (state.lines ("privileged-runs"), juce::StringArray { "/bin/sh -c exit 0" });
        fclose (stream);
    }
}

TEST (PlatformStandIn, TheDialogAnswersAsScripted)
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
        char* const arguments[] = { nullptr };
        FILE* stream = nullptr;
        const auto started = AuthorizationExecuteWithPrivileges (ref, "/bin/true", kAuthorizationFlagDefaults, arguments, &stream);
        EXPECT_EQ (started == errAuthorizationSuccess, c.expected == errAuthorizationSuccess);
        EXPECT_EQ (state.lines ("privileged-runs").size(), started == errAuthorizationSuccess ? 1 : 0);

        if (stream != nullptr)
        {
            int status = 0;
            waitpid (fcntl (fileno (stream), F_GETOWN, 0), &status, 0);
            fclose (stream);
        }

        AuthorizationFree (ref, kAuthorizationFlagDefaults);
    }
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
