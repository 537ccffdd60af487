// A scripted FTP server on loopback for the client's tests: canned replies
// per command, injected faults, listings and uploads over active data
// connections, and the transcript of the commands it received. It serves
// one control connection at a time on its own thread; the script is set
// before the client connects, the results are read after it has finished.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tovra::test {

// A Unix server's listing line for a folder, CR LF included.
inline std::string UnixFolderLine(const std::string& name) {
  return "drwxr-xr-x   2 web web 4096 Dec 08 09:28 " + name + "\r\n";
}

class FakeFtpServer {
 public:
  // A reply that makes the server close the control connection instead.
  static constexpr const char* kClose = "<close>";
  // As a reply: an endless multi-line reply; as a listing: endless listing
  // lines. Either goes on until the client closes the connection.
  static constexpr const char* kEndless = "<endless>";

  // ipv6: the server listens on ::1 (EPRT and EPSV) instead of 127.0.0.1.
  explicit FakeFtpServer(bool ipv6 = false);
  ~FakeFtpServer();
  FakeFtpServer(const FakeFtpServer&) = delete;
  FakeFtpServer& operator=(const FakeFtpServer&) = delete;

  int Port() const { return port_; }

  // Raw bytes sent when a client connects (default "220 fake server ready").
  void SetGreeting(std::string raw);
  // Replies (raw bytes, CR LF included) for a command: key is a whole
  // command line ("CWD www") or its verb ("CWD"); the whole line wins.
  // Replies queue up in order and the last one stays for later commands.
  // "LIST+" and "STOR+" are the replies after a transfer (default 226).
  void Reply(const std::string& key, std::string raw);
  // Each LIST sends the next listing; the last one stays.
  void AddListing(std::string bytes);
  // Every reply byte (the greeting's too) follows the one before after
  // this pause: a server that holds a reply open by trickling it.
  void SetTrickle(int intervalMs) { trickleMs_ = intervalMs; }
  // The same for the bytes of every listing.
  void SetListingTrickle(int intervalMs) { listingTrickleMs_ = intervalMs; }
  // true: an upload's data connection is opened but never read (until the
  // server shuts down), as by a server whose disk stalls.
  void SetStallUploads(bool stall) { stallUploads_ = stall; }
  // false: PORT is accepted but the server never connects.
  void SetOpenDataConnections(bool open) { openData_ = open; }
  // The address a PASV reply names (the listener is on 127.0.0.1 whatever
  // it says); "127,0,0,1" unless set. EPSV and PASV open a listener unless
  // a reply for them is scripted.
  void SetPasvAddress(std::string commaSeparated);
  // Called with the PORT address and port just before the server connects.
  void SetBeforeDataConnect(std::function<void(const std::string&, int)> hook);
  // How long the session stays open, silent, after a 234 reply to AUTH.
  void SetHoldAfterAuth(int ms) { holdAfterAuthMs_ = ms; }
  // The raw bytes that followed a 234 reply to AUTH (the session then ends).
  std::string AfterTlsStart() const;

  // Received command lines in order; PORT arguments shown as "PORT *".
  std::vector<std::string> Transcript() const;
  // The bytes of the last upload under name; empty if none.
  std::string Stored(const std::string& name) const;
  bool WasStored(const std::string& name) const;
  int Sessions() const { return sessions_; }
  // Waits (up to 5 s) until the server has finished every session so far,
  // so commands that get no awaited reply (ABOR) show in the transcript.
  void WaitUntilIdle() const;

 private:
  void Serve();
  void Session(int control);
  bool Answer(int control, const std::string& line);
  std::string NextReply(const std::string& line);
  std::string PopKey(const std::string& key);
  int ConnectData(int control) const;
  int OpenPassive(const std::string& verb, int control);
  void CaptureAfterAuth(int control, std::string buffered);
  bool Transfer(int control, const std::string& verb, const std::string& argument);
  void SendReply(int control, const std::string& reply);
  void SendTrickled(int fd, const std::string& bytes, int pauseMs);
  void SendEndless(int fd, const std::string& line);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> sessions_{0};
  std::atomic<int> finished_{0};
  std::atomic<bool> openData_{true};
  std::atomic<int> trickleMs_{0};
  std::atomic<bool> stallUploads_{false};
  std::atomic<int> listingTrickleMs_{0};
  mutable std::mutex mutex_;
  std::string greeting_ = "220 fake server ready\r\n";
  std::map<std::string, std::deque<std::string>> replies_;
  std::deque<std::string> listings_;
  std::vector<std::string> transcript_;
  std::map<std::string, std::string> stored_;
  std::string dataAddress_;
  std::string pasvAddress_ = "127,0,0,1";
  std::function<void(const std::string&, int)> beforeDataConnect_;
  std::string afterTlsStart_;
  int passiveListener_ = -1;
  bool ipv6_ = false;
  std::atomic<int> holdAfterAuthMs_{0};
  int dataPort_ = 0;
  std::thread thread_;
};

}  // namespace tovra::test
