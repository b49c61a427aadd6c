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
  frmNastaveni = new TfrmNastaveni;
  frmAbout = new TfrmAbout;
  frmPrepare = new TfrmPrepare;
  frmMain->BindSendPage();
}

void DestroyForms() {
  delete frmPrepare;
  frmPrepare = nullptr;
  delete frmAbout;
  frmAbout = nullptr;
  // The main window's bound controls go before the data sources they listen to.
  delete frmMain;
  frmMain = nullptr;
  delete frmNastaveni;
  frmNastaveni = nullptr;
}

}  // namespace kdx::app
