#include <gtest/gtest.h>

#include "wizard/WizardPage.h"

TEST (WizardPage, LabelsShowTheTextsOnlyFromTheFirstAppearance)
{
    WizardPage page;
    page.titleText = "Title";
    page.bodyText = "Body";

    EXPECT_TRUE (page.titleLabel.getText().isEmpty());
    EXPECT_TRUE (page.bodyLabel.getText().isEmpty());
    EXPECT_FALSE (page.isVisible());

    page.didAppear();
    EXPECT_EQ (page.titleLabel.getText(), "Title");
    EXPECT_EQ (page.bodyLabel.getText(), "Body");

    page.didAppear();
    EXPECT_EQ (page.titleLabel.getText(), "Title");
    EXPECT_EQ (page.bodyLabel.getText(), "Body");
}

TEST (WizardPage, LabelsKeepTheDefaultsButTheJustification)
{
    WizardPage page;

    for (auto* label : { &page.titleLabel, &page.bodyLabel })
    {
        EXPECT_EQ (label->getJustificationType(), juce::Justification (juce::Justification::topLeft));
        EXPECT_EQ (label->getFont().getHeight(), 15.0f);
        EXPECT_EQ (label->getBorderSize(), juce::BorderSize<int> (1, 5, 1, 5));
        EXPECT_FALSE (label->isEditable());
        EXPECT_EQ (label->getParentComponent(), &page);
    }

    // Title first, body above it in the z-order.
    EXPECT_EQ (page.getIndexOfChildComponent (&page.titleLabel), 0);
    EXPECT_EQ (page.getIndexOfChildComponent (&page.bodyLabel), 1);
}

TEST (WizardPage, LaysOutItsLabels)
{
    struct Case
    {
        int width, height;
        juce::Rectangle<int> title, body;
    };

    const Case cases[] = {
        { 584, 352, { 8, 8, 568, 24 }, { 8, 40, 568, 80 } },
        { 784, 552, { 8, 8, 768, 24 }, { 8, 40, 768, 80 } },
        { 100, 127, { 8, 8, 84, 24 }, { 8, 40, 84, 79 } },
        { 100, 60, { 8, 8, 84, 24 }, { 8, 40, 84, 12 } },
        { 100, 45, { 8, 8, 84, 24 }, { 8, 37, 84, 0 } },
        { 100, 30, { 8, 8, 84, 14 }, { 8, 22, 84, 0 } },
        { 16, 16, { 8, 8, 0, 0 }, { 8, 8, 0, 0 } },
        { 10, 5, { 8, 8, 0, 0 }, { 8, 8, 0, 0 } },
    };

    for (const auto& c : cases)
    {
        WizardPage page;
        page.setSize (c.width, c.height);

        EXPECT_EQ (page.titleLabel.getBounds(), c.title) << c.width << " by " << c.height;
        EXPECT_EQ (page.bodyLabel.getBounds(), c.body) << c.width << " by " << c.height;
        EXPECT_FALSE (page.titleLabel.getBounds().intersects (page.bodyLabel.getBounds()));
    }
}
