// The call-control entry points: each counts itself, honours an injected fault, then asks the
// runtime.
#include "tapi32/server.h"
#include "tapi32/tapi.h"

extern "C" {

LONG lineAccept(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
  TAPI32_ENTER(lineAccept)
  return tapi32::Server::Instance().LineAccept(hCall, lpsUserUserInfo, dwSize);
}

LONG lineAnswer(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize) {
  TAPI32_ENTER(lineAnswer)
  return tapi32::Server::Instance().LineAnswer(hCall, lpsUserUserInfo, dwSize);
}

LONG lineMakeCallW(HLINE hLine, LPHCALL lphCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode,
                   const LINECALLPARAMS* lpCallParams) {
  TAPI32_ENTER(lineMakeCallW)
  return tapi32::Server::Instance().LineMakeCall(hLine, lphCall, lpszDestAddress, dwCountryCode,
                                                 lpCallParams);
}

LONG lineDialW(HCALL hCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode) {
  TAPI32_ENTER(lineDialW)
  return tapi32::Server::Instance().LineDial(hCall, lpszDestAddress, dwCountryCode);
}

LONG lineHold(HCALL hCall) {
  TAPI32_ENTER(lineHold)
  return tapi32::Server::Instance().LineHold(hCall);
}

LONG lineUnhold(HCALL hCall) {
  TAPI32_ENTER(lineUnhold)
  return tapi32::Server::Instance().LineUnhold(hCall);
}

LONG lineSwapHold(HCALL hActiveCall, HCALL hHeldCall) {
  TAPI32_ENTER(lineSwapHold)
  return tapi32::Server::Instance().LineSwapHold(hActiveCall, hHeldCall);
}

LONG lineParkW(HCALL hCall, DWORD dwParkMode, LPCWSTR lpszDirAddress, LPVARSTRING lpNonDirAddress) {
  TAPI32_ENTER(lineParkW)
  return tapi32::Server::Instance().LinePark(hCall, dwParkMode, lpszDirAddress, lpNonDirAddress);
}

LONG lineUnparkW(HLINE hLine, DWORD dwAddressID, LPHCALL lphCall, LPCWSTR lpszDestAddress) {
  TAPI32_ENTER(lineUnparkW)
  return tapi32::Server::Instance().LineUnpark(hLine, dwAddressID, lphCall, lpszDestAddress);
}

LONG linePickupW(HLINE hLine, DWORD dwAddressID, LPHCALL lphCall, LPCWSTR lpszDestAddress,
                 LPCWSTR lpszGroupID) {
  TAPI32_ENTER(linePickupW)
  return tapi32::Server::Instance().LinePickup(hLine, dwAddressID, lphCall, lpszDestAddress,
                                               lpszGroupID);
}

LONG lineRedirectW(HCALL hCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode) {
  TAPI32_ENTER(lineRedirectW)
  return tapi32::Server::Instance().LineRedirect(hCall, lpszDestAddress, dwCountryCode);
}

LONG lineBlindTransferW(HCALL hCall, LPCWSTR lpszDestAddressW, DWORD dwCountryCode) {
  TAPI32_ENTER(lineBlindTransferW)
  return tapi32::Server::Instance().LineBlindTransfer(hCall, lpszDestAddressW, dwCountryCode);
}

LONG lineSetupTransferW(HCALL hCall, LPHCALL lphConsultCall, const LINECALLPARAMS* lpCallParams) {
  TAPI32_ENTER(lineSetupTransferW)
  return tapi32::Server::Instance().LineSetupTransfer(hCall, lphConsultCall, lpCallParams);
}

LONG lineCompleteTransfer(HCALL hCall, HCALL hConsultCall, LPHCALL lphConfCall,
                          DWORD dwTransferMode) {
  TAPI32_ENTER(lineCompleteTransfer)
  return tapi32::Server::Instance().LineCompleteTransfer(hCall, hConsultCall, lphConfCall,
                                                         dwTransferMode);
}

LONG lineSetupConferenceW(HCALL hCall, HLINE hLine, LPHCALL lphConfCall, LPHCALL lphConsultCall,
                          DWORD dwNumParties, const LINECALLPARAMS* lpCallParams) {
  TAPI32_ENTER(lineSetupConferenceW)
  return tapi32::Server::Instance().LineSetupConference(hCall, hLine, lphConfCall, lphConsultCall,
                                                        dwNumParties, lpCallParams);
}

LONG linePrepareAddToConferenceW(HCALL hConfCall, LPHCALL lphConsultCall,
                                 const LINECALLPARAMS* lpCallParams) {
  TAPI32_ENTER(linePrepareAddToConferenceW)
  return tapi32::Server::Instance().LinePrepareAddToConference(hConfCall, lphConsultCall,
                                                               lpCallParams);
}

LONG lineAddToConference(HCALL hConfCall, HCALL hConsultCall) {
  TAPI32_ENTER(lineAddToConference)
  return tapi32::Server::Instance().LineAddToConference(hConfCall, hConsultCall);
}

LONG lineRemoveFromConference(HCALL hCall) {
  TAPI32_ENTER(lineRemoveFromConference)
  return tapi32::Server::Instance().LineRemoveFromConference(hCall);
}

LONG lineCompleteCall(HCALL hCall, LPDWORD lpdwCompletionID, DWORD dwCompletionMode,
                      DWORD dwMessageID) {
  TAPI32_ENTER(lineCompleteCall)
  return tapi32::Server::Instance().LineCompleteCall(hCall, lpdwCompletionID, dwCompletionMode,
                                                     dwMessageID);
}

LONG lineUncompleteCall(HLINE hLine, DWORD dwCompletionID) {
  TAPI32_ENTER(lineUncompleteCall)
  return tapi32::Server::Instance().LineUncompleteCall(hLine, dwCompletionID);
}

LONG lineSetCallData(HCALL hCall, LPVOID lpCallData, DWORD dwSize) {
  TAPI32_ENTER(lineSetCallData)
  return tapi32::Server::Instance().LineSetCallData(hCall, lpCallData, dwSize);
}

LONG lineDevSpecific(HLINE hLine, DWORD dwAddressID, HCALL hCall, LPVOID lpParams, DWORD dwSize) {
  TAPI32_ENTER(lineDevSpecific)
  return tapi32::Server::Instance().LineDevSpecific(hLine, dwAddressID, hCall, lpParams, dwSize);
}

LONG lineDevSpecificFeature(HLINE hLine, DWORD dwFeature, LPVOID lpParams, DWORD dwSize) {
  TAPI32_ENTER(lineDevSpecificFeature)
  return tapi32::Server::Instance().LineDevSpecificFeature(hLine, dwFeature, lpParams, dwSize);
}

LONG lineGenerateDigitsW(HCALL hCall, DWORD dwDigitMode, LPCWSTR lpszDigits, DWORD dwDuration) {
  TAPI32_ENTER(lineGenerateDigitsW)
  return tapi32::Server::Instance().LineGenerateDigits(hCall, dwDigitMode, lpszDigits, dwDuration);
}

LONG lineGenerateTone(HCALL hCall, DWORD dwToneMode, DWORD dwDuration, DWORD dwNumTones,
                      const LINEGENERATETONE* lpTones) {
  TAPI32_ENTER(lineGenerateTone)
  return tapi32::Server::Instance().LineGenerateTone(hCall, dwToneMode, dwDuration, dwNumTones,
                                                     lpTones);
}

LONG lineMonitorTones(HCALL hCall, const LINEMONITORTONE* lpToneList, DWORD dwNumEntries) {
  TAPI32_ENTER(lineMonitorTones)
  return tapi32::Server::Instance().LineMonitorTones(hCall, lpToneList, dwNumEntries);
}

LONG lineMonitorMedia(HCALL hCall, DWORD dwMediaModes) {
  TAPI32_ENTER(lineMonitorMedia)
  return tapi32::Server::Instance().LineMonitorMedia(hCall, dwMediaModes);
}

LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes) {
  TAPI32_ENTER(lineMonitorDigits)
  return tapi32::Server::Instance().LineMonitorDigits(hCall, dwDigitModes);
}

LONG lineGatherDigitsW(HCALL hCall, DWORD dwDigitModes, LPWSTR lpsDigits, DWORD dwNumDigits,
                       LPCWSTR lpszTerminationDigits, DWORD dwFirstDigitTimeout,
                       DWORD dwInterDigitTimeout) {
  TAPI32_ENTER(lineGatherDigitsW)
  return tapi32::Server::Instance().LineGatherDigits(hCall, dwDigitModes, lpsDigits, dwNumDigits,
                                                     lpszTerminationDigits, dwFirstDigitTimeout,
                                                     dwInterDigitTimeout);
}

LONG lineHandoffW(HCALL hCall, LPCWSTR lpszFileName, DWORD dwMediaMode) {
  TAPI32_ENTER(lineHandoffW)
  return tapi32::Server::Instance().LineHandoff(hCall, lpszFileName, dwMediaMode);
}

LONG lineGetConfRelatedCalls(HCALL hCall, LPLINECALLLIST lpCallList) {
  TAPI32_ENTER(lineGetConfRelatedCalls)
  return tapi32::Server::Instance().LineGetConfRelatedCalls(hCall, lpCallList);
}

LONG lineSetMediaMode(HCALL hCall, DWORD dwMediaModes) {
  TAPI32_ENTER(lineSetMediaMode)
  return tapi32::Server::Instance().LineSetMediaMode(hCall, dwMediaModes);
}

LONG lineForwardW(HLINE hLine, DWORD bAllAddresses, DWORD dwAddressID,
                  const LINEFORWARDLIST* lpForwardList, DWORD dwNumRingsNoAnswer,
                  LPHCALL lphConsultCall, const LINECALLPARAMS* lpCallParams) {
  TAPI32_ENTER(lineForwardW)
  return tapi32::Server::Instance().LineForward(hLine, bAllAddresses, dwAddressID, lpForwardList,
                                                dwNumRingsNoAnswer, lphConsultCall, lpCallParams);
}

}  // extern "C"
