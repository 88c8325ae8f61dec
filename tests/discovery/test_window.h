// A hidden window with a report list (_table, four columns) and a static
// control (_consoleOut), as the main window has, for the tests that list rows
// or show messages. Counts the timer messages it receives and runs a given
// routine for WM_APP.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class TestWindow {
public:
    TestWindow();
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return window; }
    // The status line's text without its "DD-HH:MM:SS " prefix (GBK).
    std::string StatusMessage() const;
    static int TimerMessages();
    static void ResetTimerMessages();
    static void OnAppMessage(std::function<void()> routine);

private:
    HWND window = nullptr;
};
