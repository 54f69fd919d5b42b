// A process of the simulated Mac's user, which the tests in the simulated host
// start as that user: the program's own code, run as it runs in the app.
//
//   UserProcess install              runs one install job with its real
//                                    folders; prints "result: TEXT" for each
//                                    result and "directory: PATH" at the end
//   UserProcess privileged ARGS...   is granted the right and runs /bin/sh
//                                    ARGS as root, as the install job does;
//                                    prints what the tool wrote on the
//                                    stream, then "status: N"

#include "jobs/InstallJob.h"
#include "platform/Authorization.h"

#include <cstdio>
#include <iostream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
    int install()
    {
        auto* messageManager = juce::MessageManager::getInstance();
        juce::StringArray results;

        {
            InstallJob job ([&] (const juce::String& result) {
                results.add (result);
                messageManager->stopDispatchLoop();
            });

            if (! job.startThread())
                return 2;

            messageManager->runDispatchLoop();
        }

        for (const auto& result : results)
            std::cout << "result: " << result << "\n";

        std::cout << "directory: " << juce::File::getCurrentWorkingDirectory().getFullPathName() << std::endl;
        return 0;
    }

    int privileged (const juce::StringArray& arguments)
    {
        char tool[] = "/bin/sh";
        AuthorizationItem right { "system.privilege.admin", sizeof (tool) - 1, tool, 0 };
        AuthorizationRights rights { 1, &right };
        AuthorizationRef authorization = nullptr;

        if (AuthorizationCreate (nullptr, nullptr, kAuthorizationFlagDefaults, &authorization) != errAuthorizationSuccess)
            return 2;

        std::vector<char*> argv;

        for (const auto& argument : arguments)
            argv.push_back (const_cast<char*> (argument.toRawUTF8()));

        argv.push_back (nullptr);

        FILE* stream = nullptr;
        auto result = AuthorizationCopyRights (authorization, &rights, nullptr,
                                               kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights | kAuthorizationFlagPreAuthorize,
                                               nullptr);

        if (result == errAuthorizationSuccess)
            result = AuthorizationExecuteWithPrivileges (authorization, tool, kAuthorizationFlagDefaults, argv.data(), &stream);

        AuthorizationFree (authorization, kAuthorizationFlagDefaults);

        if (result != errAuthorizationSuccess || stream == nullptr)
        {
            std::cout << "refused: " << result << std::endl;
            return 1;
        }

        // The tool is our child; its end of the stream closes when it ends.
        for (int c = 0; (c = std::fgetc (stream)) != EOF;)
            std::cout.put ((char) c);

        std::fclose (stream);

        int status = 0;
        const auto waited = wait (&status);
        std::cout << "status: " << (waited > 0 && WIFEXITED (status) ? WEXITSTATUS (status) : -1) << std::endl;
        return 0;
    }
}

int main (int argc, char** argv)
{
    const juce::String mode (argc > 1 ? argv[1] : "");
    juce::StringArray rest;

    for (int i = 2; i < argc; ++i)
        rest.add (argv[i]);

    int status = 2;

    if (mode == "install")
        status = install();
    else if (mode == "privileged")
        status = privileged (rest);
    else
        std::cerr << "usage: UserProcess install | privileged ARGS..." << std::endl;

    juce::DeletedAtShutdown::deleteAll();
    juce::MessageManager::deleteInstance();
    return status;
}
