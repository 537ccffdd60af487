// IRemoteSession: what the transfer run asks of one connection to the web
// server, whatever carries it (FTP or SFTP): log in, go to a remote folder
// creating the levels that are missing, store a file there, list a folder,
// rename and remove, cut the connection at once, close. Each object is used by one transfer
// thread at a time; Abort may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tovra {

struct TRemoteEntry {
  std::string name;  // CP932
  char type = '-';   // 'd' folder, 'l' link, '-' anything else
  std::int64_t size = 0;
};

class IRemoteSession {
 public:
  virtual ~IRemoteSession() = default;

  // Connects and logs in (again after Close or a failure); Home() is then
  // the login folder.
  virtual void Connect() = 0;
  virtual bool IsConnected() const = 0;
  virtual std::string Home() const = 0;
  // Makes the absolute folder (ending in "/", at or below Home()) the one
  // Store writes into, creating every missing level.
  virtual void EnterFolder(const std::string& folder) = 0;
  // Stores the local file whole into the entered folder as remoteName,
  // calling OnBytes with the bytes sent so far after each block.
  virtual void Store(const std::string& localPath, const std::string& remoteName) = 0;
  virtual std::vector<TRemoteEntry> List(const std::string& folder) = 0;
  // Absolute paths (CP932). Each gives false when the server refuses; a
  // lost connection raises.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Delete(const std::string& path) = 0;
  virtual bool RemoveFolder(const std::string& path) = 0;
  // Cuts the connection at once (any thread); the session must be closed.
  virtual void Abort() = 0;
  // Closes the connection without waiting for a server that does not answer.
  virtual void Close() = 0;

  std::function<void(std::int64_t)> OnBytes;
};

}  // namespace tovra
