// The data connections of the switch: every connected data call gets a pseudo-terminal. The
// terminal end (raw mode) is what applications receive as the call's "comm/datamodem" handle;
// the switch keeps the other end and plays the far end on it, echoing what it reads or playing
// the line's modem script (config.h).
//
// One thread serves every connection with poll(). It never takes the TAPI lock, so the switch
// opens and closes connections while it holds that lock; the connections themselves are guarded
// by a mutex of their own.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "tapi32/sim/config.h"

namespace tapi32::sim {

class ModemConnections {
 public:
  ModemConnections() = default;
  ModemConnections(const ModemConnections&) = delete;
  ModemConnections& operator=(const ModemConnections&) = delete;
  ~ModemConnections();

  // A new connection for the call, its far end playing the script (empty: echo). False when no
  // pseudo-terminal could be made; a call that has one keeps it.
  bool Open(uint32_t callId, std::vector<ModemStep> script);
  // The switch's end closes: the application's reads see end of file. Nothing when the call has
  // no connection.
  void Close(uint32_t callId);
  // Every connection closes and the thread ends (the switch's devices are being replaced, or the
  // program ends); the next Open starts it again.
  void Shutdown();

  // The path of the call's terminal, or none when it has no connection.
  std::optional<std::string> PortName(uint32_t callId) const;
  // A new descriptor of the call's terminal end that the caller owns, or -1.
  int Duplicate(uint32_t callId) const;

 private:
  struct Connection {
    int far = -1;       // the end the switch drives (non-blocking)
    int terminal = -1;  // the application's end, kept to duplicate it
    std::string name;
    std::vector<ModemStep> script;
    size_t step = 0;
    std::string heard;    // received since the last step of the script
    std::string pending;  // to send once the terminal takes it
  };
  // Closes both ends of the connection.
  static void Release(Connection& connection);
  // Queues the replies of the script's steps that are due now.
  static void PlayScript(Connection& connection);
  // Reads what arrived on the far end and answers it.
  static void Receive(Connection& connection);
  static void Send(Connection& connection);
  void Run();
  void Wake();

  mutable std::mutex mutex_;
  std::unordered_map<uint32_t, Connection> connections_;
  std::thread thread_;
  int wake_[2] = {-1, -1};  // a pipe: a byte makes the thread look at the connections again
  bool stopping_ = false;
};

}  // namespace tapi32::sim
