// The SFTP benchmark's uploader of a folder tree: every file below ROOT goes
// to the same place below the login folder over one session, as a transfer
// run with one reused SFTP session sends a site (folders made level by level
// when first needed, each file written by path). Prints the seconds taken.
// usage: tovra-sftp-tree-put HOST PORT USER PIN ROOT   (password: TOVRA_PASSWORD)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/encoding.h"
#include "sftp/sftp_session.h"

int main(int argc, char** argv) {
  if (argc != 6 || std::getenv("TOVRA_PASSWORD") == nullptr) {
    std::fputs("usage: TOVRA_PASSWORD=... tovra-sftp-tree-put HOST PORT USER PIN ROOT\n", stderr);
    return 2;
  }
  namespace fs = std::filesystem;
  tovra::TSftpSession session;
  session.Settings.host = argv[1];
  session.Settings.port = std::atoi(argv[2]);
  session.Settings.user = argv[3];
  session.Settings.hostKeyPin = argv[4];
  session.Settings.password = std::getenv("TOVRA_PASSWORD");
  const fs::path root = argv[5];
  try {
    auto start = std::chrono::steady_clock::now();
    session.Connect();
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      std::string relative = tovra::FromOsPath(fs::relative(entry.path(), root).string());
      std::string target = session.HomeDir() + "/" + relative;
      session.MakeFolders(target.substr(0, target.find_last_of('/') + 1));
      session.StoreFile(tovra::FromOsPath(entry.path().string()), target);
    }
    session.Close();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
