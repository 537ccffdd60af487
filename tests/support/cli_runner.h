// Runs the built tovra-cli as a separate process, the way a user runs it from a
// UTF-8 terminal, and gives back its exit status and what it printed. Safe to
// call from any test thread; each call waits for its process.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tovra::test {

struct CliResult {
  int status = -1;  // the exit status; -1 when the process did not exit normally
  std::string out;  // CP932
  std::string err;  // CP932
};

// Variables set for the process on top of the test's own environment.
using CliEnvironment = std::vector<std::pair<std::string, std::string>>;

// The arguments of a command written as one line (none of them holds a
// space): the words between the spaces.
std::vector<std::string> Words(const std::string& line);

// Where the built tovra-cli is.
std::string CliPath();

// Runs tovra-cli with CP932 arguments (passed on as UTF-8) in `workFolder`
// with TOVRA_APP_FOLDER set to `appFolder`; an empty folder leaves the test's
// own. `input` (CP932) is what the process reads on stdin; empty: nothing.
CliResult RunCli(const std::vector<std::string>& args, const std::string& appFolder, const std::string& workFolder,
                 const std::string& input = "", const CliEnvironment& environment = {});

}  // namespace tovra::test
