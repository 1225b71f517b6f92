// Makes tapi32's dialogs available: phoneConfigDialogW, lineConfigDialogW and
// lineTranslateDialogW. Call once, on the thread that runs the QApplication, before the dialogs
// are asked for.
#pragma once

namespace tapi32ui {

void Register();
// Withdraws the dialogs: their entry points answer LINEERR_OPERATIONUNAVAIL
// (PHONEERR_OPERATIONUNAVAIL) again.
void Unregister();

}  // namespace tapi32ui
