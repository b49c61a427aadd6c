#include "kdx/widgets/DirDlg.h"

#include <QPushButton>

#include "kdx/platform/Errors.h"
#include "kdx/widgets/FileCtrls.h"

namespace kdx::widgets {

namespace {
TDirectoryDialog::ShowHook& Hook() {
  static TDirectoryDialog::ShowHook hook;
  return hook;
}
}  // namespace

TDirectoryDialog::TDirectoryDialog(QObject* parent) : QObject(parent) {}

TDirectoryDialog::ScopedShowHookForTesting::ScopedShowHookForTesting(ShowHook hook)
    : ScopedReplacement(Hook(), std::move(hook)) {}

bool TDirectoryDialog::PickFolder() {
  // Owned by the application (no parent window), freed when this call ends.
  TFormDirDialog form;
  connect(&form, &TFormDirDialog::HelpRequested, this, &TDirectoryDialog::HelpRequested);
  form.setWindowTitle(TitleDialog);
  form.SetHelpContext(HelpContext);
  form.BBHelp->setVisible(HelpContext > 0);
  form.FileListBox->setVisible(FileListVisible);
  try {
    form.DirectoryListBox->SetDirectory(DirectoryName);
  } catch (const Exception&) {
    // A start folder that no longer exists: open on the current directory.
  }
  form.ApplyLayout(FileListVisible);

  const int result = Hook() ? Hook()(form) : form.exec();
  DirectoryName = form.DirectoryListBox->Directory();
  return result == QDialog::Accepted;
}

}  // namespace kdx::widgets
