// Runs a program to its end and writes what it cost to a file, as
// name=value lines: wall_ms (from just before the fork to its end), cpu_ms
// (user and system time), maxrss_kb (its peak resident memory) and status.
//
//     Measure FIGURES_FILE -- PROGRAM [ARGS...]
//
// Exits with the program's status.

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
    double nowMs()
    {
        timespec t {};
        clock_gettime (CLOCK_MONOTONIC, &t);
        return (double) t.tv_sec * 1000.0 + (double) t.tv_nsec / 1.0e6;
    }

    double toMs (const timeval& t)
    {
        return (double) t.tv_sec * 1000.0 + (double) t.tv_usec / 1000.0;
    }
}

int main (int argc, char* argv[])
{
    if (argc < 4 || std::strcmp (argv[2], "--") != 0)
    {
        std::fprintf (stderr, "usage: Measure FIGURES_FILE -- PROGRAM [ARGS...]\n");
        return 2;
    }

    const auto start = nowMs();
    const auto child = fork();

    if (child == 0)
    {
        execvp (argv[3], argv + 3);
        std::perror (argv[3]);
        _exit (127);
    }

    int status = 0;
    rusage usage {};

    if (child < 0 || wait4 (child, &status, 0, &usage) != child)
    {
        std::perror ("Measure");
        return 1;
    }

    const auto end = nowMs();
    const auto exitStatus = WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);

    if (auto* figures = std::fopen (argv[1], "w"))
    {
        std::fprintf (figures, "wall_ms=%.1f\ncpu_ms=%.1f\nmaxrss_kb=%ld\nstatus=%d\n",
                      end - start, toMs (usage.ru_utime) + toMs (usage.ru_stime), usage.ru_maxrss, exitStatus);
        std::fclose (figures);
    }

    return exitStatus;
}
