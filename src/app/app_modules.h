// The program's modules, created in their fixed order: the main window, the
// FTP session, the site dialog, the configuration module and the warning
// dialog. The program and the window tests both start from here.
#pragma once

#include <memory>

namespace tovra {

class TForm1;
class TFTP;
class TfrmSightEdit;
class TConfigFile;
class TfrmWarning01;

class TApplicationModules {
 public:
  TApplicationModules();
  // Destroys the window first (FormDestroy saves the site list and the
  // placement), then the modules it used.
  ~TApplicationModules();
  TApplicationModules(const TApplicationModules&) = delete;
  TApplicationModules& operator=(const TApplicationModules&) = delete;

  TForm1* Form1() const { return form1_; }
  TFTP& Ftp() const { return *ftp_; }
  TfrmSightEdit* SightEdit() const { return sightEdit_; }
  TfrmWarning01* Warning() const { return warning_; }
  // Destroys the window now (FormDestroy); later calls do nothing.
  void DestroyWindow();

 private:
  TForm1* form1_ = nullptr;
  std::unique_ptr<TFTP> ftp_;
  TfrmSightEdit* sightEdit_ = nullptr;  // owned by the window
  std::unique_ptr<TConfigFile> config_;
  TfrmWarning01* warning_ = nullptr;  // owned by the window
};

}  // namespace tovra
