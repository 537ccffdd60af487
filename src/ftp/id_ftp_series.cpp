// Series of stores into the working folder. On a server that leaves
// commands unread while it receives a file, the next file's passive request
// and STOR go out as soon as the current file's data connection is open, so
// the server starts on the next file the moment the current one is whole:
// one round trip per file. A file's rename goes out only once the server has
// confirmed that file.
#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <utility>

#include "ftp/id_exceptions.h"
#include "ftp/id_ftp.h"
#include "ftp/remote_names.h"

namespace tovra {

namespace {

using TSeriesClock = std::chrono::steady_clock;

bool Confirms(int code) { return code == 225 || code == 226 || code == 250; }

// How long the NOOP sent during the first store may take to be answered
// before the server is taken to leave it unread: longer than the round trip
// the store's own STOR took, by half as much again and a margin.
int ProbeWaitMs(TSeriesClock::duration storeRoundTrip) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(storeRoundTrip).count();
  return static_cast<int>(std::clamp<long long>(ms + ms / 2 + 20, 20, 2000));
}

}  // namespace

struct TIdFTP::TSeriesStore {
  std::size_t k = 0;
  TStoreItem item;
  std::string stor, rnfr, rnto;
  bool written = false;
  std::string portCommand;  // the passive request sent ahead of the STOR
  std::unique_ptr<TReadOnlyFile> file;
};

TIdFTP::TSeriesStore TIdFTP::PrepareSeriesStore(TStoreItem item, std::size_t k) const {
  // Names and the file are checked before anything of this store is sent.
  TSeriesStore store;
  store.k = k;
  // A file of another folder goes by its whole path: no change of folder
  // comes between the files of the series.
  CheckCommandArgument("STOR " + item.folder + item.name);
  const std::string wire = ToServerName(item.folder + item.name, utf8Names_);
  store.stor = "STOR " + wire;
  if (!item.renameTo.empty()) {
    store.rnfr = "RNFR " + wire;
    store.rnto = "RNTO " + ToServerName(item.folder + item.renameTo, utf8Names_);
    CheckCommandArgument(store.rnto);
  }
  store.file = std::make_unique<TReadOnlyFile>(item.localPath);
  store.item = std::move(item);
  return store;
}

int TIdFTP::AheadPort(const std::string& command) {
  const int code = ReadReply({});
  if (auto port = PassiveReplyPort(command, code)) return *port;
  throw EIdProtocolReplyError(code, LastReply.Message());
}

void TIdFTP::StoreOneByOne(TStoreItem item, std::size_t k, IStoreSeries& series) {
  for (;;) {
    series.Sending(k);
    bool renamed = true;
    if (item.renameTo.empty()) {
      Store(item.localPath, item.name, nullptr);
    } else {
      renamed = StoreAndRename(item.localPath, item.name, item.renameTo);
    }
    if (abortSent_) throw EIdCancelled();
    series.Stored(k, renamed);
    std::optional<TStoreItem> next = series.Next(false);
    if (!next) return;
    item = std::move(*next);
    ++k;
  }
}

void TIdFTP::ReadProbedStoreReplies() {
  // Two replies, the store's and the NOOP's: the NOOP's first means the
  // server read it while it received the file.
  const int first = ReadReply({});
  const std::string firstText = LastReply.Message();
  const int second = ReadReply({});
  if (Confirms(first)) {
    readsDuringTransfer_ = TReadsDuringTransfer::No;
    return;
  }
  readsDuringTransfer_ = TReadsDuringTransfer::Yes;
  if (Confirms(second)) return;
  if (first == 200) throw EIdProtocolReplyError(second, LastReply.Message());
  throw EIdProtocolReplyError(first, firstText);
}

namespace {

// Stores whose STOR is out and whose end is not yet confirmed: enough that
// the server always finds the next one waiting when it has finished a file.
constexpr int kStoresAhead = 3;
// The most a file's data may go out before the server has answered its STOR:
// what the network takes in whether or not the server reads it.
constexpr std::int64_t kEagerBytes = 64 * 1024;

enum class TAwaited { Port, Preliminary, Final, Rename, PortAhead };

struct TAwaitedReply {
  TAwaited what;
  std::size_t k;
};

}  // namespace

void TIdFTP::StorePipelined(std::optional<TSeriesStore> confirmed, TSeriesStore first,
                            const std::function<std::optional<TSeriesStore>(bool)>& takeNext, IStoreSeries& series) {
  // The replies come in the order of the commands: each command sent adds
  // what it will be answered with, and every reply read is the oldest due.
  std::deque<TAwaitedReply> awaited;
  std::map<std::size_t, TSeriesStore> open;  // sent and not yet settled
  std::vector<std::string> out;
  int storing = 0;  // STORs out without their final reply
  std::string portAhead;
  auto rename = [&](std::size_t k) {
    out.push_back(open.at(k).rnfr);
    out.push_back(open.at(k).rnto);
    awaited.push_back({TAwaited::Rename, k});
  };
  auto store = [&](TSeriesStore s) {
    const std::size_t k = s.k;
    s.portCommand = PassiveCommand();
    out.push_back(s.portCommand);
    out.push_back(s.stor);
    for (TAwaited what : {TAwaited::Port, TAwaited::Preliminary, TAwaited::Final}) awaited.push_back({what, k});
    ++storing;
    open.emplace(k, std::move(s));
  };
  auto sendData = [&](TSeriesStore& s) {
    s.written = true;
    series.Sending(s.k);
    WriteFileData(*s.file);
    ReleaseDataConnection();
    if (abortSent_) throw EIdCancelled();
  };
  auto fill = [&] {
    while (storing < kStoresAhead) {
      std::optional<TSeriesStore> next = takeNext(true);
      if (!next) break;
      store(std::move(*next));
    }
  };
  // A port asked for earlier is left unused: the data goes out only once
  // its STOR has reached the server.
  nextPassivePort_.reset();
  if (confirmed) {
    const std::size_t k = confirmed->k;
    open.emplace(k, std::move(*confirmed));
    rename(k);
  }
  store(std::move(first));
  fill();
  SendOnly(out);
  out.clear();
  while (!awaited.empty()) {
    const TAwaitedReply reply = awaited.front();
    awaited.pop_front();
    if (reply.what == TAwaited::PortAhead) {
      AwaitPortAhead(portAhead);
      continue;
    }
    TSeriesStore& s = open.at(reply.k);
    switch (reply.what) {
      case TAwaited::Port: {
        const int port = AheadPort(s.portCommand);
        ReleaseDataConnection();
        abortSent_ = false;
        ConnectPassive(port);
        // A larger file waits for the STOR's preliminary reply: a server
        // that refuses the file never reads its data.
        if (s.file->Size() <= kEagerBytes) sendData(s);
        break;
      }
      case TAwaited::Preliminary:
        ReadReply({125, 150});
        if (!s.written) sendData(s);
        break;
      case TAwaited::Final:
        ReadStoreReplies();
        --storing;
        if (s.rnfr.empty()) {
          series.Stored(s.k, true);
          open.erase(reply.k);
        } else {
          rename(reply.k);
        }
        fill();
        // After the last file, the next store's port is asked for with its rename.
        if (storing == 0) {
          portAhead = PassiveCommand();
          out.push_back(portAhead);
          awaited.push_back({TAwaited::PortAhead, 0});
        }
        SendOnly(out);
        out.clear();
        break;
      case TAwaited::Rename: {
        const bool renamed = ReadRenameReplies();
        series.Stored(s.k, renamed);
        open.erase(reply.k);
        break;
      }
      case TAwaited::PortAhead:
        break;
    }
  }
}

void TIdFTP::StoreSeries(const TStoreItem& first, IStoreSeries& series) {
  if (!PipelineStore || !Passive || aheadFailed_ || readsDuringTransfer_ == TReadsDuringTransfer::Yes) {
    return StoreOneByOne(first, 0, series);
  }
  std::size_t handedOut = 1;
  auto takeNext = [&](bool otherFolder) -> std::optional<TSeriesStore> {
    std::optional<TStoreItem> item = series.Next(otherFolder);
    if (!item) return std::nullopt;
    return PrepareSeriesStore(std::move(*item), handedOut++);
  };
  try {
    if (readsDuringTransfer_ == TReadsDuringTransfer::No && !dataTls_) {
      return StorePipelined(std::nullopt, PrepareSeriesStore(first, 0), takeNext, series);
    }
    TSeriesStore now = PrepareSeriesStore(first, 0);
    std::optional<TSeriesStore> ahead;
    std::optional<TSeriesStore> confirmed;  // its rename not yet sent
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t renaming = kNone;  // its rename sent, the replies unread
    TSeriesClock::time_point started = TSeriesClock::now();
    SendStore(now.stor);
    for (;;) {
      // Here the STOR of now is sent and its data connection open.
      std::vector<std::string> out;
      if (confirmed) {
        out = {confirmed->rnfr, confirmed->rnto};
        renaming = confirmed->k;
        confirmed.reset();
      }
      if (readsDuringTransfer_ == TReadsDuringTransfer::No && (ahead = takeNext(false))) {
        ahead->portCommand = PassiveCommand();
        out.push_back(ahead->portCommand);
        out.push_back(ahead->stor);
      }
      if (!out.empty()) SendOnly(out);
      ReadReply({125, 150});
      const TSeriesClock::duration roundTrip = TSeriesClock::now() - started;
      AcceptDataConnection();
      bool probing = readsDuringTransfer_ == TReadsDuringTransfer::Unknown;
      if (probing) {
        SendOnly({"NOOP"});
        if (ReplyArrivesWithin(ProbeWaitMs(roundTrip))) {
          ReadReply({});
          readsDuringTransfer_ = TReadsDuringTransfer::Yes;
          probing = false;
        }
      }
      series.Sending(now.k);
      WriteFileData(*now.file);
      if (Data()->Tls() == nullptr) {
        ReleaseDataConnection();
      } else {
        Data()->Tls()->Shutdown();
      }
      if (abortSent_) throw EIdCancelled();
      if (probing) {
        ReadProbedStoreReplies();
      } else {
        ReadStoreReplies();
      }
      ReleaseDataConnection();
      if (renaming != kNone) {
        const bool renamed = ReadRenameReplies();
        series.Stored(std::exchange(renaming, kNone), renamed);
      }
      if (now.rnfr.empty()) {
        series.Stored(now.k, true);
      } else {
        confirmed = std::move(now);
      }
      started = TSeriesClock::now();
      if (ahead) {
        now = std::move(*ahead);
        ahead.reset();
        abortSent_ = false;
        ConnectPassive(AheadPort(now.portCommand));
        continue;
      }
      std::optional<TSeriesStore> next = takeNext(false);
      if (!next || readsDuringTransfer_ == TReadsDuringTransfer::Yes) {
        // The last rename goes out with a request for the next store's port.
        if (confirmed) {
          const std::string passive = PassiveCommand();
          SendOnly({confirmed->rnfr, confirmed->rnto, passive});
          const bool renamed = ReadRenameReplies();
          AwaitPortAhead(passive);
          series.Stored(confirmed->k, renamed);
        }
        if (next) StoreOneByOne(std::move(next->item), next->k, series);
        return;
      }
      if (!dataTls_) return StorePipelined(std::move(confirmed), std::move(*next), takeNext, series);
      // The next file's STOR goes out with this one's rename.
      now = std::move(*next);
      abortSent_ = false;
      now.portCommand = PassiveCommand();
      out.clear();
      if (confirmed) out = {confirmed->rnfr, confirmed->rnto};
      out.push_back(now.portCommand);
      out.push_back(now.stor);
      SendOnly(out);
      if (confirmed) {
        const bool renamed = ReadRenameReplies();
        series.Stored(confirmed->k, renamed);
        confirmed.reset();
      }
      ConnectPassive(AheadPort(now.portCommand));
    }
  } catch (...) {
    // Whatever the cause, this client stores one file at a time from now on.
    aheadFailed_ = aheadFailed_ || readsDuringTransfer_ == TReadsDuringTransfer::No;
    ReleaseDataConnection();
    throw;
  }
}

}  // namespace tovra
