// The phone entry points: each counts itself, honours an injected fault, then asks the runtime.
#include "tapi32/server.h"
#include "tapi32/tapi.h"

extern "C" {

LONG phoneInitializeExW(LPHPHONEAPP lphPhoneApp, HINSTANCE, PHONECALLBACK,
                        LPCWSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                        LPPHONEINITIALIZEEXPARAMS lpPhoneInitializeExParams) {
  TAPI32_ENTER(phoneInitializeExW)
  return tapi32::Server::Instance().PhoneInitialize(lphPhoneApp, lpszFriendlyAppName, lpdwNumDevs,
                                                    lpdwAPIVersion, lpPhoneInitializeExParams);
}

LONG phoneShutdown(HPHONEAPP hPhoneApp) {
  TAPI32_ENTER(phoneShutdown)
  return tapi32::Server::Instance().PhoneShutdown(hPhoneApp);
}

LONG phoneGetMessage(HPHONEAPP hPhoneApp, LPPHONEMESSAGE lpMessage, DWORD dwTimeout) {
  TAPI32_ENTER(phoneGetMessage)
  return tapi32::Server::Instance().PhoneGetMessage(hPhoneApp, lpMessage, dwTimeout);
}

LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                              DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                              LPPHONEEXTENSIONID lpExtensionID) {
  TAPI32_ENTER(phoneNegotiateAPIVersion)
  return tapi32::Server::Instance().PhoneNegotiateAPIVersion(
      hPhoneApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion, lpdwAPIVersion, lpExtensionID);
}

LONG phoneNegotiateExtVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                              DWORD dwExtLowVersion, DWORD dwExtHighVersion,
                              LPDWORD lpdwExtVersion) {
  TAPI32_ENTER(phoneNegotiateExtVersion)
  return tapi32::Server::Instance().PhoneNegotiateExtVersion(
      hPhoneApp, dwDeviceID, dwAPIVersion, dwExtLowVersion, dwExtHighVersion, lpdwExtVersion);
}

LONG phoneGetDevCapsW(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                      LPPHONECAPS lpPhoneCaps) {
  TAPI32_ENTER(phoneGetDevCapsW)
  return tapi32::Server::Instance().PhoneGetDevCaps(hPhoneApp, dwDeviceID, dwAPIVersion,
                                                    dwExtVersion, lpPhoneCaps);
}

LONG phoneOpen(HPHONEAPP, DWORD, LPHPHONE, DWORD, DWORD, DWORD, DWORD) {
  TAPI32_ENTER(phoneOpen)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneClose(HPHONE) {
  TAPI32_ENTER(phoneClose)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetStatusW(HPHONE, LPPHONESTATUS) {
  TAPI32_ENTER(phoneGetStatusW)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetStatusMessages(HPHONE, DWORD, DWORD, DWORD) {
  TAPI32_ENTER(phoneSetStatusMessages)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetStatusMessages(HPHONE, LPDWORD, LPDWORD, LPDWORD) {
  TAPI32_ENTER(phoneGetStatusMessages)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetHookSwitch(HPHONE, DWORD, DWORD) {
  TAPI32_ENTER(phoneSetHookSwitch)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetHookSwitch(HPHONE, LPDWORD) {
  TAPI32_ENTER(phoneGetHookSwitch)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetDisplay(HPHONE, DWORD, DWORD, LPCSTR, DWORD) {
  TAPI32_ENTER(phoneSetDisplay)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetDisplay(HPHONE, LPVARSTRING) {
  TAPI32_ENTER(phoneGetDisplay)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetRing(HPHONE, DWORD, DWORD) {
  TAPI32_ENTER(phoneSetRing)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetRing(HPHONE, LPDWORD, LPDWORD) {
  TAPI32_ENTER(phoneGetRing)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetLamp(HPHONE, DWORD, DWORD) {
  TAPI32_ENTER(phoneSetLamp)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetLamp(HPHONE, DWORD, LPDWORD) {
  TAPI32_ENTER(phoneGetLamp)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetButtonInfoW(HPHONE, DWORD, LPPHONEBUTTONINFO) {
  TAPI32_ENTER(phoneGetButtonInfoW)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetButtonInfoW(HPHONE, DWORD, const PHONEBUTTONINFO*) {
  TAPI32_ENTER(phoneSetButtonInfoW)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetVolume(HPHONE, DWORD, DWORD) {
  TAPI32_ENTER(phoneSetVolume)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetVolume(HPHONE, DWORD, LPDWORD) {
  TAPI32_ENTER(phoneGetVolume)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetGain(HPHONE, DWORD, DWORD) {
  TAPI32_ENTER(phoneSetGain)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetGain(HPHONE, DWORD, LPDWORD) {
  TAPI32_ENTER(phoneGetGain)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneDevSpecific(HPHONE, LPVOID, DWORD) {
  TAPI32_ENTER(phoneDevSpecific)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetIDW(HPHONE, LPVARSTRING, LPCWSTR) {
  TAPI32_ENTER(phoneGetIDW)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneGetIconW(DWORD, LPCWSTR, LPHICON) {
  TAPI32_ENTER(phoneGetIconW)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneConfigDialogW(DWORD, HWND, LPCWSTR) {
  TAPI32_ENTER(phoneConfigDialogW)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

}  // extern "C"
