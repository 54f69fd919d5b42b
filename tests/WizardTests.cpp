#include <gtest/gtest.h>

#include "wizard/Wizard.h"

TEST (WizardSmoke, Builds)
{
    Wizard wizard;
    wizard.addPage (new WizardPage());
    wizard.setSize (600, 400);
}
