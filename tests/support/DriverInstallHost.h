#pragma once

#include <juce_core/juce_core.h>

#include <sys/types.h>

/** Helpers for the install cases that run inside the simulated host, where
    /Volumes, /Library and the stand-in's state folder are the private root's.
*/
namespace testsupport::installhost
{
    /** True inside sim/macos-host; the helpers below change /Library and
        /Volumes, so they do nothing anywhere else.
    */
    bool insideSimulatedHost();

    /** A file in the stand-in's state folder, /var/db/simulated-macos. */
    juce::File stateFile (const juce::String& name);

    /** The state file's lines (no trailing empty line); empty when it's missing. */
    juce::StringArray readStateLines (const juce::String& name);

    /** The simulated dialog's answer, e.g. "grant 0" or "refuse 0". */
    void setAuthorisation (const juce::String& answer);

    /** Empties /Volumes, removes what an install put into /Library and the
        records of earlier runs, and lets the dialog grant at once and the
        privileged run start the tool it names.
    */
    void resetHost();

    /** Mounts the fixture volume of this variant as /Volumes/Avid 003 Family. */
    void mountFixtureVolume (const juce::String& variant);

    /** Makes TMPDIR (which juce::File::tempDirectory follows) this folder,
        made where needed and, in the simulated host, owned by its user.
    */
    void useTemporaryFolder (const juce::File& folder);

    /** The simulated Mac's user, who runs the app: jo, group staff. */
    constexpr uid_t userId = 501;
    constexpr gid_t userGroupId = 20;
    juce::File userHome();

    /** This command, run as the user in a Mac app's environment: the user's
        home, the system's PATH (after pathPrefix, when given) and umask 022
        unless another is given. The rest of the environment is ours.
    */
    juce::StringArray asUser (const juce::StringArray& command, const juce::String& pathPrefix = {}, const juce::String& umask = "022");

    /** Runs the command as the user to its end; its exit code. */
    int runAsUser (const juce::StringArray& command);

    /** Gives the file, and everything in it, to the user, following no link. */
    void giveToUser (const juce::File& file);

    /** One line per entry of the five installed items under libraryFolder:
        relative path, type, permissions and, for files, a content hash.
    */
    juce::StringArray describeInstalledTree (const juce::File& libraryFolder);

    /** describeInstalledTree() of the fixture payload's own Library folder. */
    juce::StringArray describePayloadTree();

    /** True when every entry of the installed kext is owned by root:wheel. */
    bool kextOwnedByRootWheel();

    /** The temporary folder (with blanks in its path) the cases use. */
    juce::File blankTemporaryFolder();
}
