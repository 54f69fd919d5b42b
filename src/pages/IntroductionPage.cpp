#include "pages/IntroductionPage.h"

#include "wizard/ErrorAlert.h"

namespace
{
    // CPU_TYPE_ARM64: CPU_TYPE_ARM (12) with the 64-bit ABI flag.
    constexpr std::int32_t arm64Mask = 0x0100000C;

    bool readSystemControl (const HostQueries& queries, const char* name, std::int32_t& value)
    {
        value = 0;
        size_t size = sizeof (value);
        return queries.sysctlbyname (name, &value, &size, nullptr, 0) == 0;
    }

    bool isSupportedSystem (int type)
    {
        // JUCE 7.0.5 names macOS up to 13 and reports every later release as
        // the bare MacOSX, which must pass like the named ones from 11 up.
        if (type == 0 || type == juce::SystemStats::MacOSX)
            return true;

        return (type & 0xF0) != 0 && (type & juce::SystemStats::MacOSX) != 0;
    }
}

bool isSupportedHost (const HostQueries& queries)
{
    const auto systemSupported = isSupportedSystem (queries.getOperatingSystemType());

    std::int32_t cpuType = 0;

    if (readSystemControl (queries, "hw.cputype", cpuType) && (cpuType & arm64Mask) == arm64Mask)
        return false;

    std::int32_t translated = 0;
    const auto isTranslated = readSystemControl (queries, "sysctl.proc_translated", translated) && translated == 1;

    return systemSupported && ! isTranslated;
}

IntroductionPage::IntroductionPage (HostQueries hostQueries)
    : queries (std::move (hostQueries))
{
    titleText = "Introduction";
    bodyText = "This utility helps install the Avid 003/002 driver on Mac OS Intel systems running Big Sur and later. Avid's driver installer is not compatible with Big Sur and later, but the driver can be manually installed. This utility performs the manual steps for you to make it simpler for you.";
}

IntroductionPage::~IntroductionPage() = default;

bool IntroductionPage::willGoNext()
{
    if (isSupportedHost (queries))
        return true;

    showErrorAlert ("macOS Big Sur and Intel CPU is required.");
    return false;
}
