#include <gtest/gtest.h>

#include "pages/MountPagePage.h"
#include "pages/PreCheckPage.h"
#include "pages/RestartPage.h"
#include "support/MessageLoop.h"
#include "support/ProbePage.h"
#include "support/WizardButtons.h"
#include "wizard/Wizard.h"

namespace
{
    const juce::String readyToInstallBody ("This utility will copy the Avid 003/002 driver files to your system. You will need to allow it using your account password. Click the Next button to run the installation.");

    /** A folder of its own standing in for /Volumes, with or without the driver's volume. */
    struct VolumesFolder
    {
        explicit VolumesFolder (bool withDriverVolume)
        {
            folder.createDirectory();

            if (withDriverVolume)
                folder.getChildFile ("Avid 003 Family").createDirectory();
        }

        ~VolumesFolder() { folder.deleteRecursively(); }

        const juce::File folder = juce::File::createTempFile ("volumes");
    };

    /** The installation's pages around the three under test; the others are
        stand-ins so that no job starts.
    */
    struct PagesWizard
    {
        explicit PagesWizard (const juce::File& volumes)
        {
            wizard.addPage (new testsupport::ProbePage ("Download Driver Installer"));
            wizard.addPage (new MountPagePage());
            wizard.addPage (preCheck = new PreCheckPage (volumes));
            wizard.addPage (new testsupport::ProbePage ("Run Installation"));
            wizard.addPage (new RestartPage());
            wizard.setSize (600, 400);
        }

        void press (const juce::String& buttonText)
        {
            auto* button = testsupport::findButton (wizard, buttonText);
            ASSERT_NE (button, nullptr) << buttonText;
            button->triggerClick();
            ASSERT_TRUE (testsupport::deliverQueuedMessages());
        }

        WizardPage* visiblePage()
        {
            for (auto* child : wizard.getChildren())
                if (auto* page = dynamic_cast<WizardPage*> (child))
                    if (page->isVisible())
                        return page;

            return nullptr;
        }

        juce::String visibleTitle()
        {
            auto* page = visiblePage();
            return page != nullptr ? page->titleLabel.getText() : juce::String();
        }

        Wizard wizard;
        PreCheckPage* preCheck = nullptr;
    };
}

TEST (MountAndPreCheckPages, MiddlePagesWhetherOrNotTheImageIsMounted)
{
    for (const auto mounted : { false, true })
    {
        SCOPED_TRACE (mounted ? "volume mounted" : "no volume");

        VolumesFolder volumes (mounted);
        PagesWizard pages (volumes.folder);

        pages.press ("Next >");
        ASSERT_EQ (pages.visibleTitle(), "Mount Driver DMG");
        EXPECT_EQ (testsupport::describeButtons (pages.wizard), "ev ev ev -h");

        pages.press ("Next >");
        ASSERT_EQ (pages.visibleTitle(), "Ready To Install");
        EXPECT_EQ (pages.preCheck->bodyLabel.getText(), readyToInstallBody);
        EXPECT_EQ (testsupport::describeButtons (pages.wizard), "ev ev ev -h");

        pages.press ("< Back");
        EXPECT_EQ (pages.visibleTitle(), "Mount Driver DMG");
        EXPECT_EQ (testsupport::describeButtons (pages.wizard), "ev ev ev -h");
    }
}

TEST (MountAndPreCheckPages, ReadyToInstallRefillsItsLabelsWhenReachedAgain)
{
    VolumesFolder volumes (false);
    PagesWizard pages (volumes.folder);

    for (int i = 0; i < 3; ++i)
        pages.press ("Next >");

    ASSERT_EQ (pages.visibleTitle(), "Run Installation");

    pages.preCheck->titleLabel.setText ({}, juce::dontSendNotification);
    pages.preCheck->bodyLabel.setText ({}, juce::dontSendNotification);

    pages.press ("< Back");
    ASSERT_EQ (pages.visiblePage(), pages.preCheck);
    EXPECT_EQ (pages.preCheck->titleLabel.getText(), "Ready To Install");
    EXPECT_EQ (pages.preCheck->bodyLabel.getText(), readyToInstallBody);
    EXPECT_EQ (testsupport::describeButtons (pages.wizard), "ev ev ev -h");
}

TEST (RestartPageTests, OnlyRestartIsLeft)
{
    VolumesFolder volumes (false);
    PagesWizard pages (volumes.folder);

    for (int i = 0; i < 4; ++i)
        pages.press ("Next >");

    ASSERT_EQ (pages.visibleTitle(), "Installation Finished");
    EXPECT_EQ (testsupport::describeButtons (pages.wizard), "-v -v -h ev");

    pages.press ("< Back");
    EXPECT_EQ (pages.visibleTitle(), "Installation Finished");

    pages.wizard.updateButtons();
    EXPECT_EQ (testsupport::describeButtons (pages.wizard), "-v -v -h ev");
}
