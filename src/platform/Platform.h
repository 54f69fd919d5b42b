#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>

/** What the program needs of the host system beyond JUCE. On macOS these are
    the system's own calls; on Linux they are answered by a stand-in that plays
    a Mac (see sim/ for the simulated host it reads).
*/
namespace platform
{
    /** The value juce::SystemStats::getOperatingSystemType() gives on the host. */
    int getOperatingSystemType();

    /** sysctlbyname(): reads a system control; 0 on success. */
    int sysctlbyname (const char* name, void* oldValue, size_t* oldLength, void* newValue, size_t newLength);

    /** Tells the system not to relaunch us at login and asks it to restart
        the computer. Whatever the system answers is ignored.
    */
    void requestRestart();

#if ! JUCE_MAC
    /** The Linux stand-in keeps the simulated Mac's state (system controls,
        the scripted authorisation dialog, restart requests) in this folder.
    */
    namespace simulation
    {
        juce::File getStateFolder();
        void setStateFolder (const juce::File& folder);

        /** The operating-system type that JUCE reports on a Mac with this
            product version.
        */
        int operatingSystemTypeForProductVersion (const juce::String& productVersion);
    }
#endif
}
