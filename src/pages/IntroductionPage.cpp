#include "pages/IntroductionPage.h"

IntroductionPage::IntroductionPage()
{
    titleText = "Introduction";
    bodyText = "This utility helps install the Avid 003/002 driver on Mac OS Intel systems running Big Sur and later. Avid's driver installer is not compatible with Big Sur and later, but the driver can be manually installed. This utility performs the manual steps for you to make it simpler for you.";
}

IntroductionPage::~IntroductionPage() = default;
