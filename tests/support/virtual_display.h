// A private Xvfb for tests and benchmarks that need a real X server: it picks
// a free display number itself (-displayfd) and is stopped by its process id
// when the object goes. Used by one thread.
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace zelvor::testing {

class VirtualDisplay {
 public:
  // `screen` is Xvfb's WIDTHxHEIGHTxDEPTH; `launcher` runs in front of Xvfb
  // (e.g. unshare -i); `extra` adds options. name() is empty when the server
  // did not start.
  explicit VirtualDisplay(std::string screen = "640x480x24", std::vector<std::string> launcher = {},
                          std::vector<std::string> extra = {});
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // The display name, e.g. ":3".
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// Whether an Xvfb program is on the PATH.
bool xvfbInstalled();

}  // namespace zelvor::testing
