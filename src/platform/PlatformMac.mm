#include "platform/Platform.h"

#import <AppKit/AppKit.h>
#include <sys/sysctl.h>

namespace platform
{
    int getOperatingSystemType()
    {
        return juce::SystemStats::getOperatingSystemType();
    }

    int sysctlbyname (const char* name, void* oldValue, size_t* oldLength, void* newValue, size_t newLength)
    {
        return ::sysctlbyname (name, oldValue, oldLength, newValue, newLength);
    }

    void requestRestart()
    {
        [[NSApplication sharedApplication] disableRelaunchOnLogin];

        NSAppleScript* script = [[NSAppleScript alloc] initWithSource: @"tell application \"System Events\" to restart"];
        NSDictionary* error = nil;
        [script executeAndReturnError: &error];
        [script release];
    }
}
