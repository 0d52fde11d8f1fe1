// Files of the kernel services: opening with Windows' error codes, reading at
// and beyond the end, moving the file pointer, the size, handle checks, and
// that no descriptor outlives its handle or a failed open.
#include "platform/handle_table.h"
#include "platform/win32.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The process's open descriptors, less the one used to list them.
std::set<int> openDescriptors() {
  std::set<int> descriptors;
  DIR* const folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) return descriptors;
  while (const dirent* entry = ::readdir(folder)) {
    if (entry->d_name[0] != '.') descriptors.insert(std::atoi(entry->d_name));
  }
  descriptors.erase(::dirfd(folder));
  ::closedir(folder);
  return descriptors;
}

// A fresh folder with a 60-byte file "data.bin" (bytes 0, 1, ..., 59) and a
// sub-folder "folder"; removed with everything in it.
class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zelvor-file-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    for (int i = 0; i < 60; ++i) content.push_back(static_cast<char>(i));
    std::ofstream(root / "data.bin", std::ios::binary).write(content.data(), std::streamsize(content.size()));
    fs::create_directory(root / "folder");
    before = openDescriptors();
  }
  void TearDown() override {
    EXPECT_EQ(openDescriptors(), before) << "a descriptor was left open";
    fs::remove_all(root);
  }

  std::string path(const std::string& name) const { return (root / name).string(); }
  HANDLE open(const std::string& name) const {
    return CreateFileA(path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  static std::int64_t position(HANDLE file) {
    LARGE_INTEGER zero{};
    LARGE_INTEGER result{};
    EXPECT_TRUE(SetFilePointerEx(file, zero, &result, FILE_CURRENT));
    return result.QuadPart;
  }
  static BOOL moveTo(HANDLE file, std::int64_t offset, DWORD method, std::int64_t* result = nullptr) {
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    BOOL const ok = SetFilePointerEx(file, distance, &position, method);
    if (result) *result = position.QuadPart;
    return ok;
  }

  fs::path root;
  std::vector<char> content;
  std::set<int> before;
};

struct OpenFailure {
  const char* what;
  std::string name;  // relative to the test folder, "" for the null name
  DWORD access;
  DWORD disposition;
  DWORD error;
};

TEST_F(FileTest, OpenFailuresGiveWindowsCodesAndLeaveNothingOpen) {
  const OpenFailure cases[] = {
      {"missing file", "nothing.png", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {"missing file in a sub-folder", "folder/nothing.png", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {"missing folder", "missing/nothing.png", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {"missing folder two deep", "missing/deeper/x", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {"a file used as a folder", "data.bin/x", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {"a folder", "folder", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {"write access", "data.bin", GENERIC_READ | 0x40000000, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
      {"creating", "data.bin", GENERIC_READ, 2 /* CREATE_ALWAYS */, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(ERROR_SUCCESS);
    HANDLE const file =
        CreateFileA(path(c.name).c_str(), c.access, FILE_SHARE_READ, nullptr, c.disposition, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(CreateFileA("", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileTest, OpenDescriptorIsCloseOnExecAndClosedByCloseHandle) {
  HANDLE const file = open("data.bin");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::set<int> const now = openDescriptors();
  std::vector<int> added;
  for (int fd : now) {
    if (!before.count(fd)) added.push_back(fd);
  }
  ASSERT_EQ(added.size(), 1u);
  EXPECT_TRUE(::fcntl(added[0], F_GETFD) & FD_CLOEXEC);
  EXPECT_FALSE(::fcntl(added[0], F_GETFL) & O_NONBLOCK);

  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(openDescriptors(), before);
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FileTest, OpeningAFifoWithoutWriterDoesNotBlock) {
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
  HANDLE const file = open("pipe");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, FullHandleTableClosesTheDescriptor) {
  zelvor::platform::setHandleLimit(0);
  HANDLE const file = open("data.bin");
  DWORD const error = GetLastError();
  zelvor::platform::setHandleLimit(zelvor::platform::defaultHandleLimit());
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  EXPECT_NE(error, ERROR_SUCCESS);
}

TEST_F(FileTest, ReadsStopAtTheEndAndBeyondIt) {
  HANDLE const file = open("data.bin");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::vector<char> buffer(100, 'x');
  DWORD got = 12345;

  EXPECT_TRUE(ReadFile(file, buffer.data(), 0, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(ReadFile(file, nullptr, 0, &got, nullptr));
  EXPECT_EQ(got, 0u);

  EXPECT_TRUE(ReadFile(file, buffer.data(), 100, &got, nullptr));
  ASSERT_EQ(got, 60u);
  EXPECT_TRUE(std::equal(content.begin(), content.end(), buffer.begin()));
  EXPECT_EQ(buffer[60], 'x');
  EXPECT_EQ(position(file), 60);

  EXPECT_TRUE(ReadFile(file, buffer.data(), 100, &got, nullptr));
  EXPECT_EQ(got, 0u);

  ASSERT_TRUE(moveTo(file, 1000, FILE_BEGIN));
  EXPECT_TRUE(ReadFile(file, buffer.data(), 10, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(position(file), 1000);

  ASSERT_TRUE(moveTo(file, 55, FILE_BEGIN));
  EXPECT_TRUE(ReadFile(file, buffer.data(), 5, &got, nullptr));
  EXPECT_EQ(got, 5u);
  EXPECT_EQ(buffer[0], 55);
  EXPECT_TRUE(CloseHandle(file));
}

struct Move {
  std::int64_t offset;
  DWORD method;
  bool ok;
  std::int64_t position;  // after the call, moved or not
  DWORD error;
};

TEST_F(FileTest, FilePointerMovesFromEachOriginAndRefusesNegativePositions) {
  constexpr std::int64_t maximum = std::numeric_limits<std::int64_t>::max();
  // Every move starts with the pointer at 10 in the 60-byte file.
  const Move cases[] = {
      {5, FILE_BEGIN, true, 5, 0},
      {0, FILE_BEGIN, true, 0, 0},
      {5, FILE_CURRENT, true, 15, 0},
      {-10, FILE_CURRENT, true, 0, 0},
      {-10, FILE_END, true, 50, 0},
      {40, FILE_END, true, 100, 0},
      {1 << 20, FILE_BEGIN, true, 1 << 20, 0},
      {-1, FILE_BEGIN, false, 10, ERROR_NEGATIVE_SEEK},
      {-11, FILE_CURRENT, false, 10, ERROR_NEGATIVE_SEEK},
      {-61, FILE_END, false, 10, ERROR_NEGATIVE_SEEK},
      {std::numeric_limits<std::int64_t>::min(), FILE_END, false, 10, ERROR_NEGATIVE_SEEK},
      {maximum, FILE_END, false, 10, ERROR_INVALID_PARAMETER},
      {0, 3, false, 10, ERROR_INVALID_PARAMETER},
      {0, 7, false, 10, ERROR_INVALID_PARAMETER},
  };
  HANDLE const file = open("data.bin");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "offset " << c.offset << " method " << c.method);
    ASSERT_TRUE(moveTo(file, 10, FILE_BEGIN));
    SetLastError(ERROR_SUCCESS);
    std::int64_t reported = -1;
    EXPECT_EQ(moveTo(file, c.offset, c.method, &reported), c.ok ? TRUE : FALSE);
    if (c.ok) {
      EXPECT_EQ(reported, c.position);
    } else {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(position(file), c.position);
  }
  LARGE_INTEGER distance{};
  distance.QuadPart = 7;
  EXPECT_TRUE(SetFilePointerEx(file, distance, nullptr, FILE_BEGIN));
  EXPECT_EQ(position(file), 7);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, SizeIsTheFileLengthWhereverThePointerIs) {
  HANDLE const file = open("data.bin");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size{};
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 60);
  ASSERT_TRUE(moveTo(file, 500, FILE_BEGIN));
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 60);
  EXPECT_FALSE(GetFileSizeEx(file, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, ReadRejectsMissingCountAndOverlappedUse) {
  HANDLE const file = open("data.bin");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[8];
  EXPECT_FALSE(ReadFile(file, buffer, 8, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DWORD got = 99;
  EXPECT_FALSE(ReadFile(file, buffer, 8, &got, reinterpret_cast<LPOVERLAPPED>(buffer)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(position(file), 0);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, InvalidHandlesAreRefused) {
  HANDLE const closed = open("data.bin");
  ASSERT_NE(closed, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(closed));
  HANDLE const event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);

  for (HANDLE const handle : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), closed, event}) {
    SCOPED_TRACE(::testing::Message() << "handle " << handle);
    char buffer[4];
    DWORD got = 99;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(ReadFile(handle, buffer, 4, &got, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(got, 0u);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(moveTo(handle, 0, FILE_BEGIN));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    LARGE_INTEGER size{};
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetFileSizeEx(handle, &size));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_TRUE(CloseHandle(event));
}

TEST_F(FileTest, HandlesOfOneFileKeepTheirOwnPointers) {
  HANDLE const first = open("data.bin");
  HANDLE const second = open("data.bin");
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(moveTo(first, 20, FILE_BEGIN));
  char byte = 0;
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(second, &byte, 1, &got, nullptr));
  EXPECT_EQ(byte, 0);
  EXPECT_TRUE(ReadFile(first, &byte, 1, &got, nullptr));
  EXPECT_EQ(byte, 20);
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
}

}  // namespace
