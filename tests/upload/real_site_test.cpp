// A real site of today published whole: the Python documentation (Debian's
// python3.11-doc, 530 pages), every page selected and uploaded to a real
// FTP server with the modern reference collection, then checked by an
// independent reader (Python's own HTML parser) for every page requisite.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/pyftpd_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "upload/recording_upload_view.h"
#include "upload/upload_job.h"

namespace tovra {
namespace {

namespace fs = std::filesystem;

constexpr char kPythonDocs[] = "/usr/share/doc/python3.11/html";

std::string RunCommand(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  status = ::pclose(pipe);
  return out;
}

TEST(SlowRealServerPythonDocs, EveryPageRequisiteArrivesWithTheSameBytes) {
  if (!fs::is_directory(kPythonDocs)) GTEST_SKIP() << "python3.11-doc is not installed (scripts/install-deps.sh)";
  test::TempDir dir;
  const std::string root = dir.Sub("html");
  const std::string remote = dir.Sub("remote");
  CreateDirectory(dir.Sub("app"));
  CreateDirectory(remote);
  test::ScopedEnv appFolder{"TOVRA_APP_FOLDER", dir.Sub("app")};
  int status = 0;
  RunCommand("cp -rL " + std::string(kPythonDocs) + " '" + root + "'", status);
  ASSERT_EQ(status, 0);

  TStringList selection;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && entry.path().extension() == ".html")
      selection.Add(FromOsPath(entry.path().string()));
  }
  ASSERT_GT(selection.Count(), 500);

  test::PyFtpdServer server(remote, "tovra", "secret", true);
  TRunHooks hooks;
  TUploadSite site{root, THostInfo{"127.0.0.1", "tovra", "secret", server.Port()}, THostInfo{}, {}};
  for (const char* setting :
       {"References=modern", "PageEncoding=auto", "DataConnection=passive", "ReuseConnection=1", "Connections=4"}) {
    const std::string text(setting);
    site.extended.Set(text.substr(0, text.find('=')), text.substr(text.find('=') + 1));
  }
  test::RecordingUploadView view;
  view.continueMissing = true;
  TUploadJob job(hooks, view, {});
  ASSERT_TRUE(job.Start(selection, {}, site));
  ASSERT_TRUE(view.WaitForEnd());
  ASSERT_EQ(view.Outcome(), TRunOutcome::Completed) << view.Error();

  // Only files that are really missing are listed: no web address, no folder.
  for (const auto& entry : view.missingEntries) {
    EXPECT_EQ(entry.file.find("://"), std::string::npos) << entry.Line();
    EXPECT_FALSE(DirectoryExists(entry.file)) << entry.Line();
  }
  const std::string report = RunCommand(
      "/usr/bin/python3 " + test::SourceDir() + "/tests/support/page_requisites.py '" + root + "' '" + remote + "'",
      status);
  EXPECT_EQ(status, 0) << report;
  EXPECT_NE(report.find("pages 530 "), std::string::npos) << report;
  EXPECT_NE(report.find(" missing 0"), std::string::npos) << report;
}

}  // namespace
}  // namespace tovra
