#include "support/DriverInstallHost.h"

#include "support/CommandRun.h"
#include "support/SimulatedHost.h"

#include <cstdlib>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport::installhost
{
    namespace
    {
        const char* const installedItems[] = {
            "Application Support/Avid",
            "Application Support/Digidesign",
            "Audio/MIDI Drivers/Avid 003 Family.plugin",
            "Extensions/Avid00Family.kext",
            "LaunchAgents/com.avid.00family.helper.plist",
        };

        juce::String describeEntry (const juce::File& entry, const juce::String& relativePath)
        {
            struct stat info
            {};

            if (lstat (entry.getFullPathName().toRawUTF8(), &info) != 0)
                return relativePath + " missing";

            const auto permissions = juce::String::formatted ("%04o", (unsigned int) (info.st_mode & 07777));

            if (S_ISDIR (info.st_mode))
                return relativePath + " dir " + permissions;

            if (S_ISREG (info.st_mode))
                return relativePath + " file " + permissions + " "
                       + juce::String (entry.getSize()) + " " + juce::String (entry.loadFileAsString().hashCode64());

            return relativePath + " other " + permissions;
        }
    }

    bool insideSimulatedHost()
    {
        return juce::File ("/var/db/simulated-macos").isDirectory()
               && juce::File ("/usr/libexec/security_authtrampoline").existsAsFile();
    }

    juce::File stateFile (const juce::String& name)
    {
        return juce::File ("/var/db/simulated-macos").getChildFile (name);
    }

    juce::StringArray readStateLines (const juce::String& name)
    {
        juce::StringArray lines;
        lines.addLines (stateFile (name).loadFileAsString());

        while (! lines.isEmpty() && lines[lines.size() - 1].isEmpty())
            lines.remove (lines.size() - 1);

        return lines;
    }

    void setAuthorisation (const juce::String& answer)
    {
        stateFile ("authorisation").replaceWithText (answer + "\n", false, false, "\n");
    }

    void resetHost()
    {
        if (! insideSimulatedHost())
            return;

        for (const auto& volume : juce::File ("/Volumes").findChildFiles (juce::File::findFilesAndDirectories, false))
            volume.deleteRecursively();

        for (auto* item : installedItems)
            juce::File ("/Library").getChildFile (item).deleteRecursively();

        for (auto* record : { "spctl-calls", "privileged-runs", "authorisation-requests", "privileged-tool" })
            stateFile (record).deleteFile();

        setAuthorisation ("grant 0");
    }

    void mountFixtureVolume (const juce::String& variant)
    {
        if (! insideSimulatedHost())
            return;

        const auto source = fixturesFolder().getChildFile ("volumes").getChildFile (variant).getChildFile ("Avid 003 Family");
        jassert (source.isDirectory());
        source.copyDirectoryTo (juce::File ("/Volumes/Avid 003 Family"));
    }

    void useTemporaryFolder (const juce::File& folder)
    {
        // The outermost folder made here, or the folder itself.
        auto top = folder;

        while (! top.getParentDirectory().exists() && top.getParentDirectory() != top)
            top = top.getParentDirectory();

        folder.createDirectory();

        // What is made here belongs to the app's user, as a Mac's own do.
        if (insideSimulatedHost())
            giveToUser (top);

        setenv ("TMPDIR", folder.getFullPathName().toRawUTF8(), 1);
    }

    juce::File userHome()
    {
        return juce::File ("/Users/jo");
    }

    juce::StringArray asUser (const juce::StringArray& command, const juce::String& pathPrefix, const juce::String& umask)
    {
        juce::StringArray wrapped { "setpriv", "--reuid=" + juce::String (userId), "--regid=" + juce::String (userGroupId), "--init-groups",
                                    "env", "HOME=" + userHome().getFullPathName(), "USER=jo", "LOGNAME=jo",
                                    "PATH=" + pathPrefix + (pathPrefix.isEmpty() ? "" : ":") + "/usr/bin:/bin:/usr/sbin:/sbin",
                                    "/bin/sh", "-c", "umask " + umask + "; exec \"$@\"", "sh" };
        wrapped.addArray (command);
        return wrapped;
    }

    int runAsUser (const juce::StringArray& command)
    {
        return runWithTimeLimit (asUser (command), 60000, 0).exitCode;
    }

    void giveToUser (const juce::File& file)
    {
        struct stat info
        {};

        if (lstat (file.getFullPathName().toRawUTF8(), &info) != 0)
            return;

        juce::ignoreUnused (lchown (file.getFullPathName().toRawUTF8(), userId, userGroupId));

        if (S_ISDIR (info.st_mode))
            for (const auto& child : file.findChildFiles (juce::File::findFilesAndDirectories, false))
                giveToUser (child);
    }

    juce::StringArray describeInstalledTree (const juce::File& libraryFolder)
    {
        juce::StringArray lines;

        for (auto* item : installedItems)
        {
            const auto top = libraryFolder.getChildFile (item);
            lines.add (describeEntry (top, item));

            if (top.isSymbolicLink() || ! top.isDirectory())
                continue;

            juce::StringArray inner;

            for (const auto& entry : top.findChildFiles (juce::File::findFilesAndDirectories, true, "*", juce::File::FollowSymlinks::no))
                inner.add (describeEntry (entry, juce::String (item) + "/" + entry.getRelativePathFrom (top)));

            inner.sort (false);
            lines.addArray (inner);
        }

        return lines;
    }

    juce::StringArray describePayloadTree()
    {
        return describeInstalledTree (fixturesFolder().getChildFile ("payload-tree/Library"));
    }

    bool kextOwnedByRootWheel()
    {
        const auto* wheel = getgrnam ("wheel");

        if (wheel == nullptr)
            return false;

        const juce::File kext ("/Library/Extensions/Avid00Family.kext");
        auto entries = kext.findChildFiles (juce::File::findFilesAndDirectories, true, "*", juce::File::FollowSymlinks::no);
        entries.add (kext);

        for (const auto& entry : entries)
        {
            struct stat info
            {};

            if (lstat (entry.getFullPathName().toRawUTF8(), &info) != 0 || info.st_uid != 0 || info.st_gid != wheel->gr_gid)
                return false;
        }

        return true;
    }

    juce::File blankTemporaryFolder()
    {
        // Where the app's temporary folder is on a Mac.
        return userHome().getChildFile ("Library/Caches/Vantry Driver Helper");
    }
}
