#include "support/CommandRun.h"

#include <atomic>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport
{
    namespace
    {
        /** Set in the command's environment, which everything it starts
            inherits: it finds them wherever they end up in the process tree,
            as a display server or a sandbox's processes may.
        */
        const char* const markName = "VANTRY_TEST_RUN";

        bool waitUntil (const std::function<bool()>& condition, int timeoutMs)
        {
            const auto start = juce::Time::getMillisecondCounter();

            while (! condition())
            {
                if (juce::Time::getMillisecondCounter() - start > (juce::uint32) timeoutMs)
                    return condition();

                juce::Thread::sleep (10);
            }

            return true;
        }

        /** Asks every marked process to end, then kills those still there. */
        void stopMarkedProcesses (const std::string& mark)
        {
            for (const auto signal : { SIGTERM, SIGKILL })
            {
                for (const auto pid : findProcessesWithEnvironmentEntry (mark))
                    ::kill (pid, signal);

                if (waitUntil ([&mark] { return findProcessesWithEnvironmentEntry (mark).isEmpty(); }, 5000))
                    return;
            }
        }

        /** The child, and what a thread of its own has read from it so far:
            reading blocks until the child writes or closes its output.
        */
        struct Reading
        {
            juce::ChildProcess process;
            std::mutex lock;
            std::string received;
            std::atomic<bool> ended { false };
        };
    }

    juce::Array<int> findProcessesWithEnvironmentEntry (const std::string& entry)
    {
        juce::Array<int> found;
        auto* folder = opendir ("/proc");

        if (folder == nullptr)
            return found;

        while (auto* listed = readdir (folder))
        {
            const juce::String name (listed->d_name);

            if (name.isEmpty() || ! name.containsOnly ("0123456789"))
                continue;

            std::ifstream file ("/proc/" + name.toStdString() + "/environ", std::ios::binary);
            const std::string environment { std::istreambuf_iterator<char> (file), std::istreambuf_iterator<char>() };

            // Variables are separated by nulls; a zombie's list is empty.
            if (('\0' + environment).find ('\0' + entry + '\0') != std::string::npos)
                found.add (name.getIntValue());
        }

        closedir (folder);
        return found;
    }

    juce::String CommandRun::lastLines (int count) const
    {
        auto lines = juce::StringArray::fromLines (output.trimEnd());
        lines.removeRange (0, lines.size() - count);
        return lines.joinIntoString ("\n");
    }

    bool writeShellScript (const juce::File& file, const juce::String& body)
    {
        return file.getParentDirectory().createDirectory()
               && file.replaceWithText ("#!/bin/sh\n" + body, false, false, "\n")
               && file.setExecutePermission (true);
    }

    CommandRun runWithTimeLimit (const juce::StringArray& command, int timeoutMs, int streamFlags,
                                 const std::function<void (const juce::String&)>& onOutput)
    {
        CommandRun run;
        const auto mark = juce::String (markName) + "=" + juce::Uuid().toString();

        juce::StringArray markedCommand { "env", mark };
        markedCommand.addArray (command);

        auto reading = std::make_shared<Reading>();

        if (! reading->process.start (markedCommand, streamFlags))
            return run;

        run.started = true;

        std::thread reader ([reading] {
            // One byte at a time: a larger read would wait until it was full.
            char byte = 0;

            while (reading->process.readProcessOutput (&byte, 1) == 1)
            {
                const std::lock_guard<std::mutex> hold (reading->lock);
                reading->received += byte;
            }

            reading->ended = true;
        });

        size_t handedOn = 0;

        // Whole lines only until the end, so that no character is split.
        const auto handOn = [&] (bool everything) {
            std::string fresh;

            {
                const std::lock_guard<std::mutex> hold (reading->lock);
                const auto newline = reading->received.rfind ('\n');
                const auto end = everything ? reading->received.size() : (newline == std::string::npos ? 0 : newline + 1);

                if (end > handedOn)
                {
                    fresh = reading->received.substr (handedOn, end - handedOn);
                    handedOn = end;
                }
            }

            if (! fresh.empty() && onOutput)
                onOutput (juce::String::fromUTF8 (fresh.data(), (int) fresh.size()));
        };

        const auto markText = mark.toStdString();
        const auto start = juce::Time::getMillisecondCounter();
        juce::uint32 endedAt = 0;

        for (;;)
        {
            handOn (false);
            const auto now = juce::Time::getMillisecondCounter();
            const auto running = reading->process.isRunning();

            if (! running && reading->ended)
                break;

            if (! running && endedAt == 0)
                endedAt = now;

            if (! running && now - endedAt > 5000)
            {
                // Ended, but something it started still holds its output open.
                stopMarkedProcesses (markText);
                break;
            }

            if (now - start > (juce::uint32) timeoutMs)
            {
                run.timedOut = true;
                stopMarkedProcesses (markText);

                if (reading->process.isRunning())
                    reading->process.kill();

                reading->process.waitForProcessToFinish (5000);
                break;
            }

            juce::Thread::sleep (5);
        }

        if (waitUntil ([&reading] { return reading->ended.load(); }, 5000))
            reader.join();
        else
            reader.detach(); // it keeps the reading alive while it waits

        handOn (true);

        {
            const std::lock_guard<std::mutex> hold (reading->lock);
            run.output = juce::String::fromUTF8 (reading->received.data(), (int) reading->received.size());
        }

        if (! run.timedOut)
            run.exitCode = (int) reading->process.getExitCode();

        return run;
    }
}
