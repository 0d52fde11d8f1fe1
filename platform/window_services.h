// Window and graphics-device services (user32, gdi32) of the demonstration
// window, as zelvor relies on them.
//
// The services run on one of two backends: X11 (the default) or the in-memory
// null backend that tests select (platform/null_window.h). Messages, timers and
// painting belong to the thread that created the window; GetDC's device
// context may be used by one other thread at a time for StretchDIBits,
// GetCursorPos and ScreenToClient may be called from any thread.
#pragma once

#include "platform/kernel_services.h"

struct WindowObject;
struct DeviceContextObject;
struct InstanceObject;
struct GdiObject;

using HWND = WindowObject*;
using HDC = DeviceContextObject*;
using HINSTANCE = InstanceObject*;
using HGDIOBJ = GdiObject*;
using HBRUSH = GdiObject*;
using HICON = GdiObject*;
using HCURSOR = GdiObject*;
using HMENU = GdiObject*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using ATOM = WORD;
using LPSTR = char*;

using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void(CALLBACK*)(HWND, UINT, UINT_PTR, DWORD);

struct POINT {
  LONG x;
  LONG y;
};
using LPPOINT = POINT*;

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using LPRECT = RECT*;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

struct WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
};

// What WM_CREATE's lParam points to.
struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;

inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_CLIPCHILDREN = 0x02000000;

inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_TIMER = 0x0113;

inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
inline constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_SHOWDEFAULT = 10;

inline constexpr int WHITE_BRUSH = 0;
inline LPCWSTR const IDC_ARROW = reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(32512));

inline constexpr DWORD BI_RGB = 0;
inline constexpr UINT DIB_RGB_COLORS = 0;
inline constexpr DWORD SRCCOPY = 0x00CC0020;

// The program's entry, called by the layer's main with the process instance
// and SW_SHOWDEFAULT.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

// Window classes: RegisterClassW returns 0 for a missing procedure or name
// (ERROR_INVALID_PARAMETER) or a name already registered
// (ERROR_CLASS_ALREADY_EXISTS). LoadCursorW knows IDC_ARROW, GetStockObject
// WHITE_BRUSH; other names give null. The window manager draws the frame, so
// AdjustWindowRectEx leaves the rectangle as it is. Any thread.
ATOM RegisterClassW(const WNDCLASSW* windowClass);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
HGDIOBJ GetStockObject(int object);
BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle);

// Windows belong to the thread that creates them; the calls below, except
// PostMessageW, are made on that thread. CreateWindowExW sends WM_CREATE
// before it returns; it returns null for an unknown class
// (ERROR_CANNOT_FIND_WND_CLASS), when the window system cannot be reached
// (ERROR_IO_DEVICE; zelvor::platform::lastWindowSystemError in
// platform/window_system.h says why), or when WM_CREATE returns -1 (the window
// is then destroyed, WM_DESTROY included). Windows have a fixed size.
// DestroyWindow sends WM_DESTROY, during which the window still works, then
// frees it; calls naming a destroyed or unknown window fail (FALSE, 0 or
// null, ERROR_INVALID_WINDOW_HANDLE). Showing a window makes it wholly
// invalid; UpdateWindow sends a pending WM_PAINT at once.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
BOOL DestroyWindow(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

// Each thread has its own queue. GetMessageW sleeps until a message arrives
// and returns posted messages first, then WM_QUIT (result 0), then WM_PAINT
// for an invalid window, then WM_TIMER. DispatchMessageW runs a timer's
// callback itself; other messages go to the window procedure. DefWindowProcW
// destroys the window on WM_CLOSE and validates it on WM_PAINT. PostMessageW
// may be called from any thread.
BOOL GetMessageW(LPMSG message, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageW(const MSG* message);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// Periods below 10 ms count as 10 ms. A window timer's result is its id, or
// 1 for id 0; its timers end with the window.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback);
BOOL KillTimer(HWND window, UINT_PTR id);

// Titles are shown as UTF-8. GetWindowTextW copies at most capacity - 1
// characters and a terminating zero; it returns the number copied.
BOOL SetWindowTextW(HWND window, LPCWSTR text);
int GetWindowTextW(HWND window, LPWSTR text, int capacity);

// BeginPaint validates the update region (sending WM_ERASEBKGND first when
// it asks for erasing) and returns a device context that EndPaint releases.
HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
BOOL GetClientRect(HWND window, LPRECT rect);

// A device context of the client area. Copies through it may come from one
// other thread at a time; once the window is destroyed they fail (0), and so
// does the late ReleaseDC, which still frees the context.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

// Any thread. Client coordinates may be negative or past the client area.
BOOL GetCursorPos(LPPOINT point);
BOOL ScreenToClient(HWND window, LPPOINT point);

// Copies a rectangle of a 32-bit BI_RGB bitmap to the client area one to one
// (|source size| = destination size). A positive biHeight declares a
// bottom-up bitmap, a negative one top-down; a negative source height mirrors
// the copy vertically. DIB row y is memory row y counted from the first row
// in memory. For a bottom-up bitmap a positive height h takes rows
// ySrc .. ySrc+h-1 and shows row ySrc+h-1 at the destination's top; a
// negative height -n takes rows ySrc-n-1 .. ySrc-2 and shows them in
// ascending order from the top. A top-down bitmap takes the same rows and
// shows them in the opposite order. So source y = bottom - bandTop + 1 with
// height top - bottom shows a band's memory row r on client row bandTop + r.
// The copy is clipped to the bitmap and the client area; the fourth byte of
// each pixel is ignored. Returns the number of rows copied; 0 when nothing
// was copied or on failure: no bitmap, not 32-bit BI_RGB, sizes not one to
// one or not positive, a negative source width, usage other than
// DIB_RGB_COLORS or an operation other than SRCCOPY (ERROR_INVALID_PARAMETER).
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
