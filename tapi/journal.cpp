#include "tapi/journal.h"

#include <ctime>
#include <exception>

#include "tapi/application.h"
#include "tapi/call_list.h"
#include "tapi/errors.h"
#include "tapi/line.h"

namespace zvtapi {

// ---------------------------------------------------------------------------------------------
// TzvTapiJournal

void TzvTapiJournal::Record(bool LineMessage, const TTapiMessage& Message) {
  const auto now = std::chrono::system_clock::now();
  std::lock_guard lock(FLock);
  TzvTapiJournalEntry& entry = FRing[FNext];
  entry.Time = now;
  entry.LineMessage = LineMessage;
  entry.Message = Message;
  FNext = (FNext + 1) % kCapacity;
  if (FCount < kCapacity) ++FCount;
  ++FRecorded;
}

uint64_t TzvTapiJournal::Recorded() const {
  std::lock_guard lock(FLock);
  return FRecorded;
}

std::vector<TzvTapiJournalEntry> TzvTapiJournal::Entries() const {
  std::lock_guard lock(FLock);
  std::vector<TzvTapiJournalEntry> entries;
  entries.reserve(FCount);
  const size_t oldest = (FNext + kCapacity - FCount) % kCapacity;
  for (size_t i = 0; i < FCount; ++i)
    entries.push_back(FRing[(oldest + i) % kCapacity]);
  return entries;
}

void TzvTapiJournal::Clear() {
  std::lock_guard lock(FLock);
  FNext = 0;
  FCount = 0;
}

// ---------------------------------------------------------------------------------------------
// Texts

std::string TapiMessageName(bool LineMessage, Cardinal MessageID) {
  // Indexed by message number; line and phone messages share one numbering.
  static constexpr const char* kNames[] = {
      "LINE_ADDRESSSTATE",  "LINE_CALLINFO",
      "LINE_CALLSTATE",     "LINE_CLOSE",
      "LINE_DEVSPECIFIC",   "LINE_DEVSPECIFICFEATURE",
      "LINE_GATHERDIGITS",  "LINE_GENERATE",
      "LINE_LINEDEVSTATE",  "LINE_MONITORDIGITS",
      "LINE_MONITORMEDIA",  "LINE_MONITORTONE",
      "LINE_REPLY",         "LINE_REQUEST",
      "PHONE_BUTTON",       "PHONE_CLOSE",
      "PHONE_DEVSPECIFIC",  "PHONE_REPLY",
      "PHONE_STATE",        "LINE_CREATE",
      "PHONE_CREATE",       "LINE_AGENTSPECIFIC",
      "LINE_AGENTSTATUS",   "LINE_APPNEWCALL",
      "LINE_PROXYREQUEST",  "LINE_REMOVE",
      "PHONE_REMOVE",       "LINE_AGENTSESSIONSTATUS",
      "LINE_QUEUESTATUS",   "LINE_AGENTSTATUSEX",
      "LINE_GROUPSTATUS",   "LINE_PROXYSTATUS",
      "LINE_APPNEWCALLHUB", "LINE_CALLHUBCLOSE",
      "LINE_DEVSPECIFICEX",
  };
  if (MessageID < std::size(kNames)) {
    const std::string name = kNames[MessageID];
    // A number from the other side's range is not that message.
    if ((name.rfind("LINE_", 0) == 0) == LineMessage) return name;
  }
  return Format("%s message 0x%X", LineMessage ? "line" : "phone", MessageID);
}

std::string FormatJournalEntry(const TzvTapiJournalEntry& Entry) {
  using namespace std::chrono;
  const auto since = Entry.Time.time_since_epoch();
  const std::time_t seconds =
      static_cast<std::time_t>(duration_cast<std::chrono::seconds>(since).count());
  const int millis = static_cast<int>(duration_cast<milliseconds>(since).count() % 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
  const TTapiMessage& m = Entry.Message;
  return Format(
      "%s.%03dZ %s hDevice=x%X dwCallbackInstance=x%X dwParam1=x%X dwParam2=x%X "
      "dwParam3=x%X",
      stamp, millis, TapiMessageName(Entry.LineMessage, m.dwMessageID).c_str(), m.hDevice,
      m.dwCallbackInstance, m.dwParam1, m.dwParam2, m.dwParam3);
}

// ---------------------------------------------------------------------------------------------
// Open lines and calls

namespace {

TzvTapiOpenCall SnapshotCall(TzvTapiCall* call) {
  TzvTapiOpenCall open;
  open.Handle = call->Handle();
  // The values come from the call's caches, which may ask TAPI; a report is written when
  // something already went wrong, so a failure here leaves the value empty.
  try {
    open.State = call->State();
    open.CallerID = call->CallerID()->GetAddress();
    open.CallerIDName = call->CallerID()->GetName();
  } catch (const std::exception&) {
  }
  return open;
}

}  // namespace

std::vector<TzvTapiOpenLine> SnapshotOpenLines() {
  std::vector<TzvTapiOpenLine> lines;
  if (!zvTapiApplication) return lines;
  const TzvTapiLineList& all = zvTapiApplication->Lines();
  for (int i = 0; i < all.Count(); ++i) {
    TzvCustomTapiLine* line = all.Get(i);
    if (!line->IsOpen()) continue;
    TzvTapiOpenLine open;
    open.Name = line->Name();
    open.DeviceID = line->DeviceID();
    try {
      open.DeviceName = line->DeviceName();
    } catch (const std::exception&) {
    }
    TzvTapiCallList& calls = line->Calls();
    for (int c = 0; c < calls.Count(); ++c)
      open.Calls.push_back(SnapshotCall(calls.Get(c)));
    lines.push_back(std::move(open));
  }
  return lines;
}

std::string FormatOpenLines(const std::vector<TzvTapiOpenLine>& Lines) {
  std::string text;
  for (const TzvTapiOpenLine& line : Lines) {
    text += Format("line %s device %d \"%s\", %zu call(s)\n", line.Name.c_str(), line.DeviceID,
                   line.DeviceName.c_str(), line.Calls.size());
    for (const TzvTapiOpenCall& call : line.Calls) {
      text += Format("  call x%X state x%X caller \"%s\" \"%s\"\n", call.Handle, call.State,
                     call.CallerID.c_str(), call.CallerIDName.c_str());
    }
  }
  return text;
}

}  // namespace zvtapi
