// tovra-cli over SFTP: put and ls with --sftp, and hostkey. They share the
// password and remote folder rules of the FTP commands (ftp_commands.cpp).
#pragma once

#include <string>

#include "cli/cli_common.h"

namespace tovra::cli {

// The options the FTP and SFTP forms of put and ls share.
inline constexpr TOption kHostOption{"--host", "H", "the server's name or address", true};
inline constexpr TOption kUserOption{"--user", "U", "the login name", true};
inline constexpr TOption kRemoteDirOption{"--remote-dir", "DIR", "the folder to upload into", true};

// put --sftp and ls --sftp (their arguments with the flag).
int RunSftpPut(const Args& args);
int RunSftpLs(const Args& args);

// From ftp_commands.cpp: the password (TOVRA_PASSWORD or the terminal), the
// check that a remote folder has no "." or ".." piece, and DIR relative to
// the login folder, or absolute below it, as an absolute path.
std::string AskPassword();
// --port's value, 1 to 65535; fallback when it is not given.
int ParsePort(const std::string& text, int fallback);
void CheckRemoteDir(const std::string& dir);
std::string ResolveRemoteFolder(const std::string& home, const std::string& dir);

}  // namespace tovra::cli
