// TTransferEngine: sends one upload plan to the server. Without extended
// settings every file gets its own connection (connect, log in, walk and make
// the folders, store, close), one after another on the calling thread. With
// ReuseConnection=1 a session stays logged in from file to file, remembering
// its folder; with Connections=N, N sessions take the files from one queue,
// each file exactly once, and share what they learn about the server's
// folders. A file that fails there is tried once more on a fresh connection
// and then reported, and the run goes on. With AtomicUpload=1 every file is
// stored under a temporary name and renamed over its target (TAtomicStores).
//
// Abort: the front end sets the primary session's CancelRequested (from any
// thread). Within a few tens of milliseconds the engine disables the abort
// button, writes "中止しています…" and shuts every socket of the run down, so a
// silent server cannot hold it; a file cut off on the server is named.
//
// Threads: Run blocks the calling thread; extra sessions run on threads of
// their own, joined before Run returns. Every view call is made one at a time
// (status lines stay whole and in order per session). The plan is only read.
#pragma once

#include <atomic>
#include <condition_variable>
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
#include "upload/transfer_progress.h"
#include "upload/upload_plan.h"
#include "upload/upload_view.h"

namespace tovra {

class TTransferEngine {
 public:
  // primary serves as the first session; its client settings (time-outs,
  // data connection mode, encryption, pin, name encoding) are copied to the
  // others, and its certificate question is shared by all of them for the
  // run. All three must outlive the engine.
  TTransferEngine(const TUploadPlan& plan, TFTP& primary, IUploadView& view);
  ~TTransferEngine();
  TTransferEngine(const TTransferEngine&) = delete;
  TTransferEngine& operator=(const TTransferEngine&) = delete;

  // Enables the abort button and sends the plan (a cancel flag already set
  // stops it before the first file).
  // Completed or Aborted; a failure is thrown once the run is over (the
  // connections closed, the summary shown).
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
    TFTP* ftp = nullptr;
    std::string home;
    std::string cwd;
    std::vector<std::string> runFolders;  // every remote folder of the plan, under home
    std::size_t current = 0;              // the file being sent
    bool storing = false;                 // STOR under way: the server may hold part of the file
    bool connecting = false;
    std::unique_ptr<IRemoteSession> remote;  // an SFTP site's session; none for FTP
  };
  enum class TFileResult { Sent, Failed, Aborted, Fatal };

  bool Cancelled() const;
  void Watch();
  void Line(const std::string& text);
  void Announce();
  void SetAbortEnabled(bool enabled);
  void CutOff(const TPlannedFile& file);
  void Prepare(Session& session, TFTP& ftp);
  void PrepareSftp(Session& session);
  void CloseAll();
  void Release(Session& session);

  TRunOutcome RunOnePerFile();
  TRunOutcome RunSessions();
  void Work(Session& session);
  TFileResult SendWithRetry(Session& session, const TPlannedFile& file);
  void SendOnce(Session& session, const TPlannedFile& file);
  void SendOnceSftp(Session& session, const TPlannedFile& file);
  // Stores the file into the entered folder, atomically when the plan asks.
  void StoreInFolder(Session& session, const TPlannedFile& file, TStoreSteps steps);
  void Sent(std::size_t index);
  void Fail(const std::string& error);
  TRunOutcome Stopped();

  const TUploadPlan& plan_;
  TFTP& primary_;
  IUploadView& view_;
  std::vector<std::unique_ptr<TFTP>> extra_;
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

  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};  // a session could not connect: the others end too
  std::mutex resultMutex_;
  TRunSummary summary_;
  std::string firstError_;
  ICertificateTrust* frontTrust_;  // the primary's own, given back at the end
  TRunCertificateTrust trust_;
};

}  // namespace tovra
