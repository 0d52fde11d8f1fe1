// Temporary files and descriptor counts for the image tests.
#include "tests/image/test_files.h"

#include <dirent.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace zelvor::test {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelvor-image-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
  root = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

std::string TempFolder::path(const std::string& name) const { return (root / name).string(); }

std::string TempFolder::write(const std::string& name, std::span<const std::uint8_t> bytes) const {
  std::string const file = path(name);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file);
  return file;
}

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

}  // namespace zelvor::test
