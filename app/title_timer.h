// The one-second timer that writes the frame rate into the window title.
// Runs on the user-interface thread.
#pragma once

#include "platform/win32.h"

#include <string>

inline constexpr UINT_PTR titleTimerId = 0;
inline constexpr UINT titleTimerPeriod = 1000;

// "Zelvor - 59.94 (fps)": the title, then the rate with two decimals.
std::wstring formatTitle(double fps);

// Acts only on WM_TIMER for titleTimerId while a scene exists.
void CALLBACK titleTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);
