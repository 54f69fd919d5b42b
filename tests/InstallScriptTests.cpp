#include <gtest/gtest.h>

#include "jobs/InstallScript.h"

namespace
{
    std::string bytesOf (const juce::String& text)
    {
        return text.toStdString();
    }
}

// The exact script the install job has root run with "/bin/sh -p -e -c", so
// every line but the kext registration ends the script when it fails. Every
// destination folder is made before the first copy; every link that an
// earlier install left in the two merged vendor folders goes first, and the
// installed plug-in, kext and launch agent are replaced whole, so that
// what is installed is the payload's, whatever was there before.
TEST (InstallScript, ExactTextForAnOrdinaryPath)
{
    const auto script = composeInstallScript ("/tmp/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2");

    EXPECT_EQ (bytesOf (script),
               "#!/bin/sh -e\n"
               "remove_links () { if [ -e \"$1\" ] || [ -L \"$1\" ]; then find \"$1\" -type l -exec rm -f {} +; fi; }\n"
               "mkdir -p \"/Library/Application Support/Avid\"\n"
               "mkdir -p \"/Library/Application Support/Digidesign\"\n"
               "mkdir -p \"/Library/Audio/MIDI Drivers\"\n"
               "mkdir -p \"/Library/Extensions\"\n"
               "mkdir -p \"/Library/LaunchAgents\"\n"
               "remove_links \"/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}\"\n"
               "cp -R \"/tmp/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}\" \"/Library/Application Support/Avid\"\n"
               "remove_links \"/Library/Application Support/Digidesign/DHS\"\n"
               "cp -R \"/tmp/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Application Support/Digidesign/DHS\" \"/Library/Application Support/Digidesign\"\n"
               "rm -rf \"/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\"\n"
               "cp -R \"/tmp/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\" \"/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\"\n"
               "spctl --add \"/tmp/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Extensions/Avid00Family.kext\" || true\n"
               "rm -rf \"/Library/Extensions/Avid00Family.kext\"\n"
               "cp -R \"/tmp/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Extensions/Avid00Family.kext\" \"/Library/Extensions/Avid00Family.kext\"\n"
               "rm -f \"/Library/LaunchAgents/com.avid.00family.helper.plist\"\n"
               "cp -R \"/tmp/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/LaunchAgents/com.avid.00family.helper.plist\" \"/Library/LaunchAgents/com.avid.00family.helper.plist\"\n"
               "cd \"/Library/Extensions\"\n"
               "chown -R root:wheel \"Avid00Family.kext\"\n");
}

TEST (InstallScript, BlanksInThePathAreInsertedUnchanged)
{
    const auto script = composeInstallScript ("/Users/Jo Doe/Library/Caches/Vantry Driver Helper/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2");

    EXPECT_EQ (bytesOf (script),
               "#!/bin/sh -e\n"
               "remove_links () { if [ -e \"$1\" ] || [ -L \"$1\" ]; then find \"$1\" -type l -exec rm -f {} +; fi; }\n"
               "mkdir -p \"/Library/Application Support/Avid\"\n"
               "mkdir -p \"/Library/Application Support/Digidesign\"\n"
               "mkdir -p \"/Library/Audio/MIDI Drivers\"\n"
               "mkdir -p \"/Library/Extensions\"\n"
               "mkdir -p \"/Library/LaunchAgents\"\n"
               "remove_links \"/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}\"\n"
               "cp -R \"/Users/Jo Doe/Library/Caches/Vantry Driver Helper/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Application Support/Avid/{F4CDDB0D-C92E-4914-82D7-178F384992DF}\" \"/Library/Application Support/Avid\"\n"
               "remove_links \"/Library/Application Support/Digidesign/DHS\"\n"
               "cp -R \"/Users/Jo Doe/Library/Caches/Vantry Driver Helper/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Application Support/Digidesign/DHS\" \"/Library/Application Support/Digidesign\"\n"
               "rm -rf \"/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\"\n"
               "cp -R \"/Users/Jo Doe/Library/Caches/Vantry Driver Helper/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\" \"/Library/Audio/MIDI Drivers/Avid 003 Family.plugin\"\n"
               "spctl --add \"/Users/Jo Doe/Library/Caches/Vantry Driver Helper/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Extensions/Avid00Family.kext\" || true\n"
               "rm -rf \"/Library/Extensions/Avid00Family.kext\"\n"
               "cp -R \"/Users/Jo Doe/Library/Caches/Vantry Driver Helper/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/Extensions/Avid00Family.kext\" \"/Library/Extensions/Avid00Family.kext\"\n"
               "rm -f \"/Library/LaunchAgents/com.avid.00family.helper.plist\"\n"
               "cp -R \"/Users/Jo Doe/Library/Caches/Vantry Driver Helper/003/pkg/com.avid.00family.macos.installer_0.pkg/Payload2/Library/LaunchAgents/com.avid.00family.helper.plist\" \"/Library/LaunchAgents/com.avid.00family.helper.plist\"\n"
               "cd \"/Library/Extensions\"\n"
               "chown -R root:wheel \"Avid00Family.kext\"\n");
}

TEST (InstallScript, EscapesWhatDoubleQuotesLeaveToTheShell)
{
    struct
    {
        const char* path;
        const char* inserted;
    } cases[] = {
        { "/a\"b", "/a\\\"b" },
        { "/a\\b", "/a\\\\b" },
        { "/a$HOME", "/a\\$HOME" },
        { "/a`id`", "/a\\`id\\`" },
        { "/it's !*?~#&;|<>(){}[]", "/it's !*?~#&;|<>(){}[]" },
        { "/Caf\xc3\xa9", "/Caf\xc3\xa9" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.path);

        const auto script = composeInstallScript (juce::String::fromUTF8 (c.path));
        const auto plain = composeInstallScript ("/P");
        const auto expected = plain.replace ("\"/P/", "\"" + juce::String::fromUTF8 (c.inserted) + "/");

        EXPECT_EQ (bytesOf (script), bytesOf (expected));
    }
}
