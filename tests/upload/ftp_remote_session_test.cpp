// The run's FTP session against a real FTP server: folders made by the FTP
// walk, stores into the entered folder with their progress, listings, and a
// store refused once the session is cancelled.
#include "upload/ftp_remote_session.h"

#include <gtest/gtest.h>

#include "ftp/id_exceptions.h"
#include "platform/files.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

TEST(RealServerFtpRemote, EntersStoresListsAndRefusesAStoreAfterAnAbort) {
  test::TempDir root;
  test::TempDir local;
  test::PyFtpdServer server(root.Path());
  TFTP ftp;
  ftp.HostInfo = THostInfo{"127.0.0.1", server.User(), server.Password(), server.Port()};
  ftp.IdFTP1.ReadTimeout = 10000;
  std::vector<std::int64_t> progress;
  {
    TFtpRemoteSession session(ftp);
    session.OnBytes = [&](std::int64_t sent) { progress.push_back(sent); };
    session.Connect();
    ASSERT_TRUE(session.IsConnected());
    session.EnterFolder(session.Home() + "site/img/");
    std::string bytes(200000, 'p');
    session.Store(local.Write("pic.gif", bytes), "pic.gif");
    EXPECT_EQ(ReadFileBytes(root.Sub("site/img/pic.gif")), bytes);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 200000);

    auto entries = session.List(session.Home() + "site/");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "img");
    EXPECT_EQ(entries[0].type, 'd');

    session.Abort();
    EXPECT_THROW(session.Store(local.Write("late.gif", "x"), "late.gif"), EIdCancelled);
    EXPECT_FALSE(FileExists(root.Sub("site/img/late.gif")));
    session.Close();
    EXPECT_FALSE(session.IsConnected());
  }
  // The session's own progress handler is back once the remote session goes.
  ASSERT_TRUE(static_cast<bool>(ftp.IdFTP1.OnWork));
  std::size_t seen = progress.size();
  TIdTCPConnection& connection = ftp.IdFTP1;
  ftp.IdFTP1.OnWork(connection, TWorkMode::wmWrite, 1);
  EXPECT_EQ(progress.size(), seen);
}

}  // namespace
}  // namespace tovra
