#include "jobs/InstallScript.h"

namespace
{
    // The path goes between double quotes, where the shell still expands
    // these four characters.
    juce::String escapeForDoubleQuotes (const juce::String& text)
    {
        juce::String escaped;

        for (auto c : text)
        {
            if (c == '"' || c == '\\' || c == '$' || c == '`')
                escaped << '\\';

            escaped << juce::String::charToString (c);
        }

        return escaped;
    }
}

juce::String composeInstallScript (const juce::String& payload2Path)
{
    const auto payload = escapeForDoubleQuotes (payload2Path);

    // Every destination folder is made first: cp into a folder that isn't
    // there would put the copy in its place. mkdir -p fails where a file
    // stands instead, and so the script ends before it has copied anything.
    // Both bundles, the plug-in and the kext, are removed and then copied
    // whole to their own paths: a copy onto an older bundle would keep the
    // files that only the older version had, and break its seal.
    // The payload lies in the user's own folder, where any of their processes
    // can put a link in the kext's place while the dialog waits: cp -R copies
    // the link as a link, and chown -R follows none, unless a trailing "/"
    // makes the system resolve the one it is named.
    juce::String script;
    script << "#!/bin/sh -e\n"
           << "mkdir -p \"/Library/Application Support/Avid\"\n"
           << "mkdir -p \"/Library/Application Support/Digidesign\"\n"
           << "mkdir -p \"/Library/Audio/MIDI Drivers\"\n"
           << "mkdir -p \"/Library/Extensions\"\n"
           << "mkdir -p \"/Library/LaunchAgents\"\n"
           << "cp -R \"" << payload << "/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}\" \"/Library/Application Support/Avid\"\n"
           << "cp -R \"" << payload << "/Library/Application Support/Digidesign/DHS\" \"/Library/Application Support/Digidesign\"\n"
           << "rm -rf \"/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\"\n"
           << "cp -R \"" << payload << "/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\" \"/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\"\n"
           // macOS 15 and later refuse changes to this rule database.
           << "spctl --add \"" << payload << "/Library/Extensions/Avid00Family.kext\" || true\n"
           << "rm -rf \"/Library/Extensions/Avid00Family.kext\"\n"
           << "cp -R \"" << payload << "/Library/Extensions/Avid00Family.kext\" \"/Library/Extensions/Avid00Family.kext\"\n"
           << "cp \"" << payload << "/Library/LaunchAgents/com.avid.00family.helper.plist\" \"/Library/LaunchAgents\"\n"
           << "cd \"/Library/Extensions\"\n"
           << "chown -R root:wheel \"Avid00Family.kext\"\n";
    return script;
}
