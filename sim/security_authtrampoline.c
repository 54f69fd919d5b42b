/*
 * The simulated host's /usr/libexec/security_authtrampoline, installed setuid
 * root. Test harness only: it trusts whatever its mailbox holds, so it is no
 * security boundary.
 *
 *   security_authtrampoline TOOL "auth N" [ARG...]
 *
 * fd N holds the authorisation's 32-byte external form, fd 0 is the tool's
 * end of the stream and fd 1 the caller's notification pipe. A status in
 * network byte order on that pipe says why the tool did not start; the pipe
 * closing without one says that it did.
 *
 * It never changes its ids: the tool keeps the caller's real uid and groups,
 * with effective uid 0.
 */
#define _POSIX_C_SOURCE 200809L

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum
{
    errAuthorizationDenied = -60005,
    errAuthorizationInternal = -60008,
    errAuthorizationToolExecuteFailure = -60031
};

enum
{
    externalFormLength = 32
};

/* The 30 characters and two zero bytes that stand for a granted right. */
static const char grantedForm[externalFormLength] = "granted system.privilege.admin";

static int fail (int notification, int32_t status)
{
    const uint32_t word = htonl ((uint32_t) status);
    const ssize_t written = write (notification, &word, sizeof word);
    (void) written;
    return 1;
}

/* Reads the whole external form, or fails. */
static int readExternalForm (int mailbox, char* form)
{
    size_t got = 0;

    if (lseek (mailbox, 0, SEEK_SET) != 0)
        return 0;

    while (got < externalFormLength)
    {
        const ssize_t n = read (mailbox, form + got, externalFormLength - got);

        if (n < 0 && errno == EINTR)
            continue;

        if (n <= 0)
            return 0;

        got += (size_t) n;
    }

    return 1;
}

int main (int argc, char** argv)
{
    int mailbox = -1;
    char form[externalFormLength];
    int notification;

    if (argc < 3 || sscanf (argv[2], "auth %d", &mailbox) != 1)
        return fail (STDOUT_FILENO, errAuthorizationInternal);

    if (! readExternalForm (mailbox, form))
        return fail (STDOUT_FILENO, errAuthorizationInternal);

    if (memcmp (form, grantedForm, externalFormLength) != 0)
        return fail (STDOUT_FILENO, errAuthorizationDenied);

    if (setenv ("__AUTHORIZATION", argv[2], 1) != 0 || setenv ("_BASH_IMPLICIT_DASH_PEE", "-p", 1) != 0)
        return fail (STDOUT_FILENO, errAuthorizationInternal);

    /* Closed by a successful exec, which is how the caller learns of it. */
    notification = fcntl (STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);

    if (notification < 0)
        return fail (STDOUT_FILENO, errAuthorizationInternal);

    if (dup2 (STDIN_FILENO, STDOUT_FILENO) < 0)
        return fail (notification, errAuthorizationInternal);

    /* The tool's own argv: its path, then its arguments. */
    argv[2] = argv[1];
    execv (argv[1], argv + 2);

    return fail (notification, errAuthorizationToolExecuteFailure);
}
