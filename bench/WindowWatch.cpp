// Starts a program, reports how long it took until its window was mapped
// and, asked to, how much CPU time it then used while left alone and how
// much memory it holds. Plain Xlib, so that it adds nothing to what it times.
//
//     WindowWatch [--idle SETTLE_S IDLE_S] -- PROGRAM [ARGS...]
//
// Prints name=value lines: startup_ms, then with --idle cpu_ticks, cpu_ms
// (utime + stime of /proc/PID/stat), run_ms (the tasks' schedstat run time,
// finer grained), rss_kb and hwm_kb.

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
    constexpr int giveUpAfterMs = 30000;

    double nowMs()
    {
        timespec t {};
        clock_gettime (CLOCK_MONOTONIC, &t);
        return (double) t.tv_sec * 1000.0 + (double) t.tv_nsec / 1.0e6;
    }

    // A window can be gone by the time we look at it; that is no error here.
    int ignoreXErrors (Display*, XErrorEvent*) { return 0; }

    long windowPid (Display* display, Window window, Atom pidAtom)
    {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, bytesLeft = 0;
        unsigned char* data = nullptr;
        long pid = -1;

        if (XGetWindowProperty (display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &bytesLeft, &data) == Success
            && data != nullptr)
        {
            if (type == XA_CARDINAL && format == 32 && items == 1)
                pid = *reinterpret_cast<long*> (data);

            XFree (data);
        }

        return pid;
    }

    bool isViewable (Display* display, Window window)
    {
        XWindowAttributes attributes {};
        return XGetWindowAttributes (display, window, &attributes) != 0 && attributes.map_state == IsViewable;
    }

    std::string readFile (const std::string& path)
    {
        std::ifstream in (path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // utime + stime of all the process's threads, in clock ticks.
    long long cpuTicks (pid_t pid)
    {
        const auto stat = readFile ("/proc/" + std::to_string (pid) + "/stat");
        const auto end = stat.rfind (')');

        if (end == std::string::npos)
            return -1;

        // Fields 3 onwards follow the command name; utime and stime are 14 and 15.
        std::istringstream fields (stat.substr (end + 2));
        std::string field;
        long long utime = 0, stime = 0;

        for (int index = 3; index <= 15 && (fields >> field); ++index)
        {
            if (index == 14)
                utime = std::atoll (field.c_str());
            else if (index == 15)
                stime = std::atoll (field.c_str());
        }

        return utime + stime;
    }

    // Nanoseconds on a CPU, summed over the process's threads.
    long long runNanoseconds (pid_t pid)
    {
        const auto folder = "/proc/" + std::to_string (pid) + "/task";
        long long total = 0;

        if (auto* dir = opendir (folder.c_str()))
        {
            while (auto* entry = readdir (dir))
                if (entry->d_name[0] != '.')
                    total += std::atoll (readFile (folder + "/" + entry->d_name + "/schedstat").c_str());

            closedir (dir);
        }

        return total;
    }

    long long memoryFigureKb (pid_t pid, const std::string& name)
    {
        std::istringstream lines (readFile ("/proc/" + std::to_string (pid) + "/status"));
        std::string line;

        while (std::getline (lines, line))
            if (line.compare (0, name.size() + 1, name + ":") == 0)
                return std::atoll (line.c_str() + name.size() + 1);

        return -1;
    }

    void sleepMs (double ms)
    {
        const auto seconds = (time_t) (ms / 1000.0);
        timespec pause { seconds, (long) ((ms - (double) seconds * 1000.0) * 1.0e6) };

        while (nanosleep (&pause, &pause) != 0 && errno == EINTR)
        {
        }
    }

    void stop (pid_t pid)
    {
        kill (pid, SIGTERM);

        for (int i = 0; i < 200; ++i)
        {
            if (waitpid (pid, nullptr, WNOHANG) == pid)
                return;

            sleepMs (10);
        }

        kill (pid, SIGKILL);
        waitpid (pid, nullptr, 0);
    }

    int usage()
    {
        std::fprintf (stderr, "usage: WindowWatch [--idle SETTLE_S IDLE_S] -- PROGRAM [ARGS...]\n");
        return 2;
    }
}

int main (int argc, char* argv[])
{
    double settleMs = -1.0, idleMs = -1.0;
    int first = 1;

    if (first + 2 < argc && std::strcmp (argv[first], "--idle") == 0)
    {
        settleMs = std::atof (argv[first + 1]) * 1000.0;
        idleMs = std::atof (argv[first + 2]) * 1000.0;
        first += 3;
    }

    if (first >= argc || std::strcmp (argv[first], "--") != 0 || first + 1 >= argc)
        return usage();

    char** command = argv + first + 1;

    auto* display = XOpenDisplay (nullptr);

    if (display == nullptr)
    {
        std::fprintf (stderr, "WindowWatch: no X display\n");
        return 1;
    }

    XSetErrorHandler (ignoreXErrors);
    const auto root = DefaultRootWindow (display);
    const auto pidAtom = XInternAtom (display, "_NET_WM_PID", False);

    // Every new top-level window is reported, and so is its mapping: a window
    // manager maps the program's window inside a frame of its own.
    XSelectInput (display, root, SubstructureNotifyMask);
    XSync (display, False);

    const auto start = nowMs();
    const auto child = fork();

    if (child < 0)
        return 1;

    if (child == 0)
    {
        execvp (command[0], command);
        std::fprintf (stderr, "WindowWatch: cannot run %s\n", command[0]);
        _exit (127);
    }

    double mappedAt = -1.0;
    const auto isChildsWindow = [&] (Window window) { return windowPid (display, window, pidAtom) == (long) child; };

    while (mappedAt < 0.0)
    {
        if (waitpid (child, nullptr, WNOHANG) == child)
        {
            std::fprintf (stderr, "WindowWatch: %s ended before showing a window\n", command[0]);
            return 1;
        }

        if (nowMs() - start > giveUpAfterMs)
        {
            std::fprintf (stderr, "WindowWatch: no window from %s\n", command[0]);
            stop (child);
            return 1;
        }

        if (XPending (display) == 0)
        {
            pollfd connection { ConnectionNumber (display), POLLIN, 0 };
            poll (&connection, 1, 20);
            continue;
        }

        XEvent event {};
        XNextEvent (display, &event);

        if (event.type == CreateNotify && event.xcreatewindow.parent == root)
        {
            const auto window = event.xcreatewindow.window;
            XSelectInput (display, window, StructureNotifyMask);

            // It may have been mapped before we asked to hear of it.
            if (isViewable (display, window) && isChildsWindow (window))
                mappedAt = nowMs();
        }
        else if (event.type == MapNotify && isChildsWindow (event.xmap.window))
        {
            mappedAt = nowMs();
        }
    }

    std::printf ("startup_ms=%.1f\n", mappedAt - start);

    if (idleMs >= 0.0)
    {
        sleepMs (settleMs);
        const auto ticksBefore = cpuTicks (child);
        const auto runBefore = runNanoseconds (child);
        sleepMs (idleMs);
        const auto ticks = cpuTicks (child) - ticksBefore;
        const auto run = runNanoseconds (child) - runBefore;

        std::printf ("cpu_ticks=%lld\n", ticks);
        std::printf ("cpu_ms=%.1f\n", (double) ticks * 1000.0 / (double) sysconf (_SC_CLK_TCK));
        std::printf ("run_ms=%.3f\n", (double) run / 1.0e6);
        std::printf ("rss_kb=%lld\n", memoryFigureKb (child, "VmRSS"));
        std::printf ("hwm_kb=%lld\n", memoryFigureKb (child, "VmHWM"));
    }

    std::fflush (stdout);
    stop (child);
    XCloseDisplay (display);
    return 0;
}
