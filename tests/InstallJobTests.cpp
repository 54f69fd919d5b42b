#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "jobs/InstallJob.h"
#include "jobs/InstallScript.h"
#include "support/CommandRun.h"
#include "support/DriverInstallHost.h"
#include "support/MessageLoop.h"
#include "support/SimulatedHost.h"

namespace
{
    std::string lines (const juce::StringArray& array)
    {
        return array.joinIntoString ("\n").toStdString();
    }

    /** Runs one job to its end and collects whatever it posts. */
    juce::StringArray runInstallJob (const juce::File& volumes, const juce::File& temporary)
    {
        juce::StringArray results;

        {
            InstallJob job ([&results] (const juce::String& result) { results.add (result); }, volumes, temporary);
            EXPECT_EQ (job.getThreadName(), "installJob");
            EXPECT_TRUE (job.startThread());
            EXPECT_TRUE (testsupport::pumpUntil ([&] { return ! results.isEmpty(); }, 120000));
        }

        // A second result would be queued by now.
        EXPECT_TRUE (testsupport::deliverQueuedMessages());
        return results;
    }

    class InstallJobFailsEarly : public testing::Test
    {
    protected:
        void TearDown() override { root.deleteRecursively(); }

        juce::File root = juce::File::createTempFile ("install job");
        juce::File volumes = root.getChildFile ("Volumes");
        juce::File temporary = root.getChildFile ("tmp dir");
        juce::File workingFolder = temporary.getChildFile ("003");
    };
}

// The steps before the first tool runs: they need no simulated host.
TEST_F (InstallJobFailsEarly, WithoutTheVolumeOrItsPackage)
{
    struct
    {
        const char* description;
        std::function<void (const juce::File&)> makeVolumes;
        const char* expected;
    } cases[] = {
        { "no volumes folder", [] (const juce::File&) {}, "Installer disk image not mounted" },
        { "no matching volume", [] (const juce::File& v) { v.getChildFile ("Avid 003").createDirectory(); }, "Installer disk image not mounted" },
        { "volume without the package", [] (const juce::File& v) { v.getChildFile ("Avid 003 Family").createDirectory(); }, "Could not copy installer" },
    };

    const auto workingDirectory = juce::File::getCurrentWorkingDirectory();

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.description);

        volumes.deleteRecursively();
        c.makeVolumes (volumes);

        // What an earlier run left behind.
        ASSERT_TRUE (workingFolder.getChildFile ("pkg/com.avid.00family.macos.installer_0.pkg/Payload2").createDirectory());
        ASSERT_TRUE (workingFolder.getChildFile ("script.sh").replaceWithText ("exit 0\n"));

        EXPECT_EQ (lines (runInstallJob (volumes, temporary)), c.expected);

        // Emptied and made anew, even when there was no volume to install from.
        EXPECT_TRUE (workingFolder.isDirectory());
        EXPECT_EQ (workingFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
        EXPECT_EQ (juce::File::getCurrentWorkingDirectory(), workingDirectory);
    }
}

//==============================================================================
namespace host = testsupport::installhost;

// Inside the simulated host: /Volumes, /Library and the dialog are the
// private root's, and the job runs with its real defaults (/Volumes, and
// the temporary folder that TMPDIR names).
namespace
{
    const juce::String payload2Path = "003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2";

    /** The stand-in's record of root running this script as the job has it run. */
    juce::String recordOfRootRunning (const juce::String& script)
    {
        return ("/bin/sh -c echo $$; exec /bin/sh -e -c \"$1\" sh " + script).replace ("\\", "\\\\").replace ("\n", "\\n");
    }

    class InHostInstallJob : public testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE (host::insideSimulatedHost());
            host::resetHost();
            temporary.deleteRecursively();
            host::useTemporaryFolder (temporary);
        }

        void TearDown() override
        {
            initialDirectory.setAsCurrentWorkingDirectory();
            unsetenv ("TMPDIR");
        }

        /** Runs one job to its end. Meanwhile, when given, runs once the job
            has started; the wait of at most resultLimitMs for the result
            begins when it has returned.
        */
        static juce::StringArray runInstallJobWithDefaults (const std::function<void()>& meanwhile = {}, int resultLimitMs = 120000)
        {
            juce::StringArray results;

            {
                InstallJob job ([&results] (const juce::String& result) { results.add (result); });
                EXPECT_TRUE (job.startThread());

                if (meanwhile)
                    meanwhile();

                EXPECT_TRUE (testsupport::pumpUntil ([&] { return ! results.isEmpty(); }, resultLimitMs));
            }

            EXPECT_TRUE (testsupport::deliverQueuedMessages());
            return results;
        }

        void expectInstalled()
        {
            EXPECT_EQ (lines (host::describeInstalledTree (juce::File ("/Library"))), lines (host::describePayloadTree()));
            EXPECT_TRUE (host::kextOwnedByRootWheel());
            EXPECT_EQ (lines (host::readStateLines ("spctl-calls")),
                       lines ({ "--add " + payload2().getFullPathName() + "/Library/Extensions/Avid00Family.kext" }));
        }

        juce::File payload2() const { return temporary.getChildFile (payload2Path); }

        juce::File temporary = host::blankTemporaryFolder();
        const juce::File initialDirectory = juce::File::getCurrentWorkingDirectory();
    };
}

TEST_F (InHostInstallJob, InstallsTheSameTreeOnAFreshMacWithVendorFoldersAndOnASecondRun)
{
    struct
    {
        const char* situation;
        std::function<void()> prepare;
    } situations[] = {
        { "a Mac that never had the vendor's software", [] {} },
        { "a Mac with the vendor's folders", [] {
             juce::File ("/Library/Application Support/Avid").createDirectory();
             juce::File ("/Library/Application Support/Digidesign").createDirectory();
         } },
        { "a Mac with an older driver", [] {
             // Bundles with a file the new one lacks, and others that differ.
             for (auto* bundle : { "/Library/Audio/MIDI Drivers/Avid 003 Family.plugin", "/Library/Extensions/Avid00Family.kext" })
             {
                 const auto contents = juce::File (bundle).getChildFile ("Contents");
                 ASSERT_TRUE (contents.getChildFile ("Resources").createDirectory());
                 ASSERT_TRUE (contents.getChildFile ("Resources/Only In The Older.txt").replaceWithText ("older"));
                 ASSERT_TRUE (contents.getChildFile ("Info.plist").replaceWithText ("<plist>older</plist>"));
             }
         } },
        { "a second run", [] {
             EXPECT_EQ (lines (runInstallJobWithDefaults()), "success");

             for (auto* record : { "spctl-calls", "privileged-runs", "authorisation-requests" })
                 host::stateFile (record).deleteFile();
         } },
    };

    for (const auto& s : situations)
    {
        SCOPED_TRACE (s.situation);
        host::resetHost();
        host::mountFixtureVolume ("good");
        s.prepare();
        ASSERT_FALSE (testing::Test::HasFatalFailure());

        EXPECT_EQ (lines (runInstallJobWithDefaults()), "success");
        expectInstalled();

        // Root was handed the script's text, after one request for the right.
        EXPECT_EQ (lines (host::readStateLines ("privileged-runs")),
                   lines ({ recordOfRootRunning (composeInstallScript (payload2().getFullPathName())) }));
        EXPECT_EQ (lines (host::readStateLines ("authorisation-requests")), "system.privilege.admin /bin/sh 19");
        EXPECT_EQ (juce::File::getCurrentWorkingDirectory(), payload2());
    }
}

TEST_F (InHostInstallJob, AKextSwappedForALinkMeanwhileHandsNothingBehindItToRoot)
{
    host::mountFixtureVolume ("good");
    host::setAuthorisation ("grant 1500");

    // Someone else's folder, and a link to it where the unpacked kext was.
    const juce::File others ("/Users/Someone Else");
    ASSERT_TRUE (others.getChildFile ("Documents/letter.txt").create());
    const uid_t otherUser = 4242;
    const gid_t otherGroup = 4242;
    auto entries = others.findChildFiles (juce::File::findFilesAndDirectories, true);
    entries.add (others);

    for (const auto& entry : entries)
        ASSERT_EQ (lchown (entry.getFullPathName().toRawUTF8(), otherUser, otherGroup), 0);

    const auto kext = payload2().getChildFile ("Library/Extensions/Avid00Family.kext");

    const auto results = runInstallJobWithDefaults ([&] {
        ASSERT_TRUE (testsupport::pumpUntil ([] { return host::readStateLines ("authorisation-requests").size() == 1; }));
        ASSERT_TRUE (host::readStateLines ("privileged-runs").isEmpty());
        ASSERT_TRUE (kext.deleteRecursively());
        ASSERT_TRUE (others.createSymbolicLink (kext, true));
    });
    ASSERT_FALSE (HasFatalFailure());

    // cp -R installs the link as a link, and chown -R changes the link itself.
    EXPECT_EQ (lines (results), "success");

    for (const auto& entry : entries)
    {
        struct stat info
        {};
        ASSERT_EQ (lstat (entry.getFullPathName().toRawUTF8(), &info), 0);
        EXPECT_EQ (info.st_uid, otherUser) << entry.getFullPathName();
        EXPECT_EQ (info.st_gid, otherGroup) << entry.getFullPathName();
    }

    others.deleteRecursively();
}

TEST_F (InHostInstallJob, EachFailureGivesItsOwnMessage)
{
    struct
    {
        const char* variant; // nullptr: nothing mounted
        const char* authorisation;
        const char* expected;
    } cases[] = {
        { nullptr, "grant 0", "Installer disk image not mounted" },
        { "no-package", "grant 0", "Could not copy installer" },
        { "package-not-archive", "grant 0", "Failed to expand package" },
        { "payload-not-archive", "grant 0", "Failed to extract archive" },
        { "good", "refuse 0", "Failed to install driver" },
        { "payload-missing-folder", "grant 0", "Failed to install driver" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.variant != nullptr ? c.variant : "nothing mounted");
        host::resetHost();
        host::setAuthorisation (c.authorisation);

        if (c.variant != nullptr)
            host::mountFixtureVolume (c.variant);

        const auto workingFolder = temporary.getChildFile ("003");
        ASSERT_TRUE (workingFolder.createDirectory());
        ASSERT_TRUE (workingFolder.getChildFile ("left over").replaceWithText ("from an earlier run"));

        EXPECT_EQ (lines (runInstallJobWithDefaults()), c.expected);
        EXPECT_TRUE (workingFolder.isDirectory());
        EXPECT_FALSE (workingFolder.getChildFile ("left over").exists());

        const auto refused = juce::String (c.authorisation).startsWith ("refuse");
        const auto reachedDialog = juce::String (c.expected) == "Failed to install driver";
        EXPECT_EQ (host::readStateLines ("authorisation-requests").size(), reachedDialog ? 1 : 0);
        EXPECT_EQ (host::readStateLines ("privileged-runs").size(), reachedDialog && ! refused ? 1 : 0);
    }

    // The copy of the missing folder was the script's first failing line, and
    // nothing after it ran.
    EXPECT_TRUE (juce::File ("/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}").isDirectory());
    EXPECT_FALSE (juce::File ("/Library/Audio/MIDI Drivers/Avid 003 Family.plugin").exists());
    EXPECT_FALSE (juce::File ("/Library/Extensions/Avid00Family.kext").exists());
    EXPECT_TRUE (host::readStateLines ("spctl-calls").isEmpty());
}

TEST_F (InHostInstallJob, MakesMissingDestinationFoldersAndStopsWhereAFileStandsInstead)
{
    for (auto* folder : { "/Library/Audio/MIDI Drivers", "/Library/Extensions", "/Library/LaunchAgents" })
    {
        const juce::File destination (folder);

        // As the simulated host has it, for the cases after this one.
        struct Restore
        {
            ~Restore()
            {
                destination.deleteRecursively();
                destination.createDirectory();
            }

            const juce::File destination;
        } restore { destination };

        {
            SCOPED_TRACE (juce::String (folder) + " missing");
            host::resetHost();
            host::mountFixtureVolume ("good");
            ASSERT_TRUE (destination.deleteRecursively());

            EXPECT_EQ (lines (runInstallJobWithDefaults()), "success");
            expectInstalled();
        }

        {
            SCOPED_TRACE (juce::String (folder) + " a plain file");
            host::resetHost();
            host::mountFixtureVolume ("good");
            ASSERT_TRUE (destination.deleteRecursively());
            ASSERT_TRUE (destination.replaceWithText ("not a folder"));

            EXPECT_EQ (lines (runInstallJobWithDefaults()), "Failed to install driver");
            EXPECT_TRUE (destination.existsAsFile());
            EXPECT_EQ (destination.loadFileAsString(), "not a folder");

            // It ended before its first copy.
            EXPECT_FALSE (juce::File ("/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}").exists());
        }
    }
}

TEST_F (InHostInstallJob, RootRunsTheComposedScriptWhateverBecomesOfTheFileMeanwhile)
{
    host::mountFixtureVolume ("good");
    host::setAuthorisation ("grant 1500");

    const auto scriptFile = temporary.getChildFile ("003/script.sh");
    const juce::File planted ("/Library/planted by the user");
    const auto script = composeInstallScript (payload2().getFullPathName());

    const auto results = runInstallJobWithDefaults ([&] {
        // The dialog is up, and nothing runs as root yet.
        ASSERT_TRUE (testsupport::pumpUntil ([] { return host::readStateLines ("authorisation-requests").size() == 1; }));
        EXPECT_EQ (scriptFile.loadFileAsString(), script);
        ASSERT_TRUE (scriptFile.replaceWithText ("touch \"" + planted.getFullPathName() + "\"\n", false, false, "\n"));
        ASSERT_TRUE (host::readStateLines ("privileged-runs").isEmpty());
    });
    ASSERT_FALSE (HasFatalFailure());

    EXPECT_EQ (lines (results), "success");
    expectInstalled();
    EXPECT_FALSE (planted.exists());
    EXPECT_EQ (lines (host::readStateLines ("privileged-runs")), lines ({ recordOfRootRunning (script) }));
    planted.deleteFile();
}

TEST_F (InHostInstallJob, WaitsForItsOwnShellOnlyAndNeverForAnotherChild)
{
    const auto pidFile = temporary.getChildFile ("tool.pid");

    // What runs in the shell's place, and what it says before the script
    // would start: nothing, or something that is not a process id. Those that
    // go on can't be waited for, so a waitpid on 0 or -1 would take the other
    // child's status.
    const juce::String goesOn = "echo $$ > \"$0.pid\"\necho %s\nexec sleep 60\n";

    struct
    {
        const char* tool;
        juce::String body; // empty: the real shell
        const char* expected;
    } cases[] = {
        { "the shell", {}, "success" },
        { "a tool that ends at once and says nothing", "exit 0\n", "Failed to install driver" },
        { "a tool that says 0 and goes on", goesOn.replace ("%s", "0"), "Failed to install driver" },
        { "a tool that says -1 and goes on", goesOn.replace ("%s", "-1"), "Failed to install driver" },
        { "a tool that says something else and goes on", goesOn.replace ("%s", "installing"), "Failed to install driver" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.tool);
        host::resetHost();
        host::mountFixtureVolume ("good");

        if (c.body.isNotEmpty())
        {
            const auto tool = temporary.getChildFile ("tool");
            ASSERT_TRUE (testsupport::writeShellScript (tool, c.body));
            ASSERT_TRUE (host::stateFile ("privileged-tool").replaceWithText (tool.getFullPathName()));
        }

        // Another child of ours, ended: waitpid with -1 or 0 would take its status.
        pid_t other = 0;
        char* const arguments[] = { const_cast<char*> ("true"), nullptr };
        ASSERT_EQ (posix_spawn (&other, "/bin/true", nullptr, nullptr, arguments, environ), 0);
        siginfo_t ended {};
        ASSERT_EQ (waitid (P_PID, (id_t) other, &ended, WEXITED | WNOWAIT), 0);

        // At once, once root's run has started: a tool that says no id is not waited for.
        const auto results = runInstallJobWithDefaults (
            [] { ASSERT_TRUE (testsupport::pumpUntil ([] { return host::readStateLines ("privileged-runs").size() == 1; }, 120000)); },
            20000);
        ASSERT_FALSE (HasFatalFailure());

        EXPECT_EQ (lines (results), c.expected);

        int status = -1;
        EXPECT_EQ (waitpid (other, &status, WNOHANG), other);
        EXPECT_TRUE (WIFEXITED (status) && WEXITSTATUS (status) == 0);

        if (pidFile.existsAsFile())
        {
            const auto tool = (pid_t) pidFile.loadFileAsString().getIntValue();
            kill (tool, SIGKILL);
            waitpid (tool, nullptr, 0);
            pidFile.deleteFile();
        }
    }
}

TEST_F (InHostInstallJob, AScriptStepThatPrintsAMegabyteStillInstalls)
{
    // A talkative spctl: far more than the stream holds, so the job must read
    // it for the script to go on.
    const auto bin = temporary.getChildFile ("chatty bin");
    ASSERT_TRUE (testsupport::writeShellScript (bin.getChildFile ("spctl"), "head -c 1048576 /dev/zero\nexec /opt/simulated-macos/bin/spctl \"$@\"\n"));

    const auto path = juce::SystemStats::getEnvironmentVariable ("PATH", {});
    setenv ("PATH", (bin.getFullPathName() + ":" + path).toRawUTF8(), 1);
    host::mountFixtureVolume ("good");

    EXPECT_EQ (lines (runInstallJobWithDefaults()), "success");
    setenv ("PATH", path.toRawUTF8(), 1);
    expectInstalled();
}

TEST_F (InHostInstallJob, ALeftOverPackageFolderIsGoneBeforeTheExpansion)
{
    // pkgutil refuses to expand into a folder that exists.
    const auto leftOver = payload2().getChildFile ("Library/Extensions/Avid00Family.kext/stale");
    ASSERT_TRUE (leftOver.getParentDirectory().createDirectory());
    ASSERT_TRUE (leftOver.replaceWithText ("from an earlier run"));
    host::mountFixtureVolume ("good");

    EXPECT_EQ (lines (runInstallJobWithDefaults()), "success");
    EXPECT_FALSE (leftOver.exists());
    expectInstalled();
}

TEST_F (InHostInstallJob, AwkwardCharactersInTheTemporaryFolderReachTheToolsUnchanged)
{
    temporary = juce::File::createFileWithoutCheckingPath ("/Users/Jo \"Q\" $HOME `id` back\\slash it's/Caches");
    host::useTemporaryFolder (temporary);
    host::mountFixtureVolume ("good");

    EXPECT_EQ (lines (runInstallJobWithDefaults()), "success");
    expectInstalled();
    EXPECT_EQ (juce::File::getCurrentWorkingDirectory(), payload2());
}

// Started with --spctl-fails: newer systems refuse the registration, which
// must not stop the installation.
class InHostInstallJobSpctlFails : public InHostInstallJob
{
};

TEST_F (InHostInstallJobSpctlFails, StillInstalls)
{
    ASSERT_TRUE (host::stateFile ("spctl-fail").exists());
    host::mountFixtureVolume ("good");

    EXPECT_EQ (lines (runInstallJobWithDefaults()), "success");
    expectInstalled();
}

TEST (InstallJobInSimulatedHost, EndToEnd)
{
    const juce::StringArray options;
    RUN_IN_SIMULATED_HOST (options, "InHostInstallJob.*:InHostInstallScript.*");
}

TEST (InstallJobInSimulatedHost, EndToEndWithSpctlFailing)
{
    const juce::StringArray options { "--spctl-fails" };
    RUN_IN_SIMULATED_HOST (options, "InHostInstallJobSpctlFails.*");
}

//==============================================================================
namespace
{
    /** Runs the script as the job has it run, with recording stand-ins for
        the tools it calls; returns the shell's exit code.
    */
    int runScriptWithRecordingTools (const juce::String& script, const juce::File& folder, const juce::String& failingTool)
    {
        const auto bin = folder.getChildFile ("bin");

        // Each call: the tool's name, then each argument in brackets, one a line.
        for (auto* tool : { "cp", "mkdir", "rm", "chown", "spctl" })
        {
            testsupport::writeShellScript (bin.getChildFile (tool),
                                           "log=\"" + folder.getChildFile ("calls").getFullPathName() + "\"\n"
                                               + "echo \"" + tool + " in $PWD\" >> \"$log\"\n"
                                               + "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> \"$log\"; done\n"
                                               + "[ \"$FAILING_TOOL\" != " + tool + " ]\n");
        }

        juce::ChildProcess shell;
        const auto path = bin.getFullPathName() + ":" + juce::SystemStats::getEnvironmentVariable ("PATH", {});

        if (! shell.start (juce::StringArray { "/usr/bin/env", "-C", "/", "PATH=" + path, "FAILING_TOOL=" + failingTool,
                                               "/bin/sh", "-e", "-c", script },
                           juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
            return -1;

        const auto output = shell.readAllProcessOutput();

        if (! output.isEmpty())
            std::cout << output << std::endl;

        shell.waitForProcessToFinish (10000);
        return (int) shell.getExitCode();
    }
}

TEST (InHostInstallScript, AwkwardPathsReachEachToolAsOneArgument)
{
    ASSERT_TRUE (host::insideSimulatedHost());

    const juce::String payload2 = "/Users/Jo \"Q\" $HOME `id` back\\slash it's/Payload2";
    const juce::File folder ("/var/tmp/install script round trip");
    folder.deleteRecursively();

    // spctl failing, as on newer systems, changes nothing.
    EXPECT_EQ (runScriptWithRecordingTools (composeInstallScript (payload2), folder, "spctl"), 0);

    juce::StringArray expected {
        "mkdir in /",
        "[-p]",
        "[/Library/Application Support/Avid]",
        "mkdir in /",
        "[-p]",
        "[/Library/Application Support/Digidesign]",
        "mkdir in /",
        "[-p]",
        "[/Library/Audio/MIDI Drivers]",
        "mkdir in /",
        "[-p]",
        "[/Library/Extensions]",
        "mkdir in /",
        "[-p]",
        "[/Library/LaunchAgents]",
        "cp in /",
        "[-R]",
        "[" + payload2 + "/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}]",
        "[/Library/Application Support/Avid]",
        "cp in /",
        "[-R]",
        "[" + payload2 + "/Library/Application Support/Digidesign/DHS]",
        "[/Library/Application Support/Digidesign]",
        "rm in /",
        "[-rf]",
        "[/Library/Audio/MIDI Drivers/Avid 003 Family.plugin]",
        "cp in /",
        "[-R]",
        "[" + payload2 + "/Library/Audio/MIDI Drivers/Avid 003 Family.plugin]",
        "[/Library/Audio/MIDI Drivers/Avid 003 Family.plugin]",
        "spctl in /",
        "[--add]",
        "[" + payload2 + "/Library/Extensions/Avid00Family.kext]",
        "rm in /",
        "[-rf]",
        "[/Library/Extensions/Avid00Family.kext]",
        "cp in /",
        "[-R]",
        "[" + payload2 + "/Library/Extensions/Avid00Family.kext]",
        "[/Library/Extensions/Avid00Family.kext]",
        "cp in /",
        "[" + payload2 + "/Library/LaunchAgents/com.avid.00family.helper.plist]",
        "[/Library/LaunchAgents]",
        "chown in /Library/Extensions",
        "[-R]",
        "[root:wheel]",
        "[Avid00Family.kext]",
    };

    juce::StringArray calls;
    calls.addLines (folder.getChildFile ("calls").loadFileAsString().trimEnd());
    EXPECT_EQ (lines (calls), lines (expected));

    // Any other failing line ends the script there, with a non-zero status.
    folder.getChildFile ("calls").deleteFile();
    EXPECT_NE (runScriptWithRecordingTools (composeInstallScript (payload2), folder, "cp"), 0);

    calls.clear();
    calls.addLines (folder.getChildFile ("calls").loadFileAsString().trimEnd());
    expected.removeRange (19, expected.size());
    EXPECT_EQ (lines (calls), lines (expected));

    folder.deleteRecursively();
}
