// The window procedure and the title timer on the null window backend: the
// scene is built by WM_CREATE, draws into the window from the render
// thread, redraws everything after WM_PAINT, and goes, with the render
// thread joined, when the window is closed.
#include "app/window_proc.h"
#include "app/scene.h"
#include "app/scene_holder.h"
#include "app/title_timer.h"

#include "app_test_support.h"
#include "platform/null_window.h"
#include "render/sprite_drawer.h"
#include "scene_invariants.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr DWORD windowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// Generous: the sanitizer builds draw many times slower.
constexpr auto patience = 30s;

class WindowProcedure : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    zelvor::null_window::select();
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &windowProc;
    windowClass.lpszClassName = windowClassName;
    ASSERT_NE(RegisterClassW(&windowClass), 0);
  }

  static HWND createWindow() {
    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&outer, windowStyle, FALSE, 0);
    return CreateWindowExW(0, windowClassName, windowTitle, windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, nullptr, nullptr);
  }

  // Runs the message loop until WM_QUIT; returns the quit code.
  static WPARAM runMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) != 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return message.wParam;
  }

  template <typename Condition>
  static bool waitFor(Condition condition) {
    auto const deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  static std::wstring titleOf(HWND window) {
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    return text;
  }

  app_test::WorkingDirectory inPictures{app_test::picturesFolder()};
};

TEST_F(WindowProcedure, SceneDrawsUntilTheWindowIsClosed) {
  // The cursor sits where the cursor picture is easy to find.
  zelvor::null_window::setCursorPos(600, 450);
  HWND const window = createWindow();
  ASSERT_NE(window, nullptr) << creationFailure();
  zelvor::null_window::setClientOrigin(window, 0, 0);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right - client.left, 800);
  EXPECT_EQ(client.bottom - client.top, 600);

  // Weak: the test must not keep the scene beyond WM_DESTROY.
  std::weak_ptr<Scene> const scene = sceneHolder();
  ASSERT_FALSE(scene.expired());
  std::weak_ptr<zelvor::Screen> const screen = sceneHolder()->getScreen();
  ShowWindow(window, SW_SHOWDEFAULT);
  UpdateWindow(window);

  // Frames are drawn and timed without the message loop running.
  ASSERT_TRUE(waitFor([&] { return sceneHolder()->getFps() > 0; }));
  std::vector<std::string> failures;
  bool const drawn = waitFor([&] {
    app_test::ClientPixels const pixels{800, 600, zelvor::null_window::pixels(window)};
    failures = app_test::checkSceneInvariants(pixels, 600, 450);
    auto const cursorFailures = app_test::checkCursorPicture(pixels, 600, 450);
    failures.insert(failures.end(), cursorFailures.begin(), cursorFailures.end());
    return failures.empty();
  });
  EXPECT_TRUE(drawn) << testing::PrintToString(failures);

  // The title timer writes the rate; other timers and messages do not.
  SetWindowTextW(window, L"untouched");
  titleTimerProc(window, WM_TIMER, titleTimerId + 1, 0);
  titleTimerProc(window, WM_PAINT, titleTimerId, 0);
  EXPECT_EQ(titleOf(window), L"untouched");
  titleTimerProc(window, WM_TIMER, titleTimerId, 0);
  std::wstring const title = titleOf(window);
  EXPECT_EQ(title.rfind(L"Zelvor - ", 0), 0u) << std::string(title.begin(), title.end());
  EXPECT_GT(std::wcstod(title.c_str() + 9, nullptr), 0.0);

  zelvor::null_window::requestClose(window);
  EXPECT_EQ(runMessageLoop(), 0u);
  EXPECT_EQ(sceneHolder(), nullptr);
  // The scene went inside WM_DESTROY, and with it the screen, whose
  // destruction joins the render thread.
  EXPECT_TRUE(scene.expired());
  EXPECT_TRUE(screen.expired());
}

TEST_F(WindowProcedure, PaintMarksTheWholeClientArea) {
  HWND const window = createWindow();
  ASSERT_NE(window, nullptr) << creationFailure();
  // With the render thread stopped, the drawer keeps what it is told.
  sceneHolder()->getScreen()->stop();
  std::shared_ptr<zelvor::SpriteDrawer> const drawer = sceneHolder()->getScreen()->getSpriteDrawer();
  drawer->endFrame();
  ASSERT_FALSE(drawer->isDirty());

  EXPECT_EQ(windowProc(window, WM_PAINT, 0, 0), 0);
  EXPECT_TRUE(drawer->isDirty());
  ASSERT_EQ(drawer->getBandCount(), 60);
  for (std::int32_t band = 0; band < 60; ++band)
    EXPECT_EQ(drawer->getBandRect(band), (zelvor::Rect{0, 10 * band, 800, 10 * band + 10})) << "band " << band;

  EXPECT_EQ(windowProc(window, WM_ERASEBKGND, 0, 0), 0);
  DestroyWindow(window);
  EXPECT_EQ(runMessageLoop(), 0u);
  EXPECT_EQ(sceneHolder(), nullptr);
}

TEST_F(WindowProcedure, TitleTimerWithoutSceneChangesNothing) {
  ASSERT_EQ(sceneHolder(), nullptr);
  HWND const surface = zelvor::null_window::createSurface(100, 100);
  SetWindowTextW(surface, L"untouched");
  titleTimerProc(surface, WM_TIMER, titleTimerId, 0);
  EXPECT_EQ(titleOf(surface), L"untouched");
  DestroyWindow(surface);
}

TEST_F(WindowProcedure, MissingPictureFailsTheCreation) {
  app_test::ScratchFolder const empty;
  app_test::WorkingDirectory const inEmpty(empty.path());
  EXPECT_EQ(createWindow(), nullptr);
  EXPECT_EQ(sceneHolder(), nullptr);
  EXPECT_EQ(creationFailure(),
            "cannot load picture \"load.gra\": CreateFileA API failed in "
            "zelvor::FileStreamReader::FileStreamReader method. (error 2)");
  // The half-made window was destroyed, through WM_DESTROY, which posted
  // the quit message as for any window.
  EXPECT_EQ(runMessageLoop(), 0u);

  // A later window that succeeds clears the reason.
  app_test::WorkingDirectory const inPictures(app_test::picturesFolder());
  HWND const window = createWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(creationFailure(), "");
  DestroyWindow(window);
  EXPECT_EQ(runMessageLoop(), 0u);
}

}  // namespace
