// The window services on the X11 backend against a real X server: a private
// Xvfb that each test program starts on a free display and stops by its
// process id. Pixels, titles, the pointer and closing are checked from the
// outside with zelvor-x11-probe, as a person at the screen would see them.
// Skipped where Xvfb is not installed.
#include "platform/win32.h"
#include "platform/window_system.h"

#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// An Xvfb server on a display number it picks itself (-displayfd), so tests
// running side by side never collide.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    const char* const arguments[] = {"Xvfb",       "-displayfd", fd.c_str(), "-screen", "0",
                                     "640x480x24", "-nolisten",  "tcp",      nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(arguments), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);

    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (pid_ > 0 && poll(&ready, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) name_ = ":" + number;
  }

  ~VirtualDisplay() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }

  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

bool xvfbInstalled() {
  const char* const path = std::getenv("PATH");
  std::string directories = path != nullptr ? path : "/usr/bin";
  std::size_t start = 0;
  while (start <= directories.size()) {
    const std::size_t end = std::min(directories.find(':', start), directories.size());
    if (std::filesystem::exists(std::filesystem::path(directories.substr(start, end - start)) / "Xvfb")) return true;
    start = end + 1;
  }
  return false;
}

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

TEST_F(X11WindowTest, ShowsTitlesAndPresentedBandsAsTheServerSeesThem) {
  const HWND window = createShownWindow(L"Zelvor");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(seen.messages.front(), static_cast<UINT>(WM_CREATE));
  EXPECT_NE(std::find(seen.messages.begin(), seen.messages.end(), static_cast<UINT>(WM_PAINT)), seen.messages.end());

  const ProbeResult geometry = probe(display->name(), "geometry");
  EXPECT_EQ(geometry.output, "160 120 100 80\n");

  EXPECT_EQ(probe(display->name(), "title").output, "Zelvor\n");
  ASSERT_TRUE(SetWindowTextW(window, L"Zelvor - 59.94 (fps) \u00e9\u4e2d"));
  EXPECT_EQ(probe(display->name(), "title").output, "Zelvor - 59.94 (fps) \xc3\xa9\xe4\xb8\xad\n");

  // The Screen's copy of rows 20..29 of a 10-row band that starts at row 20,
  // columns 10..149.
  const int bandTop = 20;
  const RECT rect{10, 20, 150, 30};
  std::vector<std::uint32_t> band(static_cast<std::size_t>(clientWidth) * 10);
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < clientWidth; ++column) {
      band[row * clientWidth + column] =
          0xFF000000u | static_cast<std::uint32_t>(row * 25) << 16 | static_cast<std::uint32_t>(column) << 8 | 0x40;
    }
  }
  BITMAPINFO info{};
  info.bmiHeader =
      BITMAPINFOHEADER{40, clientWidth, 10, 1, 32, BI_RGB, static_cast<DWORD>(band.size() * 4), 0, 0, 0, 0};
  const HDC dc = GetDC(window);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(StretchDIBits(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, rect.left,
                          rect.bottom - bandTop + 1, rect.right - rect.left, rect.top - rect.bottom, band.data(), &info,
                          DIB_RGB_COLORS, SRCCOPY),
            10);

  const std::string path = testing::TempDir() + "zelvor-x11-band-" + std::to_string(getpid()) + ".png";
  std::optional<Picture> picture;
  std::vector<std::uint32_t> expected(static_cast<std::size_t>(clientWidth) * clientHeight, 0x00FFFFFF);
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x)
      expected[y * clientWidth + x] = band[(y - bandTop) * clientWidth + x] & 0xFFFFFF;
  }
  // The copy travels on another connection than the probe's: look again
  // until the server has drawn it.
  for (int attempt = 0; attempt < 20; ++attempt) {
    ASSERT_EQ(probe(display->name(), "screenshot " + path).status, 0);
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
  EXPECT_EQ(ReleaseDC(window, dc), 1);
  DestroyWindow(window);
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
