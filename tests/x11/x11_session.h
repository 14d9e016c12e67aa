#pragma once
// A private Xvfb display and the real gyrofold started on it, for the tests
// and the benchmark.

#include <X11/Xlib.h>

#include <string>

struct XvfbSession {
    pid_t pid = 0;
    std::string name;  // ":N"
    Display* display = nullptr;

    // Starts Xvfb with a free display number (it picks one itself) and a
    // 24-bit TrueColor screen of the given size.
    bool Start(int width, int height);
    void Stop();
    ~XvfbSession() { Stop(); }
};
