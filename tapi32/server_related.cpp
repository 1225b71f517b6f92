// Related devices of lines, addresses and calls (lineGetIDW): which other devices belong to them.
//
// A line answers for its own class ("tapi/line": its device ID) and for "tapi/phone" (the IDs
// of the phones that are its sets, possibly none) whatever its capabilities say, because those
// are questions about TAPI's own devices. The other classes are answered only when the line's
// capabilities list them, and LINEERR_INVALDEVICECLASS otherwise:
//   "wave/in", "wave/out"  the audio device's ID (binary DWORD)
//   "comm"                 the port's name (ASCII, NUL-terminated)
//   "comm/datamodem"       a call's data connection: an open handle (a DWORD; on this platform a
//                          POSIX file descriptor the application now owns and must close)
//                          followed by the port's NUL-terminated name (binary). Only a call that
//                          has a connection has one: LINEERR_OPERATIONUNAVAIL for the line, an
//                          address, or a call without one.
#include <cstring>

#include "tapi32/device_class.h"
#include "tapi32/server.h"
#include "tapi32/var_struct.h"

namespace tapi32 {

LONG Server::LineGetId(HLINE line, DWORD addressId, HCALL call, DWORD select, LPVARSTRING deviceId,
                       LPCWSTR deviceClass) {
  if (deviceId == nullptr || deviceClass == nullptr) return Err(LINEERR_INVALPOINTER);
  if (select != LINECALLSELECT_LINE && select != LINECALLSELECT_ADDRESS &&
      select != LINECALLSELECT_CALL) {
    return Err(LINEERR_INVALCALLSELECT);
  }
  std::lock_guard lock(mutex_);
  DWORD lineId = 0;
  std::optional<DWORD> callId;
  if (select == LINECALLSELECT_CALL) {
    LONG error = 0;
    const CallHandle* entry = UsableCall(call, false, Err(LINEERR_INVALCALLHANDLE), &error);
    if (entry == nullptr) return error;
    callId = entry->callId;
    lineId = ProviderCall(entry->callId)->deviceId;
  } else {
    const OpenEntry* open = FindOpen(line);
    if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
    lineId = open->deviceId;
    if (select == LINECALLSELECT_ADDRESS &&
        addressId >= provider_->Line(lineId).Caps().fixed.dwNumAddresses) {
      return Err(LINEERR_INVALADDRESSID);
    }
  }

  const LineDevice& device = provider_->Line(lineId);
  const std::u16string_view wanted(deviceClass);
  if (SameClass(wanted, u"tapi/line")) {
    return AnswerVarString(DeviceIdString({lineId}), deviceId, LINEERR_STRUCTURETOOSMALL);
  }
  if (SameClass(wanted, u"tapi/phone")) {
    std::vector<DWORD> phones;
    for (DWORD phoneId = 0; phoneId < provider_->NumPhones(); ++phoneId) {
      const PhoneDevice& phone = provider_->Phone(phoneId);
      if (!phone.Removed() && phone.AttachedLine() == lineId) phones.push_back(phoneId);
    }
    return AnswerVarString(DeviceIdString(phones), deviceId, LINEERR_STRUCTURETOOSMALL);
  }
  if (wanted.empty() || !ListsClass(device.Caps().deviceClasses, wanted)) {
    return Err(LINEERR_INVALDEVICECLASS);
  }
  const bool waveIn = SameClass(wanted, u"wave/in");
  if (waveIn || SameClass(wanted, u"wave/out")) {
    const std::optional<DWORD> wave = device.WaveId(waveIn);
    if (!wave) return Err(LINEERR_INVALDEVICECLASS);
    return AnswerVarString(DeviceIdString({*wave}), deviceId, LINEERR_STRUCTURETOOSMALL);
  }
  // A call with a data connection names the connection's port; otherwise the line's.
  const std::optional<std::u16string> callPort =
      callId ? provider_->CallPort(*callId) : std::nullopt;
  if (SameClass(wanted, u"comm")) {
    return AnswerVarString(
        {STRINGFORMAT_ASCII, SingleByteText(callPort.value_or(device.PortName()))}, deviceId,
        LINEERR_STRUCTURETOOSMALL);
  }
  if (SameClass(wanted, u"comm/datamodem")) {
    if (!callPort) return Err(LINEERR_OPERATIONUNAVAIL);
    VarString answer{STRINGFORMAT_BINARY, std::vector<uint8_t>(sizeof(DWORD))};
    const std::vector<uint8_t> name = SingleByteText(*callPort);
    answer.bytes.insert(answer.bytes.end(), name.begin(), name.end());
    // A handle is made only for an answer that fits: one the application never sees would
    // stay open for good.
    if (deviceId->dwTotalSize >= sizeof(VARSTRING) + answer.bytes.size()) {
      const int descriptor = provider_->DuplicateCallPort(*callId);
      if (descriptor < 0) return Err(LINEERR_RESOURCEUNAVAIL);
      const DWORD handle = static_cast<DWORD>(descriptor);
      std::memcpy(answer.bytes.data(), &handle, sizeof handle);
    }
    return AnswerVarString(answer, deviceId, LINEERR_STRUCTURETOOSMALL);
  }
  // A class the capabilities list but the provider has nothing behind.
  return Err(LINEERR_INVALDEVICECLASS);
}

}  // namespace tapi32
