#include "tests/support/virtual_display.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace zelvor::testing {

VirtualDisplay::VirtualDisplay(std::string screen, std::vector<std::string> launcher, std::vector<std::string> extra) {
  int fds[2];
  if (pipe(fds) != 0) return;
  std::vector<std::string> words = std::move(launcher);
  for (const char* word : {"Xvfb", "-displayfd"}) words.emplace_back(word);
  words.push_back(std::to_string(fds[1]));
  for (const char* word : {"-screen", "0"}) words.emplace_back(word);
  words.push_back(std::move(screen));
  for (const char* word : {"-nolisten", "tcp"}) words.emplace_back(word);
  words.insert(words.end(), extra.begin(), extra.end());
  std::vector<char*> arguments;
  for (std::string& word : words) arguments.push_back(word.data());
  arguments.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);
  if (posix_spawnp(&pid_, arguments[0], &actions, nullptr, arguments.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);

  // Xvfb writes its display number once it accepts connections.
  std::string number;
  pollfd ready{fds[0], POLLIN, 0};
  char c = 0;
  while (pid_ > 0 && poll(&ready, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (!number.empty()) name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

bool xvfbInstalled() {
  const char* const path = std::getenv("PATH");
  std::string directories = path != nullptr ? path : "/usr/bin";
  std::size_t start = 0;
  while (start <= directories.size()) {
    const std::size_t end = std::min(directories.find(':', start), directories.size());
    if (std::filesystem::exists(std::filesystem::path(directories.substr(start, end - start)) / "Xvfb")) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace zelvor::testing
