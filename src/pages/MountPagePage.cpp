#include "pages/MountPagePage.h"

MountPagePage::MountPagePage()
{
    titleText = "Mount Driver DMG";
    bodyText = "Next, you must mount the driver installer disk image file named '003_Family_11.1.5.dmg.' Double-click the driver installer file to mount it.";
}

MountPagePage::~MountPagePage() = default;
