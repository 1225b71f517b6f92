// Reading a pseudo-terminal or pipe from a test without hanging on a peer that stays silent.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <string>

namespace test_support {

// The descriptors the process has open now: what leaks a socket or a port shows here.
inline size_t OpenDescriptors() {
  size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr)
      ++count;
    closedir(dir);
  }
  return count;
}

inline bool IsOpen(int fd) {
  return fd >= 0 && fcntl(fd, F_GETFD) != -1;
}

// Reads until `wanted` bytes came, the other end closed, or ten seconds passed without data (a
// bound against hangs only).
inline std::string ReadSome(int fd, size_t wanted) {
  std::string got;
  char buffer[256];
  while (got.size() < wanted) {
    pollfd watched{fd, POLLIN, 0};
    if (poll(&watched, 1, 10000) <= 0) break;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

}  // namespace test_support
