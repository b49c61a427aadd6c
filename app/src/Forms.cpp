#include "Forms.h"

#include "About.h"
#include "MainForm.h"
#include "Nastaveni.h"
#include "Prepare.h"

namespace kdx::app {

TfrmMain* frmMain = nullptr;
TfrmNastaveni* frmNastaveni = nullptr;
TfrmAbout* frmAbout = nullptr;
TfrmPrepare* frmPrepare = nullptr;

void CreateForms() {
  frmMain = new TfrmMain;
  // Owned by the main window: they stay above it without a task bar entry of their own, and
  // the mail hand-off, looking for the program's unowned main window as the owner of the
  // client's dialogs, passes them over.
  frmNastaveni = new TfrmNastaveni(frmMain);
  frmAbout = new TfrmAbout(frmMain);
  frmPrepare = new TfrmPrepare(frmMain);
  frmMain->BindSendPage();
}

void DestroyForms() {
  delete frmPrepare;
  frmPrepare = nullptr;
  delete frmAbout;
  frmAbout = nullptr;
  // The main window's bound controls go before the data sources they listen to, so the settings
  // window (which owns those) leaves the main window's children first.
  if (frmNastaveni) frmNastaveni->setParent(nullptr, frmNastaveni->windowFlags());
  delete frmMain;
  frmMain = nullptr;
  delete frmNastaveni;
  frmNastaveni = nullptr;
}

}  // namespace kdx::app
