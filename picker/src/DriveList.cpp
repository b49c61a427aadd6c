#include "kdx/picker/DriveList.h"

#include <cctype>

#include "kdx/picker/DirectoryList.h"
#include "kdx/platform/Text.h"

namespace kdx::picker {

namespace {

// A name that cp1250 cannot spell keeps its case either way.
std::string InCase(const std::string& name, DisplayCase displayCase) {
  if (displayCase == DisplayCase::Lower) return LowerCaseName(name);
  return text::IsCp1250Representable(name) ? text::UpperFileName(name) : name;
}

std::string Bracketed(const std::string& label) {
  return "[" + label + "]";
}

}  // namespace

std::vector<DriveItem> BuildDriveItems(const std::vector<platform::VolumeInfo>& volumes,
                                       const platform::PathStyle& style, DisplayCase displayCase) {
  std::vector<DriveItem> items;
  for (const platform::VolumeInfo& v : volumes) {
    if (v.root.empty()) continue;
    DriveItem item;
    item.root = v.root;
    item.kind = v.kind;
    std::string name, detail;
    if (style.driveLetters) {
      name = InCase(v.root.substr(0, 1), displayCase) + ":";
      if (v.kind == platform::DriveKind::Network && !v.remoteName.empty())
        detail = InCase(v.remoteName, displayCase);
      else
        detail = Bracketed(InCase(v.label, displayCase));
      item.text = v.kind == platform::DriveKind::Removable ? name : name + " " + detail;
    } else {
      if (v.kind == platform::DriveKind::Network && !v.remoteName.empty())
        detail = v.remoteName;
      else
        detail = Bracketed(v.label);
      item.text = v.kind == platform::DriveKind::Removable ? v.root : v.root + " " + detail;
    }
    items.push_back(std::move(item));
  }
  return items;
}

DriveList::DriveList(platform::PathStyle style) : style_(style) {}

void DriveList::Build(const std::vector<platform::VolumeInfo>& volumes) {
  items_ = BuildDriveItems(volumes, style_, displayCase_);
  if (!selectedRoot_.empty()) {
    selected_ = FindRoot(selectedRoot_);
  } else if (directoryList_) {
    SelectRoot(directoryList_->DriveRoot());
  }
}

std::vector<std::string> DriveList::Roots() const {
  std::vector<std::string> roots;
  for (const DriveItem& item : items_) roots.push_back(item.root);
  return roots;
}

void DriveList::LinkDirectoryList(DirectoryList* list) {
  if (directoryList_) directoryList_->onDriveChange = nullptr;
  directoryList_ = list;
  if (list) list->onDriveChange = [this](const std::string& root) { SelectRoot(root); };
}

bool DriveList::SameDrive(const std::string& a, const std::string& b) const {
  if (!style_.driveLetters) return a == b;
  return text::EqualsAsciiNoCase(a.substr(0, 1), b.substr(0, 1));
}

int DriveList::FindRoot(const std::string& root) const {
  if (root.empty()) return -1;
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& r = items_[i].root;
    const bool match = style_.driveLetters ? r.size() >= 2 && r[1] == ':' && root.size() >= 2 &&
                                                 root[1] == ':' && SameDrive(r, root)
                                           : r == root;
    if (match) return static_cast<int>(i);
  }
  return -1;
}

std::string DriveList::InDisplayCase(const std::string& root) const {
  if (!style_.driveLetters) return root;
  return InCase(root, displayCase_);
}

void DriveList::Choose(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  const std::string root = items_[static_cast<size_t>(index)].root;
  if (selected_ >= 0 && SameDrive(root, selectedRoot_)) return;
  selectedRoot_ = InDisplayCase(root);
  selected_ = FindRoot(root);
  if (directoryList_) {
    try {
      directoryList_->ChangeDrive(root);
    } catch (...) {
      // The directory list stays where it was; so does the selection, so that choosing the
      // drive again (once its medium is in) tries again.
      SelectRoot(directoryList_->DriveRoot());
      throw;
    }
  }
  if (onChange) onChange();
}

void DriveList::SelectRoot(const std::string& root) {
  const int index = FindRoot(root);
  const std::string newRoot = index >= 0 ? InDisplayCase(root) : std::string();
  if (index == selected_ && newRoot == selectedRoot_) return;
  selected_ = index;
  selectedRoot_ = newRoot;
  if (onChange) onChange();
}

}  // namespace kdx::picker
