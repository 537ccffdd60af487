// tovra-cli links / deps: what link extraction and dependency collection
// find in pages. (Filled in with the html subsystem.)
#include "cli/cli_common.h"

namespace tovra::cli {

void RegisterLinkCommands() {}

}  // namespace tovra::cli
