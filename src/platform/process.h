// Starting other programs: a launch program's command line, and the default
// web browser for a URL. Neither waits for the started program.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tovra {

// Splits a command line into its arguments: a field in double quote marks
// is one argument (quote marks dropped); otherwise blanks separate them.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Starts the program of a CP932 command line in `workingFolder` (empty: the
// current folder). Returns the process id, or 0 when it could not be started.
// With `wait`, polls until the process has ended, calling `idle` between polls.
int RunProcess(const std::string& commandLine, const std::string& workingFolder, bool wait,
               const std::function<void()>& idle = {});

// Opens a URL (CP932, passed on unchanged) in the user's default browser
// with xdg-open. False when xdg-open cannot be started or ends with a
// failure within two seconds; one still running then is taken as a browser
// that opened (it is reaped in the background).
bool OpenUrlInBrowser(const std::string& url);

}  // namespace tovra
