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

LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, LPHPHONE lphPhone, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD dwCallbackInstance, DWORD dwPrivilege) {
  TAPI32_ENTER(phoneOpen)
  return tapi32::Server::Instance().PhoneOpen(hPhoneApp, dwDeviceID, lphPhone, dwAPIVersion,
                                              dwExtVersion, dwCallbackInstance, dwPrivilege);
}

LONG phoneClose(HPHONE hPhone) {
  TAPI32_ENTER(phoneClose)
  return tapi32::Server::Instance().PhoneClose(hPhone);
}

LONG phoneGetStatusW(HPHONE hPhone, LPPHONESTATUS lpPhoneStatus) {
  TAPI32_ENTER(phoneGetStatusW)
  return tapi32::Server::Instance().PhoneGetStatus(hPhone, lpPhoneStatus);
}

LONG phoneSetStatusMessages(HPHONE hPhone, DWORD dwPhoneStates, DWORD dwButtonModes,
                            DWORD dwButtonStates) {
  TAPI32_ENTER(phoneSetStatusMessages)
  return tapi32::Server::Instance().PhoneSetStatusMessages(hPhone, dwPhoneStates, dwButtonModes,
                                                           dwButtonStates);
}

LONG phoneGetStatusMessages(HPHONE hPhone, LPDWORD lpdwPhoneStates, LPDWORD lpdwButtonModes,
                            LPDWORD lpdwButtonStates) {
  TAPI32_ENTER(phoneGetStatusMessages)
  return tapi32::Server::Instance().PhoneGetStatusMessages(hPhone, lpdwPhoneStates, lpdwButtonModes,
                                                           lpdwButtonStates);
}

LONG phoneSetHookSwitch(HPHONE hPhone, DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode) {
  TAPI32_ENTER(phoneSetHookSwitch)
  return tapi32::Server::Instance().PhoneSetHookSwitch(hPhone, dwHookSwitchDevs, dwHookSwitchMode);
}

LONG phoneGetHookSwitch(HPHONE hPhone, LPDWORD lpdwHookSwitchDevs) {
  TAPI32_ENTER(phoneGetHookSwitch)
  return tapi32::Server::Instance().PhoneGetHookSwitch(hPhone, lpdwHookSwitchDevs);
}

LONG phoneSetDisplay(HPHONE hPhone, DWORD dwRow, DWORD dwColumn, LPCSTR lpsDisplay, DWORD dwSize) {
  TAPI32_ENTER(phoneSetDisplay)
  return tapi32::Server::Instance().PhoneSetDisplay(hPhone, dwRow, dwColumn, lpsDisplay, dwSize);
}

LONG phoneGetDisplay(HPHONE hPhone, LPVARSTRING lpDisplay) {
  TAPI32_ENTER(phoneGetDisplay)
  return tapi32::Server::Instance().PhoneGetDisplay(hPhone, lpDisplay);
}

LONG phoneSetRing(HPHONE hPhone, DWORD dwRingMode, DWORD dwVolume) {
  TAPI32_ENTER(phoneSetRing)
  return tapi32::Server::Instance().PhoneSetRing(hPhone, dwRingMode, dwVolume);
}

LONG phoneGetRing(HPHONE hPhone, LPDWORD lpdwRingMode, LPDWORD lpdwVolume) {
  TAPI32_ENTER(phoneGetRing)
  return tapi32::Server::Instance().PhoneGetRing(hPhone, lpdwRingMode, lpdwVolume);
}

LONG phoneSetLamp(HPHONE hPhone, DWORD dwButtonLampID, DWORD dwLampMode) {
  TAPI32_ENTER(phoneSetLamp)
  return tapi32::Server::Instance().PhoneSetLamp(hPhone, dwButtonLampID, dwLampMode);
}

LONG phoneGetLamp(HPHONE hPhone, DWORD dwButtonLampID, LPDWORD lpdwLampMode) {
  TAPI32_ENTER(phoneGetLamp)
  return tapi32::Server::Instance().PhoneGetLamp(hPhone, dwButtonLampID, lpdwLampMode);
}

LONG phoneGetButtonInfoW(HPHONE hPhone, DWORD dwButtonLampID, LPPHONEBUTTONINFO lpButtonInfo) {
  TAPI32_ENTER(phoneGetButtonInfoW)
  return tapi32::Server::Instance().PhoneGetButtonInfo(hPhone, dwButtonLampID, lpButtonInfo);
}

// The switch's buttons are fixed by its configuration; PHONECAPS offers no SETBUTTONINFO.
LONG phoneSetButtonInfoW(HPHONE, DWORD, const PHONEBUTTONINFO*) {
  TAPI32_ENTER(phoneSetButtonInfoW)
  return static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL);
}

LONG phoneSetVolume(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwVolume) {
  TAPI32_ENTER(phoneSetVolume)
  return tapi32::Server::Instance().PhoneSetLevel(hPhone, true, dwHookSwitchDev, dwVolume);
}

LONG phoneGetVolume(HPHONE hPhone, DWORD dwHookSwitchDev, LPDWORD lpdwVolume) {
  TAPI32_ENTER(phoneGetVolume)
  return tapi32::Server::Instance().PhoneGetLevel(hPhone, true, dwHookSwitchDev, lpdwVolume);
}

LONG phoneSetGain(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwGain) {
  TAPI32_ENTER(phoneSetGain)
  return tapi32::Server::Instance().PhoneSetLevel(hPhone, false, dwHookSwitchDev, dwGain);
}

LONG phoneGetGain(HPHONE hPhone, DWORD dwHookSwitchDev, LPDWORD lpdwGain) {
  TAPI32_ENTER(phoneGetGain)
  return tapi32::Server::Instance().PhoneGetLevel(hPhone, false, dwHookSwitchDev, lpdwGain);
}

LONG phoneDevSpecific(HPHONE hPhone, LPVOID lpParams, DWORD dwSize) {
  TAPI32_ENTER(phoneDevSpecific)
  return tapi32::Server::Instance().PhoneDevSpecificRequest(hPhone, lpParams, dwSize);
}

LONG phoneGetIDW(HPHONE hPhone, LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass) {
  TAPI32_ENTER(phoneGetIDW)
  return tapi32::Server::Instance().PhoneGetId(hPhone, lpDeviceID, lpszDeviceClass);
}

LONG phoneGetIconW(DWORD dwDeviceID, LPCWSTR lpszDeviceClass, LPHICON lphIcon) {
  TAPI32_ENTER(phoneGetIconW)
  return tapi32::Server::Instance().PhoneGetIcon(dwDeviceID, lpszDeviceClass, lphIcon);
}

LONG phoneConfigDialogW(DWORD dwDeviceID, HWND hwndOwner, LPCWSTR lpszDeviceClass) {
  TAPI32_ENTER(phoneConfigDialogW)
  return tapi32::Server::Instance().PhoneConfigDialog(dwDeviceID, hwndOwner, lpszDeviceClass);
}

}  // extern "C"
