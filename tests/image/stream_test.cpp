// FileStreamReader over real files: opening failures with their codes and
// messages, reads at and beyond the end, skips, seeks from every origin, and
// that the file is closed with the last reference.
#include "image/file_stream_reader.h"
#include "runtime/exception.h"
#include "tests/image/test_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace zelvor {
namespace {

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::iota(content.begin(), content.end(), std::uint8_t{100});
    file = folder.write("sixty.bin", content);
    before = test::openDescriptors();
  }
  void TearDown() override { EXPECT_EQ(test::openDescriptors(), before) << "a file was left open"; }

  test::TempFolder folder;
  std::vector<std::uint8_t> content = std::vector<std::uint8_t>(60);
  std::string file;
  std::set<int> before;
};

// Runs the action and checks that it throws exactly the expected exception.
template <class Failure>
void expectFailure(const std::function<void()>& action, const std::string& message, std::uint32_t code = 0) {
  try {
    action();
    ADD_FAILURE() << "no exception; expected " << message;
  } catch (const Failure& failure) {
    EXPECT_EQ(typeid(failure), typeid(Failure));
    EXPECT_EQ(failure.what(), message);
    if constexpr (std::is_same_v<Failure, Win32Exception>) {
      EXPECT_EQ(failure.errorCode, code);
    }
  }
}

TEST_F(FileStreamTest, OpenFailuresCarryTheSystemCode) {
  struct Case {
    std::string name;
    std::uint32_t code;
  };
  const Case cases[] = {
      {"missing.png", ERROR_FILE_NOT_FOUND},
      {"missing-folder/missing.png", ERROR_PATH_NOT_FOUND},
      {"sixty.bin/inside", ERROR_PATH_NOT_FOUND},
      {"", ERROR_ACCESS_DENIED},  // the folder itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectFailure<Win32Exception>([&] { FileStreamReader reader(folder.path(c.name).c_str()); },
                                  "CreateFileA API failed in zelvor::FileStreamReader::FileStreamReader method.",
                                  c.code);
  }
}

TEST_F(FileStreamTest, ReadsReturnWhatIsThereAndStopAtTheEnd) {
  // Each step: skip or seek first (when given), then read `asked` bytes.
  struct Step {
    std::int64_t seekTo;  // -1: stay
    std::uint32_t asked;
    std::uint32_t got;
    bool eofAfter;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"more than the file, then again", {{-1, 100, 60, true}, {-1, 100, 0, true}}},
      {"exactly the file", {{-1, 60, 60, true}}},
      {"nothing", {{-1, 0, 0, false}}},
      {"in pieces", {{-1, 25, 25, false}, {-1, 25, 25, false}, {-1, 25, 10, true}}},
      {"from the last byte", {{59, 5, 1, true}}},
      {"from beyond the end", {{500, 10, 0, false}, {-1, 10, 0, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FileStreamReader reader(file.c_str());
    std::int64_t cursor = 0;
    for (const auto& step : c.steps) {
      if (step.seekTo >= 0) {
        reader.seek(step.seekTo, Begin);
        cursor = step.seekTo;
      }
      std::vector<std::uint8_t> buffer(step.asked + 1, 0xee);
      ASSERT_EQ(reader.read(buffer.data(), step.asked), step.got);
      for (std::uint32_t i = 0; i < step.got; ++i) ASSERT_EQ(buffer[i], content[cursor + i]);
      EXPECT_EQ(buffer[step.got], 0xee);
      cursor += step.got;
      EXPECT_EQ(reader.getCursor(), cursor);
      EXPECT_EQ(reader.isEof(), step.eofAfter);
    }
  }
}

TEST_F(FileStreamTest, SeeksFromEachOrigin) {
  struct Case {
    std::int64_t offset;
    SeekOrigin origin;
    std::int64_t cursor;  // starting from 10
  };
  const Case cases[] = {
      {5, Begin, 5},
      {5, Current, 15},
      {-10, Current, 0},
      {-20, End, 40},
      {0, End, 60},
      {15, End, 75},
      {7, static_cast<SeekOrigin>(7), 17},  // an unknown origin moves from the cursor
      {-3, static_cast<SeekOrigin>(-1), 7},
  };
  FileStreamReader reader(file.c_str());
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.offset << " from origin " << c.origin);
    reader.seek(10, Begin);
    reader.seek(c.offset, c.origin);
    EXPECT_EQ(reader.getCursor(), c.cursor);
    EXPECT_EQ(reader.getLength(), 60);
    EXPECT_EQ(reader.isEof(), c.cursor == 60);
  }
}

TEST_F(FileStreamTest, NegativeSeekFailsAndLeavesTheCursor) {
  FileStreamReader reader(file.c_str());
  reader.seek(10, Begin);
  for (auto const& [offset, origin] : {std::pair{-11, Current}, {-1, Begin}, {-61, End}}) {
    expectFailure<Win32Exception>([&, offset = offset, origin = origin] { reader.seek(offset, origin); },
                                  "SetFilePointer API failed in zelvor::FileStreamReader::seekImpl method.",
                                  ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(reader.getCursor(), 10);
  }
}

TEST_F(FileStreamTest, SkipPastTheEndReportsTheFullCount) {
  FileStreamReader reader(file.c_str());
  EXPECT_EQ(reader.skip(20), 20u);
  EXPECT_EQ(reader.getCursor(), 20);
  EXPECT_EQ(reader.skip(0), 0u);
  EXPECT_EQ(reader.skip(100), 100u);
  EXPECT_EQ(reader.getCursor(), 120);
  EXPECT_FALSE(reader.isEof());
  std::uint8_t buffer[8];
  EXPECT_EQ(reader.read(buffer, 8), 0u);
  EXPECT_EQ(reader.skip(0xffffffffu), 0xffffffffu);
  EXPECT_EQ(reader.getCursor(), 120 + std::int64_t{0xffffffff});
}

TEST_F(FileStreamTest, ReadFailureNamesReadImpl) {
  // Reading the process's memory at address 0 fails with an I/O error.
  FileStreamReader reader("/proc/self/mem");
  std::uint8_t buffer[4];
  expectFailure<Win32Exception>([&] { reader.read(buffer, 4); },
                                "ReadFile API failed in zelvor::FileStreamReader::readImpl method.", ERROR_IO_DEVICE);
}

TEST_F(FileStreamTest, TheLastReferenceClosesTheFile) {
  auto reader = std::make_shared<FileStreamReader>(file.c_str());
  std::shared_ptr<ISequentialStreamReader> const sequential = reader;
  std::shared_ptr<ISeekable> const seekable = reader;
  reader.reset();
  EXPECT_NE(test::openDescriptors(), before);
  std::uint8_t byte = 0;
  EXPECT_EQ(sequential->read(&byte, 1), 1u);
  EXPECT_EQ(seekable->getCursor(), 1);
}

}  // namespace
}  // namespace zelvor
