#include "support/fake_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "util/char_string.h"

namespace tovra::test {

namespace {

constexpr int kSliceMs = 50;

std::string DefaultReply(const std::string& verb) {
  static const std::map<std::string, std::string> kDefaults = {
      {"USER", "331 Password required.\r\n"},
      {"PASS", "230 Logged in.\r\n"},
      {"TYPE", "200 Type set to I.\r\n"},
      {"SYST", "215 UNIX Type: L8\r\n"},
      {"PWD", "257 \"/\" is the current directory.\r\n"},
      {"CWD", "250 Directory changed.\r\n"},
      {"MKD", "257 Directory created.\r\n"},
      {"PORT", "200 PORT command successful.\r\n"},
      {"EPRT", "200 EPRT command successful.\r\n"},
      {"LIST", "150 Opening data connection.\r\n"},
      {"STOR", "150 Opening data connection.\r\n"},
      {"LIST+", "226 Transfer complete.\r\n"},
      {"STOR+", "226 Transfer complete.\r\n"},
      {"ABOR", "226 Abort successful.\r\n"},
  };
  auto it = kDefaults.find(verb);
  return it != kDefaults.end() ? it->second : "502 Command not implemented.\r\n";
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

namespace {

// A listener on the loopback address of the family; its port in port.
int LoopbackListener(bool ipv6, int& port) {
  int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_storage ss{};
  socklen_t len = 0;
  if (ipv6) {
    auto& sa = reinterpret_cast<sockaddr_in6&>(ss);
    sa.sin6_family = AF_INET6;
    sa.sin6_addr = in6addr_loopback;
    len = sizeof sa;
  } else {
    auto& sa = reinterpret_cast<sockaddr_in&>(ss);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof sa;
  }
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(fd, 4) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) {
    std::perror("fake ftp server");
    std::abort();
  }
  port =
      ipv6 ? ntohs(reinterpret_cast<sockaddr_in6&>(ss).sin6_port) : ntohs(reinterpret_cast<sockaddr_in&>(ss).sin_port);
  return fd;
}

}  // namespace

FakeFtpServer::FakeFtpServer(bool ipv6) : ipv6_(ipv6) {
  listener_ = LoopbackListener(ipv6, port_);
  thread_ = std::thread([this] { Serve(); });
}

FakeFtpServer::~FakeFtpServer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

void FakeFtpServer::SetGreeting(std::string raw) {
  std::lock_guard lock(mutex_);
  greeting_ = std::move(raw);
}

void FakeFtpServer::Reply(const std::string& key, std::string raw) {
  std::lock_guard lock(mutex_);
  replies_[key].push_back(std::move(raw));
}

void FakeFtpServer::AddListing(std::string bytes) {
  std::lock_guard lock(mutex_);
  listings_.push_back(std::move(bytes));
}

std::vector<std::string> FakeFtpServer::Transcript() const {
  std::lock_guard lock(mutex_);
  return transcript_;
}

std::string FakeFtpServer::Stored(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = stored_.find(name);
  return it != stored_.end() ? it->second : std::string();
}

bool FakeFtpServer::WasStored(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return stored_.count(name) > 0;
}

void FakeFtpServer::WaitUntilIdle() const {
  for (int waited = 0; finished_ < sessions_ && waited < 5000; waited += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void FakeFtpServer::Serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    int control = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (control < 0) continue;
    ++sessions_;
    Session(control);
    ::close(control);
    ++finished_;
  }
}

void FakeFtpServer::Session(int control) {
  std::string greeting;
  {
    std::lock_guard lock(mutex_);
    greeting = greeting_;
  }
  if (greeting == kClose) return;
  SendReply(control, greeting);
  std::string buffer;
  while (!stop_) {
    std::size_t lf = buffer.find('\n');
    if (lf != std::string::npos) {
      std::string line = buffer.substr(0, lf);
      buffer.erase(0, lf + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!Answer(control, line)) return;
      continue;
    }
    pollfd p{control, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    char chunk[4096];
    ssize_t n = ::recv(control, chunk, sizeof chunk, 0);
    if (n <= 0) return;
    buffer.append(chunk, static_cast<std::size_t>(n));
  }
}

std::string FakeFtpServer::PopKey(const std::string& key) {
  auto& queue = replies_[key];
  std::string reply = queue.front();
  if (queue.size() > 1) queue.pop_front();
  return reply;
}

std::string FakeFtpServer::NextReply(const std::string& line) {
  std::string verb = CharUpperCase(line.substr(0, line.find(' ')));
  std::lock_guard lock(mutex_);
  if (replies_.count(line) > 0) return PopKey(line);
  if (replies_.count(verb) > 0) return PopKey(verb);
  return DefaultReply(verb);
}

void FakeFtpServer::SetPasvAddress(std::string commaSeparated) {
  std::lock_guard lock(mutex_);
  pasvAddress_ = std::move(commaSeparated);
}

void FakeFtpServer::SetBeforeDataConnect(std::function<void(const std::string&, int)> hook) {
  std::lock_guard lock(mutex_);
  beforeDataConnect_ = std::move(hook);
}

std::string FakeFtpServer::AfterTlsStart() const {
  std::lock_guard lock(mutex_);
  return afterTlsStart_;
}

int FakeFtpServer::OpenPassive(const std::string& verb, int control) {
  if (passiveListener_ >= 0) ::close(passiveListener_);
  int port = 0;
  passiveListener_ = LoopbackListener(ipv6_, port);
  std::string address;
  {
    std::lock_guard lock(mutex_);
    address = pasvAddress_;
  }
  if (verb == "EPSV") {
    SendAll(control, "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n");
  } else {
    SendAll(control, "227 Entering Passive Mode (" + address + "," + std::to_string(port / 256) + "," +
                         std::to_string(port % 256) + ").\r\n");
  }
  return port;
}

void FakeFtpServer::CaptureAfterAuth(int control, std::string buffered) {
  // A client that starts TLS sends a handshake record next; a client that
  // does not sends its next command in clear. Whatever comes is kept.
  for (int waited = 0; waited < 1000 && buffered.size() < 5; waited += kSliceMs) {
    pollfd p{control, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    char chunk[4096];
    ssize_t n = ::recv(control, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    buffered.append(chunk, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard lock(mutex_);
    afterTlsStart_ = std::move(buffered);
  }
  for (int held = 0; held < holdAfterAuthMs_ && !stop_; held += kSliceMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
  }
}

bool FakeFtpServer::Answer(int control, const std::string& line) {
  std::string verb = CharUpperCase(line.substr(0, line.find(' ')));
  std::string argument = line.size() > verb.size() ? line.substr(verb.size() + 1) : std::string();
  {
    std::lock_guard lock(mutex_);
    transcript_.push_back(verb == "PORT" ? "PORT *" : verb == "EPRT" ? "EPRT *" : line);
    if (verb == "EPRT" && argument.size() > 2) {
      // |family|address|port|
      char d = argument[0];
      std::size_t a = argument.find(d, 1), b = argument.find(d, a + 1), c = argument.find(d, b + 1);
      if (a != std::string::npos && b != std::string::npos && c != std::string::npos) {
        dataAddress_ = argument.substr(a + 1, b - a - 1);
        dataPort_ = std::atoi(argument.substr(b + 1, c - b - 1).c_str());
      }
    }
    if (verb == "PORT") {
      unsigned h[4] = {}, p[2] = {};
      if (std::sscanf(argument.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) == 6) {
        dataAddress_ =
            std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." + std::to_string(h[3]);
        dataPort_ = static_cast<int>(p[0] * 256 + p[1]);
      }
    }
  }
  bool scripted = false;
  {
    std::lock_guard lock(mutex_);
    scripted = replies_.count(verb) > 0 || replies_.count(line) > 0;
  }
  if ((verb == "PASV" || verb == "EPSV") && !scripted) {
    OpenPassive(verb, control);
    return true;
  }
  std::string reply = NextReply(line);
  if (reply == kClose) return false;
  if ((verb == "PORT" || verb == "EPRT") && reply.rfind('2', 0) != 0) {
    // A refused address is no address: a later transfer has none to connect to.
    std::lock_guard lock(mutex_);
    dataAddress_.clear();
    dataPort_ = 0;
  }
  SendReply(control, reply);
  if (verb == "AUTH" && reply.rfind("234", 0) == 0) {
    CaptureAfterAuth(control, {});
    return false;
  }
  if ((verb == "LIST" || verb == "STOR") && !reply.empty() && reply[0] == '1' && openData_) {
    return Transfer(control, verb, argument);
  }
  return true;
}

int FakeFtpServer::ConnectData(int control) const {
  if (passiveListener_ >= 0) {
    // Up to 2 s for the client's connection, given up at once when the
    // client has closed the control connection (a STOR it sent ahead).
    int fd = -1;
    for (int waited = 0; fd < 0 && waited < 2000; waited += 50) {
      pollfd p{passiveListener_, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0) {
        fd = ::accept4(passiveListener_, nullptr, nullptr, SOCK_CLOEXEC);
        break;
      }
      char byte = 0;
      if (::recv(control, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) break;
    }
    ::close(passiveListener_);
    const_cast<FakeFtpServer*>(this)->passiveListener_ = -1;
    return fd;
  }
  std::string address;
  int port = 0;
  std::function<void(const std::string&, int)> hook;
  {
    std::lock_guard lock(mutex_);
    address = dataAddress_;
    port = dataPort_;
    hook = beforeDataConnect_;
  }
  if (hook) hook(address, port);
  if (address.find(':') != std::string::npos) {
    int fd6 = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 sa6{};
    sa6.sin6_family = AF_INET6;
    sa6.sin6_port = htons(static_cast<std::uint16_t>(port));
    if (fd6 < 0 || ::inet_pton(AF_INET6, address.c_str(), &sa6.sin6_addr) != 1 ||
        ::connect(fd6, reinterpret_cast<sockaddr*>(&sa6), sizeof sa6) != 0) {
      if (fd6 >= 0) ::close(fd6);
      return -1;
    }
    return fd6;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd < 0 || ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

bool FakeFtpServer::Transfer(int control, const std::string& verb, const std::string& argument) {
  int data = ConnectData(control);
  if (data >= 0) {
    if (verb == "LIST") {
      std::string listing;
      {
        std::lock_guard lock(mutex_);
        if (!listings_.empty()) {
          listing = listings_.front();
          if (listings_.size() > 1) listings_.pop_front();
        }
      }
      if (listing == kEndless) {
        SendEndless(data, "-rw-r--r-- 1 web web 1 Dec 08 09:28 again.html\r\n");
      } else {
        SendTrickled(data, listing, listingTrickleMs_);
      }
    } else {
      std::string received;
      while (stallUploads_ && !stop_) std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
      while (!stop_) {
        pollfd p{data, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) <= 0) continue;
        char chunk[65536];
        ssize_t n = ::recv(data, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        received.append(chunk, static_cast<std::size_t>(n));
      }
      std::lock_guard lock(mutex_);
      stored_[argument] = std::move(received);
    }
    ::close(data);
  }
  std::string reply = NextReply(verb + "+");
  if (reply == kClose) return false;
  SendReply(control, reply);
  return true;
}

void FakeFtpServer::SendReply(int control, const std::string& reply) {
  if (reply == kEndless) {
    SendAll(control, "211-Here comes more.\r\n");
    SendEndless(control, " and more\r\n");
    return;
  }
  SendTrickled(control, reply, trickleMs_);
}

void FakeFtpServer::SendTrickled(int fd, const std::string& bytes, int pauseMs) {
  if (pauseMs <= 0) {
    SendAll(fd, bytes);
    return;
  }
  for (char c : bytes) {
    if (stop_ || !SendAll(fd, std::string(1, c))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  }
}

void FakeFtpServer::SendEndless(int fd, const std::string& line) {
  std::string block;
  while (block.size() < 65536) block += line;
  // Never blocked in send: a client that stops reading must not keep the
  // server from shutting down.
  while (!stop_) {
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    ssize_t n = ::send(fd, block.data(), block.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;
  }
}

}  // namespace tovra::test
