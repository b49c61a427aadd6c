#pragma once
// The three file-system controls of the folder picker, as thin Qt views over the picker logic
// (kdx/picker): the directory tree list, the drive list and the file list. They navigate by
// making directories current in the process (see kdx::picker::DirectoryList).
//
// Errors: a directory or drive that cannot be entered raises EOSError inside the logic. Where a
// user action caused it (opening an item, choosing a drive) the control first puts its own
// state right, then throws the error again from a queued call of its own, so that it reaches the
// application's general error handler (QApplication::notify) outside Qt's event code.

#include <QComboBox>
#include <QListWidget>
#include <string>
#include <vector>

#include "kdx/picker/DirectoryList.h"
#include "kdx/picker/DriveList.h"
#include "kdx/picker/FileList.h"

class QLabel;

namespace kdx::widgets {

class TFileListBox;

// Paths as platform/ takes them (UTF-8 on every system, kdx/platform/Path.h) <-> QString.
QString FromNativePath(const std::string& path);
std::string ToNativePath(const QString& path);

// The directory tree list: the way down to the current directory and its subdirectories, each
// drawn with its folder glyph and indent. A double click or Enter opens the highlighted item;
// a single click or the arrow keys only highlight it.
class TDirectoryListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // Takes the process's current directory (with the volume roots of the drive list) and fills
  // the list. When the current directory cannot be read (it was removed), the home folder, else
  // the file-system root, becomes current first.
  void Open(const std::vector<std::string>& volumeRoots);

  // The current directory (see DirectoryList::Directory) and the directory-change rule.
  // SetDirectory raises EOSError when the directory cannot be made current.
  QString Directory() const;
  void SetDirectory(const QString& path);

  // Opens item `row` as a double click does; errors go to the application's error handler.
  void OpenItem(int row);

  // Links: the path label shows the directory shortened to this list's width; the file list
  // follows the directory.
  void SetDirLabel(QLabel* label);
  void SetFileList(TFileListBox* list);

  picker::DirectoryList& Logic() { return logic_; }
  const picker::DirectoryList& Logic() const { return logic_; }

 signals:
  void DirectoryChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void Fill();
  void Announce();
  void UpdateLabel();

  picker::DirectoryList logic_;
  QLabel* dirLabel_ = nullptr;
  TFileListBox* fileList_ = nullptr;
};

// The drive list: a drop-down of the drives (Linux: mounted volumes) with their glyphs; nothing
// can be typed into it. Choosing an item changes the linked directory list's drive.
class TDriveComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TDriveComboBox(QWidget* parent = nullptr);

  // Reads the volumes (the platform's by default) and fills the list.
  void Build();
  void Build(const std::vector<platform::VolumeInfo>& volumes);
  void LinkDirectoryList(TDirectoryListBox* list);

  // Chooses item `index` as a click does; errors go to the application's error handler.
  void ChooseItem(int index);

  picker::DriveList& Logic() { return logic_; }

 private:
  void ShowSelection();

  picker::DriveList logic_;
};

// The file list: the files of the directory by mask, sorted. A list that is not shown is not
// filled; it reads its directory when it is shown.
class TFileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TFileListBox(QWidget* parent = nullptr);

  void SetDirectory(const std::string& dir);
  const std::string& Directory() const { return directory_; }
  // Several masks separated by ";"; default "*.*".
  void SetMask(const QString& mask);
  void SetAttributes(const picker::FileAttributes& attributes);
  void SetShowGlyphs(bool show);
  void Reread();

 signals:
  // A click selected another item than last time.
  void SelectionChangedByUser();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::string directory_;
  std::string mask_ = "*.*";
  picker::FileAttributes attributes_;
  bool showGlyphs_ = false;
  bool stale_ = true;
  int lastSelected_ = -1;
};

}  // namespace kdx::widgets
