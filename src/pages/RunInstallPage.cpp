#include "pages/RunInstallPage.h"

RunInstallPage::RunInstallPage()
{
    titleText = "Run Installation";
}

RunInstallPage::~RunInstallPage() = default;
