// The process entry on POSIX: hands control to the program's WinMain the way
// Windows does, on the main thread, which becomes the user-interface thread.
// Linked only into programs (library zelvor_winmain), never into tests.
#include "platform/win32.h"

#include <string>

namespace {

// The process instance: an address that is unique to this process, which is
// all a caller can rely on.
char processInstance;

}  // namespace

int main(int argc, char** argv) {
  // The command line without the program name, arguments separated by spaces.
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return WinMain(reinterpret_cast<HINSTANCE>(&processInstance), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
