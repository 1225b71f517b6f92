#include "tapi32/sim/modem.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tapi32::sim {

namespace {

// What the script remembers of the received text while it waits: enough for any sensible
// expected text, and bounded whatever the application sends.
constexpr size_t kHeardLimit = 4096;

bool SetFlags(int fd, int add) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | add) == 0;
}

}  // namespace

ModemConnections::~ModemConnections() {
  Shutdown();
}

bool ModemConnections::Open(uint32_t callId, std::vector<ModemStep> script) {
  std::lock_guard lock(mutex_);
  if (connections_.contains(callId)) return true;
  Connection connection;
  connection.script = std::move(script);
  connection.far = posix_openpt(O_RDWR | O_NOCTTY);
  bool made = connection.far >= 0 && fcntl(connection.far, F_SETFD, FD_CLOEXEC) == 0 &&
              SetFlags(connection.far, O_NONBLOCK) && grantpt(connection.far) == 0 &&
              unlockpt(connection.far) == 0;
  if (made) {
    const char* name = ptsname(connection.far);
    made = name != nullptr;
    if (made) connection.name = name;
  }
  if (made) {
    connection.terminal = open(connection.name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    // Raw: bytes pass as they are, without echo, line editing or CR/LF translation.
    made = connection.terminal >= 0 && tcgetattr(connection.terminal, &mode) == 0;
    if (made) {
      cfmakeraw(&mode);
      made = tcsetattr(connection.terminal, TCSANOW, &mode) == 0;
    }
  }
  if (!made) {
    Release(connection);
    return false;
  }
  if (!thread_.joinable()) {
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
      Release(connection);
      return false;
    }
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
  }
  PlayScript(connection);
  connections_.emplace(callId, std::move(connection));
  Wake();
  return true;
}

void ModemConnections::Close(uint32_t callId) {
  std::lock_guard lock(mutex_);
  auto it = connections_.find(callId);
  if (it == connections_.end()) return;
  Release(it->second);
  connections_.erase(it);
  Wake();
}

void ModemConnections::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    for (auto& [callId, connection] : connections_)
      Release(connection);
    connections_.clear();
    if (!thread_.joinable()) return;
    stopping_ = true;
    Wake();
  }
  thread_.join();
  close(wake_[0]);
  close(wake_[1]);
  wake_[0] = wake_[1] = -1;
}

std::optional<std::string> ModemConnections::PortName(uint32_t callId) const {
  std::lock_guard lock(mutex_);
  auto it = connections_.find(callId);
  if (it == connections_.end()) return std::nullopt;
  return it->second.name;
}

int ModemConnections::Duplicate(uint32_t callId) const {
  std::lock_guard lock(mutex_);
  auto it = connections_.find(callId);
  if (it == connections_.end()) return -1;
  return fcntl(it->second.terminal, F_DUPFD_CLOEXEC, 0);
}

void ModemConnections::Release(Connection& connection) {
  if (connection.far >= 0) close(connection.far);
  if (connection.terminal >= 0) close(connection.terminal);
  connection.far = connection.terminal = -1;
}

void ModemConnections::PlayScript(Connection& connection) {
  while (connection.step < connection.script.size()) {
    const ModemStep& step = connection.script[connection.step];
    if (!step.expect.empty()) {
      const size_t at = connection.heard.find(step.expect);
      if (at == std::string::npos) return;
      connection.heard.erase(0, at + step.expect.size());
    }
    connection.pending += step.send + "\r\n";
    ++connection.step;
  }
}

void ModemConnections::Receive(Connection& connection) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(connection.far, buffer, sizeof buffer);
    if (got <= 0) return;  // nothing more now (EAGAIN), or the terminal is gone
    const std::string_view text(buffer, static_cast<size_t>(got));
    if (connection.script.empty()) {
      connection.pending += text;
    } else if (connection.step < connection.script.size()) {
      connection.heard += text;
      PlayScript(connection);
      if (connection.heard.size() > kHeardLimit) {
        connection.heard.erase(0, connection.heard.size() - kHeardLimit);
      }
    }
  }
}

void ModemConnections::Send(Connection& connection) {
  while (!connection.pending.empty()) {
    const ssize_t sent =
        write(connection.far, connection.pending.data(), connection.pending.size());
    if (sent <= 0) return;  // the terminal's buffer is full: poll says when it takes more
    connection.pending.erase(0, static_cast<size_t>(sent));
  }
}

void ModemConnections::Wake() {
  const char byte = 0;
  // A full pipe already wakes the thread.
  [[maybe_unused]] const ssize_t ignored = write(wake_[1], &byte, 1);
}

void ModemConnections::Run() {
  std::vector<pollfd> watched;
  for (;;) {
    watched.clear();
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      watched.push_back({wake_[0], POLLIN, 0});
      for (auto& [callId, connection] : connections_) {
        Send(connection);
        const short events = connection.pending.empty() ? POLLIN : (POLLIN | POLLOUT);
        watched.push_back({connection.far, events, 0});
      }
    }
    if (poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) return;
    char drain[64];
    while (read(wake_[0], drain, sizeof drain) > 0) {
    }
    std::lock_guard lock(mutex_);
    // A descriptor may have closed (and its number been reused) while poll() ran: only the
    // connections that exist now are served, and their reads and writes never block.
    for (auto& [callId, connection] : connections_) {
      Receive(connection);
      Send(connection);
    }
  }
}

}  // namespace tapi32::sim
