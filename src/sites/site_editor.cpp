#include "sites/site_editor.h"

#include "platform/files.h"
#include "sites/site_passwords.h"
#include "util/char_string.h"

namespace tovra {

namespace {

std::string InUseText(const std::string& name) { return "サイト名称「" + name + "」は使用済みです。"; }

// The record of what was published goes with the site; a site never
// published has none.
void MovePublishRecord(const std::string& from, const std::string& to) {
  if (FileExists(PublishRecordFileName(from))) RenameFile(PublishRecordFileName(from), PublishRecordFileName(to));
}

}  // namespace

void TSiteEditor::Refuse(const std::string& text) { messenger_.ShowMessage(TMessageKind::Warning, text); }

TModalResult TSiteEditor::Button1Click() {
  const std::string name = profile_.CurrentSiteName();
  if (CharTrim(name).empty()) return DeleteSite();
  if (name == kNewSiteName) {
    Refuse("サイト名称に「新規登録」は使えません。");
    return TModalResult::None;
  }
  // A stored port outside this range could only fail or reach another port.
  if (profile_.WebPort < 1 || profile_.WebPort > 65535) {
    Refuse("ポート番号は 1 から 65535 の範囲で指定してください。");
    return TModalResult::None;
  }
  if (oldName_ != kNewSiteName) {
    if (name != oldName_) {
      if (!RenameSite(name)) return TModalResult::None;
      return TModalResult::Ok;
    }
  } else if (NameInUse(name)) {
    Refuse(InUseText(name));
    return TModalResult::None;
  }
  profile_.SaveProfile();
  return TModalResult::Ok;
}

TModalResult TSiteEditor::DeleteSite() {
  if (oldName_ == kNewSiteName) {
    Refuse("「新規登録」は削除できません。");
    return TModalResult::None;
  }
  if (!messenger_.ConfirmOkCancel("サイト名称「" + oldName_ + "」を削除します。")) return TModalResult::None;
  // The keyring items go first: a keyring that refuses keeps the site whole.
  if (profile_.KeyringSite() == oldName_) ForgetKeyringPasswords(oldName_);
  if (IsProfileFileNameSafe(oldName_)) {
    DeleteFile(ProfileFileName(oldName_));
    DeleteFile(PublishRecordFileName(oldName_));
  }
  if (siteList_ != nullptr) {
    int index = siteList_->IndexOf(oldName_);
    if (index >= 0) siteList_->Delete(index);
  }
  return TModalResult::Ok;
}

bool TSiteEditor::RenameSite(const std::string& name) {
  if (!messenger_.ConfirmOkCancel("サイト名称「" + oldName_ + "」を「" + name + "」に変更します。")) return false;
  if (NameInUse(name)) {
    Refuse(InUseText(name));
    return false;
  }
  // The new profile (and its keyring items) is written before anything of
  // the old one goes, so a failed write leaves the site as it was.
  const bool oldInKeyring = profile_.KeyringSite() == oldName_;
  profile_.SaveProfile();
  // "a\b" and "a$~b" share one file: removing the old one would remove the new.
  if (ProfileFileName(name) != ProfileFileName(oldName_) && IsProfileFileNameSafe(oldName_)) {
    DeleteFile(ProfileFileName(oldName_));
    MovePublishRecord(oldName_, name);
  }
  if (oldInKeyring) ForgetKeyringPasswordsIfReachable(oldName_);
  if (siteList_ != nullptr) {
    int index = siteList_->IndexOf(oldName_);
    if (index >= 0) siteList_->Set(index, name);
  }
  return true;
}

bool TSiteEditor::NameInUse(const std::string& name) const {
  if (siteList_ == nullptr) return false;
  if (siteList_->Contains(name)) return true;
  // Two names can share a profile file ("a\b" and "a$~b"); the second site
  // would overwrite the first one's settings.
  const std::string file = ReplaceAll(name, "\\", "$~");
  for (const auto& entry : *siteList_) {
    if (entry != oldName_ && SameTextNoCase(ReplaceAll(entry, "\\", "$~"), file)) return true;
  }
  return false;
}

TModalResult TSiteEditor::Button2Click() {
  // A site whose root folder has gone is still left as it was stored.
  profile_.LoadProfileKeepingMissingRoot(oldName_);
  return TModalResult::Cancel;
}

}  // namespace tovra
