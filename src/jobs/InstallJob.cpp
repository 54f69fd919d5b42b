#include "jobs/InstallJob.h"

#include "jobs/InstallScript.h"
#include "platform/Authorization.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
    const char* const workingFolderName = "003";
    const char* const packageName = "Avid 003 Family Installer.pkg";
    const char* const expandCommand = "pkgutil --expand Avid\\ 003\\ Family\\ Installer.pkg pkg";
    const char* const payload2Path = "pkg/com.avid.00family.macos.installer_0.pkg/Payload2";
    const char* const payloadPath = "pkg/com.avid.00family.macos.installer_0.pkg/Payload";
    const char* const scriptName = "script.sh";
    const char* const adminRight = "system.privilege.admin";
    const char* const successText = "success";

    const char* const rootShellCommand = "PATH=/usr/bin:/bin:/usr/sbin:/sbin; export PATH; umask 022; exec < /dev/null; "
                                         "echo $$; exec /bin/sh -p -e -c \"$1\"";

    // bsdtar keeps the archive's modes, so an earlier run can leave folders
    // that even their owner may not delete from.
    void allowDeletion (const juce::File& file)
    {
        const auto path = file.getFullPathName();
        struct stat info
        {};

        if (lstat (path.toRawUTF8(), &info) != 0 || ! S_ISDIR (info.st_mode))
            return;

        if ((info.st_mode & S_IRWXU) != S_IRWXU)
            juce::ignoreUnused (chmod (path.toRawUTF8(), (info.st_mode & 07777) | S_IRWXU));

        for (const auto& child : file.findChildFiles (juce::File::findDirectories, false))
            allowDeletion (child);
    }

    // Between single quotes only a single quote needs care: end the quoted
    // part, put an escaped quote, and start a new one.
    juce::String quoteForShell (const juce::String& text)
    {
        return "'" + text.replace ("'", "'\\''") + "'";
    }

    // The first line on the stream: the shell's id in decimal. Anything else,
    // or the end of the stream before a whole line, gives 0.
    pid_t readProcessId (int fd)
    {
        pid_t pid = 0;
        int digits = 0;

        for (;;)
        {
            char c = 0;
            const auto bytesRead = read (fd, &c, 1);

            if (bytesRead < 0 && errno == EINTR)
                continue;

            if (bytesRead != 1)
                return 0;

            if (c == '\n')
                return pid;

            // Nine digits can't overflow, and no system has ids that long.
            if (c < '0' || c > '9' || ++digits > 9)
                return 0;

            pid = pid * 10 + (c - '0');
        }
    }

    // What the script prints is of no interest, but it must be read: a full
    // stream would block the script.
    void readToEnd (int fd)
    {
        char buffer[4096];

        for (;;)
        {
            const auto bytesRead = read (fd, buffer, sizeof (buffer));

            if (bytesRead == 0 || (bytesRead < 0 && errno != EINTR))
                return;
        }
    }
}

InstallJob::InstallJob (Callback completionCallback, const juce::File& volumesFolder, const juce::File& temporaryFolder)
    : juce::Thread ("installJob")
    , callback (std::move (completionCallback))
    , volumes (volumesFolder)
    , temporary (temporaryFolder)
{
}

InstallJob::~InstallJob()
{
    // The thread uses our members until it ends, and juce::Thread's own
    // destructor runs only after they are gone.
    stopThread (-1);
}

void InstallJob::run()
{
    const auto volume = findDriverVolume (volumes);

    const auto workingFolder = temporary.getChildFile (workingFolderName);
    allowDeletion (workingFolder);
    workingFolder.deleteRecursively();
    workingFolder.createDirectory();

    if (! volume.isDirectory())
        return fail ("Installer disk image not mounted");

    if (! volume.getChildFile (packageName).copyFileTo (workingFolder.getChildFile (packageName)))
        return fail ("Could not copy installer");

    juce::ignoreUnused (chdir (workingFolder.getFullPathName().toRawUTF8()));

    if (std::system (expandCommand) != 0)
        return fail ("Failed to expand package");

    const auto payload2 = workingFolder.getChildFile (payload2Path);
    payload2.createDirectory();
    juce::ignoreUnused (chdir (payload2.getFullPathName().toRawUTF8()));

    const auto unpackCommand = "tar -xvf " + quoteForShell (workingFolder.getChildFile (payloadPath).getFullPathName());

    if (std::system (unpackCommand.toRawUTF8()) != 0)
        return fail ("Failed to extract archive");

    const auto script = composeInstallScript (payload2.getFullPathName());

    // Only a record of what root runs: any of the user's processes could
    // rewrite it while the dialog waits, so root is handed the text itself.
    workingFolder.getChildFile (scriptName).replaceWithData (script.toRawUTF8(), script.getNumBytesAsUTF8());

    if (! runScriptAsRoot (script))
        return fail ("Failed to install driver");

    ok (successText);
}

bool InstallJob::runScriptAsRoot (const juce::String& script)
{
    char tool[] = "/bin/sh";

    // The system doesn't tell us the tool's process id, so the shell prints
    // its own and then becomes the script's shell, which keeps the id. "-e":
    // the script's "#!/bin/sh -e" is only a comment here, and the shell would
    // otherwise run on past a failed line.
    // The shell has effective uid 0 but our real uid, and dash drops root
    // then unless given "-p". The rest of what it inherits from us is ours
    // to change: root runs only the system's tools, creates nothing that
    // others may write, and reads nothing from the stream.
    const juce::StringArray arguments { "-p", "-c", rootShellCommand, "sh", script };
    std::vector<char*> argv;

    for (const auto& argument : arguments)
        argv.push_back (const_cast<char*> (argument.toRawUTF8()));

    argv.push_back (nullptr);

    AuthorizationItem right { adminRight, sizeof (tool) - 1, tool, 0 };
    AuthorizationRights rights { 1, &right };

    AuthorizationRef authorization = nullptr;

    if (AuthorizationCreate (nullptr, nullptr, kAuthorizationFlagDefaults, &authorization) != errAuthorizationSuccess)
        return false;

    const AuthorizationFlags flags = kAuthorizationFlagInteractionAllowed
                                     | kAuthorizationFlagExtendRights
                                     | kAuthorizationFlagPreAuthorize;

    FILE* stream = nullptr;
    auto result = AuthorizationCopyRights (authorization, &rights, nullptr, flags, nullptr);

    if (result == errAuthorizationSuccess)
    {
        // Deprecated since macOS 10.7, yet still the one way to run a tool as
        // root without installing a helper.
        JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
        result = AuthorizationExecuteWithPrivileges (authorization, tool, kAuthorizationFlagDefaults, argv.data(), &stream);
        JUCE_END_IGNORE_WARNINGS_GCC_LIKE
    }

    AuthorizationFree (authorization, kAuthorizationFlagDefaults);

    if (result != errAuthorizationSuccess || stream == nullptr)
        return false;

    const auto fd = fileno (stream);
    const auto pid = readProcessId (fd);

    // Without the id there is nobody to wait for: waitpid on -1 or 0 would
    // take some other child's status.
    if (pid <= 0)
    {
        std::fclose (stream);
        return false;
    }

    readToEnd (fd);

    int status = 0;
    pid_t waited = 0;

    while ((waited = waitpid (pid, &status, 0)) < 0 && errno == EINTR)
    {
    }

    std::fclose (stream);

    return waited == pid && WIFEXITED (status) && WEXITSTATUS (status) == 0;
}

void InstallJob::ok (const juce::String& text)
{
    juce::MessageManager::callAsync ([function = callback, text] { function (text); });
}

void InstallJob::fail (const juce::String& message)
{
    juce::MessageManager::callAsync ([function = callback, message] { function (message); });
}
