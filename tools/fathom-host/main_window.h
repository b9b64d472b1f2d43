// The host's main window: its units in a list, buttons to add, configure and
// remove a unit and to open, update and close its unit window, and the
// selected unit's routing (an input choice and a level per output). It is
// the parent the plug-in's windows and dialogs are given, and it carries the
// timer that drives the plug-in's Tick.
#pragma once

#include <windows.h>

#include <cstdint>

#include "host.h"

namespace fathom_host {

class MainWindow {
public:
    MainWindow(HINSTANCE instance, Host &host, UINT tickPeriodMs);
    ~MainWindow();
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    HWND hwnd() const { return hwnd_; }
    // Shows the host's units and the plug-in's routing names as they are now.
    void refresh();
    void status(const std::string &text);

    // The Tick timer: while on, each timer message passes the plug-in the
    // milliseconds really elapsed since the previous one (or since it was
    // switched on).
    void setTicking(bool on);
    int ticks() const { return ticks_; }
    long long reportedMs() const { return reportedMs_; }

    // Closes the unit windows, lets the plug-in save and releases it, then
    // destroys the window (which ends the message loop).
    void close();

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void command(int id, int code);
    std::int32_t selectedUnit() const;
    void onTimer();
    void showLevelChoice(int output);
    void readRouting();
    void writeRouting();

    HINSTANCE instance_;
    Host &host_;
    UINT tickPeriodMs_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    bool ticking_ = false;
    ULONGLONG lastTick_ = 0;
    int ticks_ = 0;
    long long reportedMs_ = 0;
};

} // namespace fathom_host
