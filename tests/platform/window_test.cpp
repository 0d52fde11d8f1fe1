// The window and graphics services on the null backend: message order,
// paints, timers, titles, the cursor, StretchDIBits' row mapping and
// clipping, and what happens to calls on destroyed windows. Runs on the test
// thread plus the helper threads a test starts itself.
#include "platform/null_window.h"
#include "platform/win32.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// What the test window procedure saw, in order, and how it answers.
struct ProcedureLog {
  std::vector<UINT> messages;
  std::vector<HWND> windows;
  LRESULT createResult = 0;
  LPVOID createParameter = nullptr;
  bool validatePaint = true;
  int quitCodeOnDestroy = -1;  // -1: no PostQuitMessage
  bool creationReturned = false;
  bool createSeenBeforeReturn = false;
};
ProcedureLog logged;

constexpr wchar_t testClassName[] = L"Zelvor window test class";

bool isLogged(UINT message) {
  return message == WM_CREATE || message == WM_DESTROY || message == WM_PAINT || message == WM_CLOSE ||
         message == WM_ERASEBKGND || message >= 0x0400;
}

LRESULT CALLBACK testProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (isLogged(message)) {
    logged.messages.push_back(message);
    logged.windows.push_back(window);
  }
  switch (message) {
    case WM_CREATE:
      logged.createSeenBeforeReturn = !logged.creationReturned;
      logged.createParameter = reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams;
      return logged.createResult;
    case WM_DESTROY:
      if (logged.quitCodeOnDestroy >= 0) PostQuitMessage(logged.quitCodeOnDestroy);
      return 0;
    case WM_PAINT:
      if (!logged.validatePaint) return 0;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_ERASEBKGND: return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    zelvor::null_window::select();
    static const bool registered = [] {
      WNDCLASSW windowClass{};
      windowClass.style = CS_HREDRAW | CS_VREDRAW;
      windowClass.lpfnWndProc = testProcedure;
      windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
      windowClass.lpszClassName = testClassName;
      return RegisterClassW(&windowClass) != 0;
    }();
    ASSERT_TRUE(registered);
    logged = ProcedureLog{};
  }

  void TearDown() override {
    for (HWND window : created) DestroyWindow(window);
    // Leave no quit request or stray message behind for the next test.
    PostQuitMessage(0);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    }
  }

  HWND create(int width = 200, int height = 100, LPVOID parameter = nullptr) {
    logged.creationReturned = false;
    const HWND window = CreateWindowExW(0, testClassName, L"Zelvor", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, width,
                                        height, nullptr, nullptr, nullptr, parameter);
    logged.creationReturned = true;
    if (window != nullptr) created.push_back(window);
    return window;
  }

  // The next message, dispatched; fails the test instead of blocking forever
  // when nothing arrives within a second.
  MSG pump() {
    const UINT_PTR guard = SetTimer(nullptr, 0, 1000, nullptr);
    MSG message{};
    EXPECT_GT(GetMessageW(&message, nullptr, 0, 0), 0);
    KillTimer(nullptr, guard);
    EXPECT_FALSE(message.message == WM_TIMER && message.wParam == guard) << "no message within a second";
    DispatchMessageW(&message);
    return message;
  }

  // True when the queue holds nothing that outranks a due timer: posted
  // messages, a quit request and paints all come before WM_TIMER.
  bool queueIdle() {
    const UINT_PTR probe = SetTimer(nullptr, 0, 10, nullptr);
    MSG message{};
    GetMessageW(&message, nullptr, 0, 0);
    KillTimer(nullptr, probe);
    return message.message == WM_TIMER && message.wParam == probe;
  }

  std::vector<HWND> created;
};

// ---------------------------------------------------------------- classes

TEST_F(WindowTest, RegisteringAClassTwiceOrWithoutProcedureFails) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = testProcedure;
  windowClass.lpszClassName = testClassName;
  EXPECT_EQ(RegisterClassW(&windowClass), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

  windowClass.lpszClassName = L"Zelvor class without procedure";
  windowClass.lpfnWndProc = nullptr;
  EXPECT_EQ(RegisterClassW(&windowClass), 0);
  EXPECT_EQ(RegisterClassW(nullptr), 0);
}

TEST_F(WindowTest, StockObjectsAndTheArrowCursorExist) {
  EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
  EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
}

TEST_F(WindowTest, TheClientAreaIsTheAdjustedRectangle) {
  RECT rect{0, 0, 800, 600};
  ASSERT_TRUE(AdjustWindowRectEx(&rect, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, FALSE, 0));
  const HWND window = create(rect.right - rect.left, rect.bottom - rect.top);
  ASSERT_NE(window, nullptr);
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.left, 0);
  EXPECT_EQ(client.top, 0);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
}

TEST_F(WindowTest, CreatingAWindowOfAnUnknownClassFails) {
  EXPECT_EQ(CreateWindowExW(0, L"No such class", L"Zelvor", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

// ---------------------------------------------------------- message order

TEST_F(WindowTest, WmCreateArrivesInsideCreationWithTheNewHandle) {
  int parameter = 0;
  const HWND window = create(200, 100, &parameter);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(logged.messages, std::vector<UINT>{WM_CREATE});
  EXPECT_TRUE(logged.createSeenBeforeReturn);
  EXPECT_EQ(logged.windows[0], window);
  EXPECT_EQ(logged.createParameter, &parameter);
}

TEST_F(WindowTest, MinusOneFromWmCreateDestroysTheWindow) {
  logged.createResult = -1;
  const HWND window = create();
  EXPECT_EQ(window, nullptr);
  EXPECT_EQ(logged.messages, (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
  RECT client{};
  EXPECT_FALSE(GetClientRect(logged.windows[0], &client));
  EXPECT_TRUE(queueIdle());
}

TEST_F(WindowTest, UpdateWindowPaintsAtOnceAfterShowing) {
  const HWND window = create();
  ShowWindow(window, SW_SHOWDEFAULT);
  logged.messages.clear();
  ASSERT_TRUE(UpdateWindow(window));
  // Sent, not queued: the paint ran before UpdateWindow returned, erase first.
  EXPECT_EQ(logged.messages, (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
  EXPECT_TRUE(queueIdle());

  logged.messages.clear();
  UpdateWindow(window);  // nothing invalid: nothing sent
  EXPECT_TRUE(logged.messages.empty());
}

TEST_F(WindowTest, PaintKeepsComingUntilValidated) {
  const HWND window = create();
  logged.validatePaint = false;
  ASSERT_TRUE(InvalidateRect(window, nullptr, FALSE));
  EXPECT_EQ(pump().message, static_cast<UINT>(WM_PAINT));
  EXPECT_EQ(pump().message, static_cast<UINT>(WM_PAINT));
  logged.validatePaint = true;
  EXPECT_EQ(pump().message, static_cast<UINT>(WM_PAINT));
  EXPECT_TRUE(queueIdle());
}

TEST_F(WindowTest, BeginPaintReportsTheClippedUnionOfInvalidRectangles) {
  const HWND window = create(200, 100);
  const RECT first{10, 20, 30, 40};
  const RECT second{150, 5, 260, 25};  // runs past the right edge
  InvalidateRect(window, &first, FALSE);
  InvalidateRect(window, &second, FALSE);
  const RECT outside{300, 300, 400, 400};
  InvalidateRect(window, &outside, FALSE);

  PAINTSTRUCT paint{};
  ASSERT_NE(BeginPaint(window, &paint), nullptr);
  EXPECT_EQ(paint.rcPaint.left, 10);
  EXPECT_EQ(paint.rcPaint.top, 5);
  EXPECT_EQ(paint.rcPaint.right, 200);
  EXPECT_EQ(paint.rcPaint.bottom, 40);
  EXPECT_FALSE(paint.fErase);
  EXPECT_TRUE(EndPaint(window, &paint));
  EXPECT_TRUE(queueIdle());
}

TEST_F(WindowTest, PostedMessagesComeBeforePaintsInPostingOrder) {
  const HWND window = create();
  InvalidateRect(window, nullptr, FALSE);
  PostMessageW(window, 0x0401, 1, 0);
  PostMessageW(window, 0x0402, 2, 0);
  EXPECT_EQ(pump().message, 0x0401u);
  EXPECT_EQ(pump().message, 0x0402u);
  EXPECT_EQ(pump().message, static_cast<UINT>(WM_PAINT));
}

TEST_F(WindowTest, ClosingRunsCloseDestroyAndQuit) {
  const HWND window = create();
  logged.quitCodeOnDestroy = 7;
  logged.messages.clear();
  zelvor::null_window::requestClose(window);

  MSG message{};
  int loops = 0;
  BOOL result = 0;
  while ((result = GetMessageW(&message, nullptr, 0, 0)) > 0 && loops++ < 10) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 7u);
  EXPECT_EQ(logged.messages, (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
  RECT client{};
  EXPECT_FALSE(GetClientRect(window, &client));
}

TEST_F(WindowTest, DestroyingDropsTheWindowsPendingMessagesAndPaints) {
  const HWND window = create();
  PostMessageW(window, 0x0401, 0, 0);
  InvalidateRect(window, nullptr, FALSE);
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_TRUE(queueIdle());
}

TEST_F(WindowTest, APostFromAnotherThreadWakesTheWaitingLoop) {
  const HWND window = create();
  // Many rounds, so that a post landing between the queue check and the wait
  // would be caught losing its wake-up.
  for (int round = 0; round < 200; ++round) {
    std::thread poster([window, round] { PostMessageW(window, 0x0400 + (round % 16), round, 0); });
    MSG message{};
    ASSERT_GT(GetMessageW(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.wParam, static_cast<WPARAM>(round));
    poster.join();
  }
}

// ------------------------------------------------------------------ timers

struct TimerCalls {
  std::vector<HWND> windows;
  std::vector<UINT> messages;
  std::vector<UINT_PTR> ids;
  std::vector<std::chrono::steady_clock::time_point> times;
};
TimerCalls timerCalls;

void CALLBACK recordTimer(HWND window, UINT message, UINT_PTR id, DWORD) {
  timerCalls.windows.push_back(window);
  timerCalls.messages.push_back(message);
  timerCalls.ids.push_back(id);
  timerCalls.times.push_back(std::chrono::steady_clock::now());
}

double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

TEST_F(WindowTest, TimerCallbacksRunFromDispatchRoughlyEveryPeriodWhileTheLoopSleeps) {
  const HWND window = create();
  timerCalls = TimerCalls{};
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = threadCpuSeconds();
  ASSERT_NE(SetTimer(window, 0, 40, recordTimer), 0u);

  while (timerCalls.ids.size() < 4) {
    MSG message{};
    ASSERT_GT(GetMessageW(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_TIMER));
    DispatchMessageW(&message);
  }
  const auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = threadCpuSeconds() - cpuStart;

  EXPECT_EQ(timerCalls.windows, std::vector<HWND>(4, window));
  EXPECT_EQ(timerCalls.messages, std::vector<UINT>(4, WM_TIMER));
  EXPECT_EQ(timerCalls.ids, std::vector<UINT_PTR>(4, 0));
  // Never early; four periods take at least 160 ms.
  EXPECT_GE(timerCalls.times[0] - start, 40ms);
  for (std::size_t i = 1; i < timerCalls.times.size(); ++i)
    EXPECT_GE(timerCalls.times[i] - timerCalls.times[i - 1], 40ms);
  // A loop that slept in its wait used a small part of the time it waited.
  EXPECT_LT(cpu, wall / 2) << "the message loop spins while it waits for a timer";
}

TEST_F(WindowTest, KilledAndDestroyedWindowsTimersStop) {
  const HWND first = create();
  const HWND second = create();
  timerCalls = TimerCalls{};
  SetTimer(first, 1, 10, recordTimer);
  SetTimer(second, 2, 10, recordTimer);
  EXPECT_TRUE(KillTimer(first, 1));
  EXPECT_FALSE(KillTimer(first, 1));
  DestroyWindow(second);
  EXPECT_EQ(SetTimer(second, 3, 10, recordTimer), 0u);
  EXPECT_FALSE(KillTimer(second, 2));

  std::this_thread::sleep_for(30ms);
  EXPECT_TRUE(queueIdle());
  EXPECT_TRUE(timerCalls.ids.empty());
}

TEST_F(WindowTest, SettingATimerAgainReplacesIt) {
  const HWND window = create();
  timerCalls = TimerCalls{};
  SetTimer(window, 5, 10000, recordTimer);
  SetTimer(window, 5, 10, recordTimer);  // must not wait ten seconds
  while (timerCalls.ids.empty()) pump();
  EXPECT_EQ(timerCalls.ids, std::vector<UINT_PTR>{5});
}

// ------------------------------------------------------------------ titles

TEST_F(WindowTest, TitlesRoundTripIncludingNonAscii) {
  const HWND window = create();
  wchar_t buffer[64];
  ASSERT_EQ(GetWindowTextW(window, buffer, 64), 6);
  EXPECT_EQ(std::wstring(buffer), L"Zelvor");

  const std::wstring title = L"Zelvor - 59.94 (fps) \u00e9\u4e2d\U0001F600";
  ASSERT_TRUE(SetWindowTextW(window, title.c_str()));
  ASSERT_EQ(GetWindowTextW(window, buffer, 64), static_cast<int>(title.size()));
  EXPECT_EQ(std::wstring(buffer), title);

  // A short buffer gets the start of the title, terminated.
  ASSERT_EQ(GetWindowTextW(window, buffer, 4), 3);
  EXPECT_EQ(std::wstring(buffer), L"Zel");
  EXPECT_EQ(GetWindowTextW(window, buffer, 0), 0);
}

// ------------------------------------------------------------------ cursor

TEST_F(WindowTest, CursorPositionsConvertToClientCoordinatesAlsoOutside) {
  const HWND window = create(800, 600);
  struct Case {
    POINT origin;
    POINT screen;
    POINT client;
  };
  const Case cases[] = {
      {{100, 50}, {500, 350}, {400, 300}},    // inside
      {{100, 50}, {100, 50}, {0, 0}},         // the client origin
      {{100, 50}, {20, 10}, {-80, -40}},      // left of and above the window
      {{100, 50}, {1200, 900}, {1100, 850}},  // right of and below
      {{-30, -20}, {0, 0}, {30, 20}},         // window partly off screen
      {{-30, -20}, {-50, -60}, {-20, -40}},   // negative screen position
  };
  for (const Case& test : cases) {
    zelvor::null_window::setClientOrigin(window, test.origin.x, test.origin.y);
    zelvor::null_window::setCursorPos(test.screen.x, test.screen.y);
    POINT point{};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, test.screen.x);
    EXPECT_EQ(point.y, test.screen.y);
    ASSERT_TRUE(ScreenToClient(window, &point));
    EXPECT_EQ(point.x, test.client.x) << "screen " << test.screen.x << "," << test.screen.y;
    EXPECT_EQ(point.y, test.client.y) << "screen " << test.screen.x << "," << test.screen.y;
  }
}

// ----------------------------------------------------------- StretchDIBits

constexpr std::uint32_t white = 0x00FFFFFF;

// A 32-bit BI_RGB bitmap whose every pixel names its memory row and column,
// with a junk fourth byte that must not reach the window.
struct Dib {
  BITMAPINFO info{};
  std::vector<std::uint32_t> bits;

  Dib(int width, int rows, bool bottomUp) : bits(static_cast<std::size_t>(width) * rows) {
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = bottomUp ? rows : -rows;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(bits.size() * 4);
    for (int row = 0; row < rows; ++row) {
      for (int column = 0; column < width; ++column) bits[row * width + column] = 0xA5000000u | pixel(row, column);
    }
  }
  static std::uint32_t pixel(int row, int column) { return static_cast<std::uint32_t>(row) << 12 | column; }
};

// The Screen's call: band-image memory row r must land on client row
// bandTop + r, columns unchanged, and nothing else may change.
TEST_F(WindowTest, TheScreensBandCopyPutsBandRowsOnClientRows) {
  struct Case {
    int width, height, bandRows, bandTop;
    RECT rect;
  };
  const Case cases[] = {
      {800, 600, 10, 20, {0, 20, 800, 30}},     // the worked example: source y 11, height -10
      {800, 600, 10, 0, {0, 0, 800, 10}},       // first band
      {800, 600, 10, 590, {0, 590, 800, 600}},  // last band
      {800, 600, 10, 40, {13, 42, 377, 47}},    // a dirty part of a band
      {800, 600, 10, 40, {799, 49, 800, 50}},   // one pixel, bottom right of the band
      {37, 23, 4, 20, {0, 20, 37, 23}},         // a short last band: the image has more rows than the client
      {8192, 4, 1, 3, {100, 3, 8000, 4}},       // one-row bands
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(testing::Message() << "band top " << test.bandTop << " rect " << test.rect.left << "," << test.rect.top
                                    << "," << test.rect.right << "," << test.rect.bottom);
    const HWND window = zelvor::null_window::createSurface(test.width, test.height);
    const HDC dc = GetDC(window);
    const Dib band(test.width, test.bandRows, true);
    const RECT& rect = test.rect;
    const int rows = StretchDIBits(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, rect.left,
                                   rect.bottom - test.bandTop + 1, rect.right - rect.left, rect.top - rect.bottom,
                                   band.bits.data(), &band.info, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(rows, rect.bottom - rect.top);

    const auto pixels = zelvor::null_window::pixels(window);
    for (int y = 0; y < test.height; ++y) {
      for (int x = 0; x < test.width; ++x) {
        const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
        const std::uint32_t expected = inside ? Dib::pixel(y - test.bandTop, x) : white;
        ASSERT_EQ(pixels[y * test.width + x], expected) << "client pixel " << x << "," << y;
      }
    }
    const auto blits = zelvor::null_window::takeBlits(window);
    ASSERT_EQ(blits.size(), 1u);
    EXPECT_EQ(blits[0].left, rect.left);
    EXPECT_EQ(blits[0].top, rect.top);
    EXPECT_EQ(blits[0].right, rect.right);
    EXPECT_EQ(blits[0].bottom, rect.bottom);
    EXPECT_TRUE(zelvor::null_window::takeBlits(window).empty());
    ReleaseDC(window, dc);
    DestroyWindow(window);
  }
}

// The memory row shown on destination row k, as the layer's convention words
// it: positive heights take rows ySrc .. ySrc+h-1, negative ones -n take rows
// ySrc-n-1 .. ySrc-2; a bottom-up bitmap shows a positive range highest row
// first and a negative one lowest first; a top-down bitmap the other way.
int conventionRow(bool bottomUp, int ySrc, int srcHeight, int k) {
  if (srcHeight > 0) return bottomUp ? ySrc + srcHeight - 1 - k : ySrc + k;
  const int n = -srcHeight;
  return bottomUp ? ySrc - n - 1 + k : ySrc - 2 - k;
}

TEST_F(WindowTest, StretchDIBitsFollowsTheRowConventionAndClips) {
  constexpr int clientWidth = 40;
  constexpr int clientHeight = 30;
  constexpr int bitmapWidth = 24;
  constexpr int bitmapRows = 16;
  struct Case {
    const char* what;
    int xDest, yDest, width, height, xSrc, ySrc, srcHeight;
  };
  const Case cases[] = {
      {"whole bitmap", 0, 0, 24, 16, 0, 0, 16},
      {"inner rectangle", 5, 7, 10, 6, 3, 4, 6},
      {"mirrored inner rectangle", 5, 7, 10, 6, 3, 12, -6},
      {"mirrored whole bitmap", 0, 0, 24, 16, 0, 17, -16},
      {"past the client's left and top", -4, -3, 12, 10, 2, 2, 10},
      {"past the client's right and bottom", 30, 25, 10, 8, 0, 0, 8},
      {"mirrored, past the client's bottom", 10, 26, 8, 8, 1, 10, -8},
      {"source above the bitmap", 0, 0, 10, 10, 0, 12, 10},
      {"source left of and below the bitmap", 0, 0, 10, 10, -5, -4, 10},
      {"mirrored source running off the bitmap", 0, 0, 10, 10, 18, 6, -10},
      {"mirrored source of one row at the bottom", 3, 3, 5, 1, 0, 2, -1},
      {"wholly outside the client", 50, 0, 10, 10, 0, 0, 10},
      {"wholly outside the bitmap", 0, 0, 10, 10, 30, 0, 10},
  };
  for (const bool bottomUp : {true, false}) {
    for (const Case& test : cases) {
      SCOPED_TRACE(testing::Message() << test.what << (bottomUp ? ", bottom-up" : ", top-down"));
      const HWND window = zelvor::null_window::createSurface(clientWidth, clientHeight);
      const HDC dc = GetDC(window);
      const Dib dib(bitmapWidth, bitmapRows, bottomUp);
      const int rows = StretchDIBits(dc, test.xDest, test.yDest, test.width, test.height, test.xSrc, test.ySrc,
                                     test.width, test.srcHeight, dib.bits.data(), &dib.info, DIB_RGB_COLORS, SRCCOPY);

      // An independent per-pixel model: every destination pixel whose source
      // lies in the bitmap and which lies on the client shows that source.
      std::vector<std::uint32_t> expected(clientWidth * clientHeight, white);
      std::vector<bool> rowCopied(test.height, false);
      for (int k = 0; k < test.height; ++k) {
        const int sourceRow = conventionRow(bottomUp, test.ySrc, test.srcHeight, k);
        const int y = test.yDest + k;
        if (sourceRow < 0 || sourceRow >= bitmapRows || y < 0 || y >= clientHeight) continue;
        for (int j = 0; j < test.width; ++j) {
          const int sourceColumn = test.xSrc + j;
          const int x = test.xDest + j;
          if (sourceColumn < 0 || sourceColumn >= bitmapWidth || x < 0 || x >= clientWidth) continue;
          expected[y * clientWidth + x] = Dib::pixel(sourceRow, sourceColumn);
          rowCopied[k] = true;
        }
      }
      EXPECT_EQ(rows, std::count(rowCopied.begin(), rowCopied.end(), true));
      const auto pixels = zelvor::null_window::pixels(window);
      for (int i = 0; i < clientWidth * clientHeight; ++i) {
        ASSERT_EQ(pixels[i], expected[i]) << "client pixel " << i % clientWidth << "," << i / clientWidth;
      }
      ReleaseDC(window, dc);
      DestroyWindow(window);
    }
  }
}

TEST_F(WindowTest, StretchDIBitsRejectsWhatItDoesNotDo) {
  const HWND window = zelvor::null_window::createSurface(16, 16);
  const HDC dc = GetDC(window);
  const Dib good(8, 8, true);
  struct Case {
    const char* what;
    int destWidth, destHeight, srcWidth, srcHeight;
    int bitCount;
    DWORD compression;
    LONG biWidth, biHeight;
    UINT usage;
    DWORD rop;
    bool noBits;
    bool noInfo;
  };
  const Case cases[] = {
      {"stretching wider", 8, 8, 4, 8, 32, BI_RGB, 8, 8, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"stretching taller", 8, 8, 8, 4, 32, BI_RGB, 8, 8, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"mirrored columns", 8, 8, -8, 8, 32, BI_RGB, 8, 8, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"negative destination height", 8, -8, 8, -8, 32, BI_RGB, 8, 8, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"empty destination", 0, 8, 0, 8, 32, BI_RGB, 8, 8, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"24-bit pixels", 8, 8, 8, 8, 24, BI_RGB, 8, 8, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"compressed", 8, 8, 8, 8, 32, 3, 8, 8, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"zero-width bitmap", 8, 8, 8, 8, 32, BI_RGB, 0, 8, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"zero-height bitmap", 8, 8, 8, 8, 32, BI_RGB, 8, 0, DIB_RGB_COLORS, SRCCOPY, false, false},
      {"palette colours", 8, 8, 8, 8, 32, BI_RGB, 8, 8, 1, SRCCOPY, false, false},
      {"another raster operation", 8, 8, 8, 8, 32, BI_RGB, 8, 8, DIB_RGB_COLORS, 0x00EE0086, false, false},
      {"no bits", 8, 8, 8, 8, 32, BI_RGB, 8, 8, DIB_RGB_COLORS, SRCCOPY, true, false},
      {"no description", 8, 8, 8, 8, 32, BI_RGB, 8, 8, DIB_RGB_COLORS, SRCCOPY, false, true},
  };
  for (const Case& test : cases) {
    BITMAPINFO info = good.info;
    info.bmiHeader.biBitCount = static_cast<WORD>(test.bitCount);
    info.bmiHeader.biCompression = test.compression;
    info.bmiHeader.biWidth = test.biWidth;
    info.bmiHeader.biHeight = test.biHeight;
    EXPECT_EQ(
        StretchDIBits(dc, 0, 0, test.destWidth, test.destHeight, 0, 0, test.srcWidth, test.srcHeight,
                      test.noBits ? nullptr : good.bits.data(), test.noInfo ? nullptr : &info, test.usage, test.rop),
        0)
        << test.what;
  }
  EXPECT_EQ(zelvor::null_window::pixels(window), std::vector<std::uint32_t>(16 * 16, white));
  EXPECT_TRUE(zelvor::null_window::takeBlits(window).empty());
  EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 8, 8, 0, 0, 8, 8, good.bits.data(), &good.info, DIB_RGB_COLORS, SRCCOPY), 0);
  ReleaseDC(window, dc);
  DestroyWindow(window);
}

TEST_F(WindowTest, APaintDeviceContextCopiesToo) {
  const HWND window = create(8, 8);
  InvalidateRect(window, nullptr, FALSE);
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(window, &paint);
  ASSERT_NE(dc, nullptr);
  const Dib dib(8, 8, false);
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 8, 8, 0, 0, 8, 8, dib.bits.data(), &dib.info, DIB_RGB_COLORS, SRCCOPY), 8);
  EndPaint(window, &paint);
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 8, 8, 0, 0, 8, 8, dib.bits.data(), &dib.info, DIB_RGB_COLORS, SRCCOPY), 0);
}

// -------------------------------------------------------- destroyed windows

TEST_F(WindowTest, CallsOnDestroyedOrMadeUpWindowsFailSafely) {
  const HWND window = create(8, 8);
  const HDC dc = GetDC(window);
  ASSERT_NE(dc, nullptr);
  ASSERT_TRUE(DestroyWindow(window));
  created.clear();

  const Dib dib(8, 8, true);
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 8, 8, 0, 0, 8, 8, dib.bits.data(), &dib.info, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(ReleaseDC(window, dc), 0);
  EXPECT_EQ(ReleaseDC(window, dc), 0);
  EXPECT_FALSE(DestroyWindow(window));

  const HWND madeUp = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0xDEAD0));
  EXPECT_FALSE(PostMessageW(window, 0x0401, 0, 0));
  EXPECT_FALSE(PostMessageW(madeUp, 0x0401, 0, 0));
  for (const HWND bad : {window, madeUp, static_cast<HWND>(nullptr)}) {
    EXPECT_EQ(GetDC(bad), nullptr);
    EXPECT_FALSE(ShowWindow(bad, SW_SHOW));
    EXPECT_FALSE(UpdateWindow(bad));
    EXPECT_FALSE(InvalidateRect(bad, nullptr, FALSE));
    EXPECT_FALSE(SetWindowTextW(bad, L"x"));
    PAINTSTRUCT paint{};
    EXPECT_EQ(BeginPaint(bad, &paint), nullptr);
    POINT point{};
    EXPECT_FALSE(ScreenToClient(bad, &point));
    RECT rect{};
    EXPECT_FALSE(GetClientRect(bad, &rect));
    EXPECT_EQ(zelvor::null_window::pixels(bad), std::vector<std::uint32_t>{});
  }
  EXPECT_TRUE(queueIdle());
}

TEST_F(WindowTest, AWorkerCopyingWhileTheWindowIsDestroyedNeverCrashes) {
  for (int round = 0; round < 20; ++round) {
    const HWND window = create(64, 32);
    const HDC dc = GetDC(window);
    std::atomic<bool> started{false};
    std::atomic<int> failures{0};
    std::thread worker([&] {
      const Dib band(64, 4, true);
      for (int i = 0;; ++i) {
        // The Screen's call for rows 8..11 of a band that starts at row 8.
        const int rows =
            StretchDIBits(dc, 0, 8, 64, 4, 0, 5, 64, -4, band.bits.data(), &band.info, DIB_RGB_COLORS, SRCCOPY);
        started = true;
        if (rows == 0) break;
        if (rows != 4) ++failures;
        if (i % 8 == 0) zelvor::null_window::pixels(window);
      }
    });
    while (!started) std::this_thread::yield();
    DestroyWindow(window);
    created.clear();
    worker.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(ReleaseDC(window, dc), 0);
  }
}

TEST_F(WindowTest, CopiesMadeDuringWmDestroyStillArrive) {
  // The owner joins its render workers inside WM_DESTROY; until that returns
  // the window must keep taking their copies.
  static HDC dcDuringDestroy = nullptr;
  static int rowsDuringDestroy = -1;
  struct Procedure {
    static LRESULT CALLBACK run(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
      if (message == WM_DESTROY) {
        const Dib dib(4, 4, true);
        rowsDuringDestroy =
            StretchDIBits(dcDuringDestroy, 0, 0, 4, 4, 0, 0, 4, 4, dib.bits.data(), &dib.info, DIB_RGB_COLORS, SRCCOPY);
      }
      return DefWindowProcW(window, message, wParam, lParam);
    }
  };
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = Procedure::run;
  windowClass.lpszClassName = L"Zelvor destroy-copy class";
  ASSERT_NE(RegisterClassW(&windowClass), 0);
  const HWND window =
      CreateWindowExW(0, windowClass.lpszClassName, L"Zelvor", 0, 0, 0, 4, 4, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  dcDuringDestroy = GetDC(window);
  DestroyWindow(window);
  EXPECT_EQ(rowsDuringDestroy, 4);
  EXPECT_EQ(ReleaseDC(window, dcDuringDestroy), 0);
}

}  // namespace
