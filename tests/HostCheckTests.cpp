#include <gtest/gtest.h>

#include "app/MainComponent.h"
#include "pages/IntroductionPage.h"
#include "platform/Platform.h"
#include "support/MessageLoop.h"
#include "support/ProbePage.h"
#include "support/SimulatedHost.h"
#include "support/WizardButtons.h"

#include <cerrno>
#include <cstring>
#include <optional>

namespace
{
    constexpr std::int32_t intelCpu = 7; // CPU_TYPE_X86: what an Intel Mac answers
    constexpr std::int32_t x86_64Cpu = 0x01000007; // CPU_TYPE_X86_64
    constexpr std::int32_t armCpu = 0x0100000C; // CPU_TYPE_ARM64

    const juce::String refusal ("macOS Big Sur and Intel CPU is required.");

    /** A host whose answers are set by the test, recording every read in order. */
    struct FakeHost
    {
        int operatingSystemType = juce::SystemStats::MacOS_11;
        std::optional<std::int32_t> cpuType = intelCpu; // nullopt: the read fails
        std::optional<std::int32_t> translated = 0; // nullopt: the read fails
        juce::StringArray reads;

        HostQueries queries()
        {
            HostQueries q;
            q.getOperatingSystemType = [this] {
                reads.add ("os");
                return operatingSystemType;
            };

            q.sysctlbyname = [this] (const char* name, void* oldValue, size_t* oldLength, void* newValue, size_t newLength) {
                const juce::String control (name);
                reads.add (control);

                EXPECT_NE (oldValue, nullptr);
                EXPECT_NE (oldLength, nullptr);
                EXPECT_EQ (newValue, nullptr);
                EXPECT_EQ (newLength, 0u);

                if (oldValue == nullptr || oldLength == nullptr)
                    return -1;

                EXPECT_EQ (*oldLength, sizeof (std::int32_t));

                const auto answer = control == "hw.cputype"               ? cpuType
                                    : control == "sysctl.proc_translated" ? translated
                                                                          : std::nullopt;

                // A failed read that leaves a damning value behind must count for nothing.
                const std::int32_t value = answer ? *answer : (control == "hw.cputype" ? armCpu : 1);
                std::memcpy (oldValue, &value, sizeof (value));

                if (! answer)
                {
                    errno = ENOENT;
                    return -1;
                }

                *oldLength = sizeof (value);
                return 0;
            };

            return q;
        }
    };

    juce::String visiblePageTitle (juce::Component& wizard)
    {
        for (auto* child : wizard.getChildren())
            if (auto* page = dynamic_cast<WizardPage*> (child))
                if (page->isVisible())
                    return page->titleText;

        return {};
    }

    void press (juce::Component& wizard, const juce::String& buttonText)
    {
        auto* button = testsupport::findButton (wizard, buttonText);
        ASSERT_NE (button, nullptr) << buttonText;
        button->triggerClick();

        // Once for the posted click, once for what it posted in turn.
        testsupport::deliverQueuedMessages();
        testsupport::deliverQueuedMessages();
    }

    void expectOneErrorAlertPerRefusal (int refusals)
    {
        const auto alerts = testsupport::waitForAlerts (refusals);
        ASSERT_EQ (alerts.size(), refusals);

        for (auto* alert : alerts)
        {
            EXPECT_EQ (alert->getName(), "Error");
            EXPECT_EQ (testsupport::getAlertMessage (*alert), refusal);
            EXPECT_EQ (alert->getAlertType(), juce::MessageBoxIconType::QuestionIcon);
            EXPECT_EQ (alert->getNumButtons(), 1);
        }
    }
}

TEST (HostCheck, DecidesOnSystemThenProcessorThenTranslation)
{
    struct SystemCase
    {
        const char* name;
        int type;
        bool acceptable;
    };

    struct ControlCase
    {
        const char* name;
        std::optional<std::int32_t> value;
        bool refuses;
    };

    const SystemCase systems[] = {
        { "macOS 10.9", 0x109, false },
        { "macOS 10.15", 0x10F, false },
        { "macOS 11", juce::SystemStats::MacOS_11, true },
        { "macOS 10.16 (same type as 11)", 0x110, true },
        { "macOS 12", 0x111, true },
        { "macOS 13", 0x112, true },
        { "macOS 14 as JUCE 8 names it", 0x113, true },
        { "macOS 15 as JUCE 8 names it", 0x114, true },
        { "macOS 26 as JUCE 8 names it", 0x115, true },
        { "macOS newer than JUCE names (bare MacOSX)", 0x100, true },
        { "unknown (0)", 0, true },
        { "Linux", juce::SystemStats::Linux, false },
    };

    const ControlCase processors[] = {
        { "Intel", intelCpu, false },
        { "x86-64", x86_64Cpu, false },
        { "Arm", armCpu, true },
        { "hw.cputype read fails", std::nullopt, false },
    };

    const ControlCase translations[] = {
        { "native (0)", 0, false },
        { "translated (1)", 1, true },
        { "2", 2, false },
        { "sysctl.proc_translated read fails", std::nullopt, false },
    };

    for (const auto& system : systems)
    {
        for (const auto& processor : processors)
        {
            for (const auto& translation : translations)
            {
                SCOPED_TRACE (juce::String (system.name) + " / " + processor.name + " / " + translation.name);

                FakeHost host;
                host.operatingSystemType = system.type;
                host.cpuType = processor.value;
                host.translated = translation.value;

                const auto expected = system.acceptable && ! processor.refuses && ! translation.refuses;
                EXPECT_EQ (isSupportedHost (host.queries()), expected);

                const auto expectedReads = processor.refuses ? juce::StringArray { "os", "hw.cputype" }
                                                             : juce::StringArray { "os", "hw.cputype", "sysctl.proc_translated" };
                EXPECT_EQ (host.reads.joinIntoString (", "), expectedReads.joinIntoString (", "));
            }
        }
    }
}

TEST (HostCheck, RefusalAlertsAndStaysEveryTimeAndRereadsTheHost)
{
    FakeHost host;
    host.operatingSystemType = 0x10F;

    Wizard wizard;
    wizard.addPage (new IntroductionPage (host.queries()));
    wizard.addPage (new testsupport::ProbePage ("Download Driver Installer"));
    wizard.setSize (600, 400);
    host.reads.clear();

    const auto buttonsBefore = testsupport::describeButtons (wizard);

    press (wizard, "Next >");
    EXPECT_EQ (visiblePageTitle (wizard), "Introduction");
    EXPECT_EQ (testsupport::describeButtons (wizard), buttonsBefore);
    expectOneErrorAlertPerRefusal (1);

    // The alert doesn't block the page: a second press checks again and alerts again.
    press (wizard, "Next >");
    EXPECT_EQ (visiblePageTitle (wizard), "Introduction");
    expectOneErrorAlertPerRefusal (2);
    EXPECT_EQ (host.reads.joinIntoString (", "),
               "os, hw.cputype, sysctl.proc_translated, os, hw.cputype, sysctl.proc_translated");

    testsupport::closeAlerts ("OK");
    EXPECT_TRUE (testsupport::findAlerts().isEmpty());
    EXPECT_EQ (visiblePageTitle (wizard), "Introduction");

    // Nothing is remembered between presses.
    host.operatingSystemType = juce::SystemStats::MacOS_11;
    press (wizard, "Next >");
    EXPECT_EQ (visiblePageTitle (wizard), "Download Driver Installer");
    EXPECT_TRUE (testsupport::findAlerts().isEmpty());

    testsupport::closeAlerts ("OK");
}

TEST (HostCheck, AcceptedHostMovesOnWithoutAlert)
{
    FakeHost host;
    host.operatingSystemType = juce::SystemStats::MacOSX;

    Wizard wizard;
    wizard.addPage (new IntroductionPage (host.queries()));
    auto* next = new testsupport::ProbePage ("Download Driver Installer");
    wizard.addPage (next);
    wizard.setSize (600, 400);

    press (wizard, "Next >");
    EXPECT_EQ (visiblePageTitle (wizard), "Download Driver Installer");
    EXPECT_EQ (next->count ("didAppear"), 1);
    EXPECT_TRUE (testsupport::findAlerts().isEmpty());

    testsupport::closeAlerts ("OK");
}

TEST (HostCheck, PlainLinuxIsRefusedWithoutWaitingForTheAnswer)
{
    ASSERT_EQ (platform::getOperatingSystemType(), (int) juce::SystemStats::Linux)
        << "this case needs a host that is not a (simulated) Mac";

    IntroductionPage page;
    auto returned = false;
    testsupport::AlertAnswerer answerer ("Error", "OK", [&] { return returned; });

    EXPECT_FALSE (page.willGoNext());
    returned = true;

    ASSERT_TRUE (answerer.waitUntilAnswered());
    EXPECT_TRUE (answerer.checkHeld()) << "the refusal waited for the user to answer its alert";
    EXPECT_EQ (answerer.getMessage(), refusal);
}

TEST (HostCheck, SimulatedProductVersionMapsLikeTheJuceWeBuildWith)
{
    struct Case
    {
        const char* version;
        int onJuce7, onJuce8;
    };

    // JUCE 7.0.5 names macOS up to 13; 8.0.12 up to 26, which some programs see as 16.
    const Case cases[] = {
        { "10.9", 0x109, 0x109 },
        { "10.15.7", 0x10F, 0x10F },
        { "10.16", 0x110, 0x110 },
        { "11.7.10", 0x110, 0x110 },
        { "12", 0x111, 0x111 },
        { "13.4", 0x112, 0x112 },
        { "14.2", 0x100, 0x113 },
        { "15.0", 0x100, 0x114 },
        { "16.0", 0x100, 0x115 },
        { "26.1", 0x100, 0x115 },
        { "27.0", 0x100, 0x100 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (platform::simulation::operatingSystemTypeForProductVersion (c.version), JUCE_MAJOR_VERSION >= 8 ? c.onJuce8 : c.onJuce7)
            << c.version;
}

//==============================================================================
// The real page in the simulated Mac, through the platform layer.
namespace
{
    std::int32_t readControl (const char* name)
    {
        std::int32_t value = -1;
        size_t size = sizeof (value);
        return platform::sysctlbyname (name, &value, &size, nullptr, 0) == 0 ? value : -1;
    }

    void expectRefusedAndKept (MainComponent& main)
    {
        press (main, "Next >");
        EXPECT_EQ (visiblePageTitle (main), "Introduction");
        expectOneErrorAlertPerRefusal (1);

        press (main, "Next >");
        EXPECT_EQ (visiblePageTitle (main), "Introduction");
        expectOneErrorAlertPerRefusal (2);

        testsupport::closeAlerts ("OK");
    }

    void expectAccepted (MainComponent& main)
    {
        press (main, "Next >");
        EXPECT_EQ (visiblePageTitle (main), "Download Driver Installer");
        EXPECT_TRUE (testsupport::findAlerts().isEmpty());

        testsupport::closeAlerts ("OK");
    }
}

TEST (InHostHostCheckCatalina, RefusedWithAlert)
{
    ASSERT_EQ (platform::getOperatingSystemType(), 0x10F);
    ASSERT_EQ (readControl ("hw.cputype"), intelCpu);

    MainComponent main;
    expectRefusedAndKept (main);
}

TEST (InHostHostCheckBigSurIntel, AcceptedOntoDownload)
{
    ASSERT_EQ (platform::getOperatingSystemType(), (int) juce::SystemStats::MacOS_11);
    ASSERT_EQ (readControl ("hw.cputype"), intelCpu);

    MainComponent main;
    expectAccepted (main);
}

TEST (InHostHostCheckSonomaIntel, AcceptedOntoDownload)
{
    ASSERT_EQ (platform::getOperatingSystemType(), JUCE_MAJOR_VERSION >= 8 ? 0x113 : (int) juce::SystemStats::MacOSX);
    ASSERT_EQ (readControl ("hw.cputype"), intelCpu);

    MainComponent main;
    expectAccepted (main);
}

TEST (InHostHostCheckArm, RefusedWithAlert)
{
    ASSERT_EQ (platform::getOperatingSystemType(), (int) juce::SystemStats::MacOS_12);
    ASSERT_EQ (readControl ("hw.cputype"), armCpu);

    MainComponent main;
    expectRefusedAndKept (main);
}

TEST (InHostHostCheckTranslated, RefusedWithAlert)
{
    ASSERT_EQ (platform::getOperatingSystemType(), (int) juce::SystemStats::MacOS_12);
    ASSERT_EQ (readControl ("hw.cputype"), intelCpu);
    ASSERT_EQ (readControl ("sysctl.proc_translated"), 1);

    MainComponent main;
    expectRefusedAndKept (main);
}

TEST (HostCheckInSimulatedHost, Catalina)
{
    const juce::StringArray host { "--macos", "10.15.7", "--cpu", "intel", "--translated", "0" };
    RUN_IN_SIMULATED_HOST (host, "InHostHostCheckCatalina.*");
}

TEST (HostCheckInSimulatedHost, BigSurOnIntel)
{
    const juce::StringArray host { "--macos", "11.7", "--cpu", "intel", "--translated", "0" };
    RUN_IN_SIMULATED_HOST (host, "InHostHostCheckBigSurIntel.*");
}

TEST (HostCheckInSimulatedHost, SonomaOnIntel)
{
    const juce::StringArray host { "--macos", "14.4", "--cpu", "intel", "--translated", "0" };
    RUN_IN_SIMULATED_HOST (host, "InHostHostCheckSonomaIntel.*");
}

TEST (HostCheckInSimulatedHost, ArmProcessor)
{
    const juce::StringArray host { "--macos", "12.6", "--cpu", "arm", "--translated", "0" };
    RUN_IN_SIMULATED_HOST (host, "InHostHostCheckArm.*");
}

TEST (HostCheckInSimulatedHost, TranslatedProcess)
{
    const juce::StringArray host { "--macos", "12.6", "--cpu", "intel", "--translated", "1" };
    RUN_IN_SIMULATED_HOST (host, "InHostHostCheckTranslated.*");
}
