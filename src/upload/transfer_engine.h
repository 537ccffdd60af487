// TTransferEngine: sends one upload plan to the server. Without extended
// settings every file gets its own connection (connect, log in, walk and make
// the folders, store, close), one after another on the calling thread. With
// ReuseConnection=1 a session stays logged in from file to file, remembering
// its folder; with Connections=N, N sessions take the files from one queue,
// each file exactly once, and share what they learn about the server's
// folders. A file that fails there is tried once more on a fresh connection
// and then reported, and the run goes on. A session the server turns away
// at login (a limit of logins per address) hands its file back and tries
// once more later; the run goes on with the sessions the server allows.
// With AtomicUpload=1 every file is stored under a temporary name and
// renamed over its target (TAtomicStores).
//
// The plan and the hooks are the run's only inputs: the engine builds every
// session itself from the plan's connection settings, and nothing of a front
// end's own session is read or written.
//
// Abort: the front end sets the hooks' cancel flag (from any thread).
// Within a few tens of milliseconds the engine disables the abort button,
// writes "中止しています…" and shuts every socket of the run down, so a
// silent server cannot hold it; a file cut off on the server is named.
//
// Threads: Run blocks the calling thread; extra sessions run on threads of
// their own, joined before Run returns. Every view call is made one at a time
// (status lines stay whole and in order per session). The plan is only read.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/socket_interrupter.h"
#include "sftp/shared_host_key.h"
#include "upload/atomic_store.h"
#include "upload/remote_folders.h"
#include "upload/remote_session.h"
#include "upload/run_certificate_trust.h"
#include "upload/run_hooks.h"
#include "upload/transfer_progress.h"
#include "upload/upload_plan.h"
#include "upload/upload_view.h"

namespace tovra {

class TTransferEngine {
 public:
  // hooks.cancel must be set; plan, the hooks' objects and view must
  // outlive the engine.
  TTransferEngine(const TUploadPlan& plan, const TRunHooks& hooks, IUploadView& view);
  ~TTransferEngine();
  TTransferEngine(const TTransferEngine&) = delete;
  TTransferEngine& operator=(const TTransferEngine&) = delete;

  // Enables the abort button and sends the plan (a cancel flag already set
  // stops it before the first file).
  // Completed or Aborted; a failure is thrown once the run is over (the
  // connections closed, the summary shown), as the error it was (a reply
  // error with its code, a socket error, a refused certificate...).
  TRunOutcome Run();

  const TRunSummary& Summary() const { return summary_; }

  // Hooks, set before Run, called on the thread of the session concerned:
  // a store under a temporary name begins or its temporary name is gone
  // (the path below the server's home: the file's folder and the name), and
  // a file (by its index in the plan) the server has confirmed.
  std::function<void(std::size_t index, const std::string&temporaryPath)> OnStoreBegun, OnStoreEnded;
  std::function<void(std::size_t index)> OnFileSent;

 private:
  struct Session {
    std::unique_ptr<TFTP> ftp;  // every session has one; FTP sites use it
    std::string home;
    std::string cwd;
    std::vector<std::string> runFolders;  // every remote folder of the plan, under home
    std::size_t current = 0;              // the file being sent
    bool storing = false;                 // STOR under way: the server may hold part of the file
    bool connecting = false;
    bool told = false;                       // the file's "転送中" line is written
    bool loggedIn = false;                   // counted in loggedIn_
    bool retriedLogin = false;               // turned away once and tried again
    bool retrying = false;                   // trying again, with a file it may hand back
    std::unique_ptr<IRemoteSession> remote;  // an SFTP site's session; none for FTP
    // The files of the session's series of stores taken and not yet counted.
    std::vector<std::size_t> series;
  };
  // Counted: the file and every other file of its series are counted already.
  enum class TFileResult { Sent, Failed, Aborted, Fatal, Stopped, TurnedAway, Counted };

  bool Cancelled() const;
  void Watch();
  void Line(const std::string& text);
  void Announce();
  void SetAbortEnabled(bool enabled);
  void CutOff(const TPlannedFile& file);
  void MakeSession(Session& session);
  void PrepareSftp(Session& session);
  void CheckSettings();
  void CloseAll();
  void Remember(const std::string& key, const std::string& value);

  TRunOutcome RunOnePerFile();
  TRunOutcome RunSessions();
  void Work(Session& session);
  bool TakeFile(std::size_t& index);
  bool WaitToLogInAgain(Session& session);
  // The status line, once, of how many logins the server allowed.
  void TellLoginLimit();
  void EndRetry(Session& session);
  void Count(const TPlannedFile& file, TFileResult result);
  // index may come back as another file of the session's series: the one
  // the result is for.
  TFileResult SendWithRetry(Session& session, std::size_t& index);
  // The file a failed series is retried with (the one in hand, else the first
  // not yet counted), the others going back to the queue; false when every
  // file of the series was counted.
  bool TakeBackSeries(Session& session, std::size_t& index);
  // A file for the session's series: the next of the queue when it goes to
  // folder and may be sent now.
  // With otherFolder, the next of the queue may go to any folder known to exist.
  bool TakeAhead(const Session& session, const std::string& folder, bool otherFolder, std::size_t& index);
  TFileResult Failure(Session& session, const TPlannedFile& file, int attempt);
  bool TurnedAway(const std::exception& e) const;
  bool HandBack(Session& session);
  void LoggedOut(Session& session);
  void Connect(Session& session);
  void LoggedIn(Session& session);
  // True when the file was counted (with the rest of its series).
  bool SendOnce(Session& session, const TPlannedFile& file);
  void SendOnceSftp(Session& session, const TPlannedFile& file);
  // Stores the file into the entered folder, atomically when the plan asks.
  void StoreInFolder(Session& session, const TPlannedFile& file, TStoreSteps steps);
  void StoreFtpInFolder(Session& session, const TPlannedFile& file);
  // Stores the file and the files of the queue for the same folder after
  // it, each counted as the server confirms it.
  void StoreFtpSeries(Session& session, std::size_t index);
  // The steps with the hooks that follow a file's temporary name.
  TStoreSteps WithTemporaryHooks(std::size_t index, TStoreSteps steps);
  void Sent(std::size_t index);
  void Fail(std::exception_ptr error);
  // Whether a file has failed (under the queue's lock or none).
  bool AnyFailed();
  TRunOutcome Stopped();

  const TUploadPlan& plan_;
  TRunHooks hooks_;
  IUploadView& view_;
  std::vector<Session> sessions_;
  TSocketInterrupter interrupter_;
  TRemoteFolders folders_;
  TSharedHostKey hostKey_;  // one host key decision for the run's SFTP sessions
  TProgressMeter meter_;
  TAtomicStores atomic_;

  std::mutex viewMutex_;
  bool announced_ = false;

  std::mutex watchMutex_;
  std::condition_variable watchWake_;
  bool runOver_ = false;

  // The queue of files: the next never taken, and files handed back by a
  // session the server turned away.
  std::mutex queueMutex_;
  std::condition_variable queueWake_;
  std::size_t next_ = 0;
  std::vector<std::size_t> returned_;
  int filesDone_ = 0;                   // files finished (sent or failed) by any session
  int working_ = 0;                     // sessions not waiting to log in again
  int loggedIn_ = 0;                    // sessions logged in now
  int retrying_ = 0;                    // sessions trying to log in again
  int mostLoggedIn_ = 0;                // the most sessions logged in at once
  bool turnedAway_ = false;             // a session was turned away for good
  std::atomic<bool> encrypted_{false};  // a session logged in over TLS

  std::atomic<bool> stop_{false};  // a session could not connect: the others end too
  std::mutex resultMutex_;
  TRunSummary summary_;
  std::exception_ptr firstError_;
  TRunCertificateTrust trust_;
  TRunHostKeyPrompt hostKeyPrompt_;
};

}  // namespace tovra
