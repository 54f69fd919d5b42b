#pragma once

#include <juce_core/juce_core.h>

/** The shell script, run as root, that copies the driver's files from the
    unpacked payload (the Payload2 folder) into /Library.

    The script is meant for "/bin/sh -p -e -c" as root: its first failing
    line ends it with a non-zero status, except the kext registration, which
    newer systems no longer accept.
*/
juce::String composeInstallScript (const juce::String& payload2Path);
