// Helpers shared by the application's test suites: where the generated
// pictures are, scoped working directories and scratch folders, and running
// a piece of a test on a thread of its own (whose crtRand state starts at 1).
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

namespace app_test {

// The build writes the demonstration's pictures beside the programs.
inline std::filesystem::path picturesFolder() { return ZELVOR_PICTURES_DIR; }

// Makes a folder the working directory until the object goes.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& folder) : previous(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~WorkingDirectory() { std::filesystem::current_path(previous); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous;
};

// A new empty folder, removed with everything in it when the object goes.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelvor-app-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::filesystem::filesystem_error("mkdtemp", std::error_code(errno, std::generic_category()));
    folder = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return folder; }

 private:
  std::filesystem::path folder;
};

// Runs the function on a new thread and waits for it. gtest's EXPECT_*
// report from any thread; a failed ASSERT_* ends only the function.
template <typename Function>
void onFreshThread(Function&& function) {
  std::thread thread(std::forward<Function>(function));
  thread.join();
}

}  // namespace app_test
