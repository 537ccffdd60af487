// tovra-cli where: which application folder this program uses, and why.
// The folder is the first line alone, so that scripts can take it with head.
#include <string>

#include "cli/cli_common.h"
#include "platform/app_folder.h"
#include "platform/files.h"

namespace tovra::cli {
namespace {

const TSyntax kWhere{"where",
                     {},
                     "",
                     "the application folder (site list, profiles, lists) on the first line,\n"
                     "the reason on the second"};

const char* Reason(AppFolderSource source) {
  switch (source) {
    case AppFolderSource::Environment:
      return "set by TOVRA_APP_FOLDER";
    case AppFolderSource::Executable:
      return "the program's own folder: it is writable and holds a site list (portable use)";
    case AppFolderSource::DataHome:
      return "the user's data folder under XDG_DATA_HOME";
    case AppFolderSource::HomeDefault:
      return "the user's data folder (XDG_DATA_HOME is unset or not an absolute path)";
    case AppFolderSource::NoHome:
      return "the program's own folder: no home folder is known";
  }
  return "";
}

int RunWhere(const Args& given) {
  const Args args = ParseArgs(kWhere, given).Operands();
  if (!args.empty()) throw UsageError{"unexpected argument: " + args[0]};
  AppFolderChoice choice = CurrentAppFolder();
  PrintLine(choice.folder);
  PrintLine(Reason(choice.source));
  if (!DirectoryExists(choice.folder)) {
    bool made = choice.source == AppFolderSource::DataHome || choice.source == AppFolderSource::HomeDefault;
    PrintError((made ? "the folder cannot be created: " : "the folder does not exist: ") + choice.folder);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

void RegisterWhereCommand() { Commands().push_back({"where", UsageOf(kWhere), RunWhere}); }

}  // namespace tovra::cli
