#pragma once
// The four windows of the program. The entry creates them in this order and they live until the
// program ends: frmMain (the application's main window), frmNastaveni (owns both definition
// tables), frmAbout, frmPrepare.

namespace kdx::app {

class TfrmMain;
class TfrmNastaveni;
class TfrmAbout;
class TfrmPrepare;

extern TfrmMain* frmMain;
extern TfrmNastaveni* frmNastaveni;
extern TfrmAbout* frmAbout;
extern TfrmPrepare* frmPrepare;

// Creates the four windows, hidden, in the order above. Needs the application object.
void CreateForms();
// Destroys them in the reverse order and sets the pointers to null (tests call it between runs).
void DestroyForms();

}  // namespace kdx::app
