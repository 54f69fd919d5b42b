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
    // The two vendor folders are merged into what is installed, but cp -R
    // would write through a link it finds there (BSD's cp follows it). An
    // earlier install can have left links there, copied from a payload the
    // user's processes could change, so every one of them goes first: which
    // of them the copy would meet depends on that payload too.
    // Both bundles, the plug-in and the kext, are removed and then copied
    // whole to their own paths: a copy onto an older bundle would keep the
    // files that only the older version had, and break its seal.
    // The payload lies in the user's own folder, where any of their processes
    // can put a link in place of what root copies while the dialog waits:
    // cp -R copies a link as a link (a plain cp would copy what it points
    // to), and chown -R follows none, unless a trailing "/" makes the system
    // resolve the one it is named.
    const auto avid = "/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}";
    const auto dhs = "/Library/Application Support/Digidesign/DHS";

    juce::String script;
    script << "#!/bin/sh -e\n"
           << "remove_links () { if [ -e \"$1\" ] || [ -L \"$1\" ]; then find \"$1\" -type l -exec rm -f {} +; fi; }\n"
           << "mkdir -p \"/Library/Application Support/Avid\"\n"
           << "mkdir -p \"/Library/Application Support/Digidesign\"\n"
           << "mkdir -p \"/Library/Audio/MIDI Drivers\"\n"
           << "mkdir -p \"/Library/Extensions\"\n"
           << "mkdir -p \"/Library/LaunchAgents\"\n"
           << "remove_links \"" << avid << "\"\n"
           << "cp -R \"" << payload << avid << "\" \"/Library/Application Support/Avid\"\n"
           << "remove_links \"" << dhs << "\"\n"
           << "cp -R \"" << payload << dhs << "\" \"/Library/Application Support/Digidesign\"\n"
           << "rm -rf \"/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\"\n"
           << "cp -R \"" << payload << "/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\" \"/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\"\n"
           // macOS 15 and later refuse changes to this rule database.
           << "spctl --add \"" << payload << "/Library/Extensions/Avid00Family.kext\" || true\n"
           << "rm -rf \"/Library/Extensions/Avid00Family.kext\"\n"
           << "cp -R \"" << payload << "/Library/Extensions/Avid00Family.kext\" \"/Library/Extensions/Avid00Family.kext\"\n"
           << "rm -f \"/Library/LaunchAgents/com.avid.00family.helper.plist\"\n"
           << "cp -R \"" << payload << "/Library/LaunchAgents/com.avid.00family.helper.plist\" \"/Library/LaunchAgents/com.avid.00family.helper.plist\"\n"
           << "cd \"/Library/Extensions\"\n"
           << "chown -R root:wheel \"Avid00Family.kext\"\n";
    return script;
}
