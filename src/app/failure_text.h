// The text a user reads for a failed run: the connection layer's own
// English text as it stands, after one Japanese sentence saying what
// happened and what to check (the password, whether the server runs, the
// host name). Stateless; any thread.
#pragma once

#include <exception>
#include <string>

namespace tovra {

// e.what(), after the sentence that fits e's type and code; e.what() alone
// where the text is the system's own Japanese already.
std::string ExplainedFailure(const std::exception& e);

}  // namespace tovra
