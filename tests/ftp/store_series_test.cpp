// A series of stores against real servers: vsftpd reads no command during a
// transfer, so the next files' STORs go out while one is received; pyftpdlib
// answers at once, so it gets one file at a time. Either way every file
// arrives whole under its name, in its folder, with no temporary name left.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <memory>

#include "ftp/id_ftp.h"
#include "platform/files.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"

namespace tovra {
namespace {

std::string Bytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7) % 251);
  return bytes;
}

// Hands out the files after the first; the last one only when another
// folder is allowed, as a series does after a folder's last file.
class ListedSeries : public IStoreSeries {
 public:
  explicit ListedSeries(std::vector<TStoreItem> items) : items_(std::move(items)) {}
  std::optional<TStoreItem> Next(bool otherFolder) override {
    if (given_ + 1 >= items_.size()) return std::nullopt;
    if (!items_[given_ + 1].folder.empty() && !otherFolder) return std::nullopt;
    return items_[++given_];
  }
  void Sending(std::size_t) override {}
  void Stored(std::size_t k, bool renamed) override { stored[k] = renamed; }

  std::map<std::size_t, bool> stored;

 private:
  std::vector<TStoreItem> items_;
  std::size_t given_ = 0;
};

TEST(StoreSeries, EveryFileArrivesWholeAndOnlyAReadingServerGetsOneAtATime) {
  enum class TPeer { Vsftpd, VsftpdTls, Pyftpd };
  struct Case {
    const char* name;
    TPeer peer;
    bool sendsAhead;
    bool crossesFolders;  // goes on into another folder (plain data only)
  } cases[] = {
      {"vsftpd", TPeer::Vsftpd, true, true},
      {"vsftpd over TLS", TPeer::VsftpdTls, true, false},
      {"pyftpdlib", TPeer::Pyftpd, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool vsftpd = c.peer != TPeer::Pyftpd;
    if (vsftpd && !test::VsftpdServer::Unavailable().empty()) continue;
    test::TempDir local;
    test::TempDir root;
    ::chmod(root.Path().c_str(), 0755);
    CreateDirectory(root.Path() + "/sub");
    ::chmod((root.Path() + "/sub").c_str(), 0777);
    std::unique_ptr<test::VsftpdServer> vs;
    std::unique_ptr<test::PyFtpdServer> py;
    TIdFTP client;
    if (vsftpd) {
      vs = std::make_unique<test::VsftpdServer>(root.Path(), "", c.peer == TPeer::VsftpdTls);
      ASSERT_NE(vs->Port(), 0) << vs->StartLog();
      client.Port = vs->Port();
      client.Username = vs->User();
      client.Password = vs->Password();
      client.PinnedSha256 = vs->Fingerprint();
      if (c.peer == TPeer::VsftpdTls) client.Encryption = TFtpEncryption::Explicit;
    } else {
      py = std::make_unique<test::PyFtpdServer>(root.Path());
      client.Port = py->Port();
      client.Username = py->User();
      client.Password = py->Password();
    }
    client.Host = "127.0.0.1";
    client.ReadTimeout = 10000;
    client.Passive = true;
    client.PipelineStore = true;
    // Small files, one larger than goes out before the server's answer, an
    // empty one, and the last in another folder.
    const std::size_t sizes[] = {10, 200, 300000, 0, 5, 70000, 42};
    std::vector<TStoreItem> items;
    std::map<std::string, std::string> expected;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
      const std::string name = "f" + std::to_string(i) + ".bin";
      const std::string bytes = Bytes(sizes[i], static_cast<unsigned>(i));
      const bool last = i + 1 == std::size(sizes);
      items.push_back({local.Write(name, bytes), ".part." + name, name, last ? "/sub/" : ""});
      if (!last || c.crossesFolders) expected[(last ? "sub/" : "") + name] = bytes;
    }
    int storsAhead = 0;
    int unconfirmed = 0;
    client.OnTrace = [&](char direction, const std::string& line) {
      if (direction == '>' && line.rfind("STOR ", 0) == 0 && unconfirmed++ > 0) ++storsAhead;
      if (direction == '<' && line.rfind("226", 0) == 0) --unconfirmed;
    };
    ListedSeries series(items);
    client.OpenSession();
    client.ChangeWorkingDir("/");
    client.StoreSeries(items.front(), series);
    client.CloseSession();
    std::map<std::size_t, bool> all;
    for (std::size_t k = 0; k < expected.size(); ++k) all[k] = true;
    EXPECT_EQ(series.stored, all);
    const auto tree = test::FileTree(root.Path());
    std::vector<std::string> names;
    for (const auto& [name, bytes] : tree) names.push_back(name + " " + std::to_string(bytes.size()));
    std::vector<std::string> expectedNames;
    for (const auto& [name, bytes] : expected) expectedNames.push_back(name + " " + std::to_string(bytes.size()));
    EXPECT_EQ(names, expectedNames);
    EXPECT_TRUE(tree == expected) << "same names and sizes, other bytes";
    EXPECT_EQ(storsAhead > 0, c.sendsAhead) << storsAhead;
  }
}

}  // namespace
}  // namespace tovra
