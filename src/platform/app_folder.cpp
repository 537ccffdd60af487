#include "platform/app_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/encoding.h"
#include "platform/files.h"
#include "util/errors.h"

namespace tovra {

const char kSiteListFileName[] = "サイトリスト.txt";

namespace {

constexpr char kFolderName[] = "tovra";

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == kPathSep) folder.pop_back();
  return folder;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : FromOsPath(value);
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == kPathSep; }

bool IsWritableFolder(const std::string& folder) {
  return DirectoryExists(folder) && ::access(ToOsPath(folder).c_str(), W_OK) == 0;
}

// mkdir -p with mode 0700 for every folder it makes.
bool MakeFolders(const std::string& folder) {
  if (DirectoryExists(folder)) return true;
  std::string parent = ExtractFileDir(folder);
  if (!parent.empty() && parent != folder && !MakeFolders(parent)) return false;
  if (::mkdir(ToOsPath(folder).c_str(), 0700) == 0) return true;
  return errno == EEXIST && DirectoryExists(folder);
}

std::string OsExecutablePath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n <= 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

// The executable's folder, or empty when its name has no CP932 form (such a
// folder can be neither portable nor a fallback).
std::string ExecutableFolder() {
  std::string path;
  if (!TryFromOsPath(OsExecutablePath(), path)) return {};
  return ExtractFileDir(path);
}

}  // namespace

std::string ExecutablePath() { return FromOsPath(OsExecutablePath()); }

AppFolderInputs CurrentAppFolderInputs() {
  AppFolderInputs inputs;
  inputs.overrideFolder = Environment("TOVRA_APP_FOLDER");
  // The other sources are not looked at then, and their names may not even
  // have a CP932 form.
  if (!inputs.overrideFolder.empty()) return inputs;
  inputs.executableFolder = ExecutableFolder();
  inputs.dataHome = Environment("XDG_DATA_HOME");
  inputs.home = Environment("HOME");
  if (inputs.home.empty()) {
    // A service or a cron job may run without HOME; the account still has one.
    if (const passwd* account = ::getpwuid(::getuid()); account != nullptr && account->pw_dir != nullptr) {
      inputs.home = FromOsPath(account->pw_dir);
    }
  }
  return inputs;
}

AppFolderChoice ChooseAppFolder(const AppFolderInputs& inputs) {
  if (!inputs.overrideFolder.empty()) {
    return {WithoutTrailingSeparator(inputs.overrideFolder), AppFolderSource::Environment};
  }
  std::string executable = WithoutTrailingSeparator(inputs.executableFolder);
  if (!executable.empty() && IsWritableFolder(executable) && FileExists(JoinPath(executable, kSiteListFileName))) {
    return {executable, AppFolderSource::Executable};
  }
  // Relative values of XDG_DATA_HOME are invalid by that variable's own rules.
  if (IsAbsolute(inputs.dataHome)) {
    return {JoinPath(WithoutTrailingSeparator(inputs.dataHome), kFolderName), AppFolderSource::DataHome};
  }
  if (IsAbsolute(inputs.home)) {
    std::string share = JoinPath(JoinPath(WithoutTrailingSeparator(inputs.home), ".local"), "share");
    return {JoinPath(share, kFolderName), AppFolderSource::HomeDefault};
  }
  return {executable, AppFolderSource::NoHome};
}

bool PrepareAppFolder(const AppFolderChoice& choice) {
  if (choice.source != AppFolderSource::DataHome && choice.source != AppFolderSource::HomeDefault) return true;
  try {
    return MakeFolders(choice.folder);
  } catch (const std::exception&) {
    return false;  // a name the OS encoding cannot hold
  }
}

bool OpenAppFolderForWriting(const AppFolderChoice& choice) {
  try {
    if (!MakeFolders(choice.folder)) return false;
    const std::string probe = JoinPath(choice.folder, ".tovra-write-check");
    WriteFileAtomic(probe, "", 0600);
    DeleteFile(probe);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

AppFolderChoice CurrentAppFolder() {
  AppFolderChoice choice = ChooseAppFolder(CurrentAppFolderInputs());
  // A folder that cannot be made shows up as the file error of the first
  // write into it, which names the path.
  PrepareAppFolder(choice);
  return choice;
}

std::string AppFolder() { return CurrentAppFolder().folder; }

std::string OpenFolderWarning(const std::string& folder) {
  struct stat st;
  std::string os;
  try {
    os = ToOsPath(folder);
  } catch (const EEncodingError&) {
    return {};
  }
  if (os.empty() || ::stat(os.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  bool open = (st.st_mode & S_IWOTH) != 0;
  if (!open && (st.st_mode & S_IWGRP) != 0) {
    // A group of the owner alone (one per user, as Debian makes them) is no risk.
    const passwd* owner = ::getpwuid(st.st_uid);
    open = owner == nullptr || owner->pw_gid != st.st_gid;
  }
  if (!open) return {};
  return "警告: アプリケーションフォルダー " + folder +
         " は他のユーザーも書き込めます。パスワードを含むサイト情報を読み書きされるおそれがあります (chmod go-w "
         "で防げます)";
}

std::string AppFolderWarning() { return OpenFolderWarning(ChooseAppFolder(CurrentAppFolderInputs()).folder); }

}  // namespace tovra
