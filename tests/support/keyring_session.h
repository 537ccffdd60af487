// A real Secret Service for one test process: a private session bus
// (dbus-run-session) with gnome-keyring-daemon on it, whose login keyring
// is created and unlocked with a password on standard input, in a throw-away
// folder. While it lives, DBUS_SESSION_BUS_ADDRESS of the test process (and
// so of every tovra-cli it starts) names that bus. The destructor ends the
// daemon and the bus. secret-tool reads the store independently of the
// program. For one test thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tovra::test {

class KeyringSession {
 public:
  KeyringSession();
  ~KeyringSession();
  KeyringSession(const KeyringSession&) = delete;
  KeyringSession& operator=(const KeyringSession&) = delete;

  // "" when the session runs, else why not (the test skips with the text).
  const std::string& Unavailable() const { return unavailable_; }
  const std::string& BusAddress() const { return address_; }

  // The password secret-tool finds for the site's field (CP932), or nothing.
  std::optional<std::string> Lookup(const std::string& site, const std::string& field) const;
  // How many of the program's items the store holds for the site (any field).
  int ItemCount(const std::string& site) const;
  // Locks the login keyring, as the desktop does on a screen lock.
  bool Lock() const;

 private:
  void Start();

  TempDir dir_;
  std::string unavailable_;
  std::string address_;
  std::optional<ScopedEnv> busVariable_;
  pid_t sessionPid_ = -1;
  pid_t daemonPid_ = -1;
  int holdFd_ = -1;  // the session lasts while this end of its stdin is open
};

// Runs a program (UTF-8 arguments) to its end with the test's environment;
// gives its exit status (-1: none) and what it printed on stdout.
std::pair<int, std::string> RunTool(const std::vector<std::string>& argv);

// The text that says no session bus is there: a bus address nothing listens on.
inline constexpr char kNoSessionBus[] = "unix:path=/nonexistent/tovra-test-bus";

}  // namespace tovra::test
