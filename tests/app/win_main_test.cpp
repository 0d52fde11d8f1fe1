// WinMain on the null window backend when the scene cannot be built: one
// clear line on standard error and a failure exit code, no message loop.
// (The successful run is exercised against a real X server.)
#include "app_test_support.h"
#include "platform/null_window.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WinMain, MissingPictureEndsWithTheReason) {
  zelvor::null_window::select();
  app_test::ScratchFolder const empty;
  app_test::WorkingDirectory const inEmpty(empty.path());
  testing::internal::CaptureStderr();
  int const exitCode = WinMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
  std::string const output = testing::internal::GetCapturedStderr();
  EXPECT_NE(exitCode, 0);
  EXPECT_EQ(output,
            "zelvor: cannot load picture \"load.gra\": CreateFileA API failed in "
            "zelvor::FileStreamReader::FileStreamReader method. (error 2)\n");
}

}  // namespace
