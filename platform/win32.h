// The Windows services zelvor calls: kernel objects, files, the clock and
// the window and graphics services of the one demonstration window.
//
// Code outside platform/ includes only this header. On Windows it is the
// system's own headers; elsewhere it declares the same names, types and
// constants, implemented by this folder on POSIX threads and Xlib (or on an
// in-memory "null" window for tests).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#include <process.h>
#else
#include "platform/kernel_services.h"
#include "platform/window_services.h"
#endif
