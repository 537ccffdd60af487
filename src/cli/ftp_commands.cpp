// tovra-cli commands of this group (registered from cli_common.cpp).
#include "cli/cli_common.h"

namespace tovra::cli {

void RegisterFtpCommands() {}

}  // namespace tovra::cli
