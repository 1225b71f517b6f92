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

extern "C" {

LONG lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
               const LINECALLPARAMS* lpCallParams) {
  TAPI32_ENTER(lineOpenW)
  return tapi32::Server::Instance().LineOpen(hLineApp, dwDeviceID, lphLine, dwAPIVersion,
                                             dwExtVersion, dwCallbackInstance, dwPrivileges,
                                             dwMediaModes, lpCallParams);
}

LONG lineClose(HLINE hLine) {
  TAPI32_ENTER(lineClose)
  return tapi32::Server::Instance().LineClose(hLine);
}

LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates) {
  TAPI32_ENTER(lineSetStatusMessages)
  return tapi32::Server::Instance().LineSetStatusMessages(hLine, dwLineStates, dwAddressStates);
}

LONG lineGetStatusMessages(HLINE hLine, LPDWORD lpdwLineStates, LPDWORD lpdwAddressStates) {
  TAPI32_ENTER(lineGetStatusMessages)
  return tapi32::Server::Instance().LineGetStatusMessages(hLine, lpdwLineStates, lpdwAddressStates);
}

LONG lineGetLineDevStatusW(HLINE hLine, LPLINEDEVSTATUS lpLineDevStatus) {
  TAPI32_ENTER(lineGetLineDevStatusW)
  return tapi32::Server::Instance().LineGetLineDevStatus(hLine, lpLineDevStatus);
}

LONG lineGetAddressCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                         DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps) {
  TAPI32_ENTER(lineGetAddressCapsW)
  return tapi32::Server::Instance().LineGetAddressCaps(hLineApp, dwDeviceID, dwAddressID,
                                                       dwAPIVersion, dwExtVersion, lpAddressCaps);
}

LONG lineGetAddressStatusW(HLINE hLine, DWORD dwAddressID, LPLINEADDRESSSTATUS lpAddressStatus) {
  TAPI32_ENTER(lineGetAddressStatusW)
  return tapi32::Server::Instance().LineGetAddressStatus(hLine, dwAddressID, lpAddressStatus);
}

LONG lineGetNewCalls(HLINE hLine, DWORD dwAddressID, DWORD dwSelect, LPLINECALLLIST lpCallList) {
  TAPI32_ENTER(lineGetNewCalls)
  return tapi32::Server::Instance().LineGetNewCalls(hLine, dwAddressID, dwSelect, lpCallList);
}

LONG lineGetCallStatus(HCALL hCall, LPLINECALLSTATUS lpCallStatus) {
  TAPI32_ENTER(lineGetCallStatus)
  return tapi32::Server::Instance().LineGetCallStatus(hCall, lpCallStatus);
}

LONG lineGetCallInfoW(HCALL hCall, LPLINECALLINFO lpCallInfo) {
  TAPI32_ENTER(lineGetCallInfoW)
  return tapi32::Server::Instance().LineGetCallInfo(hCall, lpCallInfo);
}

LONG lineDeallocateCall(HCALL hCall) {
  TAPI32_ENTER(lineDeallocateCall)
  return tapi32::Server::Instance().LineDeallocateCall(hCall);
}

LONG lineSetCallPrivilege(HCALL hCall, DWORD dwCallPrivilege) {
  TAPI32_ENTER(lineSetCallPrivilege)
  return tapi32::Server::Instance().LineSetCallPrivilege(hCall, dwCallPrivilege);
}

LONG lineGetIconW(DWORD dwDeviceID, LPCWSTR lpszDeviceClass, LPHICON lphIcon) {
  TAPI32_ENTER(lineGetIconW)
  return tapi32::Server::Instance().LineGetIcon(dwDeviceID, lpszDeviceClass, lphIcon);
}

LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
  TAPI32_ENTER(lineDrop)
  return tapi32::Server::Instance().LineDrop(hCall, lpsUserUserInfo, dwSize);
}

LONG lineGetIDW(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, LPVARSTRING lpDeviceID,
                LPCWSTR lpszDeviceClass) {
  TAPI32_ENTER(lineGetIDW)
  return tapi32::Server::Instance().LineGetId(hLine, dwAddressID, hCall, dwSelect, lpDeviceID,
                                              lpszDeviceClass);
}

LONG lineConfigDialogW(DWORD dwDeviceID, HWND hwndOwner, LPCWSTR lpszDeviceClass) {
  TAPI32_ENTER(lineConfigDialogW)
  return tapi32::Server::Instance().LineConfigDialog(dwDeviceID, hwndOwner, lpszDeviceClass);
}

LONG lineGetTranslateCapsW(HLINEAPP hLineApp, DWORD dwAPIVersion,
                           LPLINETRANSLATECAPS lpTranslateCaps) {
  TAPI32_ENTER(lineGetTranslateCapsW)
  return tapi32::Server::Instance().LineGetTranslateCaps(hLineApp, dwAPIVersion, lpTranslateCaps);
}

LONG lineSetCurrentLocation(HLINEAPP hLineApp, DWORD dwLocation) {
  TAPI32_ENTER(lineSetCurrentLocation)
  return tapi32::Server::Instance().LineSetCurrentLocation(hLineApp, dwLocation);
}

LONG lineTranslateAddressW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                           LPCWSTR lpszAddressIn, DWORD dwCard, DWORD dwTranslateOptions,
                           LPLINETRANSLATEOUTPUT lpTranslateOutput) {
  TAPI32_ENTER(lineTranslateAddressW)
  return tapi32::Server::Instance().LineTranslateAddress(hLineApp, dwDeviceID, dwAPIVersion,
                                                         lpszAddressIn, dwCard, dwTranslateOptions,
                                                         lpTranslateOutput);
}

LONG lineGetCountryW(DWORD dwCountryID, DWORD dwAPIVersion, LPLINECOUNTRYLIST lpLineCountryList) {
  TAPI32_ENTER(lineGetCountryW)
  return tapi32::Server::Instance().LineGetCountry(dwCountryID, dwAPIVersion, lpLineCountryList);
}

LONG lineTranslateDialogW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                          LPCWSTR lpszAddressIn) {
  TAPI32_ENTER(lineTranslateDialogW)
  return tapi32::Server::Instance().LineTranslateDialog(hLineApp, dwDeviceID, dwAPIVersion,
                                                        hwndOwner, lpszAddressIn);
}

}  // extern "C"
