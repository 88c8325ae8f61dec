// The main window and its three routines.
#pragma once

#include <windows.h>

extern HWND _mainWindow;

// Registers the class and creates the main window; its creation runs WindowCreated.
HWND CreateMainWindow(HINSTANCE instance);
// Starts everything: engine, caption, video folder, WeChat choice, scan timer.
void WindowCreated();
void TableRightClick();
void WindowClosing();
