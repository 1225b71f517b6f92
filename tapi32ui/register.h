// Makes tapi32's configuration dialogs available (phoneConfigDialogW). Call once, on the thread
// that runs the QApplication, before the dialogs are asked for.
#pragma once

namespace tapi32ui {

void Register();
// Withdraws the dialogs: phoneConfigDialogW answers PHONEERR_OPERATIONUNAVAIL again.
void Unregister();

}  // namespace tapi32ui
