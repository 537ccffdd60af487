// Remote names at the server's edge: the system's CP932 names go out in the
// encoding the server keeps its names in, and names the server sends back
// (the working folder, listings) come in as CP932. The client agrees on the
// encoding once per connection (TIdFTP::NameEncoding); these are the pure
// conversions.
// CP932 pairs whose second byte is 0x5C ('\') convert as the characters
// they are. Stateless; thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "util/string_list.h"

namespace tovra {

// A CP932 name or path as the server's bytes. Throws EEncodingError naming
// the text when it is not CP932, so no name is ever sent altered. A marked
// name (platform/encoding.h) goes to a UTF-8 server as the disk's own name
// and is refused for a server that keeps CP932 names.
std::string ToServerName(std::string_view cp932, bool utf8Names);

// A name from the server as CP932. Throws EEncodingError naming the text
// when CP932 cannot hold it exactly.
std::string ServerNameToCp932(std::string_view wire, bool utf8Names);

// Listing lines from a UTF-8 server as CP932 lines: characters CP932 cannot
// hold exactly are shown as [U+XXXX], so such a name never equals a name of
// the system's.
TStringList ServerLinesToCp932(const TStringList& lines);

}  // namespace tovra
