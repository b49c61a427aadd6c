#pragma once
// The directory tree list of the folder picker, without its drawing: the items, the path each
// item opens, the directory-change rule and the drive change. The list navigates by making
// directories current in the process, and leaves the last one current.
//
// Items, top to bottom: the root of the current directory's drive ("C:\", "/", "/home/",
// "\\server\share\"), its folders down to the current directory (open-folder items), the
// current directory (the current-folder item; the root itself when the current directory is
// the root), then the current directory's subdirectories, sorted without regard to letter case,
// hidden and system ones left out (closed-folder items).

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "kdx/picker/DriveAndCase.h"
#include "kdx/platform/Files.h"

namespace kdx::picker {

enum class DirItemKind { OpenFolder, CurrentFolder, ClosedFolder };

struct DirItem {
  std::string text;  // UTF-8 path text: the root with its separator, else a bare folder name
  DirItemKind kind = DirItemKind::ClosedFolder;
};

// Items for `currentDir` on `drive` (as DriveOfPath gives it), subdirectories not included.
std::vector<DirItem> BuildPathItems(const std::string& currentDir, const std::string& drive,
                                    const platform::PathStyle& style);

// The path that open-folder item `index` (> 0) of the list for `currentDir` opens: the drive
// followed by the directory's text up to (not including) its (index + 1)-th separator after
// the drive. Item 0 opens the root, drive plus separator.
std::string OpenItemPath(const std::string& currentDir, const std::string& drive, size_t index,
                         const platform::PathStyle& style);

// The names of the subdirectories of `dir` a user is shown: no ".", "..", hidden or system
// entries; sorted without regard to letter case by the user's collation. A directory that cannot
// be read gives an empty list.
std::vector<std::string> ReadSubdirectoryNames(const std::string& dir);

class DirectoryList {
 public:
  explicit DirectoryList(platform::PathStyle style = platform::HostPathStyle());

  // The roots of the volumes the drive list offers (Linux: they decide the drive of a path;
  // "/" is always one of them). Call before Open().
  void SetVolumeRoots(std::vector<std::string> roots);
  const std::vector<std::string>& VolumeRoots() const { return volumeRoots_; }

  // Takes the process's current directory as the list's directory and builds the list, as the
  // control does when it is created. Raises EOSError when the current directory cannot be read.
  void Open();

  // The current directory: a full path without trailing separator, except for a root ("C:\",
  // "/", "/media/petr/USB/").
  const std::string& Directory() const { return directory_; }
  // The drive of Directory() (see DriveAndCase.h) and its root.
  const std::string& Drive() const { return drive_; }
  std::string DriveRoot() const { return drive_ + style_.separator; }

  // The directory-change rule. Empty, or the same as the current directory: nothing happens. A
  // path in square brackets is taken without them; a relative one is relative to the process's
  // current directory. When the new directory is on another drive the drive-change handler is
  // called first. Then the directory is made current, the list rebuilt and the change
  // announced. Raises EOSError when the directory cannot be made current; nothing changes then.
  void SetDirectory(const std::string& path);

  // A drive change from the drive list (`root` as in VolumeInfo::root). The same drive
  // (ignoring case with drive letters) changes nothing. Otherwise the volume is entered
  // (Windows: the drive's own current directory; Linux: its mount point), the list rebuilt and
  // the change announced, unless the change is part of SetDirectory. Raises EOSError when the
  // volume cannot be made current; the list then keeps its directory.
  void ChangeDrive(const std::string& root);

  // Re-reads the items of the current directory (the subdirectories may have changed).
  void Rebuild();

  const std::vector<DirItem>& Items() const { return items_; }
  // Index of the current-folder item.
  size_t CurrentItemIndex() const { return currentIndex_; }
  // The path that opening item `index` navigates to. Precondition: index < Items().size().
  std::string ItemPath(size_t index) const;
  // Left edge of item `index`'s glyph, in pixels: 4 per index plus 2 for the path items, 4 per
  // separator of the current directory after its drive plus 6 for the subdirectories.
  int GlyphIndent(size_t index) const;
  // Texts are shown in lower case when the volume neither preserves nor distinguishes case.
  bool ShowLowerCase() const { return !caseFlags_.casePreserved && !caseFlags_.caseSensitive; }
  const platform::VolumeCaseFlags& CaseFlags() const { return caseFlags_; }

  // Called when a directory change moves to another drive, with the new drive's root; the
  // linked drive list selects it and calls ChangeDrive back (which then only records it).
  std::function<void(const std::string& root)> onDriveChange;
  // Called after every change of the directory (the path label and the file list follow it).
  std::function<void()> onChange;

 private:
  bool SameDrive(const std::string& a, const std::string& b) const;
  std::string Normalized(const std::string& reported, const std::string& drive) const;
  void Build();

  platform::PathStyle style_;
  std::vector<std::string> volumeRoots_;
  std::string directory_;
  std::string drive_;
  platform::VolumeCaseFlags caseFlags_;
  std::vector<DirItem> items_;
  size_t currentIndex_ = 0;
  size_t pathItemCount_ = 0;
  bool inDirectoryChange_ = false;
};

}  // namespace kdx::picker
