#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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
// private root's. The job runs as in the app: in a process of the Mac's user,
// with its real defaults (/Volumes, and the temporary folder that TMPDIR
// names), reaching root only through the system's trampoline.
namespace
{
    const juce::String payload2Path = "003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2";

    /** The stand-in's record of root running this script as the job has it run. */
    juce::String recordOfRootRunning (const juce::String& script)
    {
        return ("/bin/sh -p -c PATH=/usr/bin:/bin:/usr/sbin:/sbin; export PATH; umask 022; exec < /dev/null; "
                "echo $$; exec /bin/sh -p -e -c \"$1\" sh "
                + script)
            .replace ("\\", "\\\\")
            .replace ("\n", "\\n");
    }

    /** What a job in a process of the user's reported. */
    struct UserRun
    {
        juce::StringArray results;
        juce::String directory;
    };

    /** Where an earlier install's links point: something of the system's. */
    const juce::File behindLinks ("/Library/LaunchDaemons");

    /** Every entry under the folder, following no link: its path, type and,
        for files, a content hash; for links, the target.
    */
    juce::StringArray describeFolder (const juce::File& folder)
    {
        juce::StringArray lines;

        for (const auto& entry : folder.findChildFiles (juce::File::findFilesAndDirectories, true, "*", juce::File::FollowSymlinks::no))
        {
            const auto path = entry.getRelativePathFrom (folder);

            if (entry.isSymbolicLink())
                lines.add (path + " -> " + entry.getNativeLinkedTarget());
            else if (entry.isDirectory())
                lines.add (path + " dir");
            else
                lines.add (path + " " + juce::String (entry.loadFileAsString().hashCode64()));
        }

        lines.sort (false);
        return lines;
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

        /** Runs one job to its end in a process of the user's whose PATH
            has pathPrefix before the system's folders. Meanwhile, when
            given, runs once that process has started.
        */
        static UserRun runJobAsUser (const std::function<void()>& meanwhile = {}, const juce::String& pathPrefix = {},
                                     const juce::String& umask = "022")
        {
            testsupport::CommandRun run;
            const auto command = host::asUser ({ VANTRY_USER_PROCESS_BINARY, "install" }, pathPrefix, umask);
            std::thread process ([&] { run = testsupport::runWithTimeLimit (command, 120000); });

            if (meanwhile)
                meanwhile();

            process.join();

            // What it printed, a sanitizer's or JUCE's report included, is this test's.
            std::cout << run.output << std::flush;
            EXPECT_FALSE (run.timedOut);
            EXPECT_EQ (run.exitCode, 0);

            UserRun reported;

            for (const auto& line : juce::StringArray::fromLines (run.output))
            {
                if (line.startsWith ("result: "))
                    reported.results.add (line.fromFirstOccurrenceOf ("result: ", false, false));
                else if (line.startsWith ("directory: "))
                    reported.directory = line.fromFirstOccurrenceOf ("directory: ", false, false);
            }

            return reported;
        }

        /** Runs one job to its end in this process, which is root's. */
        static juce::StringArray runJobInThisProcess (const std::function<void()>& meanwhile, int resultLimitMs)
        {
            juce::StringArray results;

            {
                InstallJob job ([&results] (const juce::String& result) { results.add (result); });
                EXPECT_TRUE (job.startThread());
                meanwhile();
                EXPECT_TRUE (testsupport::pumpUntil ([&] { return ! results.isEmpty(); }, resultLimitMs));
            }

            EXPECT_TRUE (testsupport::deliverQueuedMessages());
            return results;
        }

        void expectInstalled (const juce::StringArray& alsoInstalled = {}) const
        {
            auto expected = host::describePayloadTree();
            expected.addArray (alsoInstalled);
            expected.sort (false);

            auto installed = host::describeInstalledTree (juce::File ("/Library"));
            installed.sort (false);

            EXPECT_EQ (lines (installed), lines (expected));
            EXPECT_TRUE (host::kextOwnedByRootWheel());
            EXPECT_EQ (lines (host::readStateLines ("spctl-calls")),
                       lines ({ "--add " + payload2().getFullPathName() + "/Library/Extensions/Avid00Family.kext" }));
        }

        /** Has a process of the user's put a link to target where the item was. */
        static void swapForALinkAsTheUser (const juce::File& item, const juce::File& target)
        {
            EXPECT_EQ (host::runAsUser ({ "/bin/sh", "-c", "rm -rf \"$1\" && ln -s \"$2\" \"$1\"", "sh", item.getFullPathName(), target.getFullPathName() }), 0);
        }

        static bool dialogShown()
        {
            return testsupport::pumpUntil ([] { return host::readStateLines ("authorisation-requests").size() == 1; });
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
             EXPECT_EQ (lines (runJobAsUser().results), "success");
         } },
        { "a second run after one that left read-only folders", [this] {
             EXPECT_EQ (lines (runJobAsUser().results), "success");

             // As bsdtar leaves a payload whose archive has such folders.
             auto folders = payload2().findChildFiles (juce::File::findDirectories, true);
             folders.add (payload2());

             for (const auto& folder : folders)
                 ASSERT_EQ (chmod (folder.getFullPathName().toRawUTF8(), 0555), 0);
         } },
    };

    for (const auto& s : situations)
    {
        SCOPED_TRACE (s.situation);
        host::resetHost();
        host::mountFixtureVolume ("good");
        s.prepare();
        ASSERT_FALSE (testing::Test::HasFatalFailure());

        for (auto* record : { "spctl-calls", "privileged-runs", "authorisation-requests" })
            host::stateFile (record).deleteFile();

        const auto run = runJobAsUser();
        EXPECT_EQ (lines (run.results), "success");
        expectInstalled();

        // Root was handed the script's text, after one request for the right.
        EXPECT_EQ (lines (host::readStateLines ("privileged-runs")),
                   lines ({ recordOfRootRunning (composeInstallScript (payload2().getFullPathName())) }));
        EXPECT_EQ (lines (host::readStateLines ("authorisation-requests")), "system.privilege.admin /bin/sh 19");
        EXPECT_EQ (run.directory, payload2().getFullPathName());
    }
}

TEST_F (InHostInstallJob, RootRunsOnlyTheSystemsToolsAndMakesNothingOthersMayWrite)
{
    // Look-alikes in a folder of the user's: each notes who runs it, and then
    // does the real tool's work.
    const auto bin = host::userHome().getChildFile ("bin");
    const auto log = host::userHome().getChildFile ("look-alikes.log");

    for (auto* tool : { "cp", "mkdir", "rm", "chown", "find", "spctl" })
        ASSERT_TRUE (testsupport::writeShellScript (bin.getChildFile (tool),
                                                    "echo \"" + juce::String (tool) + " $(id -u)\" >> \"" + log.getFullPathName() + "\"\n"
                                                        + "PATH=/usr/bin:/bin:/usr/sbin:/sbin exec " + tool + " \"$@\"\n"));

    host::giveToUser (bin);

    struct
    {
        const char* situation;
        juce::String pathPrefix, umask;
    } situations[] = {
        { "look-alikes first on the app's PATH", bin.getFullPathName(), "022" },
        // Root would make /Library's folders writable for everyone.
        { "an app whose umask is 000", {}, "000" },
    };

    for (const auto& s : situations)
    {
        SCOPED_TRACE (s.situation);
        host::resetHost();
        host::mountFixtureVolume ("good");
        log.deleteFile();

        EXPECT_EQ (lines (runJobAsUser ({}, s.pathPrefix, s.umask).results), "success");
        expectInstalled();

        // The user's own steps ran them; root never did.
        const auto calls = juce::StringArray::fromLines (log.loadFileAsString().trimEnd());
        EXPECT_EQ (calls.isEmpty(), s.pathPrefix.isEmpty()) << lines (calls);

        for (const auto& call : calls)
            EXPECT_FALSE (call.endsWith (" 0")) << call;
    }
}

TEST_F (InHostInstallJob, NothingSwappedForALinkMeanwhileReachesRoot)
{
    // Someone else's folder, and a file only root may read.
    const juce::File others ("/Users/Someone Else");
    ASSERT_TRUE (others.getChildFile ("Documents/letter.txt").create());
    const uid_t otherUser = 4242;
    const gid_t otherGroup = 4242;
    auto othersEntries = others.findChildFiles (juce::File::findFilesAndDirectories, true);
    othersEntries.add (others);

    for (const auto& entry : othersEntries)
        ASSERT_EQ (lchown (entry.getFullPathName().toRawUTF8(), otherUser, otherGroup), 0);

    const juce::File secret ("/private/var/root/secret.txt");
    const juce::String secretText = "root's own: 7d1f0c2a";
    ASSERT_TRUE (secret.create() && secret.replaceWithText (secretText));
    ASSERT_EQ (chmod (secret.getParentDirectory().getFullPathName().toRawUTF8(), 0700), 0);
    ASSERT_EQ (chmod (secret.getFullPathName().toRawUTF8(), 0600), 0);

    struct
    {
        const char* swapped;
        juce::String item;
        juce::File target;
        std::function<void()> check;
    } cases[] = {
        // cp -R installs the link as a link, and chown -R changes the link itself.
        { "the kext, for a link to someone else's folder", "Library/Extensions/Avid00Family.kext", others, [&] {
             for (const auto& entry : othersEntries)
             {
                 struct stat info
                 {};
                 ASSERT_EQ (lstat (entry.getFullPathName().toRawUTF8(), &info), 0);
                 EXPECT_EQ (info.st_uid, otherUser) << entry.getFullPathName();
                 EXPECT_EQ (info.st_gid, otherGroup) << entry.getFullPathName();
             }
         } },
        // Over an earlier install's launch agent, whose mode anyone may read.
        { "the launch agent, for a link to a file only root may read", "Library/LaunchAgents/com.avid.00family.helper.plist", secret, [&] {
             for (const auto& file : juce::File ("/Library").findChildFiles (juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
             {
                 if (! file.isSymbolicLink())
                 {
                     EXPECT_FALSE (file.loadFileAsString().contains (secretText)) << file.getFullPathName();
                 }
             }
         } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.swapped);
        host::resetHost();
        host::mountFixtureVolume ("good");
        host::setAuthorisation ("grant 1500");

        const auto earlier = juce::File ("/Library/LaunchAgents/com.avid.00family.helper.plist");
        ASSERT_TRUE (earlier.replaceWithText ("<plist>earlier</plist>"));
        ASSERT_EQ (chmod (earlier.getFullPathName().toRawUTF8(), 0644), 0);

        const auto results = runJobAsUser ([&] {
                                 // The dialog is up, and nothing runs as root yet.
                                 ASSERT_TRUE (dialogShown());
                                 ASSERT_TRUE (host::readStateLines ("privileged-runs").isEmpty());
                                 swapForALinkAsTheUser (payload2().getChildFile (c.item), c.target);
                             })
                                 .results;
        ASSERT_FALSE (HasFatalFailure());

        EXPECT_EQ (lines (results), "success");
        EXPECT_TRUE (juce::File ("/").getChildFile (c.item).isSymbolicLink());
        c.check();
    }

    others.deleteRecursively();
    secret.deleteFile();
}

TEST_F (InHostInstallJob, LinksAnEarlierInstallLeftInTheVendorTreesGoBeforeTheCopy)
{
    const juce::File avid ("/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}");
    const juce::File dhs ("/Library/Application Support/Digidesign/DHS");

    const auto link = [] (const juce::File& at, const juce::File& target) {
        ASSERT_TRUE (at.getParentDirectory().createDirectory());
        ASSERT_TRUE (target.createSymbolicLink (at, true));
    };

    struct
    {
        const char* situation;
        std::function<void()> plant;
        juce::StringArray alsoInstalled;
    } situations[] = {
        { "links inside the trees where the payload has a folder and a file, and where it has nothing", [&] {
             link (dhs.getChildFile ("Resources"), behindLinks);
             link (dhs.getChildFile ("Notes.txt"), behindLinks.getChildFile ("com.example.daemon.plist"));
             link (avid.getChildFile ("Resources"), behindLinks);
             // A payload changed while root copies could have something
             // there by the time the copy comes to it.
             link (dhs.getChildFile ("Only Installed Link"), behindLinks);
             // A file that only the installed tree has stays.
             ASSERT_TRUE (dhs.getChildFile ("Only Installed.txt").replaceWithText ("installed"));
         },
          { "Application Support/Digidesign/DHS/Only Installed.txt file 0644 9 " + juce::String (juce::String ("installed").hashCode64()) } },
        { "a tree that is itself a link", [&] {
             link (avid, behindLinks);
             link (dhs, behindLinks);
         },
          {} },
    };

    for (const auto& s : situations)
    {
        SCOPED_TRACE (s.situation);
        host::resetHost();
        host::mountFixtureVolume ("good");
        behindLinks.deleteRecursively();
        ASSERT_TRUE (behindLinks.createDirectory() && behindLinks.getChildFile ("com.example.daemon.plist").replaceWithText ("<plist>the system's</plist>"));
        const auto behind = describeFolder (behindLinks);

        s.plant();
        ASSERT_FALSE (HasFatalFailure());

        EXPECT_EQ (lines (runJobAsUser().results), "success");
        expectInstalled (s.alsoInstalled);
        EXPECT_EQ (lines (describeFolder (behindLinks)), lines (behind));
    }

    behindLinks.deleteRecursively();
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
        ASSERT_TRUE (workingFolder.createDirectory() && workingFolder.getChildFile ("left over").replaceWithText ("from an earlier run"));
        host::giveToUser (workingFolder);

        EXPECT_EQ (lines (runJobAsUser().results), c.expected);
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

            EXPECT_EQ (lines (runJobAsUser().results), "success");
            expectInstalled();
        }

        {
            SCOPED_TRACE (juce::String (folder) + " a plain file");
            host::resetHost();
            host::mountFixtureVolume ("good");
            ASSERT_TRUE (destination.deleteRecursively());
            ASSERT_TRUE (destination.replaceWithText ("not a folder"));

            EXPECT_EQ (lines (runJobAsUser().results), "Failed to install driver");
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

    const auto results = runJobAsUser ([&] {
                             // The dialog is up, and nothing runs as root yet.
                             ASSERT_TRUE (dialogShown());
                             EXPECT_EQ (scriptFile.loadFileAsString(), script);
                             ASSERT_EQ (host::runAsUser ({ "/bin/sh", "-c", "printf 'touch \"%s\"\\n' \"$2\" > \"$1\"", "sh",
                                                           scriptFile.getFullPathName(), planted.getFullPathName() }),
                                        0);
                             ASSERT_TRUE (scriptFile.loadFileAsString().startsWith ("touch"));
                             ASSERT_TRUE (host::readStateLines ("privileged-runs").isEmpty());
                         })
                             .results;
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
        const auto results = runJobInThisProcess (
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

TEST_F (InHostInstallJob, AScriptStepThatReadsItsInputAndPrintsAMegabyteStillInstalls)
{
    // A talkative spctl in the system's own place, which reads its input to
    // the end first: that must not be the stream, which the job never ends.
    // Then far more than the stream holds, so the job must read it for the
    // script to go on.
    const juce::File spctl ("/usr/sbin/spctl"), quiet ("/usr/sbin/spctl.quiet");
    ASSERT_TRUE (spctl.moveFileTo (quiet));

    struct Restore
    {
        ~Restore()
        {
            spctl.deleteFile();
            quiet.moveFileTo (spctl);
        }

        const juce::File spctl, quiet;
    } restore { spctl, quiet };

    ASSERT_TRUE (testsupport::writeShellScript (spctl, "cat > /dev/null\nhead -c 1048576 /dev/zero\nexec " + quiet.getFullPathName() + " \"$@\"\n"));
    host::mountFixtureVolume ("good");

    EXPECT_EQ (lines (runJobAsUser().results), "success");
    expectInstalled();
}

TEST_F (InHostInstallJob, ALeftOverPackageFolderIsGoneBeforeTheExpansion)
{
    // pkgutil refuses to expand into a folder that exists.
    const auto leftOver = payload2().getChildFile ("Library/Extensions/Avid00Family.kext/stale");
    ASSERT_TRUE (leftOver.getParentDirectory().createDirectory());
    ASSERT_TRUE (leftOver.replaceWithText ("from an earlier run"));
    host::giveToUser (temporary);
    host::mountFixtureVolume ("good");

    EXPECT_EQ (lines (runJobAsUser().results), "success");
    EXPECT_FALSE (leftOver.exists());
    expectInstalled();
}

TEST_F (InHostInstallJob, AwkwardCharactersInTheTemporaryFolderReachTheToolsUnchanged)
{
    temporary = juce::File::createFileWithoutCheckingPath ("/Users/Jo \"Q\" $HOME `id` back\\slash it's/Caches");
    host::useTemporaryFolder (temporary);
    host::mountFixtureVolume ("good");

    const auto run = runJobAsUser();
    EXPECT_EQ (lines (run.results), "success");
    expectInstalled();
    EXPECT_EQ (run.directory, payload2().getFullPathName());
    temporary.getParentDirectory().deleteRecursively();
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

    EXPECT_EQ (lines (runJobAsUser().results), "success");
    expectInstalled();
}

// A Mac's /bin/sh is the shell its owner chose: bash unless they chose dash
// or zsh.
TEST (InstallJobInSimulatedHost, EndToEndWithBashAsSh)
{
    const juce::StringArray options { "--sh", "bash" };
    RUN_IN_SIMULATED_HOST (options, "InHostInstallJob.*:InHostInstallScript.*");
}

TEST (InstallJobInSimulatedHost, EndToEndWithDashAsSh)
{
    const juce::StringArray options { "--sh", "dash" };
    RUN_IN_SIMULATED_HOST (options, "InHostInstallJob.*");
}

TEST (InstallJobInSimulatedHost, EndToEndWithZshAsSh)
{
    const juce::StringArray options { "--sh", "zsh" };
    RUN_IN_SIMULATED_HOST (options, "InHostInstallJob.*");
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
    host::resetHost();

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
        "rm in /",
        "[-f]",
        "[/Library/LaunchAgents/com.avid.00family.helper.plist]",
        "cp in /",
        "[-R]",
        "[" + payload2 + "/Library/LaunchAgents/com.avid.00family.helper.plist]",
        "[/Library/LaunchAgents/com.avid.00family.helper.plist]",
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
