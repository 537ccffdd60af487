#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/encoding.h"
#include "util/errors.h"

extern char** environ;

namespace tovra {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> args;
  std::size_t i = 0;
  const std::size_t n = commandLine.size();
  while (i < n) {
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    while (i < n && commandLine[i] != ' ' && commandLine[i] != '\t') {
      if (commandLine[i] == '"') {
        std::size_t close = commandLine.find('"', i + 1);
        if (close == std::string::npos) close = n;
        arg.append(commandLine, i + 1, close - i - 1);
        i = close < n ? close + 1 : n;
      } else {
        arg.push_back(commandLine[i++]);
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::string& workingFolder) {
  if (args.empty()) return 0;
  std::vector<std::string> osArgs;
  try {
    for (const auto& arg : args) osArgs.push_back(ToOsPath(arg));
  } catch (const EEncodingError&) {
    return 0;
  }
  std::vector<char*> argv;
  for (auto& arg : osArgs) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string folder;
  if (!workingFolder.empty()) {
    try {
      folder = ToOsPath(workingFolder);
    } catch (const EEncodingError&) {
      posix_spawn_file_actions_destroy(&actions);
      return 0;
    }
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  }
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : 0;
}

// Reaps a child that nobody waits for, so it leaves no zombie behind.
void ReapInBackground(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    ::waitpid(pid, &status, 0);
  }).detach();
}

}  // namespace

int RunProcess(const std::string& commandLine, const std::string& workingFolder, bool wait,
               const std::function<void()>& idle) {
  pid_t pid = Spawn(SplitCommandLine(commandLine), workingFolder);
  if (pid <= 0) return 0;
  if (!wait) {
    ReapInBackground(pid);
    return pid;
  }
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (idle) idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pid;
}

bool OpenUrlInBrowser(const std::string& url) {
  constexpr auto kPoll = std::chrono::milliseconds(20);
  constexpr int kPolls = 100;  // two seconds
  pid_t pid = Spawn({"xdg-open", url}, {});
  if (pid <= 0) return false;
  for (int i = 0; i < kPolls; ++i) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::this_thread::sleep_for(kPoll);
  }
  ReapInBackground(pid);
  return true;
}

}  // namespace tovra
