// Starting, waiting for and stopping the end-to-end tests' child processes.
#include "child_process.h"

#include "app_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace app_test {
namespace {

using namespace std::chrono_literals;

int statusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    std::string const text = *entry;
    std::string const name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& change : changes) replaced = replaced || change.rfind(name, 0) == 0;
    if (!replaced) merged.push_back(text);
  }
  merged.insert(merged.end(), changes.begin(), changes.end());
  return merged;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const ChildOptions& options) {
  // Everything the child needs is prepared before fork: between fork and
  // exec it calls only async-signal-safe functions.
  std::vector<std::string> argumentTexts = arguments;
  std::vector<char*> const argv = pointersTo(argumentTexts);
  std::vector<std::string> environmentTexts = mergedEnvironment(options.environment);
  std::vector<char*> const envp = pointersTo(environmentTexts);
  std::string const folder = options.workingDirectory.string();
  std::string const output = options.outputFile.empty() ? "/dev/null" : options.outputFile.string();
  std::string const errors = options.errorFile.empty() ? "/dev/null" : options.errorFile.string();

  pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    int const input = open("/dev/null", O_RDONLY);
    int const out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int const err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input < 0 || out < 0 || err < 0 || dup2(input, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        chdir(folder.c_str()) != 0) {
      _exit(126);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
}

ChildProcess::~ChildProcess() {
  if (status || pid <= 0) return;
  kill(pid, SIGKILL);
  int waitStatus = 0;
  waitpid(pid, &waitStatus, 0);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) {
  auto const deadline = std::chrono::steady_clock::now() + limit;
  while (!status) {
    int waitStatus = 0;
    pid_t const ended = waitpid(pid, &waitStatus, WNOHANG);
    if (ended == pid) {
      status = statusOf(waitStatus);
    } else if (std::chrono::steady_clock::now() >= deadline) {
      break;
    } else {
      std::this_thread::sleep_for(5ms);
    }
  }
  return status;
}

void ChildProcess::terminate() {
  if (status) return;
  kill(pid, SIGTERM);
  if (!waitForExit(10s)) {
    kill(pid, SIGKILL);
    int waitStatus = 0;
    waitpid(pid, &waitStatus, 0);
    status = statusOf(waitStatus);
  }
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

ProgramResult runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                         std::chrono::milliseconds limit) {
  ScratchFolder const scratch;
  ChildOptions options;
  options.environment = environment;
  options.outputFile = scratch.path() / "output";
  options.errorFile = scratch.path() / "errors";
  ProgramResult result;
  {
    ChildProcess child(arguments, options);
    result.status = child.waitForExit(limit).value_or(-1);
  }
  result.output = readFile(options.outputFile);
  result.errors = readFile(options.errorFile);
  return result;
}

VirtualDisplay::VirtualDisplay() {
  // Xvfb picks a free display number and writes it to this pipe.
  int ends[2];
  if (pipe(ends) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  logFile = std::filesystem::temp_directory_path() / ("zelvor-xvfb-" + std::to_string(getpid()) + ".log");
  ChildOptions options;
  options.errorFile = logFile;
  server.emplace(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(ends[1]), "-screen", "0",
                                          "1024x768x24", "-nolisten", "tcp", "-noreset"},
                 options);
  close(ends[1]);

  std::string number;
  auto const deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{ends[0], POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char digit = 0;
    if (read(ends[0], &digit, 1) != 1 || digit == '\n') break;
    number.push_back(digit);
  }
  close(ends[0]);
  if (number.empty()) {
    server->terminate();
    throw std::runtime_error("Xvfb did not start: " + readFile(logFile));
  }
  displayName = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
  server->terminate();
  std::error_code ignored;
  std::filesystem::remove(logFile, ignored);
}

}  // namespace app_test
