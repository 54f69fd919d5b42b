#include "support/Walk.h"

#include "app/MainComponent.h"
#include "support/CommandRun.h"
#include "support/DriverInstallHost.h"
#include "support/MessageLoop.h"
#include "support/WindowPixels.h"

#include <cstdlib>
#include <iostream>

namespace host = testsupport::installhost;

namespace testsupport
{
    namespace
    {
        // Where the pointer touches no button on any page.
        const juce::Point<int> restingPlace { 300, 300 };

        // How long a click gets to show its effect before the walk looks
        // into whether the app has handled it at all.
        constexpr int clickEffectMs = 5000;
        constexpr int pointerShowsMs = 10000;
        constexpr int clicksAtMost = 3;

        bool looksTheSame (juce::Colour a, juce::Colour b)
        {
            constexpr int levels = 3;
            return std::abs (a.getRed() - b.getRed()) <= levels && std::abs (a.getGreen() - b.getGreen()) <= levels
                   && std::abs (a.getBlue() - b.getBlue()) <= levels;
        }

        /** Whether a's pixels in the area look like b's from bOrigin on. A
            part of a window painted again on its own can come out a level
            or so apart at the edges of shapes; a button lighting up, or any
            text, makes a far larger difference.
        */
        bool samePixels (const juce::Image& a, juce::Rectangle<int> area, const juce::Image& b, juce::Point<int> bOrigin)
        {
            const auto areaInB = area.withPosition (bOrigin);

            if (! a.isValid() || ! b.isValid() || ! a.getBounds().contains (area) || ! b.getBounds().contains (areaInB))
                return false;

            const juce::Image::BitmapData pixelsA (a, juce::Image::BitmapData::readOnly), pixelsB (b, juce::Image::BitmapData::readOnly);

            for (int y = 0; y < area.getHeight(); ++y)
                for (int x = 0; x < area.getWidth(); ++x)
                    if (! looksTheSame (pixelsA.getPixelColour (area.getX() + x, area.getY() + y), pixelsB.getPixelColour (bOrigin.x + x, bOrigin.y + y)))
                        return false;

            return true;
        }

        bool sameArea (const juce::Image& a, const juce::Image& b, juce::Rectangle<int> area)
        {
            return samePixels (a, area, b, area.getPosition());
        }

        bool sameImage (const juce::Image& a, const juce::Image& b)
        {
            return a.isValid() && a.getBounds() == b.getBounds() && sameArea (a, b, a.getBounds());
        }

        bool sameOutside (const juce::Image& a, const juce::Image& b, juce::Rectangle<int> excluded)
        {
            const auto bounds = a.getBounds();
            const auto band = bounds.withTop (excluded.getY()).withBottom (excluded.getBottom());

            return a.isValid() && bounds == b.getBounds()
                   && sameArea (a, b, bounds.withBottom (excluded.getY())) && sameArea (a, b, bounds.withTop (excluded.getBottom()))
                   && sameArea (a, b, band.withRight (excluded.getX())) && sameArea (a, b, band.withLeft (excluded.getRight()));
        }

        juce::String describe (juce::Rectangle<int> button)
        {
            return "(" + button.getCentre().toString() + ")";
        }
    }

    const juce::Rectangle<int> Walk::backButton { 260, 368, 100, 24 }, Walk::nextButton { 368, 368, 100, 24 },
        Walk::cancelButton { 492, 368, 100, 24 }, Walk::restartButton { 492, 368, 100, 24 }, Walk::downloadButton { 16, 128, 100, 24 };

    Walk::Walk()
    {
        // The dialog's answer stays as the host's options set it.
        const auto authorisation = host::stateFile ("authorisation");
        const auto answer = authorisation.loadFileAsString();
        const auto answerGiven = authorisation.existsAsFile();
        host::resetHost();

        if (answerGiven)
            authorisation.replaceWithText (answer, false, false, "\n");
        else
            authorisation.deleteFile();

        // Before the app starts, which takes its temporary folder from TMPDIR:
        // /tmp here is this machine's own.
        host::useTemporaryFolder (juce::File ("/private/var/folders/vantry walk/T"));
        drawTitles();

        app = std::make_unique<AppProcess>();
        window = app->waitForWindow();

        if (window.isNotEmpty())
            firstPageShown = waitForPage (titles[0]);
    }

    Walk::~Walk() = default;

    void Walk::drawTitles()
    {
        // The app's own pages, drawn one at a time as its window draws them.
        MainComponent main;
        juce::Array<WizardPage*> pages;

        for (auto* child : main.getChildren())
            if (auto* page = dynamic_cast<WizardPage*> (child))
                pages.add (page);

        jassert (! pages.isEmpty());
        titleArea = main.getLocalArea (&pages[0]->titleLabel, pages[0]->titleLabel.getLocalBounds());

        for (auto* page : pages)
        {
            for (auto* other : pages)
                other->setVisible (other == page);

            page->titleLabel.setText (page->titleText, juce::dontSendNotification);
            titles.add (page->titleText);
            drawnTitles.add (main.createComponentSnapshot (titleArea, true, 1.0f));
        }
    }

    void Walk::note (const juce::String& text) const
    {
        const auto seconds = (double) (juce::Time::getMillisecondCounter() - startedAt) / 1000.0;
        std::cout << "walk: " << juce::String (seconds, 1) << " s: " << text << std::endl;
    }

    //==============================================================================
    juce::Image Walk::capture() const
    {
        return readWindowPixels (window);
    }

    juce::String Walk::currentPage() const
    {
        const auto image = capture();

        for (int i = 0; i < titles.size(); ++i)
            if (samePixels (image, titleArea, drawnTitles.getReference (i), {}))
                return titles[i];

        return {};
    }

    bool Walk::waitForPage (const juce::String& title, int timeoutMs) const
    {
        return pumpUntil ([&] { return currentPage() == title; }, timeoutMs);
    }

    bool Walk::waitForState (const juce::String& name, int lines, int timeoutMs) const
    {
        return pumpUntil ([&] { return host::readStateLines (name).size() >= lines; }, timeoutMs);
    }

    void Walk::shot (const juce::String& step)
    {
        const auto folder = juce::SystemStats::getEnvironmentVariable ("VANTRY_WALK_SCREENSHOTS", {});

        if (folder.isNotEmpty())
            AppProcess::saveScreenshot (juce::File (folder).getChildFile (juce::String (++shots).paddedLeft ('0', 2) + " " + step + ".png"));
    }

    //==============================================================================
    void Walk::movePointer (juce::Point<int> place)
    {
        runCommand ({ "xdotool", "mousemove", "--window", window, "--sync", juce::String (place.x), juce::String (place.y) });
    }

    juce::Image Walk::settledCapture() const
    {
        auto last = capture();
        const auto sameTwiceInARow = [&] {
            auto next = capture();
            const auto same = sameImage (next, last);
            last = next;
            return same;
        };

        pumpUntil (sameTwiceInARow, 3000);
        return last;
    }

    juce::Image Walk::restPointer()
    {
        movePointer (restingPlace);
        return settledCapture();
    }

    bool Walk::pointerArrived (juce::Rectangle<int> button, const juce::Image& idle)
    {
        movePointer (button.getCentre());
        return pumpUntil ([&] { const auto now = capture(); return now.isValid() && ! sameArea (now, idle, button); }, pointerShowsMs);
    }

    bool Walk::pointerLeft (juce::Rectangle<int> button, const juce::Image& idle)
    {
        movePointer (restingPlace);
        return pumpUntil ([&] { return sameArea (capture(), idle, button); }, pointerShowsMs);
    }

    bool Walk::click (juce::Rectangle<int> button, const std::function<bool()>& effect, int timeoutMs)
    {
        return clickUntil (
            button, [&effect] (const juce::Image&) { return effect(); }, timeoutMs);
    }

    bool Walk::clickForChange (juce::Rectangle<int> button)
    {
        const auto windowsBefore = app->findWindows (".*");

        // The pointer stays on the button meanwhile, lighting it up.
        return clickUntil (button, [&] (const juce::Image& idle) { return ! sameOutside (capture(), idle, button) || app->findWindows (".*") != windowsBefore; });
    }

    bool Walk::clickUntil (juce::Rectangle<int> button, const std::function<bool (const juce::Image& idle)>& effectSince, int timeoutMs)
    {
        const auto start = juce::Time::getMillisecondCounter();
        const auto remaining = [&] { return juce::jmax (0, timeoutMs - (int) (juce::Time::getMillisecondCounter() - start)); };

        for (int attempt = 1;; ++attempt)
        {
            const auto idle = restPointer();
            const auto effect = [&] { return effectSince (idle); };
            const auto seen = pointerArrived (button, idle);
            note ("click " + describe (button) + (attempt > 1 ? ", again" : "") + (seen ? "" : "; the button did not light up under the pointer"));
            runCommand ({ "xdotool", "click", "1" });

            if (pumpUntil (effect, juce::jmin (clickEffectMs, remaining())))
                return true;

            // The button going dark as the pointer leaves shows that the app
            // has handled the click before it; if the window is then as it
            // was, the click came to nothing.
            const auto handled = seen && pointerLeft (button, idle);
            const auto unchanged = handled && sameImage (capture(), idle);

            if (effect())
                return true;

            if (! unchanged || attempt == clicksAtMost || remaining() == 0)
            {
                note (handled ? (unchanged ? "the click came to nothing each time" : "the click changed something else")
                              : "no sign that the app has handled the click yet");
                return pumpUntil (effect, remaining());
            }
        }
    }

    bool Walk::clickToPage (juce::Rectangle<int> button, const juce::String& title)
    {
        const auto shown = click (button, [&] { return currentPage() == title || ! app->findWindows ("Error").isEmpty(); });

        if (! app->findWindows ("Error").isEmpty())
            note ("an \"Error\" alert showed instead of the page " + title.quoted());

        return shown && currentPage() == title;
    }

    juce::String Walk::clickForAlert (juce::Rectangle<int> button, const juce::String& title)
    {
        click (button, [&] { return ! app->findWindows (title).isEmpty(); });
        return app->findWindows (title)[0];
    }

    bool Walk::clickChangesNothing (juce::Rectangle<int> button, juce::Rectangle<int> witness)
    {
        const auto idle = restPointer();
        const auto windowsBefore = app->findWindows (".*");

        movePointer (button.getCentre());
        note ("click " + describe (button) + ", which should change nothing");
        runCommand ({ "xdotool", "click", "1" });

        // The witness changes as the pointer reaches it only once the app has
        // handled the click; messages the click posted (an alert's, say) come
        // before the painting that shows it.
        if (! pointerArrived (witness, idle))
        {
            note ("the witness " + describe (witness) + " did not light up: the app did not answer");
            return false;
        }

        // The other buttons are left out: a click on a disabled one may give
        // the keyboard focus to another, which then looks a little different.
        const auto now = capture();
        const auto pageArea = idle.getBounds().withBottom (juce::jmin (backButton.getY(), nextButton.getY(), cancelButton.getY()));
        const auto unchanged = sameArea (now, idle, pageArea) && sameArea (now, idle, button);
        const auto windowsNow = app->findWindows (".*");

        if (! unchanged)
            note ("the window changed");

        if (windowsNow != windowsBefore)
            note ("its windows changed from " + windowsBefore.joinIntoString (" ") + " to " + windowsNow.joinIntoString (" "));

        return unchanged && windowsNow == windowsBefore;
    }

    bool Walk::answer (const juce::String& title, const juce::String& key)
    {
        for (int press = 0; press < 2 * clicksAtMost; ++press)
        {
            const auto alert = app->findWindows (title)[0];

            if (alert.isEmpty())
                return true;

            // Typed into the active alert: sent to its window instead
            // (xdotool's --window), a key was seen to make the next alert
            // answer itself.
            const auto activation = runWithTimeLimit ({ "xdotool", "windowactivate", "--sync", alert }, pointerShowsMs, 0);

            if (activation.exitCode == 0 && app->findWindows (title).contains (alert))
            {
                note ("key " + key + " in " + title.quoted());
                runCommand ({ "xdotool", "key", "--clearmodifiers", key });
            }

            pumpUntil ([&] { return ! app->findWindows (title).contains (alert); }, clickEffectMs);
        }

        return app->findWindows (title).isEmpty();
    }

    bool Walk::finishesInstalling()
    {
        if (! waitForState ("privileged-runs"))
        {
            note ("the privileged run did not start");
            return false;
        }

        // Over once the page after it shows, which the app moves on to only
        // once it has waited for the privileged shell's end, or once an
        // "Error" alert reports that it failed.
        const auto lastPage = titles[titles.size() - 1];
        const auto over = pumpUntil ([&] { return ! app->findWindows ("Error").isEmpty() || currentPage() == lastPage; }, 60000);
        shot (lastPage);

        if (! over)
            note ("the privileged run did not end, or the page after it did not show");

        return over && app->findWindows ("Error").isEmpty() && currentPage() == lastPage && installedTreeIsThePayloads();
    }

    bool Walk::quits (int timeoutMs)
    {
        return app->waitForExit (timeoutMs) && app->getExitCode() == 0;
    }

    bool Walk::installedTreeIsThePayloads()
    {
        return host::describeInstalledTree (juce::File ("/Library")) == host::describePayloadTree()
               && host::kextOwnedByRootWheel();
    }
}
