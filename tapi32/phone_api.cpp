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

}  // extern "C"
