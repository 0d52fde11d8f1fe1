// Programs that the end-to-end tests start: the demonstration, the X11 probe
// and a virtual X server (Xvfb). Each child is stopped by its own process id,
// never by name. Used from the test's one thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace app_test {

struct ChildOptions {
  std::filesystem::path workingDirectory = ".";
  // "NAME=value" entries added to, or replacing, the test's environment.
  std::vector<std::string> environment;
  // Where the child's standard output and error go (/dev/null when empty).
  std::filesystem::path outputFile;
  std::filesystem::path errorFile;
};

class ChildProcess {
 public:
  // Throws std::runtime_error when the process cannot be started; a program
  // that cannot be executed ends with status 127.
  ChildProcess(const std::vector<std::string>& arguments, const ChildOptions& options);
  // Kills and reaps a child that is still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The exit status (128 + the signal for a killed child) once the child has
  // ended within the limit; nothing while it still runs.
  std::optional<int> waitForExit(std::chrono::milliseconds limit);

  // Asks the child to end (SIGTERM) and reaps it.
  void terminate();

  pid_t id() const { return pid; }

 private:
  pid_t pid = -1;
  std::optional<int> status;
};

struct ProgramResult {
  int status = -1;  // -1: still running at the limit (then killed)
  std::string output;
  std::string errors;
};

// Runs a program to its end, collecting what it prints.
ProgramResult runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                         std::chrono::milliseconds limit);

std::string readFile(const std::filesystem::path& file);

// An Xvfb server on a display number that it picks itself among the free
// ones; stopped when the object goes.
class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N".
  const std::string& name() const { return displayName; }

 private:
  std::filesystem::path logFile;
  std::optional<ChildProcess> server;
  std::string displayName;
};

}  // namespace app_test
