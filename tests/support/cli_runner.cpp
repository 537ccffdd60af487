#include "support/cli_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tovra::test {

namespace {

// The test's environment with `overrides` replacing or adding variables, as
// "NAME=value" strings.
std::vector<std::string> EnvironmentWith(const CliEnvironment& overrides) {
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& o : overrides) replaced = replaced || o.first == name;
    if (!replaced) entries.push_back(std::move(entry));
  }
  for (const auto& o : overrides) entries.push_back(o.first + "=" + o.second);
  return entries;
}

std::vector<char*> PointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    if (end > start) words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

std::string CliPath() {
  const char* dir = std::getenv("TOVRA_BINARY_DIR");
  return std::string(dir != nullptr ? dir : TOVRA_BINARY_DIR_DEFAULT) + "/src/cli/tovra-cli";
}

CliResult RunCli(const std::vector<std::string>& args, const std::string& appFolder, const std::string& workFolder,
                 const std::string& input, const CliEnvironment& environment) {
  TempDir capture;
  const std::string inPath =
      input.empty() ? std::string("/dev/null") : ToOsPath(capture.Write("in", Cp932ToUtf8(input)));
  const std::string outPath = ToOsPath(capture.Sub("out"));
  const std::string errPath = ToOsPath(capture.Sub("err"));
  const std::string folder = ToOsPath(workFolder);

  // Everything the child needs is made here: between fork and exec it may
  // only make plain system calls, as other test threads may hold locks.
  std::vector<std::string> argStrings{CliPath()};
  for (const auto& arg : args) argStrings.push_back(Cp932ToUtf8(arg));
  CliEnvironment overrides{{"LC_ALL", "C.UTF-8"}};
  if (!appFolder.empty()) overrides.emplace_back("TOVRA_APP_FOLDER", ToOsPath(appFolder));
  overrides.insert(overrides.end(), environment.begin(), environment.end());
  std::vector<std::string> envStrings = EnvironmentWith(overrides);
  std::vector<char*> argv = PointersTo(argStrings);
  std::vector<char*> envp = PointersTo(envStrings);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open(inPath.c_str(), O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  CliResult result;
  int status = 0;
  pid_t waited = -1;
  if (pid > 0) {
    do {
      waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
  }
  if (waited == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (FileExists(capture.Sub("out"))) result.out = Utf8ToCp932(ReadFileBytes(capture.Sub("out")));
  if (FileExists(capture.Sub("err"))) result.err = Utf8ToCp932(ReadFileBytes(capture.Sub("err")));
  return result;
}

}  // namespace tovra::test
