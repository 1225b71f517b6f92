// The message tables of TAPI32.DLL and TAPIUI.DLL, in our own words. Programs read them with the
// platform's message formatting: LINEERR_ codes at 0xE000 + the code's low bits, PHONEERR_ codes
// at 0xF000 + the low bits, and the assisted-telephony TAPIERR_ codes at their low 16 bits
// (TAPIERR_REQUESTFAILED, −16, is message 0xFFF0).
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/module.h"
#include "tapi32/tapi_constants.h"

namespace tapi32 {

namespace {

using Table = std::unordered_map<uint32_t, const char16_t*>;

constexpr uint32_t LineMessage(uint32_t code) {
  return 0xE000 + (code - 0x80000000u);
}
constexpr uint32_t PhoneMessage(uint32_t code) {
  return 0xF000 + (code - 0x90000000u);
}
constexpr uint32_t RequestMessage(uint32_t code) {
  return code & 0xFFFFu;
}

const Table& Tapi32Table() {
  static const Table table = {
      {LineMessage(LINEERR_ALLOCATED),
       u"The line device is already in use by another application."},
      {LineMessage(LINEERR_BADDEVICEID), u"The line device ID is not valid."},
      {LineMessage(LINEERR_BEARERMODEUNAVAIL), u"The requested bearer mode is not available."},
      {LineMessage(LINEERR_CALLUNAVAIL), u"No call appearance is available on this address."},
      {LineMessage(LINEERR_COMPLETIONOVERRUN), u"Too many call completions are outstanding."},
      {LineMessage(LINEERR_CONFERENCEFULL),
       u"The conference call has reached its maximum number of parties."},
      {LineMessage(LINEERR_DIALBILLING),
       u"The dial string contains a billing tone wait ($), which this line cannot handle."},
      {LineMessage(LINEERR_DIALDIALTONE),
       u"The dial string contains a dial tone wait (W), which this line cannot handle."},
      {LineMessage(LINEERR_DIALPROMPT),
       u"The dial string contains a prompt (?), which this line cannot handle."},
      {LineMessage(LINEERR_DIALQUIET),
       u"The dial string contains a quiet wait (@), which this line cannot handle."},
      {LineMessage(LINEERR_INCOMPATIBLEAPIVERSION),
       u"The application and the telephony service do not support a common API version."},
      {LineMessage(LINEERR_INCOMPATIBLEEXTVERSION),
       u"The requested extension version is not supported by the device."},
      {LineMessage(LINEERR_INIFILECORRUPT),
       u"The telephony configuration is damaged and cannot be read."},
      {LineMessage(LINEERR_INUSE), u"The line device is in use and cannot be configured now."},
      {LineMessage(LINEERR_INVALADDRESS), u"The telephone number or address is not valid."},
      {LineMessage(LINEERR_INVALADDRESSID), u"The address ID is not valid."},
      {LineMessage(LINEERR_INVALADDRESSMODE), u"The address mode is not valid."},
      {LineMessage(LINEERR_INVALADDRESSSTATE), u"The address state list is not valid."},
      {LineMessage(LINEERR_INVALAPPHANDLE), u"The application handle is not valid."},
      {LineMessage(LINEERR_INVALAPPNAME), u"The application name is not valid."},
      {LineMessage(LINEERR_INVALBEARERMODE), u"The bearer mode is not valid."},
      {LineMessage(LINEERR_INVALCALLCOMPLMODE), u"The call completion mode is not valid."},
      {LineMessage(LINEERR_INVALCALLHANDLE), u"The call handle is not valid."},
      {LineMessage(LINEERR_INVALCALLPARAMS), u"The call parameters are not valid."},
      {LineMessage(LINEERR_INVALCALLPRIVILEGE), u"The call privilege is not valid."},
      {LineMessage(LINEERR_INVALCALLSELECT), u"The call selection is not valid."},
      {LineMessage(LINEERR_INVALCALLSTATE),
       u"The call is not in a state that allows this operation."},
      {LineMessage(LINEERR_INVALCALLSTATELIST), u"The call state list is not valid."},
      {LineMessage(LINEERR_INVALCARD), u"The calling card is not valid."},
      {LineMessage(LINEERR_INVALCOMPLETIONID), u"The call completion ID is not valid."},
      {LineMessage(LINEERR_INVALCONFCALLHANDLE), u"The conference call handle is not valid."},
      {LineMessage(LINEERR_INVALCONSULTCALLHANDLE), u"The consultation call handle is not valid."},
      {LineMessage(LINEERR_INVALCOUNTRYCODE), u"The country code is not valid."},
      {LineMessage(LINEERR_INVALDEVICECLASS), u"The device class is not valid or not supported."},
      {LineMessage(LINEERR_INVALDEVICEHANDLE), u"The device handle is not valid."},
      {LineMessage(LINEERR_INVALDIALPARAMS), u"The dialing parameters are not valid."},
      {LineMessage(LINEERR_INVALDIGITLIST), u"The digit list is not valid."},
      {LineMessage(LINEERR_INVALDIGITMODE), u"The digit mode is not valid."},
      {LineMessage(LINEERR_INVALDIGITS), u"The digits are not valid."},
      {LineMessage(LINEERR_INVALEXTVERSION), u"The extension version is not valid."},
      {LineMessage(LINEERR_INVALGROUPID), u"The pickup group ID is not valid."},
      {LineMessage(LINEERR_INVALLINEHANDLE), u"The line handle is not valid."},
      {LineMessage(LINEERR_INVALLINESTATE),
       u"The line is not in a state that allows this operation."},
      {LineMessage(LINEERR_INVALLOCATION), u"The dialing location is not valid."},
      {LineMessage(LINEERR_INVALMEDIALIST), u"The media list is not valid."},
      {LineMessage(LINEERR_INVALMEDIAMODE), u"The media mode is not valid."},
      {LineMessage(LINEERR_INVALMESSAGEID), u"The message ID is not valid."},
      {LineMessage(LINEERR_INVALPARAM), u"A parameter is not valid."},
      {LineMessage(LINEERR_INVALPARKID), u"The park ID is not valid."},
      {LineMessage(LINEERR_INVALPARKMODE), u"The park mode is not valid."},
      {LineMessage(LINEERR_INVALPOINTER),
       u"A pointer passed to the telephony service is not valid."},
      {LineMessage(LINEERR_INVALPRIVSELECT), u"The privilege selection is not valid."},
      {LineMessage(LINEERR_INVALRATE), u"The data rate is not valid."},
      {LineMessage(LINEERR_INVALREQUESTMODE), u"The request mode is not valid."},
      {LineMessage(LINEERR_INVALTERMINALID), u"The terminal ID is not valid."},
      {LineMessage(LINEERR_INVALTERMINALMODE), u"The terminal mode is not valid."},
      {LineMessage(LINEERR_INVALTIMEOUT), u"The time-out value is not valid."},
      {LineMessage(LINEERR_INVALTONE), u"The tone is not valid."},
      {LineMessage(LINEERR_INVALTONELIST), u"The tone list is not valid."},
      {LineMessage(LINEERR_INVALTONEMODE), u"The tone mode is not valid."},
      {LineMessage(LINEERR_INVALTRANSFERMODE), u"The transfer mode is not valid."},
      {LineMessage(LINEERR_LINEMAPPERFAILED),
       u"No line device matches the requested call parameters."},
      {LineMessage(LINEERR_NOCONFERENCE), u"The call is not part of a conference."},
      {LineMessage(LINEERR_NODEVICE), u"The line device has been removed."},
      {LineMessage(LINEERR_NODRIVER),
       u"The telephony service provider for this line is missing or not working."},
      {LineMessage(LINEERR_NOMEM), u"There is not enough memory to complete the operation."},
      {LineMessage(LINEERR_NOREQUEST), u"No assisted telephony request is waiting."},
      {LineMessage(LINEERR_NOTOWNER), u"The application does not own the call."},
      {LineMessage(LINEERR_NOTREGISTERED),
       u"The application is not registered as a request recipient."},
      {LineMessage(LINEERR_OPERATIONFAILED), u"The operation failed for an unspecified reason."},
      {LineMessage(LINEERR_OPERATIONUNAVAIL), u"The operation is not available on this line."},
      {LineMessage(LINEERR_RATEUNAVAIL), u"The requested data rate is not available."},
      {LineMessage(LINEERR_RESOURCEUNAVAIL),
       u"The resources needed for the operation are not available."},
      {LineMessage(LINEERR_REQUESTOVERRUN), u"Too many requests are outstanding."},
      {LineMessage(LINEERR_STRUCTURETOOSMALL), u"The buffer is too small for the structure."},
      {LineMessage(LINEERR_TARGETNOTFOUND),
       u"The call to be picked up or redirected was not found."},
      {LineMessage(LINEERR_TARGETSELF), u"A call cannot be transferred or forwarded to itself."},
      {LineMessage(LINEERR_UNINITIALIZED), u"The telephony service has not been initialized."},
      {LineMessage(LINEERR_USERUSERINFOTOOBIG), u"The user-to-user information is too long."},
      {LineMessage(LINEERR_REINIT),
       u"The telephony service is restarting; initialize again later."},
      {LineMessage(LINEERR_ADDRESSBLOCKED), u"Calls to this address are not allowed."},
      {LineMessage(LINEERR_BILLINGREJECTED), u"The billing information was rejected."},
      {LineMessage(LINEERR_INVALFEATURE), u"The feature is not valid."},
      {LineMessage(LINEERR_NOMULTIPLEINSTANCE),
       u"The telephony service is already initialized by this application."},
      {LineMessage(LINEERR_INVALAGENTID), u"The agent ID is not valid."},
      {LineMessage(LINEERR_INVALAGENTGROUP), u"The agent group is not valid."},
      {LineMessage(LINEERR_INVALPASSWORD), u"The password is not valid."},
      {LineMessage(LINEERR_INVALAGENTSTATE), u"The agent state is not valid."},
      {LineMessage(LINEERR_INVALAGENTACTIVITY), u"The agent activity is not valid."},
      {LineMessage(LINEERR_DIALVOICEDETECT), u"A voice answered before dialing was complete."},
      {LineMessage(LINEERR_USERCANCELLED), u"The operation was cancelled by the user."},
      {LineMessage(LINEERR_INVALADDRESSTYPE), u"The address type is not valid."},
      {LineMessage(LINEERR_INVALAGENTSESSIONSTATE), u"The agent session state is not valid."},
      {LineMessage(LINEERR_DISCONNECTED), u"The connection to the telephony server was lost."},
      {LineMessage(LINEERR_SERVICE_NOT_RUNNING), u"The telephony service is not running."},

      {PhoneMessage(PHONEERR_ALLOCATED),
       u"The phone device is already in use by another application."},
      {PhoneMessage(PHONEERR_BADDEVICEID), u"The phone device ID is not valid."},
      {PhoneMessage(PHONEERR_INCOMPATIBLEAPIVERSION),
       u"The application and the phone device do not support a common API version."},
      {PhoneMessage(PHONEERR_INCOMPATIBLEEXTVERSION),
       u"The requested extension version is not supported by the phone."},
      {PhoneMessage(PHONEERR_INIFILECORRUPT),
       u"The telephony configuration is damaged and cannot be read."},
      {PhoneMessage(PHONEERR_INUSE), u"The phone device is in use and cannot be configured now."},
      {PhoneMessage(PHONEERR_INVALAPPHANDLE), u"The phone application handle is not valid."},
      {PhoneMessage(PHONEERR_INVALAPPNAME), u"The application name is not valid."},
      {PhoneMessage(PHONEERR_INVALBUTTONLAMPID), u"The button or lamp ID is not valid."},
      {PhoneMessage(PHONEERR_INVALBUTTONMODE), u"The button mode is not valid."},
      {PhoneMessage(PHONEERR_INVALBUTTONSTATE), u"The button state is not valid."},
      {PhoneMessage(PHONEERR_INVALDATAID), u"The data ID is not valid."},
      {PhoneMessage(PHONEERR_INVALDEVICECLASS), u"The device class is not valid or not supported."},
      {PhoneMessage(PHONEERR_INVALEXTVERSION), u"The extension version is not valid."},
      {PhoneMessage(PHONEERR_INVALHOOKSWITCHDEV), u"The hookswitch device is not valid."},
      {PhoneMessage(PHONEERR_INVALHOOKSWITCHMODE), u"The hookswitch mode is not valid."},
      {PhoneMessage(PHONEERR_INVALLAMPMODE), u"The lamp mode is not valid."},
      {PhoneMessage(PHONEERR_INVALPARAM), u"A parameter is not valid."},
      {PhoneMessage(PHONEERR_INVALPHONEHANDLE), u"The phone handle is not valid."},
      {PhoneMessage(PHONEERR_INVALPHONESTATE),
       u"The phone is not in a state that allows this operation."},
      {PhoneMessage(PHONEERR_INVALPOINTER),
       u"A pointer passed to the telephony service is not valid."},
      {PhoneMessage(PHONEERR_INVALPRIVILEGE), u"The privilege is not valid."},
      {PhoneMessage(PHONEERR_INVALRINGMODE), u"The ring mode is not valid."},
      {PhoneMessage(PHONEERR_NODEVICE), u"The phone device has been removed."},
      {PhoneMessage(PHONEERR_NODRIVER),
       u"The telephony service provider for this phone is missing or not working."},
      {PhoneMessage(PHONEERR_NOMEM), u"There is not enough memory to complete the operation."},
      {PhoneMessage(PHONEERR_NOTOWNER), u"The application does not own the phone."},
      {PhoneMessage(PHONEERR_OPERATIONFAILED),
       u"The phone operation failed for an unspecified reason."},
      {PhoneMessage(PHONEERR_OPERATIONUNAVAIL), u"The operation is not available on this phone."},
      {PhoneMessage(PHONEERR_RESOURCEUNAVAIL),
       u"The resources needed for the operation are not available."},
      {PhoneMessage(PHONEERR_REQUESTOVERRUN), u"Too many phone requests are outstanding."},
      {PhoneMessage(PHONEERR_STRUCTURETOOSMALL), u"The buffer is too small for the structure."},
      {PhoneMessage(PHONEERR_UNINITIALIZED), u"The telephony service has not been initialized."},
      {PhoneMessage(PHONEERR_REINIT),
       u"The telephony service is restarting; initialize again later."},
      {PhoneMessage(PHONEERR_DISCONNECTED), u"The connection to the telephony server was lost."},
      {PhoneMessage(PHONEERR_SERVICE_NOT_RUNNING), u"The telephony service is not running."},

      {RequestMessage(TAPIERR_DROPPED), u"The call was dropped."},
      {RequestMessage(TAPIERR_NOREQUESTRECIPIENT),
       u"No application is available to place the call."},
      {RequestMessage(TAPIERR_REQUESTQUEUEFULL), u"Too many call requests are waiting."},
      {RequestMessage(TAPIERR_INVALDESTADDRESS), u"The destination number is not valid."},
      {RequestMessage(TAPIERR_INVALWINDOWHANDLE), u"The window handle is not valid."},
      {RequestMessage(TAPIERR_INVALDEVICECLASS), u"The device class is not valid."},
      {RequestMessage(TAPIERR_INVALDEVICEID), u"The device ID is not valid."},
      {RequestMessage(TAPIERR_DEVICECLASSUNAVAIL), u"The device class is not available."},
      {RequestMessage(TAPIERR_DEVICEIDUNAVAIL), u"The device is not available."},
      {RequestMessage(TAPIERR_DEVICEINUSE), u"The device is in use."},
      {RequestMessage(TAPIERR_DESTBUSY), u"The called number is busy."},
      {RequestMessage(TAPIERR_DESTNOANSWER), u"The called party does not answer."},
      {RequestMessage(TAPIERR_DESTUNAVAIL), u"The called number cannot be reached."},
      {RequestMessage(TAPIERR_UNKNOWNWINHANDLE), u"The window handle is not known."},
      {RequestMessage(TAPIERR_UNKNOWNREQUESTID), u"The request ID is not known."},
      {RequestMessage(TAPIERR_REQUESTFAILED), u"The call request failed."},
      {RequestMessage(TAPIERR_REQUESTCANCELLED), u"The call request was cancelled."},
      {RequestMessage(TAPIERR_INVALPOINTER), u"A pointer is not valid."},
      {RequestMessage(TAPIERR_NOTADMIN), u"Administrator rights are needed for this operation."},
      {RequestMessage(TAPIERR_MMCWRITELOCKED),
       u"The telephony settings are locked by another program."},
      {RequestMessage(TAPIERR_PROVIDERALREADYINSTALLED),
       u"The telephony service provider is already installed."},
      {RequestMessage(TAPIERR_SCP_ALREADY_EXISTS), u"The service connection point already exists."},
      {RequestMessage(TAPIERR_SCP_DOES_NOT_EXIST), u"The service connection point does not exist."},
  };
  return table;
}

// The user-interface module only knows the errors its dialogs produce.
const Table& TapiUiTable() {
  static const Table table = {
      {LineMessage(LINEERR_USERCANCELLED), u"The dialog was closed without saving."},
      {LineMessage(LINEERR_INVALLOCATION), u"Choose a dialing location before you continue."},
      {LineMessage(LINEERR_INVALCARD), u"Choose a calling card before you continue."},
  };
  return table;
}

std::optional<std::u16string> Lookup(const Table& table, uint32_t messageId) {
  auto it = table.find(messageId);
  if (it == table.end()) return std::nullopt;
  return std::u16string(it->second);
}

[[maybe_unused]] const bool kRegistered = [] {
  platform::RegisterModule("TAPI32.DLL", [](uint32_t id) { return Lookup(Tapi32Table(), id); });
  platform::RegisterModule("TAPIUI.DLL", [](uint32_t id) { return Lookup(TapiUiTable(), id); });
  return true;
}();

}  // namespace

}  // namespace tapi32
