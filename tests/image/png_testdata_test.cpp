// The shared PNG test data: every file of every folder must decode exactly as
// its reference line in mode "handle" says (layout, size, pitch, CRC-32 of
// the pixel bytes), or fail with the invalid-format IoException at the stage
// the line names: the header (the constructor) or row N (the N-th load call,
// counted across passes). No file stays open either way.
#include "image/file_stream_reader.h"
#include "image/load_image.h"
#include "image/pixel_lock.h"
#include "image/png_loader.h"
#include "runtime/exception.h"
#include "tests/image/test_files.h"

#include <sys/resource.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zelvor {
namespace {

std::string testDataFolder() {
  if (const char* folder = std::getenv("ZELVOR_TESTDATA"); folder != nullptr && *folder != '\0') return folder;
  return ZELVOR_TESTDATA_FOLDER;
}

const char* const dataFolders[] = {"pngsuite", "libpng-pngsuite", "libpng-testpngs", "png-hazards"};

struct Reference {
  std::string folder;
  std::string file;  // relative to the folder
  bool ok = false;
  std::string layout;      // ok lines
  std::int32_t width = 0;  // ok lines
  std::int32_t height = 0;
  std::int32_t pitch = 0;
  std::uint32_t crc = 0;
  std::int64_t failingRow = -1;  // error lines: -1 for the header
};

void PrintTo(const Reference& r, std::ostream* out) { *out << r.folder << "/" << r.file; }

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

std::vector<Reference> readReferences() {
  std::vector<Reference> references;
  for (const char* folder : dataFolders) {
    std::ifstream in(testDataFolder() + "/" + folder + "/reference.tsv");
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      auto const fields = splitTabs(line);
      if (fields.size() < 5 || fields[1] != "handle") continue;
      Reference r;
      r.folder = folder;
      r.file = fields[0];
      r.ok = fields[2] == "ok";
      if (r.ok && fields.size() >= 8) {
        r.layout = fields[3];
        r.width = std::stoi(fields[4]);
        r.height = std::stoi(fields[5]);
        r.pitch = std::stoi(fields[6]);
        r.crc = std::uint32_t(std::stoul(fields[7], nullptr, 16));
      } else if (fields[3].rfind("row ", 0) == 0) {
        r.failingRow = std::stoll(fields[3].substr(4));
      }
      references.push_back(r);
    }
  }
  return references;
}

const char* layoutName(PixelFormat format) {
  switch (format) {
    case Gray8: return "Gray8";
    case Bgr24: return "Bgr24";
    case GrayAlpha16: return "GrayAlpha16";
    case Bgra32: return "Bgra32";
    case Bgrx32: return "Bgrx32";
  }
  return "?";
}

long peakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class TestDataTest : public ::testing::TestWithParam<Reference> {};

TEST_P(TestDataTest, DecodesAsTheReferenceSays) {
  Reference const& r = GetParam();
  std::string const path = testDataFolder() + "/" + r.folder + "/" + r.file;
  std::set<int> const before = test::openDescriptors();
  long const peakBefore = peakResidentKilobytes();

  if (r.ok) {
    std::shared_ptr<IImage> const image = loadImage(path.c_str());
    EXPECT_STREQ(layoutName(image->getFormat()), r.layout.c_str());
    EXPECT_EQ(image->getWidth(), r.width);
    EXPECT_EQ(image->getHeight(), r.height);
    ASSERT_EQ(image->getPitch(), r.pitch);
    ConstPixelLock const lock(image.get());
    std::size_t const size = std::size_t(r.pitch) * std::size_t(r.height);
    EXPECT_EQ(std::uint32_t(crc32(0, lock.get(), uInt(size))), r.crc);
  } else if (r.failingRow < 0) {
    try {
      loadImage(path.c_str());
      ADD_FAILURE() << "the picture loaded";
    } catch (const IoException& failure) {
      EXPECT_STREQ(failure.what(), "Invalid file format in zelvor::PngLoader::PngLoader method.");
    }
  } else {
    // Row by row, to see exactly which read fails.
    PngLoader loader(std::make_shared<FileStreamReader>(path.c_str()));
    auto const image = std::make_shared<Image>(loader.getWidth(), loader.getHeight(), loader.getFormat());
    PixelLock const lock(image.get());
    std::int64_t call = 0;
    try {
      for (std::int32_t pass = 0; pass < loader.getPassCount(); ++pass) {
        for (std::int32_t row = 0; row < loader.getHeight(); ++row, ++call) {
          loader.load(lock.get() + std::ptrdiff_t{row} * image->getPitch(), std::uint32_t(image->getPitch()));
        }
      }
      ADD_FAILURE() << "every row was read";
    } catch (const IoException& failure) {
      EXPECT_STREQ(failure.what(), "Invalid file format in zelvor::PngLoader::loadImpl method.");
      EXPECT_EQ(call, r.failingRow);
    }
  }
  EXPECT_EQ(test::openDescriptors(), before) << "a file was left open";
  // The largest picture here needs 4 MB; a file that declares gigabytes must
  // be refused before anything that size is allocated and touched.
  EXPECT_LT(peakResidentKilobytes() - peakBefore, 64 * 1024) << "a large allocation was made";
}

std::string referenceName(const ::testing::TestParamInfo<Reference>& info) {
  std::string name = info.param.folder + "_" + info.param.file;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, TestDataTest, ::testing::ValuesIn(readReferences()), referenceName);

// Without its reference files the suite above would have no cases and pass
// in silence.
TEST(TestDataTest, EveryFolderHasReferences) {
  for (const char* folder : dataFolders) {
    std::ifstream in(testDataFolder() + "/" + folder + "/reference.tsv");
    EXPECT_TRUE(in.good()) << "no reference.tsv in " << testDataFolder() << "/" << folder;
  }
  EXPECT_FALSE(readReferences().empty());
}

}  // namespace
}  // namespace zelvor
