#pragma once
// The drive list of the folder picker, without its drawing: the items made from the volumes,
// the display case and the selection, linked to a directory list.
//
// Item texts. Windows: a removable drive is its letter and ":" ("a:"); a fixed drive, CD-ROM or
// RAM disk is "%s: %s" of the letter and its label in brackets ("c: [system]", "d: []" without
// a label); a network drive is the letter and its remote name ("x: \\server\share"), or the
// bracketed label when the remote name is unknown. The letter, labels and remote names are in
// lower case by default, in upper case with the upper display case.
// Linux: the mount point takes the letter's place and is written as the volume root, followed
// by one blank instead of ": " ("/ [debian]", "/home/ [home]", "/mnt/share //nas/share"); a
// removable medium is its root alone. Mount points and labels are case-sensitive names there,
// so the display case does not change them.

#include <functional>
#include <string>
#include <vector>

#include "kdx/picker/DriveAndCase.h"
#include "kdx/platform/Volumes.h"

namespace kdx::picker {

class DirectoryList;

struct DriveItem {
  std::string root;  // "C:\", "/home/": what choosing the item switches to
  std::string text;  // the shown text (UTF-8)
  platform::DriveKind kind = platform::DriveKind::Fixed;
};

enum class DisplayCase { Lower, Upper };

// The items for `volumes`, in their order.
std::vector<DriveItem> BuildDriveItems(const std::vector<platform::VolumeInfo>& volumes,
                                       const platform::PathStyle& style, DisplayCase displayCase);

class DriveList {
 public:
  explicit DriveList(platform::PathStyle style = platform::HostPathStyle());

  // Refills the items from `volumes` (the platform's list by default) and re-selects the
  // selected drive. `displayCase` changes take effect here.
  void Build(const std::vector<platform::VolumeInfo>& volumes);
  void Build() { Build(platform::ListVolumes()); }
  void SetDisplayCase(DisplayCase displayCase) { displayCase_ = displayCase; }
  DisplayCase GetDisplayCase() const { return displayCase_; }

  const std::vector<DriveItem>& Items() const { return items_; }
  std::vector<std::string> Roots() const;

  // Links the directory list: choosing a drive changes its drive, and its drive changes select
  // the drive here. Pass nullptr to unlink. The directory list must outlive the link.
  void LinkDirectoryList(DirectoryList* list);

  // Index of the selected item, -1 when none (a network path without a drive letter, or a
  // drive that is not in the list).
  int SelectedIndex() const { return selected_; }
  // The selected drive's root ("c:\" in the display case; "/home/"), empty when none.
  const std::string& SelectedRoot() const { return selectedRoot_; }

  // Choosing item `index` (click or keyboard). The same drive as the selected one changes
  // nothing. Otherwise the item is selected, the linked directory list changes drive and the
  // change is announced. When the directory list cannot enter the drive, the selection goes
  // back to the directory list's drive and the EOSError is raised for the caller to report.
  void Choose(int index);

  // Selects the drive whose root is `root` without telling the directory list (what the
  // directory list asks for when a directory change moves to another drive). Precondition:
  // none; an unknown root leaves no item selected.
  void SelectRoot(const std::string& root);

  // Called after the selection changed.
  std::function<void()> onChange;

 private:
  bool SameDrive(const std::string& a, const std::string& b) const;
  int FindRoot(const std::string& root) const;
  std::string InDisplayCase(const std::string& root) const;

  platform::PathStyle style_;
  DisplayCase displayCase_ = DisplayCase::Lower;
  std::vector<DriveItem> items_;
  int selected_ = -1;
  std::string selectedRoot_;
  DirectoryList* directoryList_ = nullptr;
};

}  // namespace kdx::picker
