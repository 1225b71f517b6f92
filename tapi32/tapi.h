// The Telephony API 2.x for Linux: the C entry points of tapi32 with TAPI's own names,
// arguments and results. Results below 0 (as signed 32-bit values) are LINEERR_/PHONEERR_
// codes; asynchronous functions return a positive request ID and answer later with
// LINE_REPLY / PHONE_REPLY.
#pragma once

#include "tapi32/tapi_constants.h"
#include "tapi32/tapi_structs.h"

using LINECALLBACK = void (*)(DWORD hDevice, DWORD dwMessage, DWORD dwInstance, DWORD dwParam1,
                              DWORD dwParam2, DWORD dwParam3);
using PHONECALLBACK = LINECALLBACK;

extern "C" {

LONG lineInitializeExW(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                       LPCWSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                       LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams);
LONG lineShutdown(HLINEAPP hLineApp);
LONG lineGetMessage(HLINEAPP hLineApp, LPLINEMESSAGE lpMessage, DWORD dwTimeout);
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                             LPLINEEXTENSIONID lpExtensionID);
LONG lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                             DWORD dwExtLowVersion, DWORD dwExtHighVersion, LPDWORD lpdwExtVersion);
LONG lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     LPLINEDEVCAPS lpLineDevCaps);
LONG lineRegisterRequestRecipient(HLINEAPP hLineApp, DWORD dwRegistrationInstance,
                                  DWORD dwRequestMode, DWORD bEnable);
LONG lineGetRequestW(HLINEAPP hLineApp, DWORD dwRequestMode, LPVOID lpRequestBuffer);
LONG lineGetLineDevStatusW(HLINE hLine, LPLINEDEVSTATUS lpLineDevStatus);
LONG lineGetAddressCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                         DWORD dwExtVersion, LPLINEADDRESSCAPS lpAddressCaps);
LONG lineGetAddressStatusW(HLINE hLine, DWORD dwAddressID, LPLINEADDRESSSTATUS lpAddressStatus);
LONG lineGetCallInfoW(HCALL hCall, LPLINECALLINFO lpCallInfo);
LONG lineGetCallStatus(HCALL hCall, LPLINECALLSTATUS lpCallStatus);
LONG lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
               const LINECALLPARAMS* lpCallParams);
LONG lineClose(HLINE hLine);
LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates);
LONG lineGetStatusMessages(HLINE hLine, LPDWORD lpdwLineStates, LPDWORD lpdwAddressStates);
LONG lineGetNewCalls(HLINE hLine, DWORD dwAddressID, DWORD dwSelect, LPLINECALLLIST lpCallList);
LONG lineDeallocateCall(HCALL hCall);
LONG lineSetCallPrivilege(HCALL hCall, DWORD dwCallPrivilege);
LONG lineGetIconW(DWORD dwDeviceID, LPCWSTR lpszDeviceClass, LPHICON lphIcon);
// Related devices: the IDs of the devices of another class that belong to a line, one of its
// addresses or a call (dwSelect: LINECALLSELECT_LINE, _ADDRESS or _CALL), as a VARSTRING.
// For "comm/datamodem" the handle in the first DWORD is a POSIX file descriptor of the call's
// data connection (a terminal in raw mode), new for every call; the application closes it.
LONG lineGetIDW(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, LPVARSTRING lpDeviceID,
                LPCWSTR lpszDeviceClass);
LONG lineConfigDialogW(DWORD dwDeviceID, HWND hwndOwner, LPCWSTR lpszDeviceClass);

// Dialing locations, countries and address translation.
LONG lineGetTranslateCapsW(HLINEAPP hLineApp, DWORD dwAPIVersion,
                           LPLINETRANSLATECAPS lpTranslateCaps);
LONG lineSetCurrentLocation(HLINEAPP hLineApp, DWORD dwLocation);
LONG lineTranslateAddressW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                           LPCWSTR lpszAddressIn, DWORD dwCard, DWORD dwTranslateOptions,
                           LPLINETRANSLATEOUTPUT lpTranslateOutput);
LONG lineGetCountryW(DWORD dwCountryID, DWORD dwAPIVersion, LPLINECOUNTRYLIST lpLineCountryList);
LONG lineTranslateDialogW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, HWND hwndOwner,
                          LPCWSTR lpszAddressIn);
// Asynchronous: a request ID, then LINE_REPLY; the call goes IDLE after a successful reply.
LONG lineDrop(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize);

// Call control. Unless marked synchronous, each returns a request ID and answers with
// LINE_REPLY; the operation takes effect only when the reply succeeds. Variables for new call
// handles (lphCall, lphConsultCall, lphConfCall), the completion ID and the non-directed park
// address are written at that moment and never when the request fails, so they must stay valid
// until the reply.
LONG lineAccept(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize);
LONG lineAnswer(HCALL hCall, LPCSTR lpsUserUserInfo, DWORD dwSize);
LONG lineMakeCallW(HLINE hLine, LPHCALL lphCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode,
                   const LINECALLPARAMS* lpCallParams);
LONG lineDialW(HCALL hCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode);
LONG lineHold(HCALL hCall);
LONG lineUnhold(HCALL hCall);
LONG lineSwapHold(HCALL hActiveCall, HCALL hHeldCall);
LONG lineParkW(HCALL hCall, DWORD dwParkMode, LPCWSTR lpszDirAddress, LPVARSTRING lpNonDirAddress);
LONG lineUnparkW(HLINE hLine, DWORD dwAddressID, LPHCALL lphCall, LPCWSTR lpszDestAddress);
LONG linePickupW(HLINE hLine, DWORD dwAddressID, LPHCALL lphCall, LPCWSTR lpszDestAddress,
                 LPCWSTR lpszGroupID);
LONG lineRedirectW(HCALL hCall, LPCWSTR lpszDestAddress, DWORD dwCountryCode);
LONG lineBlindTransferW(HCALL hCall, LPCWSTR lpszDestAddressW, DWORD dwCountryCode);
LONG lineSetupTransferW(HCALL hCall, LPHCALL lphConsultCall, const LINECALLPARAMS* lpCallParams);
LONG lineCompleteTransfer(HCALL hCall, HCALL hConsultCall, LPHCALL lphConfCall,
                          DWORD dwTransferMode);
LONG lineSetupConferenceW(HCALL hCall, HLINE hLine, LPHCALL lphConfCall, LPHCALL lphConsultCall,
                          DWORD dwNumParties, const LINECALLPARAMS* lpCallParams);
LONG linePrepareAddToConferenceW(HCALL hConfCall, LPHCALL lphConsultCall,
                                 const LINECALLPARAMS* lpCallParams);
LONG lineAddToConference(HCALL hConfCall, HCALL hConsultCall);
LONG lineRemoveFromConference(HCALL hCall);
LONG lineCompleteCall(HCALL hCall, LPDWORD lpdwCompletionID, DWORD dwCompletionMode,
                      DWORD dwMessageID);
LONG lineUncompleteCall(HLINE hLine, DWORD dwCompletionID);
LONG lineSetCallData(HCALL hCall, LPVOID lpCallData, DWORD dwSize);
// lpParams is the provider's to fill in until the reply.
LONG lineDevSpecific(HLINE hLine, DWORD dwAddressID, HCALL hCall, LPVOID lpParams, DWORD dwSize);
LONG lineDevSpecificFeature(HLINE hLine, DWORD dwFeature, LPVOID lpParams, DWORD dwSize);
// Synchronous: 0 or an error at once. Generation ends with LINE_GENERATE; detected tones and
// media modes arrive as LINE_MONITORTONE / LINE_MONITORMEDIA.
LONG lineGenerateDigitsW(HCALL hCall, DWORD dwDigitMode, LPCWSTR lpszDigits, DWORD dwDuration);
LONG lineGenerateTone(HCALL hCall, DWORD dwToneMode, DWORD dwDuration, DWORD dwNumTones,
                      const LINEGENERATETONE* lpTones);
LONG lineMonitorTones(HCALL hCall, const LINEMONITORTONE* lpToneList, DWORD dwNumEntries);
LONG lineMonitorMedia(HCALL hCall, DWORD dwMediaModes);
LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes);
LONG lineGatherDigitsW(HCALL hCall, DWORD dwDigitModes, LPWSTR lpsDigits, DWORD dwNumDigits,
                       LPCWSTR lpszTerminationDigits, DWORD dwFirstDigitTimeout,
                       DWORD dwInterDigitTimeout);
LONG lineHandoffW(HCALL hCall, LPCWSTR lpszFileName, DWORD dwMediaMode);
LONG lineGetConfRelatedCalls(HCALL hCall, LPLINECALLLIST lpCallList);
LONG lineSetMediaMode(HCALL hCall, DWORD dwMediaModes);
LONG lineForwardW(HLINE hLine, DWORD bAllAddresses, DWORD dwAddressID,
                  const LINEFORWARDLIST* lpForwardList, DWORD dwNumRingsNoAnswer,
                  LPHCALL lphConsultCall, const LINECALLPARAMS* lpCallParams);

LONG phoneInitializeExW(LPHPHONEAPP lphPhoneApp, HINSTANCE hInstance, PHONECALLBACK lpfnCallback,
                        LPCWSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                        LPPHONEINITIALIZEEXPARAMS lpPhoneInitializeExParams);
LONG phoneShutdown(HPHONEAPP hPhoneApp);
LONG phoneGetMessage(HPHONEAPP hPhoneApp, LPPHONEMESSAGE lpMessage, DWORD dwTimeout);
LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                              DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                              LPPHONEEXTENSIONID lpExtensionID);
LONG phoneNegotiateExtVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                              DWORD dwExtLowVersion, DWORD dwExtHighVersion,
                              LPDWORD lpdwExtVersion);
LONG phoneGetDevCapsW(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                      LPPHONECAPS lpPhoneCaps);

// Phone devices. phoneOpen writes the handle on success only. Unless marked synchronous, the
// set functions return a request ID and answer with PHONE_REPLY; the change takes effect (and
// its PHONE_STATE messages follow) only when the reply succeeds. A monitor's writes fail with
// PHONEERR_NOTOWNER.
LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, LPHPHONE lphPhone, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD dwCallbackInstance, DWORD dwPrivilege);
LONG phoneClose(HPHONE hPhone);
LONG phoneGetStatusW(HPHONE hPhone, LPPHONESTATUS lpPhoneStatus);
// Synchronous: which PHONE_STATE and PHONE_BUTTON messages this open receives.
LONG phoneSetStatusMessages(HPHONE hPhone, DWORD dwPhoneStates, DWORD dwButtonModes,
                            DWORD dwButtonStates);
LONG phoneGetStatusMessages(HPHONE hPhone, LPDWORD lpdwPhoneStates, LPDWORD lpdwButtonModes,
                            LPDWORD lpdwButtonStates);
LONG phoneSetHookSwitch(HPHONE hPhone, DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode);
// Synchronous: the hook-switch devices that are off hook.
LONG phoneGetHookSwitch(HPHONE hPhone, LPDWORD lpdwHookSwitchDevs);
LONG phoneSetDisplay(HPHONE hPhone, DWORD dwRow, DWORD dwColumn, LPCSTR lpsDisplay, DWORD dwSize);
LONG phoneGetDisplay(HPHONE hPhone, LPVARSTRING lpDisplay);
LONG phoneSetRing(HPHONE hPhone, DWORD dwRingMode, DWORD dwVolume);
LONG phoneGetRing(HPHONE hPhone, LPDWORD lpdwRingMode, LPDWORD lpdwVolume);
LONG phoneSetLamp(HPHONE hPhone, DWORD dwButtonLampID, DWORD dwLampMode);
LONG phoneGetLamp(HPHONE hPhone, DWORD dwButtonLampID, LPDWORD lpdwLampMode);
LONG phoneGetButtonInfoW(HPHONE hPhone, DWORD dwButtonLampID, LPPHONEBUTTONINFO lpButtonInfo);
// lpButtonInfo is copied when the function is called.
LONG phoneSetButtonInfoW(HPHONE hPhone, DWORD dwButtonLampID, const PHONEBUTTONINFO* lpButtonInfo);
LONG phoneSetVolume(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwVolume);
LONG phoneGetVolume(HPHONE hPhone, DWORD dwHookSwitchDev, LPDWORD lpdwVolume);
LONG phoneSetGain(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwGain);
LONG phoneGetGain(HPHONE hPhone, DWORD dwHookSwitchDev, LPDWORD lpdwGain);
// lpParams is the provider's to fill in until the reply.
LONG phoneDevSpecific(HPHONE hPhone, LPVOID lpParams, DWORD dwSize);
LONG phoneGetIDW(HPHONE hPhone, LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass);
LONG phoneGetIconW(DWORD dwDeviceID, LPCWSTR lpszDeviceClass, LPHICON lphIcon);
// Shows the phone's configuration dialog when a dialog module has registered itself (see
// tapi32/dialogs.h); PHONEERR_OPERATIONUNAVAIL otherwise.
LONG phoneConfigDialogW(DWORD dwDeviceID, HWND hwndOwner, LPCWSTR lpszDeviceClass);

}  // extern "C"
