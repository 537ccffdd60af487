// The texts that name a data connection's address: the EPRT argument of an
// active connection, and the ports that EPSV (229) and PASV (227) replies
// announce for a passive one. Pure functions, no sockets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tovra {

// "|1|a.b.c.d|port|" or "|2|ipv6-address|port|" for EPRT.
std::string EprtArgument(const std::string& address, std::uint16_t port);
// The port of "Entering Extended Passive Mode (|||port|)": any delimiter
// character, the first two fields empty (or naming the protocol and
// address, which are not used); nothing when the text holds no valid port.
std::optional<int> ParseEpsvReply(const std::string& text);
// The port of "Entering Passive Mode (h1,h2,h3,h4,p1,p2)"; the four address
// numbers must be present but are not used. Nothing when the text holds no
// six numbers of 0..255 or the port is 0.
std::optional<int> ParsePasvReply(const std::string& text);

}  // namespace tovra
