// What the library was doing lately, for error reports: the last telephony messages it handed
// on to the devices, and the lines and calls that are open now.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tapi/event_thread.h"
#include "tapi/types.h"

namespace zvtapi {

struct TzvTapiJournalEntry {
  std::chrono::system_clock::time_point Time;
  bool LineMessage = true;
  TTapiMessage Message{};
};

// A fixed ring of the most recent messages. Recording runs for every message the
// user-interface thread dispatches, so it only copies a few words under an uncontended lock;
// reading may happen on any thread (a watchdog reads it while the user-interface thread
// hangs).
class TzvTapiJournal {
 public:
  static constexpr size_t kCapacity = 256;

  void Record(bool LineMessage, const TTapiMessage& Message);
  // Oldest first; at most kCapacity.
  std::vector<TzvTapiJournalEntry> Entries() const;
  // Messages recorded since the start, so that a reader can tell whether anything came.
  uint64_t Recorded() const;
  void Clear();

 private:
  mutable std::mutex FLock;
  std::array<TzvTapiJournalEntry, kCapacity> FRing{};
  size_t FNext = 0;
  size_t FCount = 0;
  uint64_t FRecorded = 0;
};

// "LINE_CALLSTATE", "PHONE_REPLY", ...; "message 0x%X" for numbers TAPI does not define.
std::string TapiMessageName(bool LineMessage, Cardinal MessageID);
// One line of text: UTC time with milliseconds, message name and the message's values.
std::string FormatJournalEntry(const TzvTapiJournalEntry& Entry);

struct TzvTapiOpenCall {
  Cardinal Handle = 0;
  Cardinal State = 0;
  std::string CallerID;
  std::string CallerIDName;
};

struct TzvTapiOpenLine {
  std::string Name;  // the component's name
  Integer DeviceID = -1;
  std::string DeviceName;
  std::vector<TzvTapiOpenCall> Calls;
};

// The application's open lines and their calls. User-interface thread only: it reads the
// components, which belong to that thread. A value TAPI cannot give stays empty.
std::vector<TzvTapiOpenLine> SnapshotOpenLines();
// The snapshot as text, one line per line device and one per call, indented under it.
std::string FormatOpenLines(const std::vector<TzvTapiOpenLine>& Lines);

}  // namespace zvtapi
