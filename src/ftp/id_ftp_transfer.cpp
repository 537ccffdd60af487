// Active-mode data transfers of TIdFTP: STOR, LIST and their abort.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "ftp/id_exceptions.h"
#include "ftp/id_ftp.h"
#include "platform/encoding.h"
#include "util/errors.h"

namespace tovra {

namespace {

// A read-only descriptor of a local file, closed on every path. Other
// readers and writers are never locked out.
class TLocalFile {
 public:
  explicit TLocalFile(const std::string& path) {
    std::string os = ToOsPath(path);
    fd_ = ::open(os.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw EFileError::CannotOpen(path, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
      int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
      ::close(fd_);
      throw EFileError::CannotOpen(path, std::strerror(err));
    }
    size_ = st.st_size;
    path_ = path;
  }
  ~TLocalFile() { ::close(fd_); }
  TLocalFile(const TLocalFile&) = delete;
  TLocalFile& operator=(const TLocalFile&) = delete;

  int Fd() const { return fd_; }
  std::int64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::string path_;
};

std::size_t ReadBlock(const TLocalFile& file, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(file.Fd(), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw EFileError::CannotOpen(file.Path(), std::strerror(errno));
  }
}

}  // namespace

void TIdFTP::SendOnly(const std::string& command) {
  CheckCommandArgument(command);
  Trace('>', MaskedCommand(command));
  Write(command + "\r\n");
}

void TIdFTP::OpenDataConnection(bool readReply) {
  ReleaseDataConnection();
  data_ = std::make_unique<TIdSimpleServer>();
  data_->RecvBufferSize = RecvBufferSize;
  data_->SendBufferSize = SendBufferSize;
  data_->ReadTimeout = ReadTimeout;
  data_->OnWork = OnWork;
  data_->Interrupter = Interrupter;
  data_->AcceptTimeout = AcceptTimeout;
  data_->AcceptPollInterval = AcceptPollInterval;
  data_->BoundIP = LocalAddress();
  data_->BoundPort = 0;
  data_->BeginListening();
  const std::string port = "PORT " + PortArgument(data_->BoundIP, data_->BoundPort);
  if (readReply) {
    SendCommand(port, {200});
  } else {
    SendOnly(port);
  }
}

void TIdFTP::AcceptDataConnection() { data_->Listen(); }

void TIdFTP::ReleaseDataConnection() {
  if (!data_) return;
  data_->EndListening();
  data_.reset();
}

void TIdFTP::ReadTransferReplies() {
  int code = ReadReply({225, 226, 250, 426, 450});
  if (code == 426 || code == 450) ReadReply({226, 225});
}

void TIdFTP::StoreFile(const std::string& localPath, const std::string& remoteName) {
  CheckCommandArgument("STOR " + remoteName);
  TLocalFile file(localPath);
  try {
    if (PipelineStore) {
      OpenDataConnection(false);
      SendOnly("STOR " + remoteName);
      // A refused PORT leaves the STOR reply unread: the caller drops the
      // connection on any failure.
      ReadReply({200});
      ReadReply({125, 150});
    } else {
      OpenDataConnection();
      SendCommand("STOR " + remoteName, {125, 150});
    }
    AcceptDataConnection();
    std::vector<char> block(SendBufferSize > 0 ? SendBufferSize : kBlockSize);
    data_->BeginWork(TWorkMode::wmWrite, file.Size());
    std::int64_t sent = 0;
    while (sent < file.Size()) {
      std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(file.Size() - sent, block.size()));
      std::size_t got = ReadBlock(file, block.data(), want);
      if (got == 0) throw EIdNoDataToRead();
      data_->Write(std::string_view(block.data(), got));
      sent += static_cast<std::int64_t>(got);
    }
    data_->EndWork(TWorkMode::wmWrite);
    ReleaseDataConnection();
  } catch (...) {
    ReleaseDataConnection();
    throw;
  }
  ReadTransferReplies();
}

std::string TIdFTP::ReceiveListing() {
  std::string text;
  std::string& buffer = data_->InputBuffer();
  data_->BeginWork(TWorkMode::wmRead, 0);
  const std::size_t blockSize = RecvBufferSize > 0 ? RecvBufferSize : kBlockSize;
  // Progress is reported per full block only; an abort from the handler
  // closes the connection, which ends the loop like the server's close.
  while (!data_->ClosedGracefully()) {
    if (buffer.size() >= blockSize) {
      text.append(buffer, 0, blockSize);
      buffer.erase(0, blockSize);
      data_->DoWork(TWorkMode::wmRead, static_cast<std::int64_t>(blockSize));
      continue;
    }
    data_->ReceiveSome();
  }
  text += buffer;
  buffer.clear();
  data_->EndWork(TWorkMode::wmRead);
  return text;
}

void TIdFTP::ListDirectory(TStringList* lines) {
  std::string text;
  try {
    OpenDataConnection();
    SendCommand("LIST", {125, 150, 154});
    AcceptDataConnection();
    text = ReceiveListing();
    ReleaseDataConnection();
  } catch (...) {
    ReleaseDataConnection();
    throw;
  }
  ReadTransferReplies();
  parsed_.reset();
  // The listing text ends at its first NUL byte.
  text.resize(std::min(text.size(), text.find('\0')));
  listingLines_.SetText(text);
  if (lines != nullptr) *lines = listingLines_;
}

void TIdFTP::AbortTransfer() {
  if (IsConnected()) {
    Trace('>', "ABOR");
    Write("ABOR\r\n");
  }
  if (data_) data_->CloseSocket();
}

}  // namespace tovra
