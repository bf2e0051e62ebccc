// first-window: starts a program and waits for its first top-level window to be mapped on the X
// server, then prints the wall time since the start, the CPU time the process had used by then
// and its peak resident size, and kills it. Used by bench/ratios.sh to time the planner's start
// the way a user meets it; ours because no installed tool watches for one process's first map
// without polling.
//
//   first-window COMMAND [ARGS...]   prints "wall_ms cpu_ms peak_kib"

#include <X11/Xlib.h>

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

namespace {

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// CPU time of every thread still running, from the scheduler's nanosecond counters.
double CpuSeconds(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir)
        return -1;
    double total = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
        unsigned long long onCpu = 0;
        if (stat >> onCpu)
            total += double(onCpu) * 1e-9;
    }
    closedir(dir);
    return total;
}

long PeakKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: first-window COMMAND [ARGS...]\n");
        return 2;
    }
    // A server that has just started may not take clients yet.
    Display* display = nullptr;
    for (int attempt = 0; attempt < 50 && !(display = XOpenDisplay(nullptr)); ++attempt)
        usleep(100 * 1000);
    if (!display) {
        std::fprintf(stderr, "first-window: no display\n");
        return 1;
    }
    // Without a window manager a top-level window is a child of the root: its map shows there.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const double start = Now();
    const pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }

    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify)
                continue;
            const double shown = Now();
            const double cpu = CpuSeconds(pid);
            const long peak = PeakKib(pid);
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            std::printf("%.3f %.3f %ld\n", (shown - start) * 1e3, cpu * 1e3, peak);
            XCloseDisplay(display);
            return 0;
        }
        pollfd p = {fd, POLLIN, 0};
        poll(&p, 1, 100);
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "first-window: the program ended before showing a window\n");
            return 1;
        }
        if (Now() - start > 60) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            std::fprintf(stderr, "first-window: no window within a minute\n");
            return 1;
        }
    }
}
