#include "ftp/remote_names.h"

#include <gtest/gtest.h>

#include "ftp/dmFtp.h"
#include "platform/encoding.h"
#include "support/fake_ftp_server.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using Lines = std::vector<std::string>;

using test::U8;

constexpr const char* kFeatUtf8 = "211-Features:\r\n MDTM\r\n UTF8\r\n211 End\r\n";
constexpr const char* kFeatPlain = "211-Features:\r\n MDTM\r\n211 End\r\n";

// Folder and file names whose CP932 second byte is 0x5C: 表 95 5C, ソ 83 5C, 能 94 5C.
const std::string kFolderUtf8 = U8(u8"表紙");
const std::string kFileUtf8 = U8(u8"ソ能.png");

struct NamesCase {
  const char* name;
  TRemoteNameEncoding setting;
  const char* featReply;  // nullptr: the server never gets FEAT
  bool utf8;              // the names expected on the wire
};

void PrintTo(const NamesCase& c, std::ostream* out) { *out << c.name; }

class RemoteNamesTest : public ::testing::TestWithParam<NamesCase> {
 protected:
  void SetUp() override {
    ftp.HostInfo = THostInfo{"127.0.0.1", "web", "pw", server.Port()};
    ftp.IdFTP1.ReadTimeout = 5000;
    ftp.IdFTP1.AcceptTimeout = 2000;
  }
  void RunFile(const std::string& remoteDir, const std::string& localPath) {
    ftp.Connect();
    ftp.AdjustRemoteDir(remoteDir);
    ftp.ChangeRemoteDir(remoteDir);
    ftp.PutFile(localPath);
    ftp.Disconnect();
  }
  test::FakeFtpServer server;
  TFTP ftp;
  test::TempDir dir;
};

TEST_P(RemoteNamesTest, NamesGoOutInTheServersEncodingAndAreFoundAgain) {
  const NamesCase& c = GetParam();
  if (c.featReply != nullptr) server.Reply("FEAT", c.featReply);
  const std::string folder = Utf8ToCp932(kFolderUtf8);
  const std::string file = Utf8ToCp932(kFileUtf8);
  const std::string wireFolder = c.utf8 ? kFolderUtf8 : folder;
  const std::string wireFile = c.utf8 ? kFileUtf8 : file;
  ASSERT_EQ(folder.substr(0, 2), "\x95\x5C");
  const std::string local = dir.Write(file, "picture");
  ftp.IdFTP1.NameEncoding = c.setting;

  // First upload: the folder is missing and made; second: the listing shows
  // it in the server's encoding and it is entered.
  server.AddListing("");
  server.AddListing(test::UnixFolderLine(wireFolder));
  RunFile("/" + folder + "/", local);
  RunFile("/" + folder + "/", local);

  Lines login;
  if (c.featReply != nullptr) login.push_back("FEAT");
  for (const char* command : {"USER web", "PASS pw", "TYPE I", "SYST"}) login.push_back(command);
  if (c.featReply != nullptr && c.utf8) login.push_back("OPTS UTF8 ON");
  login.push_back("PWD");
  Lines expected = login;
  for (const char* command : {"CWD /", "PORT *", "LIST"}) expected.push_back(command);
  expected.push_back("MKD " + wireFolder);
  expected.push_back("CWD " + wireFolder);
  expected.push_back("CWD /" + wireFolder + "/");
  expected.push_back("PORT *");
  expected.push_back("STOR " + wireFile);
  expected.insert(expected.end(), login.begin(), login.end());
  for (const char* command : {"CWD /", "PORT *", "LIST"}) expected.push_back(command);
  expected.push_back("CWD " + wireFolder);
  expected.push_back("CWD /" + wireFolder + "/");
  expected.push_back("PORT *");
  expected.push_back("STOR " + wireFile);
  EXPECT_EQ(server.Transcript(), expected);
  EXPECT_EQ(server.Stored(wireFile), "picture");
  EXPECT_EQ(ftp.IdFTP1.Utf8Names(), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RemoteNamesTest,
    ::testing::Values(NamesCase{"Cp932SendsTheBytesAsTheyAre", TRemoteNameEncoding::Cp932, nullptr, false},
                      NamesCase{"Utf8WithoutAsking", TRemoteNameEncoding::Utf8, nullptr, true},
                      NamesCase{"AutoWithUtf8Feature", TRemoteNameEncoding::Auto, kFeatUtf8, true},
                      NamesCase{"AutoWithoutUtf8Feature", TRemoteNameEncoding::Auto, kFeatPlain, false},
                      NamesCase{"AutoWithoutFeat", TRemoteNameEncoding::Auto, "500 Unknown command\r\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemoteNamesTest, ListedNamesCp932CannotHoldNeverMatch) {
  ftp.IdFTP1.NameEncoding = TRemoteNameEncoding::Utf8;
  // A folder named with a character CP932 lacks, and one whose name CP932
  // would give back altered (〜 becomes ～): neither is the folder wanted.
  server.AddListing(test::UnixFolderLine(U8(u8"a😀")) + test::UnixFolderLine(U8(u8"b〜")));
  ftp.Connect();
  ftp.AdjustRemoteDir("/" + Utf8ToCp932(U8(u8"b～")) + "/");
  const Lines transcript = server.Transcript();
  ASSERT_GE(transcript.size(), 2u);
  EXPECT_EQ(transcript[transcript.size() - 2], "MKD " + U8(u8"b～"));
}

TEST_F(RemoteNamesTest, HomeFolderCp932CannotHoldStopsBeforeAnyNameIsSent) {
  ftp.IdFTP1.NameEncoding = TRemoteNameEncoding::Utf8;
  server.Reply("PWD", "257 \"/" + U8(u8"😀") + "\"\r\n");
  EXPECT_THROW(ftp.Connect(), EEncodingError);
  EXPECT_EQ(server.Transcript().back(), "PWD");
}

}  // namespace
}  // namespace tovra
