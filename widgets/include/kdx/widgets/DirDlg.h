#pragma once
// The folder picker: the non-visual component TDirectoryDialog and its window TFormDirDialog.
//
// PickFolder builds the window, starts it in DirectoryName (a folder that cannot be entered is
// ignored: the window opens on the process's current directory), shows it modally and copies
// the directory shown at closing time back into DirectoryName, whether the user pressed OK or
// cancelled. The lists navigate by making directories current in the process and leave the last
// one current.
//
// Paths are QStrings here (the Qt edge). On Linux the drive list shows mounted volumes and the
// directory list starts at the root of the volume holding the current directory; a volume root
// keeps its trailing "/" as a drive root keeps its "\" (see kdx/platform/Volumes.h).

#include <QDialog>
#include <QObject>
#include <QString>
#include <functional>

#include "kdx/platform/ScopedReplacement.h"

class QLabel;
class QPushButton;

namespace kdx::widgets {

class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;

// The dialog window: client area 410 x 219, dialog frame without title-bar buttons.
class TFormDirDialog : public QDialog {
  Q_OBJECT
 public:
  // Outer widths of the two layouts and the frame that the outer width includes on each side.
  static constexpr int kWideOuterWidth = 418;
  static constexpr int kNarrowOuterWidth = 261;
  static constexpr int kFrameWidth = 4;
  static constexpr int kClientHeight = 219;

  explicit TFormDirDialog(QWidget* parent = nullptr);

  // Help topic of the window; BBHelpClick asks for it.
  void SetHelpContext(quint16 context) { helpContext_ = context; }
  quint16 HelpContext() const { return helpContext_; }

  // Moves the buttons and sets the width for the layout with or without the file list, then
  // centres the window on the screen.
  void ApplyLayout(bool fileListVisible);

  // Controls, named as in the layout (object names are the same).
  QLabel* Label1;
  QLabel* LDirLabel;
  QLabel* Label2;
  TDirectoryListBox* DirectoryListBox;
  TDriveComboBox* DriveComboBox;
  TFileListBox* FileListBox;
  QPushButton* BBOk;
  QPushButton* BBCancel;
  QPushButton* BBHelp;

 signals:
  // The help button asks the application's help system for this topic.
  void HelpRequested(quint16 context);

 public slots:
  void BBHelpClick();

 protected:
  // Enter presses the focused button, and nothing else (no button is the default one).
  void keyPressEvent(QKeyEvent* event) override;
  // An empty title stays empty in the window system (the toolkit would show the application's
  // name instead).
  void showEvent(QShowEvent* event) override;

 private:
  void CentreOnScreen();

  quint16 helpContext_ = 0;
};

// The folder picker component. Owned by its window (QObject parent); keeps DirectoryName
// between calls of PickFolder.
class TDirectoryDialog : public QObject {
  Q_OBJECT
 public:
  explicit TDirectoryDialog(QObject* parent = nullptr);

  // On entry the folder to start in; on return the folder shown when the dialog closed.
  QString DirectoryName;
  // The window's title.
  QString TitleDialog;
  // Help topic; 0 means no help button.
  quint16 HelpContext = 0;
  // Show the file list and use the wide layout.
  bool FileListVisible = false;

  // Shows the dialog modally; true when it was closed with OK. DirectoryName is overwritten in
  // every case.
  bool PickFolder();

  // Test hook: while the guard lives, PickFolder calls `hook` with the configured window
  // instead of running the window modally, and takes its return value as the modal result.
  using ShowHook = std::function<int(TFormDirDialog&)>;
  class ScopedShowHookForTesting : platform::ScopedReplacement<ShowHook> {
   public:
    explicit ScopedShowHookForTesting(ShowHook hook);
  };

 signals:
  // Forwarded from the window's help button.
  void HelpRequested(quint16 context);
};

}  // namespace kdx::widgets
