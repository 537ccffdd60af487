// The errors of the FTP client, all of the EIdException family
// (platform/socket_errors.h), each with its fixed text.
#pragma once

#include <string>

#include "platform/socket_errors.h"
#include "platform/tls_stream.h"

namespace tovra {

// A reply code that the operation does not accept; the message is the reply's
// text lines, each followed by CR LF.
class EIdProtocolReplyError : public EIdException {
 public:
  EIdProtocolReplyError(int code, const std::string& message) : EIdException(message), code_(code) {}
  int ReplyErrorCode() const { return code_; }

 private:
  int code_;
};

// A reply of an accepted code whose text does not say what the command
// asked for; the message names the reply.
class EIdUnreadableReply : public EIdException {
 public:
  explicit EIdUnreadableReply(const std::string& message) : EIdException(message) {}
};

#define TOVRA_ID_ERROR(Name, Text)   \
  class Name : public EIdException { \
   public:                           \
    Name() : EIdException(Text) {}   \
  }

TOVRA_ID_ERROR(EIdAlreadyConnected, "Already connected.");
TOVRA_ID_ERROR(EIdConnClosedGracefully, "Connection Closed Gracefully.");
TOVRA_ID_ERROR(EIdNotConnected, "Not Connected");
TOVRA_ID_ERROR(EIdClosedSocket, "Disconnected.");
TOVRA_ID_ERROR(EIdReadTimeout, "Read Timeout");
TOVRA_ID_ERROR(EIdReadLnMaxLineLengthExceeded, "Max line length exceeded.");
TOVRA_ID_ERROR(EIdNoDataToRead, "No data to read.");
TOVRA_ID_ERROR(EIdInvalidFTPListingFormat, "Unknown FTP listing format");
// The server did not open the announced data connection in time.
TOVRA_ID_ERROR(EIdAcceptTimeout, "Accept timed out.");

// The session's cancel flag ended a wait (connect, reply, data connection).
TOVRA_ID_ERROR(EIdCancelled, "ユーザの中断で通信を打ち切りました");
// Limits on what one server answer may make the client hold in memory.
TOVRA_ID_ERROR(EIdReplyTooLong, "FTP サーバーの応答が長すぎるため受信を打ち切りました (上限 1 MiB)");
TOVRA_ID_ERROR(EIdListingTooLong, "ディレクトリ一覧が長すぎるため受信を打ち切りました (上限 64 MiB)");

#undef TOVRA_ID_ERROR

// A command argument holding CR or LF, refused before anything is sent: it
// would end the command line early and smuggle in another command.
class EIdUnsafeArgument : public EIdException {
 public:
  explicit EIdUnsafeArgument(const std::string& message) : EIdException(message) {}
};

// A server certificate that neither the system store, the site's pin nor
// the user trusted; the connection ended before the user name was sent.
class ECertificateRejected : public EIdException {
 public:
  ECertificateRejected(const std::string& host, const TCertificateInfo& certificate);
  const TCertificateInfo& Certificate() const { return certificate_; }

 private:
  TCertificateInfo certificate_;
};

// Encryption was required and the server did not agree to it; the password
// was not sent.
class ETlsRefused : public EIdException {
 public:
  explicit ETlsRefused(const std::string& message) : EIdException(message) {}
};

}  // namespace tovra
