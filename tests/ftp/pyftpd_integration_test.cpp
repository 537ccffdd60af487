// The session against a real server (pyftpdlib on loopback), one upload
// after another, as the transfer run drives it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ftp/dmFtp.h"
#include "ftp/id_exceptions.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

class RealServerTest : public ::testing::Test {
 protected:
  RealServerTest() : server(root.Path()) {
    ftp.HostInfo = THostInfo{"localhost", server.User(), server.Password(), server.Port()};
    ftp.IdFTP1.ReadTimeout = 10000;
    ftp.IdFTP1.AcceptTimeout = 10000;
  }
  void Upload(const std::string& localPath, const std::string& folderBelowHome) {
    ftp.Connect();
    std::string remoteDir = ftp.HomeDir + folderBelowHome;
    ftp.AdjustRemoteDir(remoteDir);
    ftp.ChangeRemoteDir(remoteDir);
    ftp.PutFile(localPath);
    ftp.Disconnect();
  }
  // Bytes of a file below the server root, by the raw bytes of its path.
  std::string ServerFile(const std::string& rawRelativePath) {
    std::string os = ToOsPath(root.Path()) + "/" + rawRelativePath;
    struct stat st {};
    if (::stat(os.c_str(), &st) != 0) return "<missing>";
    FILE* f = std::fopen(os.c_str(), "rb");
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    bytes.resize(got);
    return bytes;
  }

  test::TempDir root;
  test::TempDir local;
  test::PyFtpdServer server;
  TFTP ftp;
};

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 2463534242u;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<char>(x);
  }
  return bytes;
}

TEST_F(RealServerTest, FilesArriveByteIdenticalInNestedFolders) {
  const std::size_t sizes[] = {0, 1, 32768, 32769, 5 * 1024 * 1024};
  for (std::size_t size : sizes) {
    std::string name = "f" + std::to_string(size) + ".bin";
    std::string bytes = Pattern(size);
    Upload(local.Write(name, bytes), "a/b/c/");
    EXPECT_EQ(ServerFile("a/b/c/" + name), bytes) << name;
  }
  EXPECT_EQ(ftp.HomeDir, "/");
  // Into folders that now exist (found by listing), and one more level.
  Upload(local.Write("g.txt", "again"), "a/b/c/d/");
  EXPECT_EQ(ServerFile("a/b/c/d/g.txt"), "again");
  EXPECT_FALSE(ftp.IdFTP1.IsConnected());
}

TEST_F(RealServerTest, JapaneseNamesArriveUnderTheSameBytes) {
  const std::string names[] = {test::Hex("93 fa 96 7b 8c ea") + ".txt",    // 日本語.txt
                               test::Hex("95 5c 8e a6 83 5c") + ".html"};  // 表示ソ.html
  const std::string folder = test::Hex("83 54 83 75");                     // サブ
  for (const auto& name : names) {
    Upload(local.Write(name, "bytes of " + name), folder + "/");
    EXPECT_EQ(ServerFile(folder + "/" + name), "bytes of " + name);
  }
  // The folder made on the first upload is found by name on the second.
  ftp.Connect();
  ftp.GetRemoteFileInfo("*.*");
  ASSERT_EQ(ftp.IdFTP1.ParsedListing().Count(), 1);
  EXPECT_EQ(ftp.IdFTP1.ParsedListing()[0].FileName, folder);
  ftp.Disconnect();
}

TEST_F(RealServerTest, ListingIsParsed) {
  CreateDirectory(root.Sub("sub"));
  root.Write("with space.txt", "12345");
  ftp.Connect();
  ftp.GetRemoteFileInfo("*.*");
  std::map<std::string, TIdDirItemType> entries;
  for (const auto& item : ftp.IdFTP1.ParsedListing()) entries[item.FileName] = item.ItemType;
  EXPECT_EQ(entries, (std::map<std::string, TIdDirItemType>{{"sub", TIdDirItemType::ditDirectory},
                                                            {"with space.txt", TIdDirItemType::ditFile}}));
  ftp.Disconnect();
}

TEST_F(RealServerTest, CancelDuringALargeStoreStopsIt) {
  const std::size_t size = 32 * 1024 * 1024;
  std::string path = local.Write("large.bin", Pattern(size));
  ftp.IdFTP1.OnWork = [this](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    if (count >= 1024 * 1024) ftp.CancelRequested.store(1, std::memory_order_relaxed);
    ftp.IdFTP1Work(sender, mode, count);
  };
  ftp.Connect();
  try {
    ftp.PutFile(path);
    FAIL() << "the cancelled store ended normally";
  } catch (const EIdException& e) {
    std::string text = e.what();
    EXPECT_TRUE(text == "Connection Closed Gracefully." || text == "Disconnected.") << text;
  }
  ftp.IdFTP1.CloseSession();
  EXPECT_LT(ServerFile("large.bin").size(), size);
  // The next run starts afresh on the same server.
  ftp.CancelRequested = 0;
  Upload(local.Write("after.txt", "next"), "");
  EXPECT_EQ(ServerFile("after.txt"), "next");
}

}  // namespace
}  // namespace tovra
