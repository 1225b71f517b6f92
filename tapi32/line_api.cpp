// The line entry points: each counts itself, honours an injected fault, then asks the runtime.
#include "tapi32/server.h"
#include "tapi32/tapi.h"

extern "C" {

LONG lineInitializeExW(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK, LPCWSTR lpszFriendlyAppName,
                       LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                       LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) {
  TAPI32_ENTER(lineInitializeExW)
  return tapi32::Server::Instance().LineInitialize(lphLineApp, lpszFriendlyAppName, lpdwNumDevs,
                                                   lpdwAPIVersion, lpLineInitializeExParams);
}

LONG lineShutdown(HLINEAPP hLineApp) {
  TAPI32_ENTER(lineShutdown)
  return tapi32::Server::Instance().LineShutdown(hLineApp);
}

LONG lineGetMessage(HLINEAPP hLineApp, LPLINEMESSAGE lpMessage, DWORD dwTimeout) {
  TAPI32_ENTER(lineGetMessage)
  return tapi32::Server::Instance().LineGetMessage(hLineApp, lpMessage, dwTimeout);
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                             LPLINEEXTENSIONID lpExtensionID) {
  TAPI32_ENTER(lineNegotiateAPIVersion)
  return tapi32::Server::Instance().LineNegotiateAPIVersion(
      hLineApp, dwDeviceID, dwAPILowVersion, dwAPIHighVersion, lpdwAPIVersion, lpExtensionID);
}

LONG lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                             DWORD dwExtLowVersion, DWORD dwExtHighVersion,
                             LPDWORD lpdwExtVersion) {
  TAPI32_ENTER(lineNegotiateExtVersion)
  return tapi32::Server::Instance().LineNegotiateExtVersion(
      hLineApp, dwDeviceID, dwAPIVersion, dwExtLowVersion, dwExtHighVersion, lpdwExtVersion);
}

LONG lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     LPLINEDEVCAPS lpLineDevCaps) {
  TAPI32_ENTER(lineGetDevCapsW)
  return tapi32::Server::Instance().LineGetDevCaps(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                                   lpLineDevCaps);
}

LONG lineRegisterRequestRecipient(HLINEAPP hLineApp, DWORD dwRegistrationInstance,
                                  DWORD dwRequestMode, DWORD bEnable) {
  TAPI32_ENTER(lineRegisterRequestRecipient)
  return tapi32::Server::Instance().LineRegisterRequestRecipient(hLineApp, dwRegistrationInstance,
                                                                 dwRequestMode, bEnable);
}

LONG lineGetRequestW(HLINEAPP hLineApp, DWORD dwRequestMode, LPVOID lpRequestBuffer) {
  TAPI32_ENTER(lineGetRequestW)
  return tapi32::Server::Instance().LineGetRequest(hLineApp, dwRequestMode, lpRequestBuffer);
}

}  // extern "C"
