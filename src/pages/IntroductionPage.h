#pragma once

#include "platform/Platform.h"
#include "wizard/WizardPage.h"

#include <functional>

/** The host values that decide whether this computer may go on. They default
    to the platform's, and tests hand in their own.
*/
struct HostQueries
{
    std::function<int()> getOperatingSystemType = platform::getOperatingSystemType;
    std::function<int (const char*, void*, size_t*, void*, size_t)> sysctlbyname = platform::sysctlbyname;
};

/** True on macOS 11 or later on an Intel processor, in a process that is not
    translated. Reads the operating-system type, then "hw.cputype", then (unless
    the processor is already refused) "sysctl.proc_translated".
*/
bool isSupportedHost (const HostQueries& queries);

class IntroductionPage : public WizardPage
{
public:
    explicit IntroductionPage (HostQueries hostQueries = {});
    ~IntroductionPage() override;

    /** Lets the user go on only on a supported host; otherwise shows the
        "Error" alert and stays.
    */
    bool willGoNext() override;

private:
    HostQueries queries;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IntroductionPage)
};
