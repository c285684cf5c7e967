#include "tests/support/private_name_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "tests/support/ci.h"
#include "tests/support/temporary_folder.h"

namespace pulsewell::test {
namespace {

namespace fs = std::filesystem;

// Where the process stands; set once by SetUp.
struct Standing {
  std::string missing = "the name service was not set up";
  int resolver = -1;  // the silent resolver's socket
};

Standing& standing() {
  static Standing s;
  return s;
}

void require(bool done, const std::string& what) {
  if (!done) throw std::runtime_error(what + ": " + std::generic_category().message(errno));
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  require(static_cast<bool>(out), "cannot write " + path.string());
}

void writeProcFile(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  const bool written =
      fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) close(fd);
  require(written, std::string("cannot write ") + path);
}

// The files the resolver reads, laid over the system's own.
void layOver(const fs::path& folder) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"hosts", "127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n"},
      {"resolv.conf", "nameserver 127.0.0.1\n"},
      {"nsswitch.conf", "hosts: files dns\n"},
  };
  for (const auto& [name, text] : files) {
    const fs::path ours = folder / name;
    writeFile(ours, text);
    const std::string theirs = "/etc/" + name;
    require(mount(ours.c_str(), theirs.c_str(), nullptr, MS_BIND, nullptr) == 0,
            "cannot lay a file over " + theirs);
  }
}

void bringUpLoopback() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  require(fd >= 0, "no socket");
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  close(fd);
  require(up, "cannot bring up the loopback interface");
}

// Takes every query on 127.0.0.1:53 and answers none.
int silentResolver() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(53);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  require(fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0,
          "cannot listen on 127.0.0.1:53");
  return fd;
}

void enter() {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  require(unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) == 0,
          "no private user, mount and network namespaces");
  writeProcFile("/proc/self/setgroups", "deny");
  writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
  writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
  // Nothing laid over here reaches the system's own mounts.
  require(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0,
          "cannot make the mounts private");

  {
    // The mounts keep the files; nothing is left behind.
    const test::TemporaryFolder folder;
    layOver(folder.path());
  }

  bringUpLoopback();
  standing().resolver = silentResolver();
}

}  // namespace

void PrivateNameService::SetUp() {
  try {
    enter();
    standing().missing.clear();
  } catch (const std::exception& error) {
    standing().missing = error.what();
  }
}

const std::string& PrivateNameService::missing() {
  return standing().missing;
}

std::size_t PrivateNameService::takeQueries() {
  std::size_t count = 0;
  std::array<char, 512> datagram{};
  while (recv(standing().resolver, datagram.data(), datagram.size(), MSG_DONTWAIT) >= 0) {
    ++count;
  }
  return count;
}

void PrivateNameServiceTest::SetUp() {
  const std::string& missing = PrivateNameService::missing();
  if (missing.empty()) return;
  if (runningInCI()) FAIL() << missing;
  GTEST_SKIP() << missing;
}

}  // namespace pulsewell::test
