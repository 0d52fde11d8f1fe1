// The window procedure of the demonstration window and the names of its
// class and title. Runs on the user-interface thread only.
#pragma once

#include "platform/win32.h"

inline constexpr const wchar_t* windowClassName = L"Zelvor class";
inline constexpr const wchar_t* windowTitle = L"Zelvor";
inline constexpr int clientWidth = 800;
inline constexpr int clientHeight = 600;

// WM_CREATE builds the scene and starts the title timer (a scene that cannot
// be built makes it return -1, so CreateWindowExW fails, with the reason in
// creationFailure()); WM_DESTROY destroys the scene and posts the quit
// message; WM_PAINT marks the whole client area for redrawing;
// WM_ERASEBKGND erases nothing.
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
