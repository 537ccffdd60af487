#include "app/app_modules.h"

#include <QApplication>

#include "app/Warning01.h"
#include "app/WebFTP00.h"
#include "app/WebSightEdit00.h"
#include "app/japanese_texts.h"
#include "app/web_check.h"
#include "ftp/dmFtp.h"
#include "platform/process.h"
#include "sites/dmConfig.h"

namespace tovra {

TApplicationModules::TApplicationModules() {
  // Standard buttons and menus in Japanese, and one face for every window
  // (dialogs and message boxes too), before the first window exists.
  InstallJapaneseTranslations();
  QApplication::setFont(WindowFont());
  // FormCreate of the window must not use the modules created after it;
  // FormShow runs once the event loop shows the window, when all exist.
  form1_ = new TForm1;
  ftp_ = std::make_unique<TFTP>();
  sightEdit_ = new TfrmSightEdit(form1_);
  config_ = std::make_unique<TConfigFile>();
  sightEdit_->AttachConfig(*config_);
  warning_ = new TfrmWarning01(form1_);
  form1_->UrlOpener = [form = form1_](const std::string& url) { OpenInBrowserOrSay(url, *form); };
  form1_->ProcessStarter = [](const std::string& line) { return RunProcess(line, "", false); };
  form1_->AttachModules(ftp_.get(), sightEdit_, config_.get(), warning_);
}

TApplicationModules::~TApplicationModules() { DestroyWindow(); }

void TApplicationModules::DestroyWindow() {
  delete form1_;
  form1_ = nullptr;
  sightEdit_ = nullptr;
  warning_ = nullptr;
}

}  // namespace tovra
