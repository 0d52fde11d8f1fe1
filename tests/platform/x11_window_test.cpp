// The window services on the X11 backend against a real X server: a private
// Xvfb that each test program starts on a free display and stops by its
// process id. Pixels, titles, the pointer and closing are checked from the
// outside with zelvor-x11-probe, as a person at the screen would see them.
// Copies are checked through both transports: MIT-SHM and, forced with
// ZELVOR_X11_NO_SHM=1 or met on servers that refuse shared memory, XPutImage.
// Skipped where Xvfb is not installed.
#include "platform/win32.h"
#include "platform/window_system.h"
#include "tests/support/virtual_display.h"

#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

using zelvor::testing::VirtualDisplay;
using zelvor::testing::xvfbInstalled;

struct ProbeResult {
  int status = -1;
  std::string output;
};

ProbeResult probe(const std::string& display, const std::string& arguments) {
  const std::string command =
      std::string(ZELVOR_X11_PROBE) + " --display " + display + " --timeout 5 " + arguments + " 2>&1";
  ProbeResult result;
  std::FILE* const pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) result.output += buffer;
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// An 8-bit RGB PNG as 0x00RRGGBB words, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

std::optional<Picture> readPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_BGRA;
  Picture picture;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
  if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) return std::nullopt;
  for (auto& pixel : picture.pixels) pixel &= 0x00FFFFFF;
  return picture;
}

struct Seen {
  std::vector<UINT> messages;
  RECT lastPaint{};
  int timerCalls = 0;
};
Seen seen;

LRESULT CALLBACK recordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  seen.messages.push_back(message);
  if (message == WM_PAINT) {
    PAINTSTRUCT paint{};
    BeginPaint(window, &paint);
    seen.lastPaint = paint.rcPaint;
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(3);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void CALLBACK countTimer(HWND, UINT, UINT_PTR, DWORD) { ++seen.timerCalls; }

constexpr wchar_t className[] = L"Zelvor X11 test class";
constexpr int clientWidth = 160;
constexpr int clientHeight = 120;
constexpr int windowX = 100;
constexpr int windowY = 80;

class X11WindowTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!xvfbInstalled()) return;
    display = new VirtualDisplay;
    setenv("DISPLAY", display->name().c_str(), 1);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = recordingProcedure;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
  }

  static void TearDownTestSuite() {
    delete display;
    display = nullptr;
  }

  void SetUp() override {
    if (display == nullptr) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(display->name().empty()) << "Xvfb did not start";
    seen = Seen{};
  }

  void TearDown() override {
    // Leave no quit request (WM_DESTROY posts one) for the next test.
    PostQuitMessage(0);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    }
  }

  // A shown, painted window that the server shows (the probe sees it).
  HWND createShownWindow(const wchar_t* title) {
    const HWND window = CreateWindowExW(0, className, title, WS_CAPTION, windowX, windowY, clientWidth, clientHeight,
                                        nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(window, nullptr) << zelvor::platform::lastWindowSystemError();
    if (window == nullptr) return nullptr;
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    EXPECT_EQ(probe(display->name(), "wait").status, 0);
    return window;
  }

  // Dispatches messages until `done` holds or a second passes.
  template <class Predicate>
  bool runLoopUntil(Predicate done) {
    const UINT_PTR guard = SetTimer(nullptr, 0, 1000, nullptr);
    MSG message{};
    bool result = done();
    while (!result) {
      if (GetMessageW(&message, nullptr, 0, 0) <= 0) break;
      if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == guard) break;
      DispatchMessageW(&message);
      result = done();
    }
    KillTimer(nullptr, guard);
    return result;
  }

  static VirtualDisplay* display;
};

VirtualDisplay* X11WindowTest::display = nullptr;

TEST(X11WindowUnreachable, AnUnopenableDisplayFailsCreationAndIsNamed) {
  // A display number with no server behind it; no Xvfb needed.
  setenv("DISPLAY", ":64999", 1);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.lpszClassName = L"Zelvor unreachable class";
  ASSERT_NE(RegisterClassW(&windowClass), 0);
  EXPECT_EQ(
      CreateWindowExW(0, windowClass.lpszClassName, L"Zelvor", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_NE(zelvor::platform::lastWindowSystemError().find("\":64999\""), std::string::npos)
      << zelvor::platform::lastWindowSystemError();
}

// Presents rows rect.top .. rect.bottom - 1 of a band image whose first row is
// client row bandTop, with the Screen's StretchDIBits arguments.
int presentBand(HDC dc, const std::vector<std::uint32_t>& band, int bandRows, const RECT& rect, int bandTop) {
  BITMAPINFO info{};
  info.bmiHeader =
      BITMAPINFOHEADER{40, clientWidth, bandRows, 1, 32, BI_RGB, static_cast<DWORD>(band.size() * 4), 0, 0, 0, 0};
  return StretchDIBits(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, rect.left,
                       rect.bottom - bandTop + 1, rect.right - rect.left, rect.top - rect.bottom, band.data(), &info,
                       DIB_RGB_COLORS, SRCCOPY);
}

// The client area as the server shows it must become `expected` (0x00RRGGBB,
// top row first). Copies travel on another connection than the probe's, so
// it looks again for a while before it reports the first wrong pixel.
void expectWindowShows(const std::string& displayName, const std::vector<std::uint32_t>& expected) {
  const std::string path = testing::TempDir() + "zelvor-x11-band-" + std::to_string(getpid()) + ".png";
  std::optional<Picture> picture;
  for (int attempt = 0; attempt < 20; ++attempt) {
    ASSERT_EQ(probe(displayName, "screenshot " + path).status, 0);
    picture = readPng(path);
    ASSERT_TRUE(picture.has_value());
    if (picture->pixels == expected) break;
    std::this_thread::sleep_for(50ms);
  }
  std::filesystem::remove(path);
  ASSERT_EQ(picture->width, clientWidth);
  ASSERT_EQ(picture->height, clientHeight);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(picture->pixels[i], expected[i]) << "client pixel " << i % clientWidth << "," << i / clientWidth;
  }
}

// The Screen's copy of rows 20..29 of a 10-row band that starts at row 20,
// columns 10..149, onto a white window.
void presentOneBandAndCheck(const std::string& displayName, HWND window) {
  const int bandTop = 20;
  const RECT rect{10, 20, 150, 30};
  std::vector<std::uint32_t> band(static_cast<std::size_t>(clientWidth) * 10);
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < clientWidth; ++column) {
      band[row * clientWidth + column] =
          0xFF000000u | static_cast<std::uint32_t>(row * 25) << 16 | static_cast<std::uint32_t>(column) << 8 | 0x40;
    }
  }
  const HDC dc = GetDC(window);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(presentBand(dc, band, 10, rect, bandTop), 10);

  std::vector<std::uint32_t> expected(static_cast<std::size_t>(clientWidth) * clientHeight, 0x00FFFFFF);
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x)
      expected[y * clientWidth + x] = band[(y - bandTop) * clientWidth + x] & 0xFFFFFF;
  }
  // The band image is the worker's and is reused at once.
  std::fill(band.begin(), band.end(), 0u);
  expectWindowShows(displayName, expected);
  EXPECT_EQ(ReleaseDC(window, dc), 1);
}

TEST_F(X11WindowTest, ShowsItsGeometryAndTitlesAsTheServerSeesThem) {
  const HWND window = createShownWindow(L"Zelvor");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(seen.messages.front(), static_cast<UINT>(WM_CREATE));
  EXPECT_NE(std::find(seen.messages.begin(), seen.messages.end(), static_cast<UINT>(WM_PAINT)), seen.messages.end());

  const ProbeResult geometry = probe(display->name(), "geometry");
  EXPECT_EQ(geometry.output, "160 120 100 80\n");

  EXPECT_EQ(probe(display->name(), "title").output, "Zelvor\n");
  ASSERT_TRUE(SetWindowTextW(window, L"Zelvor - 59.94 (fps) \u00e9\u4e2d"));
  EXPECT_EQ(probe(display->name(), "title").output, "Zelvor - 59.94 (fps) \xc3\xa9\xe4\xb8\xad\n");
  DestroyWindow(window);
}

// Each test runs once with shared memory and once with it forced off.
class X11PresentTest : public X11WindowTest, public testing::WithParamInterface<std::string> {
 protected:
  void SetUp() override {
    X11WindowTest::SetUp();
    if (GetParam() == "XPutImage") setenv("ZELVOR_X11_NO_SHM", "1", 1);
  }
  void TearDown() override {
    unsetenv("ZELVOR_X11_NO_SHM");
    X11WindowTest::TearDown();
  }

  HWND createPresentingWindow() {
    const HWND window = createShownWindow(L"Zelvor");
    if (window != nullptr) {
      EXPECT_EQ(zelvor::platform::windowTransport(window), GetParam());
    }
    return window;
  }
};

INSTANTIATE_TEST_SUITE_P(Transports, X11PresentTest, testing::Values("MIT-SHM", "XPutImage"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param == "MIT-SHM" ? std::string("SharedMemory") : std::string("Socket");
                         });

TEST_P(X11PresentTest, APresentedBandLandsOnItsClientRows) {
  const HWND window = createPresentingWindow();
  ASSERT_NE(window, nullptr);
  presentOneBandAndCheck(display->name(), window);
  DestroyWindow(window);
}

// 200 whole bands presented as fast as the caller can, in a scrambled band
// order, from one buffer rewritten after each call: every band must end with
// the pixels of the last present that targeted it. The shared segment wraps
// several times on the way (each band is 6400 bytes), so a run of it written
// again before the server had read it shows here as a band holding a later
// present's pixels.
TEST_P(X11PresentTest, ManyPresentsInARowEndWithEachBandsLastPixels) {
  const HWND window = createPresentingWindow();
  ASSERT_NE(window, nullptr);
  const HDC dc = GetDC(window);
  ASSERT_NE(dc, nullptr);
  constexpr int bandRows = 10;
  constexpr int bands = clientHeight / bandRows;
  const auto pixelOf = [](int present, int row, int column) {
    return (static_cast<std::uint32_t>(present) * 2654435761u + static_cast<std::uint32_t>(row * 131 + column * 7)) &
           0xFFFFFF;
  };
  std::vector<std::uint32_t> band(static_cast<std::size_t>(clientWidth) * bandRows);
  std::vector<std::uint32_t> expected(static_cast<std::size_t>(clientWidth) * clientHeight);
  for (int present = 0; present < 200; ++present) {
    const int bandTop = (present * 7) % bands * bandRows;
    for (int row = 0; row < bandRows; ++row) {
      for (int column = 0; column < clientWidth; ++column) {
        const std::uint32_t pixel = pixelOf(present, bandTop + row, column);
        band[row * clientWidth + column] = 0xFF000000u | pixel;
        expected[(bandTop + row) * clientWidth + column] = pixel;
      }
    }
    ASSERT_EQ(presentBand(dc, band, bandRows, RECT{0, bandTop, clientWidth, bandTop + bandRows}, bandTop), bandRows);
  }
  expectWindowShows(display->name(), expected);
  EXPECT_EQ(ReleaseDC(window, dc), 1);
  DestroyWindow(window);
}

// Our System V segments, as the kernel lists them: whether each is marked
// for removal (it then vanishes with its last attachment, even after a
// crash).
std::vector<bool> ourSegmentsMarkedForRemoval() {
  constexpr unsigned markedForRemoval = 01000;  // SHM_DEST in the listed mode
  std::vector<bool> marks;
  std::ifstream list("/proc/sysvipc/shm");
  std::string line;
  std::getline(list, line);  // column names
  while (std::getline(list, line)) {
    std::istringstream fields(line);
    long long key = 0, id = 0, size = 0;
    unsigned mode = 0;
    pid_t creator = 0;
    fields >> key >> id >> std::oct >> mode >> std::dec >> size >> creator;
    if (fields && creator == getpid()) marks.push_back((mode & markedForRemoval) != 0);
  }
  return marks;
}

TEST_F(X11WindowTest, TheSharedSegmentIsMarkedForRemovalAndGoesWithItsWindow) {
  if (!std::filesystem::exists("/proc/sysvipc/shm")) GTEST_SKIP() << "no /proc/sysvipc/shm to look at";
  const HWND window = createShownWindow(L"Zelvor");
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(zelvor::platform::windowTransport(window), "MIT-SHM");
  EXPECT_EQ(ourSegmentsMarkedForRemoval(), std::vector<bool>{true});

  // Copies still in flight when the window goes must not keep it alive.
  const HDC dc = GetDC(window);
  std::vector<std::uint32_t> band(static_cast<std::size_t>(clientWidth) * clientHeight, 0xFF123456u);
  for (int i = 0; i < 50; ++i) presentBand(dc, band, clientHeight, RECT{0, 0, clientWidth, clientHeight}, 0);
  DestroyWindow(window);
  EXPECT_EQ(ourSegmentsMarkedForRemoval(), std::vector<bool>{});
  EXPECT_EQ(ReleaseDC(window, dc), 0);
}

// Servers that offer no shared memory, or offer it but cannot attach our
// segment (a server in another IPC namespace stands for a remote display),
// get the same pixels through the socket.
TEST(X11RefusingServer, CopiesFallBackToTheSocket) {
  if (!xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
  struct Case {
    const char* name;
    std::vector<std::string> launcher;
    std::vector<std::string> options;
  };
  const std::vector<Case> cases{
      {"without MIT-SHM", {}, {"-extension", "MIT-SHM"}},
      {"in another IPC namespace", {"unshare", "--ipc"}, {}},
  };
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = L"Zelvor refusing server class";
  RegisterClassW(&windowClass);
  const char* const previous = std::getenv("DISPLAY");
  const std::string restore = previous != nullptr ? previous : "";
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    if (!test.launcher.empty() && std::system("unshare --ipc true >/dev/null 2>&1") != 0) {
      std::printf("skipped \"%s\": unshare --ipc is not permitted here\n", test.name);
      continue;
    }
    const VirtualDisplay server("640x480x24", test.launcher, test.options);
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    setenv("DISPLAY", server.name().c_str(), 1);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Zelvor", 0, windowX, windowY, clientWidth,
                                        clientHeight, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr) << zelvor::platform::lastWindowSystemError();
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    EXPECT_EQ(zelvor::platform::windowTransport(window), "XPutImage");
    ASSERT_EQ(probe(server.name(), "wait").status, 0);
    presentOneBandAndCheck(server.name(), window);
    DestroyWindow(window);
  }
  setenv("DISPLAY", restore.c_str(), 1);
}

TEST_F(X11WindowTest, TheCursorConvertsToClientCoordinatesAlsoOutside) {
  const HWND window = createShownWindow(L"Zelvor");
  ASSERT_NE(window, nullptr);
  struct Case {
    int x, y;
  };
  for (const Case test : {Case{30, 40}, Case{0, 0}, Case{-20, -30}, Case{clientWidth + 50, clientHeight + 7}}) {
    ASSERT_EQ(probe(display->name(), "pointer " + std::to_string(test.x) + " " + std::to_string(test.y)).status, 0);
    POINT point{};
    // Read on another thread, as the render thread does.
    std::thread reader([&] {
      EXPECT_TRUE(GetCursorPos(&point));
      EXPECT_EQ(point.x, windowX + test.x);
      EXPECT_EQ(point.y, windowY + test.y);
      EXPECT_TRUE(ScreenToClient(window, &point));
    });
    reader.join();
    EXPECT_EQ(point.x, test.x);
    EXPECT_EQ(point.y, test.y);
  }
  DestroyWindow(window);
}

TEST_F(X11WindowTest, ExposeBecomesWmPaintAndTimersRunWhileTheLoopWaitsOnTheServer) {
  const HWND window = createShownWindow(L"Zelvor");
  ASSERT_NE(window, nullptr);
  // The server exposes the whole window once it is mapped (UpdateWindow has
  // already painted and validated it).
  seen.lastPaint = RECT{};
  EXPECT_TRUE(
      runLoopUntil([] { return seen.lastPaint.right == clientWidth && seen.lastPaint.bottom == clientHeight; }));

  // A window laid over ours and taken away exposes just the part it covered.
  WNDCLASSW coverClass{};
  coverClass.lpfnWndProc = DefWindowProcW;
  coverClass.lpszClassName = L"Zelvor X11 cover class";
  RegisterClassW(&coverClass);
  const HWND cover = CreateWindowExW(0, coverClass.lpszClassName, L"Cover", 0, windowX + 50, windowY + 20, 40, 30,
                                     nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(cover, nullptr);
  ShowWindow(cover, SW_SHOW);
  ASSERT_EQ(probe(display->name(), "--prefix Cover wait").status, 0);
  DestroyWindow(cover);
  seen.lastPaint = RECT{};
  EXPECT_TRUE(runLoopUntil([] {
    return seen.lastPaint.left == 50 && seen.lastPaint.top == 20 && seen.lastPaint.right == 90 &&
           seen.lastPaint.bottom == 50;
  })) << seen.lastPaint.left
      << "," << seen.lastPaint.top << "," << seen.lastPaint.right << "," << seen.lastPaint.bottom;

  SetTimer(window, 0, 20, countTimer);
  EXPECT_TRUE(runLoopUntil([] { return seen.timerCalls >= 3; }));
  DestroyWindow(window);
}

TEST_F(X11WindowTest, TheWindowManagersCloseEndsTheLoop) {
  const HWND window = createShownWindow(L"Zelvor");
  ASSERT_NE(window, nullptr);
  const HDC dc = GetDC(window);
  seen.messages.clear();
  ASSERT_EQ(probe(display->name(), "close").status, 0);

  MSG message{};
  BOOL result = 1;
  const UINT_PTR guard = SetTimer(nullptr, 0, 5000, nullptr);
  while ((result = GetMessageW(&message, nullptr, 0, 0)) > 0) {
    if (message.message == WM_TIMER && message.wParam == guard) break;
    DispatchMessageW(&message);
  }
  KillTimer(nullptr, guard);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(message.wParam, 3u);
  const std::vector<UINT> closing{WM_CLOSE, WM_DESTROY};
  EXPECT_TRUE(std::search(seen.messages.begin(), seen.messages.end(), closing.begin(), closing.end()) !=
              seen.messages.end());
  EXPECT_EQ(probe(display->name(), "wait-gone").status, 0);

  // The render side's late calls fail quietly.
  std::uint32_t pixel = 0;
  BITMAPINFO info{};
  info.bmiHeader = BITMAPINFOHEADER{40, 1, 1, 1, 32, BI_RGB, 4, 0, 0, 0, 0};
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 1, 1, 0, 0, 1, 1, &pixel, &info, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(ReleaseDC(window, dc), 0);
  POINT point{};
  EXPECT_FALSE(ScreenToClient(window, &point));
}

}  // namespace
