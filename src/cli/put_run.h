// The sending half of tovra-cli put (FTP and SFTP alike): the given files,
// all into one remote folder, as a plan run by the transfer engine, the
// upload's own send path. Status lines go to stdout as put has always
// printed them; Ctrl-C is the abort button.
#pragma once

#include <functional>
#include <string>

#include "cli/cli_common.h"
#include "upload/run_hooks.h"
#include "upload/upload_plan.h"

namespace tovra::cli {

// What put was given besides its files: the connection (plan.host with the
// password, plan.connection for FTP, plan.extended for SFTP) and --remote-dir.
struct TPutTarget {
  TUploadPlan plan;  // without files: put adds them
  std::string dir;   // relative to the login folder, or absolute below it
  // Logs in once and gives the login folder: an absolute DIR needs it to
  // find the folder below it that the plan names.
  std::function<std::string()> loginFolder;
};

// put's FILEs and DIR checked before a password is asked for or a
// connection made: usage errors, and a DIR with "." or ".." pieces.
void CheckPutArguments(const std::string& dir, const Args& files);

// Sends the files with the hooks' questions and trace (their cancel flag is
// put's own); the exit status (0 sent, 130 interrupted). A failure is thrown
// once the run is over, as the error it was.
int SendPutFiles(TPutTarget target, const Args& files, TRunHooks hooks);

}  // namespace tovra::cli
