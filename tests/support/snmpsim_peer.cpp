#include "tests/support/snmpsim_peer.h"

#include <glob.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "tests/support/agent_probe.h"
#include "tests/support/program_run.h"

namespace pulsewell::test {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view snmpsimd = "/usr/bin/snmpsimd";
constexpr int portAttempts = 3;
// Indexing a recording of a thousand interfaces takes snmpsimd a few seconds.
constexpr auto answerDeadline = 60s;
constexpr auto stopGrace = 2s;
// The held clock's start, 2026-01-01 00:00:00 UTC.
constexpr std::time_t heldEpoch = 1767225600;

std::optional<std::filesystem::path> fakeTimeLibrary() {
  glob_t found{};
  std::optional<std::filesystem::path> library;
  if (glob("/usr/lib/*/faketime/libfaketime.so.1", 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
    library = found.gl_pathv[0];
  }
  globfree(&found);
  return library;
}

void writeFile(const std::filesystem::path& path, std::string_view text) {
  // Whole or not at all: libfaketime may read the time file at any moment.
  const auto partial = path.string() + ".new";
  {
    std::ofstream out(partial, std::ios::trunc | std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + partial);
  }
  std::filesystem::rename(partial, path);
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read | std::filesystem::perms::others_read);
}

}  // namespace

std::optional<std::string> SnmpsimPeer::missing() {
  if (access(std::string(snmpsimd).c_str(), X_OK) != 0) {
    return std::string(snmpsimd) + " is not installed (apt-get install snmpsim)";
  }
  if (!fakeTimeLibrary()) return "libfaketime is not installed (apt-get install faketime)";
  return std::nullopt;
}

SnmpsimPeer::SnmpsimPeer(const std::map<std::string, std::string>& recordings, Clock clock) {
  if (recordings.empty()) throw std::invalid_argument("no recording to serve");
  namespace fs = std::filesystem;
  // snmpsimd drops root for nobody, who must read the data and write the index cache.
  fs::permissions(directory_.path(), fs::perms::owner_all | fs::perms::group_exec |
                                         fs::perms::group_read | fs::perms::others_exec |
                                         fs::perms::others_read);
  fs::create_directories(directory_.path() / "data");
  fs::create_directories(directory_.path() / "cache");
  fs::permissions(directory_.path() / "cache", fs::perms::all);
  for (const auto& [community, text] : recordings) {
    writeFile(directory_.path() / "data" / (community + ".snmprec"), text);
  }
  writeTime();
  try {
    for (int attempt = 0; attempt < portAttempts; ++attempt) {
      if (start(freeLoopbackPort(), clock, recordings.begin()->first)) return;
    }
  } catch (...) {
    stop();
    throw;
  }
  stop();
  throw std::runtime_error("snmpsimd exited at once on " + std::to_string(portAttempts) +
                           " free ports");
}

SnmpsimPeer::~SnmpsimPeer() {
  stop();
}

void SnmpsimPeer::advance(long seconds) {
  seconds_ += seconds;
  writeTime();
}

void SnmpsimPeer::writeTime() {
  const std::time_t now = heldEpoch + seconds_;
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S\n", &parts);
  writeFile(directory_.path() / "time", text);
}

bool SnmpsimPeer::start(std::uint16_t port, Clock clock, const std::string& probeCommunity) {
  std::vector<std::string> arguments = {
      std::string(snmpsimd), "--data-dir=" + (directory_.path() / "data").string(),
      "--cache-dir=" + (directory_.path() / "cache").string(),
      "--agent-udpv4-endpoint=" + std::string(host) + ":" + std::to_string(port), "--v2c-arch",
      // snmpsim 0.4.5 caps a GetBulk's repetitions at this over the number of columns with
      // Python 3's true division: below 20 repetitions the float never counts down to 0 and
      // the answer never comes. So high that 20 repetitions of every column always fit.
      "--max-varbinds=1024", "--logging-method=null"};
  // It will not run as root without somebody to become.
  if (geteuid() == 0) {
    arguments.insert(arguments.end(), {"--process-user=nobody", "--process-group=nogroup"});
  }
  auto environment = currentEnvironment();
  environment["TZ"] = "UTC";
  if (clock == Clock::held) {
    environment["LD_PRELOAD"] = fakeTimeLibrary().value_or("").string();
    environment["FAKETIME_TIMESTAMP_FILE"] = (directory_.path() / "time").string();
    environment["FAKETIME_NO_CACHE"] = "1";
    // Its event loop's timeouts keep real time; only the wall clock is held.
    environment["FAKETIME_DONT_FAKE_MONOTONIC"] = "1";
  }
  snmpsimd_ = std::make_unique<StartedProgram>(arguments, environment);

  const auto deadline = std::chrono::steady_clock::now() + answerDeadline;
  while (std::chrono::steady_clock::now() < deadline) {
    if (snmpsimd_->ended()) {
      snmpsimd_.reset();
      return false;
    }
    if (agentAnswers(port, probeCommunity)) {
      port_ = port;
      return true;
    }
  }
  throw std::runtime_error("snmpsimd did not answer on 127.0.0.1:" + std::to_string(port) +
                           " within a minute");
}

void SnmpsimPeer::stop() {
  if (!snmpsimd_) return;
  snmpsimd_->signal(SIGTERM);
  snmpsimd_->finish(stopGrace);
  snmpsimd_.reset();
}

}  // namespace pulsewell::test
