// Short upper-case texts for TAPI constants, for display and logging: each is the constant's
// name without its family prefix (LINECALLSTATE_OFFERING gives "OFFERING"). Values without a
// text give empty text or "<PREFIX>_$<hex>", hexadecimal in upper case without leading zeros.
// Pure functions on constant tables; callable from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace zvtapi {

// Text when empty, otherwise Text + Separator + Item.
std::string TapiAppendText(const std::string& text, const std::string& item,
                           const std::string& separator);

// One LINECALLSTATE_* value; anything else (0 and several bits included) gives
// "LINECALLSTATE_$<hex>".
std::string TapiCallStateText(uint32_t state);
// The mode that comes with OFFERING, DIALTONE, BUSY, SPECIALINFO, CONNECTED or DISCONNECTED, in
// that state's mode family; empty for any other state or an unlisted mode.
std::string TapiCallStateModeText(uint32_t state, uint32_t mode);
// The set LINECALLORIGIN_* bits joined with one space; "LINECALLORIGIN_$<hex>" when no listed
// bit is set, empty for 0.
std::string TapiCallOriginText(uint32_t origin);
// Every set LINECALLFEATURE_* bit, lowest first.
std::string TapiCallFeaturesText(uint32_t features, const std::string& separator);
// The set LINECALLPRIVILEGE_* bits, OWNER first.
std::string TapiPrivilegesText(uint32_t privileges, const std::string& separator);
// The set LINEMEDIAMODE_* bits; unlisted bits are ignored.
std::string TapiMediaModesText(uint32_t mediaModes, const std::string& separator);

// Single PHONELAMPMODE_*, PHONEBUTTONSTATE_* and PHONEBUTTONMODE_* values: empty for 0, the
// fallback for anything unlisted.
std::string TapiLampModeText(uint32_t lampMode);
std::string TapiButtonStateText(uint32_t buttonState);
std::string TapiButtonModeText(uint32_t buttonMode);
// PHONEBUTTONFUNCTION_* 0 to 46; the fallback from 47 upward.
std::string TapiButtonFunctionText(uint32_t buttonFunction);

}  // namespace zvtapi
