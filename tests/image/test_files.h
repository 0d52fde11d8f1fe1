// Test helpers for files: a temporary folder removed with its contents, whole
// file writes, and the set of the process's open descriptors (to prove that
// no failure leaves a file open). Used by one test thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <span>
#include <string>

namespace zelvor::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // A path inside the folder.
  std::string path(const std::string& name) const;
  // Writes the bytes to a file of the folder and returns its path.
  std::string write(const std::string& name, std::span<const std::uint8_t> bytes) const;

 private:
  std::filesystem::path root;
};

// The process's open descriptors, less the one used to list them.
std::set<int> openDescriptors();

}  // namespace zelvor::test
