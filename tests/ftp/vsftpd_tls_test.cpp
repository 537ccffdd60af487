// Against vsftpd that requires TLS for login and data and requires data
// connections to resume the control connection's session: the demo site in
// both data connection modes, the pin, and a hidden folder. vsftpd needs
// root; without root or vsftpd these tests skip and say why.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ftp/dmFtp.h"
#include "ftp/id_exceptions.h"
#include "platform/encoding.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"

namespace tovra {
namespace {

namespace fs = std::filesystem;

using test::FreePort;
using test::ReadAll;

class RealServerVsftpdTls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "vsftpd needs root; TLS tests against it skipped";
    if (!fs::exists("/usr/sbin/vsftpd")) GTEST_SKIP() << "vsftpd is not installed; TLS tests against it skipped";
    ::chmod(dir.Path().c_str(), 0755);
    cert = dir.Path() + "/cert.pem";
    key = dir.Path() + "/key.pem";
    root = dir.Path() + "/root";
    fs::create_directories(root);
    std::string req = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout " + key +
                      " -out " + cert + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(req.c_str()), 0) << "openssl req failed";
    port = FreePort();
    std::string start = "VSFTPD_EXTRA='" + ExtraConfig() + "' VSFTPD_TLS=" + cert + ":" + key +
                        " FTP_PEERS_STATE_BASE=" + dir.Path() + " " + test::SourceDir() +
                        "/tests/support/vsftpd/start-vsftpd.sh " + std::to_string(port) + " " + root + " " +
                        dir.Path() + "/vsftpd.pid >" + dir.Path() + "/start.log 2>&1";
    if (std::system(start.c_str()) != 0) {
      GTEST_SKIP() << "vsftpd could not be started here: " << ReadAll(dir.Path() + "/start.log");
    }
    started = true;
    ftp.HostInfo = THostInfo{"127.0.0.1", "web", "pass", port};
    ftp.IdFTP1.ReadTimeout = 10000;
    ftp.IdFTP1.OnTrace = [this](char direction, const std::string& line) {
      if (direction == '>') sent.push_back(line);
    };
  }
  void TearDown() override {
    if (!started) return;
    std::istringstream pid(ReadAll(dir.Path() + "/vsftpd.pid"));
    int value = 0;
    if (pid >> value && value > 1) ::kill(value, SIGTERM);
  }
  // More configuration lines for the server.
  virtual std::string ExtraConfig() const { return ""; }
  std::string Fingerprint() {
    TIdFTP probe;
    probe.Host = "127.0.0.1";
    probe.Port = port;
    probe.Encryption = ExtraConfig().empty() ? TFtpEncryption::Explicit : TFtpEncryption::Implicit;
    return probe.FetchCertificate().Sha256;
  }
  void Upload(const std::string& remoteDir, const std::string& local) {
    ftp.Connect();
    ftp.AdjustRemoteDir(remoteDir);
    ftp.ChangeRemoteDir(remoteDir);
    ftp.PutFile(local);
    ftp.Disconnect();
  }
  void Settings(bool passive, const std::string& pin) {
    TFtpConnectionSettings settings;
    settings.passive = passive;
    settings.encryption = ExtraConfig().empty() ? TFtpEncryption::Explicit : TFtpEncryption::Implicit;
    settings.certificateSha256 = pin;
    ftp.ApplyConnectionSettings(settings);
  }

  test::TempDir dir;
  std::string cert, key, root;
  int port = 0;
  bool started = false;
  TFTP ftp;
  std::vector<std::string> sent;
};

class RealServerVsftpdTlsModes : public RealServerVsftpdTls, public ::testing::WithParamInterface<bool> {};

TEST_P(RealServerVsftpdTlsModes, DemoSiteArrivesByteIdentical) {
  Settings(GetParam(), Fingerprint());
  const fs::path site = fs::path(test::SourceDir()) / "demo" / "site";
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(site)) {
    if (!entry.is_regular_file()) continue;
    std::string relative = FromOsPath(entry.path().parent_path().lexically_relative(site).string());
    std::string remoteDir = relative == "." ? "/" : "/" + relative + "/";
    Upload(remoteDir, FromOsPath(entry.path().string()));
    // The server keeps the bytes it was sent: CP932 names.
    fs::path stored = fs::path(root) / FromOsPath(entry.path().lexically_relative(site).string());
    EXPECT_EQ(ReadAll(stored), ReadAll(entry.path())) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 10);
  EXPECT_TRUE(std::find(sent.begin(), sent.end(), "PROT P") != sent.end());
  EXPECT_TRUE(std::find(sent.begin(), sent.end(), GetParam() ? "EPSV" : "PORT") != sent.end() ||
              std::any_of(sent.begin(), sent.end(), [](const std::string& s) { return s.rfind("PORT ", 0) == 0; }));
}

INSTANTIATE_TEST_SUITE_P(DataConnections, RealServerVsftpdTlsModes, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

class RealServerVsftpdTlsPins : public RealServerVsftpdTls, public ::testing::WithParamInterface<const char*> {};

TEST_P(RealServerVsftpdTlsPins, UntrustedCertificateEndsBeforeUser) {
  Settings(true, GetParam());
  const std::string fingerprint = Fingerprint();
  try {
    ftp.Connect();
    FAIL() << "connected with an untrusted certificate";
  } catch (const ECertificateRejected& e) {
    EXPECT_NE(std::string(e.what()).find(fingerprint), std::string::npos) << e.what();
  }
  for (const auto& line : sent) EXPECT_NE(line.rfind("USER", 0), 0u) << line;
  EXPECT_FALSE(ftp.IdFTP1.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(
    Pins, RealServerVsftpdTlsPins,
    ::testing::Values(
        "", "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF"),
    [](const auto& info) { return std::string(info.param[0] ? "WrongPin" : "NoPin"); });

TEST_F(RealServerVsftpdTls, SecondUploadIntoAHiddenFolderSucceeds) {
  Settings(true, Fingerprint());
  // vsftpd leaves dot folders out of a bare LIST: the second run's MKD is
  // refused and the folder is entered instead.
  Upload("/.well-known/acme/", dir.Write("token1", "one"));
  Upload("/.well-known/acme/", dir.Write("token2", "two"));
  EXPECT_EQ(ReadAll(root + "/.well-known/acme/token1"), "one");
  EXPECT_EQ(ReadAll(root + "/.well-known/acme/token2"), "two");
}

}  // namespace
}  // namespace tovra

namespace tovra {
namespace {

// Answers every question the same way and counts them.
class CountingTrust : public ICertificateTrust {
 public:
  explicit CountingTrust(TTrustAnswer answer) : answer_(answer) {}
  TTrustAnswer AskTrust(const std::string& host, const TCertificateInfo& certificate) override {
    ++asked;
    lastHost = host;
    lastFingerprint = certificate.Sha256;
    return answer_;
  }
  int asked = 0;
  std::string lastHost;
  std::string lastFingerprint;

 private:
  TTrustAnswer answer_;
};

struct TrustCase {
  const char* name;
  TTrustAnswer answer;
  bool uploads;
};

class RealServerVsftpdTlsTrust : public RealServerVsftpdTls, public ::testing::WithParamInterface<TrustCase> {};

TEST_P(RealServerVsftpdTlsTrust, AsksOncePerRunAndHonoursTheAnswer) {
  CountingTrust trust(GetParam().answer);
  ftp.CertificateTrust = &trust;
  Settings(true, "");
  const std::string fingerprint = Fingerprint();
  for (const char* name : {"one.txt", "two.txt"}) {
    if (GetParam().uploads) {
      Upload("/", dir.Write(name, name));
      EXPECT_EQ(ReadAll(root + "/" + name), name);
    } else {
      EXPECT_THROW(Upload("/", dir.Write(name, name)), ECertificateRejected);
    }
  }
  EXPECT_EQ(trust.asked, GetParam().uploads ? 1 : 2);
  EXPECT_EQ(trust.lastHost, "127.0.0.1");
  EXPECT_EQ(trust.lastFingerprint, fingerprint);
  if (!GetParam().uploads) {
    for (const auto& line : sent) EXPECT_NE(line.rfind("USER", 0), 0u) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, RealServerVsftpdTlsTrust,
                         ::testing::Values(TrustCase{"Reject", TTrustAnswer::Reject, false},
                                           TrustCase{"TrustOnce", TTrustAnswer::TrustOnce, true},
                                           TrustCase{"TrustAndRemember", TTrustAnswer::TrustAndRemember, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovra

namespace tovra {
namespace {

class RealServerVsftpdImplicitTls : public RealServerVsftpdTls, public ::testing::WithParamInterface<bool> {
 protected:
  std::string ExtraConfig() const override { return "implicit_ssl=YES"; }
};

TEST_P(RealServerVsftpdImplicitTls, UploadsWithTlsFromTheFirstByte) {
  Settings(GetParam(), Fingerprint());
  std::string bytes(300000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  Upload("/deep/er/", dir.Write("blob.bin", bytes));
  EXPECT_EQ(ReadAll(root + "/deep/er/blob.bin"), bytes);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AUTH TLS"), 0);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "PROT P"), 1);
}

INSTANTIATE_TEST_SUITE_P(DataConnections, RealServerVsftpdImplicitTls, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
}  // namespace tovra
