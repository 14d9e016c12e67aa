#include "tests/x11/x11_session.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

bool XvfbSession::Start(int width, int height)
{
    int fds[2];
    if (pipe(fds) != 0) return false;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", screen.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char number[16] = {};
    for (size_t n = 0; n + 1 < sizeof number && read(fds[0], number + n, 1) == 1 && number[n] != '\n'; ++n) {
    }
    close(fds[0]);
    name = ":" + std::string(number, std::strcspn(number, "\n"));
    display = name.size() > 1 ? XOpenDisplay(name.c_str()) : nullptr;
    return display != nullptr;
}

void XvfbSession::Stop()
{
    if (display != nullptr) XCloseDisplay(display);
    display = nullptr;
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    pid = 0;
}
