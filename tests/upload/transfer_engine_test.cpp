#include "upload/transfer_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/IniGT.h"
#include "sites/dmConfig.h"
#include "support/fake_ftp_server.h"
#include "support/pyftpd_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "upload/publish_record.h"
#include "upload/recording_upload_view.h"
#include "upload/upload_job.h"

namespace tovra {
namespace {

using test::RecordingUploadView;
using Clock = std::chrono::steady_clock;

TExtendedSettings Sessions(int connections, bool reuse = true) {
  TExtendedSettings extended;
  extended.Set("ReuseConnection", reuse ? "1" : "0");
  extended.Set("Connections", std::to_string(connections));
  return extended;
}

// Every command line every session sent, from whichever thread. A test that
// needs several sessions holds every store until that many have logged in.
class Trace {
 public:
  void Attach(TRunHooks& hooks) {
    hooks.trace = [this](char direction, const std::string& line) {
      if (direction != '>') return;
      std::unique_lock<std::mutex> lock(mutex_);
      lines_.push_back(line);
      changed_.notify_all();
      if (line.rfind("STOR", 0) == 0) {
        changed_.wait_for(lock, std::chrono::seconds(10), [this] { return CountVerbLocked("USER") >= holdFor_; });
      }
    };
  }
  void HoldStoresUntilLogins(int sessions) { holdFor_ = sessions; }
  int Count(const std::string& line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
  }
  int CountVerb(const std::string& verb) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return CountVerbLocked(verb);
  }

 private:
  int CountVerbLocked(const std::string& verb) const {
    return static_cast<int>(
        std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) { return l.rfind(verb, 0) == 0; }));
  }
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int holdFor_ = 0;
  std::vector<std::string> lines_;
};

// A site of many small files in nested folders (one with a Japanese name),
// each file with bytes of its own.
struct ManyFiles {
  test::TempDir dir;
  std::string root = dir.Sub("site");
  std::string remote = dir.Sub("remote");
  std::string app = dir.Sub("app");
  std::vector<std::string> relative;
  TStringList list;

  explicit ManyFiles(int count) {
    const std::vector<std::string> folders = {"", "img/", "css/", "img/deep/", "\x89\xe6\x91\x9c/", "js/"};
    for (int i = 0; i < count; ++i) {
      std::string rel = folders[i % folders.size()] + "f" + std::to_string(i) + ".dat";
      std::string bytes = "file " + std::to_string(i) + std::string(static_cast<std::size_t>(i * 37 % 5000), 'x');
      list.Add(dir.Write("site/" + rel, bytes));
      relative.push_back(rel);
    }
    CreateDirectory(remote);
    CreateDirectory(app);
  }
};

TUploadSite SiteFor(const std::string& root, int port, const TExtendedSettings& extended) {
  return TUploadSite{root, THostInfo{"127.0.0.1", "tovra", "secret", port}, THostInfo{}, extended};
}

void ExpectMonotonicToTotals(const std::vector<TTransferProgress>& events, int files) {
  ASSERT_FALSE(events.empty());
  for (std::size_t i = 1; i < events.size(); ++i) {
    EXPECT_GE(events[i].filesDone, events[i - 1].filesDone) << i;
    EXPECT_GE(events[i].bytesDone, events[i - 1].bytesDone) << i;
  }
  const TTransferProgress& last = events.back();
  EXPECT_TRUE(last.finished);
  EXPECT_EQ(last.filesDone, files);
  EXPECT_EQ(last.filesTotal, files);
  EXPECT_EQ(last.bytesDone, last.bytesTotal);
}

TEST(TransferEngine, ManyFilesArriveOnceOverReusedConnections) {
  struct Case {
    int connections;
    bool reuse;
  } cases[] = {{1, true}, {2, true}, {8, true}, {3, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.connections) + (c.reuse ? " reused" : " one per file"));
    ManyFiles site(36);
    test::PyFtpdServer server(site.remote, "tovra", "secret", c.connections > 1);
    TRunHooks hooks;
    Trace trace;
    trace.Attach(hooks);
    trace.HoldStoresUntilLogins(c.connections);
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    auto plan = BuildUploadPlan(site.list, SiteFor(site.root, server.Port(), Sessions(c.connections, c.reuse)), {}, 0);
    EXPECT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);

    for (std::size_t i = 0; i < site.relative.size(); ++i) {
      EXPECT_EQ(test::BytesBelow(site.remote, site.relative[i]), ReadFileBytes(site.list[static_cast<int>(i)]))
          << site.relative[i];
      EXPECT_EQ(trace.Count("STOR f" + std::to_string(i) + ".dat"), 1) << i;
    }
    for (const char* folder : {"/img", "/css", "/img/deep", "/\x89\xe6\x91\x9c", "/js"}) {
      EXPECT_EQ(trace.Count(std::string("MKD ") + folder), 1) << folder;
    }
    // Reused sessions log in once each; otherwise once per file.
    EXPECT_EQ(trace.CountVerb("USER"), c.reuse ? c.connections : 36);
    auto lines = view.StatusLines();
    EXPECT_EQ(lines.back(), "転送完了");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "f7.dat 転送中"), 1);
    EXPECT_EQ(lines.size(), 37u);
    ExpectMonotonicToTotals(view.Progress(), 36);
    EXPECT_EQ(view.Summary(), "送信 36 件、スキップ 0 件 (ローカルに無い 0 件、サイト外 0 件)、失敗 0 件");
  }
}

TEST(TransferEngine, SecondRunFindsTheFoldersInOneListing) {
  ManyFiles site(12);
  test::PyFtpdServer server(site.remote);
  for (int run = 0; run < 2; ++run) {
    TRunHooks hooks;
    Trace trace;
    trace.Attach(hooks);
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    auto plan = BuildUploadPlan(site.list, SiteFor(site.root, server.Port(), Sessions(1)), {}, 0);
    ASSERT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);
    // The home folder, img and the rest are each listed at most once.
    EXPECT_EQ(trace.CountVerb("MKD"), run == 0 ? 5 : 0);
    EXPECT_LE(trace.CountVerb("LIST"), run == 0 ? 1 : 3);
  }
}

// One reused session against the scripted server: the home folder is listed
// once, the new folder is made by its whole path before the first store, and
// a folder already entered costs nothing more.
TEST(TransferEngine, ReusedSessionWireSequence) {
  struct Case {
    const char* name;
    bool passiveAtomic;
    std::vector<std::string> wire;
  } cases[] = {
      {"active", false, {"USER tovra", "PASS secret", "TYPE I",   "SYST",       "PWD",         "CWD /",
                         "PORT *",     "LIST",        "MKD /new", "PORT *",     "STOR a.html", "CWD /new/",
                         "PORT *",     "STOR b.gif",  "PORT *",   "STOR c.gif", "CWD /",       "PORT *",
                         "STOR d.css", "CWD /img/",   "PORT *",   "STOR e.png"}},
      // Passive and stored under a temporary name. The NOOP during the first
      // store goes unanswered until its end (this server reads no command
      // during a transfer), so later files have their port and STOR sent
      // while the one before is received, three at most, files of other
      // folders known to exist by their paths. Each rename follows its
      // file's confirmation; the last one goes with the next port's request.
      {"passive, atomic",
       true,
       {"FEAT",
        "USER tovra",
        "PASS secret",
        "TYPE I",
        "SYST",
        "PWD",
        "CWD /",
        "EPSV",
        "LIST",
        "MKD /new",
        "EPSV",
        "STOR .tovra-part.a.html",
        "NOOP",
        "RNFR .tovra-part.a.html",
        "RNTO a.html",
        "EPSV",
        "CWD /new/",
        "EPSV",
        "STOR .tovra-part.b.gif",
        "EPSV",
        "STOR .tovra-part.c.gif",
        "EPSV",
        "STOR /.tovra-part.d.css",
        "RNFR .tovra-part.b.gif",
        "RNTO b.gif",
        "EPSV",
        "STOR /img/.tovra-part.e.png",
        "RNFR .tovra-part.c.gif",
        "RNTO c.gif",
        "RNFR /.tovra-part.d.css",
        "RNTO /d.css",
        "RNFR /img/.tovra-part.e.png",
        "RNTO /img/e.png",
        "EPSV"}},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    std::string root = dir.Sub("site");
    TStringList list{dir.Write("site/a.html", "a"), dir.Write("site/new/b.gif", "b"), dir.Write("site/new/c.gif", "c"),
                     dir.Write("site/d.css", "d"), dir.Write("site/img/e.png", "e")};
    test::FakeFtpServer server;
    server.AddListing("drwxr-xr-x 2 u g 4096 Jan 01 2020 img\r\n");
    TRunHooks hooks;
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    TExtendedSettings extended = Sessions(1);
    if (c.passiveAtomic) {
      server.Reply("RNFR", "350 ready\r\n");
      server.Reply("RNTO", "250 renamed\r\n");
      extended.Set("DataConnection", "passive");
      extended.Set("AtomicUpload", "1");
    }
    auto plan = BuildUploadPlan(list, SiteFor(root, server.Port(), extended), {}, 0);
    ASSERT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed) << c.name;
    server.WaitUntilIdle();
    EXPECT_EQ(server.Transcript(), c.wire) << c.name;
    EXPECT_EQ(server.Sessions(), 1) << c.name;
    EXPECT_EQ(server.Stored(c.passiveAtomic ? "/img/.tovra-part.e.png" : "e.png"), "e") << c.name;
  }
}

TEST(TransferEngine, TwoSessionsNeedingTheSameNewFolderMakeItOnce) {
  for (int round = 0; round < 3; ++round) {
    test::TempDir dir;
    std::string root = dir.Sub("site");
    std::string remote = dir.Sub("remote");
    CreateDirectory(remote);
    TStringList list{dir.Write("site/new/deep/a.gif", "aaaa"), dir.Write("site/new/deep/b.gif", "bbbb")};
    test::PyFtpdServer server(remote, "tovra", "secret", true);
    TRunHooks hooks;
    Trace trace;
    trace.Attach(hooks);
    trace.HoldStoresUntilLogins(2);
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    auto plan = BuildUploadPlan(list, SiteFor(root, server.Port(), Sessions(2)), {}, 0);
    ASSERT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed) << round;
    EXPECT_EQ(trace.Count("MKD /new"), 1);
    EXPECT_EQ(trace.Count("MKD /new/deep"), 1);
    EXPECT_EQ(trace.CountVerb("USER"), 2);
    EXPECT_EQ(test::BytesBelow(remote, "new/deep/a.gif"), "aaaa");
    EXPECT_EQ(test::BytesBelow(remote, "new/deep/b.gif"), "bbbb");
  }
}

TEST(TransferEngine, DroppedConnectionIsRetriedOnceThenReported) {
  struct Case {
    const char* name;
    std::vector<std::string> storReplies;
    std::string portReply;  // empty: the default 200
    TRunOutcome outcome;
    bool secondStored;
    int sessions;
  } cases[] = {
      // The first store loses its connection; a fresh one carries it.
      {"once", {test::FakeFtpServer::kClose, "150 go\r\n"}, "", TRunOutcome::Completed, true, 2},
      // Every store loses it: each file is tried twice, reported, and the run goes on.
      {"always", {test::FakeFtpServer::kClose}, "", TRunOutcome::Failed, false, 4},
      // PORT refused while STOR was already sent with it: the unread STOR
      // reply is dropped with the connection, never taken for the next command.
      {"port refused", {}, "500 Illegal PORT command.\r\n", TRunOutcome::Failed, false, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    std::string root = dir.Sub("site");
    CreateDirectory(dir.Sub("app"));
    test::ScopedEnv appFolder("TOVRA_APP_FOLDER", dir.Sub("app"));
    TStringList list{dir.Write("site/a.gif", "aaa"), dir.Write("site/b.gif", "bbb")};
    test::FakeFtpServer server;
    for (const auto& reply : c.storReplies) server.Reply("STOR", reply);
    if (!c.portReply.empty()) server.Reply("PORT", c.portReply);
    TRunHooks hooks;
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    TUploadOptions only;
    only.cxOnly = true;
    ASSERT_TRUE(job.Start(list, only, SiteFor(root, server.Port(), Sessions(1))));
    ASSERT_TRUE(view.WaitForEnd());
    server.WaitUntilIdle();
    EXPECT_EQ(view.Outcome(), c.outcome) << view.Error();
    EXPECT_EQ(server.Sessions(), c.sessions);
    EXPECT_EQ(server.Stored("b.gif") == "bbb", c.secondStored);
    auto lines = view.StatusLines();
    if (c.outcome == TRunOutcome::Failed) {
      // Both files were tried (twice each) and each is named with its failure.
      EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                              [](const std::string& l) { return l.rfind("a.gif 転送失敗: ", 0) == 0; }),
                1);
      EXPECT_NE(std::find(lines.begin(), lines.end(), "b.gif 転送中"), lines.end());
      EXPECT_EQ(lines.back().rfind("転送エラー: ", 0), 0u) << lines.back();
      EXPECT_EQ(view.Summary(), "送信 0 件、スキップ 0 件 (ローカルに無い 0 件、サイト外 0 件)、失敗 2 件");
    } else {
      EXPECT_EQ(server.Stored("a.gif"), "aaa");
      EXPECT_EQ(lines.back(), "転送完了");
    }
  }
}

// A store the server fails while later files' STORs are already out: that
// file is never renamed over its target on that connection, the files sent
// ahead go back to the queue, and a fresh connection sends them all.
TEST(TransferEngine, AStoreFailingWithOthersAheadIsNeverRenamedAndGoesAgain) {
  test::TempDir dir;
  TStringList list;
  for (const char* name : {"a", "b", "c", "d"}) list.Add(dir.Write(std::string("site/") + name + ".gif", name));
  test::FakeFtpServer server;
  server.Reply("RNFR", "350 ready\r\n");
  server.Reply("RNTO", "250 renamed\r\n");
  for (const char* reply : {"226 ok\r\n", "451 lost\r\n", "226 ok\r\n"}) server.Reply("STOR+", reply);
  TRunHooks hooks;
  RecordingUploadView view;
  TUploadJob job(hooks, view, {});
  TExtendedSettings extended = Sessions(1);
  extended.Set("DataConnection", "passive");
  extended.Set("AtomicUpload", "1");
  auto plan = BuildUploadPlan(list, SiteFor(dir.Sub("site"), server.Port(), extended), {}, 0);
  ASSERT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed) << view.Error();
  server.WaitUntilIdle();
  const std::vector<std::string> wire = server.Transcript();
  auto stor = [&](auto from) { return std::find(from, wire.end(), "STOR .tovra-part.b.gif"); };
  auto failed = stor(wire.begin());
  ASSERT_NE(failed, wire.end());
  auto again = stor(failed + 1);
  ASSERT_NE(again, wire.end());
  EXPECT_EQ(std::find(failed, again, "RNFR .tovra-part.b.gif"), again);
  EXPECT_NE(std::find(failed, again, "STOR .tovra-part.c.gif"), again) << "c was not sent ahead of b's end";
  EXPECT_EQ(server.Sessions(), 2);
  for (const char* name : {"a", "b", "c", "d"}) {
    EXPECT_EQ(std::count(wire.begin(), wire.end(), std::string("RNTO ") + name + ".gif"), 1) << name;
  }
  EXPECT_EQ(view.Summary(), "送信 4 件、スキップ 0 件 (ローカルに無い 0 件、サイト外 0 件)、失敗 0 件");
}

// The server made the folder but the connection went before its reply: the
// retry lists the parent again instead of trusting what it read before.
TEST(TransferEngine, RetryAfterALostFolderReplyListsAgain) {
  test::TempDir dir;
  std::string root = dir.Sub("site");
  TStringList list{dir.Write("site/new/a.gif", "aaa")};
  test::FakeFtpServer server;
  server.Reply("MKD /new", test::FakeFtpServer::kClose);
  server.AddListing("");
  server.AddListing("drwxr-xr-x 2 u g 4096 Jan 01 2020 new\r\n");
  TRunHooks hooks;
  RecordingUploadView view;
  TUploadJob job(hooks, view, {});
  auto plan = BuildUploadPlan(list, SiteFor(root, server.Port(), Sessions(1)), {}, 0);
  ASSERT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);
  server.WaitUntilIdle();
  auto transcript = server.Transcript();
  EXPECT_EQ(std::count(transcript.begin(), transcript.end(), "MKD /new"), 1);
  EXPECT_EQ(std::count(transcript.begin(), transcript.end(), "LIST"), 2);
  EXPECT_EQ(server.Stored("a.gif"), "aaa");
}

TEST(TransferEngine, AbortAgainstASilentServerEndsAtOnce) {
  struct Case {
    const char* name;
    TExtendedSettings extended;
    std::string silentKey;  // the command the server never answers
    bool cutOff;            // a store was under way
  } cases[] = {
      {"one per file, silent STOR", {}, "STOR", true},
      {"reused, silent STOR", Sessions(1), "STOR", true},
      {"reused, silent LIST", Sessions(2), "LIST", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    std::string root = dir.Sub("site");
    TStringList list{dir.Write("site/sub/a.gif", "aaa"), dir.Write("site/sub/b.gif", "bbb")};
    test::FakeFtpServer server;
    server.Reply(c.silentKey, "");
    TRunHooks hooks;
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    auto plan = BuildUploadPlan(list, SiteFor(root, server.Port(), c.extended), {}, 0);
    Clock::time_point pressed;
    std::thread aborter([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      pressed = Clock::now();
      job.Abort();
    });
    EXPECT_EQ(job.RunTransfer(*plan), TRunOutcome::Aborted);
    auto took = Clock::now() - pressed;
    aborter.join();
    EXPECT_LT(took, std::chrono::seconds(2));
    auto lines = view.StatusLines();
    auto announced = std::find(lines.begin(), lines.end(), "中止しています…");
    ASSERT_NE(announced, lines.end());
    EXPECT_EQ(lines.back(), "転送中断");
    bool named = std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
      return l.rfind("a.gif 転送中断: ", 0) == 0 || l.rfind("b.gif 転送中断: ", 0) == 0;
    });
    EXPECT_EQ(named, c.cutOff);
    auto events = view.Events();
    // The button goes off before the announcement.
    auto off = std::find(events.begin(), events.end(), "[abort off]");
    EXPECT_LT(off, std::find(events.begin(), events.end(), "中止しています…"));
  }
}

TEST(TransferEngine, FilesOutsideTheRootAndMissingOnesAreSkippedInTheSummary) {
  for (const auto& extended : {TExtendedSettings{}, Sessions(2)}) {
    ManyFiles site(3);
    std::string outside = site.dir.Write("elsewhere/x.gif", "x");
    TStringList list = site.list;
    list.Add(outside);
    test::PyFtpdServer server(site.remote, "tovra", "secret", true);
    TRunHooks hooks;
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    auto plan = BuildUploadPlan(list, SiteFor(site.root, server.Port(), extended), {}, 2);
    ASSERT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);
    EXPECT_EQ(view.Summary(), "送信 3 件、スキップ 3 件 (ローカルに無い 2 件、サイト外 1 件)、失敗 0 件");
    auto lines = view.StatusLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "x.gif 転送中"), lines.end());
    EXPECT_FALSE(FileExists(JoinPath(site.remote, "x.gif")));
    ExpectMonotonicToTotals(view.Progress(), 4);
  }
}

// Every session's own notice reaches the status lines, not the first's alone.
TEST(TransferEngine, EverySessionSaysItIsNotEncrypted) {
  ManyFiles site(6);
  test::PyFtpdServer server(site.remote, "tovra", "secret", true);
  TExtendedSettings extended = Sessions(3);
  extended.Set("Encryption", "explicit-if-available");
  TRunHooks hooks;
  Trace trace;
  trace.Attach(hooks);
  trace.HoldStoresUntilLogins(3);
  RecordingUploadView view;
  TUploadJob job(hooks, view, {});
  auto plan = BuildUploadPlan(site.list, SiteFor(site.root, server.Port(), extended), {}, 0);
  ASSERT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);
  auto lines = view.StatusLines();
  EXPECT_EQ(
      std::count(lines.begin(), lines.end(), "127.0.0.1 は暗号化に対応していません。この接続は暗号化されていません。"),
      3);
  EXPECT_EQ(trace.CountVerb("USER"), 3);
}

// A value the profile holds but no key accepts: where going on without it
// would weaken the connection, nothing is sent and the error names the key
// and the value; elsewhere a status line says so and the run goes on.
TEST(TransferEngine, AnUnreadableSettingStopsTheRunOrIsSaid) {
  struct Case {
    const char* key;
    const char* value;
    bool runs;
  } cases[] = {{"Encryption", "explicitt", false}, {"Protocol", "sftpp", false}, {"Connections", "9", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    test::TempDir dir;
    std::string root = dir.Sub("site");
    TStringList list{dir.Write("site/a.gif", "aaa")};
    TIniGT ini;
    ini.SetDefaultDir(ddNone);
    ini.SetFileName(dir.Write("profile.txt", std::string("[拡張設定]\r\n") + c.key + "=" + c.value + "\r\n"));
    TExtendedSettings extended;
    extended.Load(ini);
    ASSERT_EQ(extended.Unreadable(c.key), std::optional<std::string>(c.value));
    test::FakeFtpServer server;
    TRunHooks hooks;
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    auto plan = BuildUploadPlan(list, SiteFor(root, server.Port(), extended), {}, 0);
    const std::string named = std::string("拡張設定 ") + c.key + " の値が正しくありません: " + c.value;
    if (c.runs) {
      EXPECT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);
      auto lines = view.StatusLines();
      EXPECT_EQ(lines.front().rfind(named, 0), 0u) << lines.front();
      EXPECT_EQ(server.Stored("a.gif"), "aaa");
    } else {
      try {
        job.RunTransfer(*plan);
        ADD_FAILURE() << "the run went on";
      } catch (const EExtendedSettingError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(named, 0), 0u) << e.what();
      }
      EXPECT_EQ(server.Sessions(), 0);
    }
  }
}

}  // namespace
}  // namespace tovra

namespace tovra {
namespace {

// AtomicUpload against servers that rename as asked, refuse to rename onto
// an existing file, or refuse renaming at all: the file ends under its name
// every time, and only the last says once that it writes directly.
TEST(TransferEngine, AtomicStoresRenameOverTheTargetOrFallBack) {
  const std::string direct = "サーバーが名前の変更を受け付けないため、ファイルを直接書き込みます";
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> replies;
    std::vector<std::string> commands;  // after TYPE I, SYST, PWD, CWD /
    bool saysDirect;
    std::vector<std::string> files = {"a.css", "b.html"};
    bool passive = false;
  } cases[] = {
      {"renames",
       {{"RNFR", "350 go on\r\n"}, {"RNTO", "250 ok\r\n"}},
       {"PORT *", "STOR .tovra-part.a.css", "RNFR .tovra-part.a.css", "RNTO a.css", "PORT *", "STOR .tovra-part.b.html",
        "RNFR .tovra-part.b.html", "RNTO b.html"},
       false},
      {"not onto an existing file",
       {{"RNFR", "350 go on\r\n"},
        {"RNTO", "250 ok\r\n"},
        {"RNTO a.css", "553 exists\r\n"},
        {"RNTO a.css", "250 ok\r\n"},
        {"DELE", "250 ok\r\n"}},
       {"PORT *", "STOR .tovra-part.a.css", "RNFR .tovra-part.a.css", "RNTO a.css", "DELE a.css",
        "RNFR .tovra-part.a.css", "RNTO a.css", "PORT *", "STOR .tovra-part.b.html", "RNFR .tovra-part.b.html",
        "RNTO b.html"},
       false},
      {"not at all",
       {{"RNFR", "502 not implemented\r\n"}, {"DELE", "250 ok\r\n"}, {"DELE a.css", "550 no such file\r\n"}},
       {"PORT *", "STOR .tovra-part.a.css", "RNFR .tovra-part.a.css", "RNTO a.css", "DELE a.css",
        "DELE .tovra-part.a.css", "PORT *", "STOR a.css", "PORT *", "STOR b.html"},
       true},
      // A file of another folder, sent by its path while the one before is
      // received, falls back from inside its folder.
      {"not onto an existing file, in another folder",
       {{"RNFR", "350 go on\r\n"},
        {"RNTO", "250 ok\r\n"},
        {"RNTO /img/b.css", "553 exists\r\n"},
        {"DELE", "250 ok\r\n"}},
       {"EPSV",
        "LIST",
        "MKD /img",
        "EPSV",
        "STOR .tovra-part.a.css",
        "NOOP",
        "RNFR .tovra-part.a.css",
        "RNTO a.css",
        "EPSV",
        "STOR .tovra-part.c.css",
        "EPSV",
        "STOR /img/.tovra-part.b.css",
        "RNFR .tovra-part.c.css",
        "RNTO c.css",
        "RNFR /img/.tovra-part.b.css",
        "RNTO /img/b.css",
        "EPSV",
        "CWD /img/",
        "DELE b.css",
        "RNFR .tovra-part.b.css",
        "RNTO b.css"},
       false,
       {"a.css", "c.css", "img/b.css"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    TStringList list;
    for (const auto& name : c.files) list.Add(dir.Write("site/" + name, name.substr(0, 1)));
    test::FakeFtpServer server;
    for (const auto& [key, reply] : c.replies) server.Reply(key, reply);
    TRunHooks hooks;
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    TExtendedSettings extended = Sessions(1);
    extended.Set("AtomicUpload", "1");
    if (c.passive) extended.Set("DataConnection", "passive");
    auto plan = BuildUploadPlan(list, SiteFor(dir.Sub("site"), server.Port(), extended), {}, 0);
    ASSERT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);
    server.WaitUntilIdle();
    std::vector<std::string> transcript = server.Transcript();
    auto start = std::find(transcript.begin(), transcript.end(), "CWD /");
    ASSERT_NE(start, transcript.end());
    EXPECT_EQ(std::vector<std::string>(start + 1, transcript.end()), c.commands);
    auto lines = view.StatusLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), direct), c.saysDirect ? 1 : 0);
  }
}

// A page upload's temporary names go into the site's publish record while
// they may be on the server: one the server never confirmed stays there for
// the next publish to remove, and a clean run leaves no record behind.
TEST(TransferEngine, AnUploadLeavesItsUnendedTemporaryNamesToTheNextPublish) {
  struct Case {
    const char* name;
    const char* afterStore;
    std::set<std::string> leftovers;
  } cases[] = {
      {"confirmed", "226 ok\r\n", {}},
      {"lost", "451 lost\r\n", {"/.tovra-part.a.gif"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    CreateDirectory(dir.Sub("app"));
    test::ScopedEnv appFolder("TOVRA_APP_FOLDER", dir.Sub("app"));
    TStringList list{dir.Write("site/a.gif", "a")};
    test::FakeFtpServer server;
    server.Reply("RNFR", "350 ready\r\n");
    server.Reply("RNTO", "250 renamed\r\n");
    server.Reply("STOR+", c.afterStore);
    TRunHooks hooks;
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    TExtendedSettings extended = Sessions(1);
    extended.Set("AtomicUpload", "1");
    TUploadSite site = SiteFor(dir.Sub("site"), server.Port(), extended);
    site.name = "web";
    bool failed = false;
    try {
      job.RunTransfer(*BuildUploadPlan(list, site, {}, 0));
    } catch (const std::exception&) {
      failed = true;
    }
    EXPECT_EQ(failed, !c.leftovers.empty());
    TPublishRecord record(PublishRecordFileName("web"));
    record.Load();
    EXPECT_EQ(record.Leftovers(), c.leftovers);
    EXPECT_EQ(FileExists(PublishRecordFileName("web")), !c.leftovers.empty());
  }
}

// Files held back until those before them have arrived (a publish's pages):
// the second session waits instead of taking the page at once, and a file
// before it that fails keeps the page back.
TEST(TransferEngine, HeldFilesGoOnlyOnceEveryFileBeforeThemHasArrived) {
  for (bool failing : {false, true}) {
    SCOPED_TRACE(failing ? "failing" : "arrives");
    test::TempDir dir;
    std::string remote = dir.Sub("remote");
    CreateDirectory(remote);
    TStringList list{dir.Write("site/a.css", "a"), dir.Write("site/b.html", "b")};
    test::PyFtpdServer server(remote, "tovra", "secret", true);
    TRunHooks hooks;
    Trace trace;
    trace.Attach(hooks);
    RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    TUploadPlan plan = *BuildUploadPlan(list, SiteFor(dir.Sub("site"), server.Port(), Sessions(2)), {}, 0);
    plan.holdFrom = 1;
    if (failing) {
      DeleteFile(list[0]);  // gone after planning: it cannot be sent
      EXPECT_ANY_THROW(job.RunTransfer(plan));
      EXPECT_EQ(trace.CountVerb("STOR"), 0);
      continue;
    }
    ASSERT_EQ(job.RunTransfer(plan), TRunOutcome::Completed);
    EXPECT_EQ(test::BytesBelow(remote, "b.html"), "b");
    EXPECT_EQ(trace.CountVerb("STOR"), 2);
  }
}

}  // namespace
}  // namespace tovra
