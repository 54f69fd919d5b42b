#include "app/MainComponent.h"

#include "pages/DownloadPage.h"
#include "pages/IntroductionPage.h"
#include "pages/MountPagePage.h"
#include "pages/PreCheckPage.h"
#include "pages/RestartPage.h"
#include "pages/RunInstallPage.h"

MainComponent::MainComponent()
{
    addPage (new IntroductionPage());
    addPage (new DownloadPage());
    addPage (new MountPagePage());
    addPage (new PreCheckPage());
    addPage (new RunInstallPage());
    addPage (new RestartPage());

    setSize (600, 400);
}

MainComponent::~MainComponent() = default;

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId));
}
