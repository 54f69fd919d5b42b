#include "pages/PreCheckPage.h"

PreCheckPage::PreCheckPage()
{
    titleText = "Ready To Install";
    bodyText = "This utility will copy the Avid 003/002 driver files to your system. You will need to allow it using your account password. Click the Next button to run the installation.";
}

PreCheckPage::~PreCheckPage() = default;
