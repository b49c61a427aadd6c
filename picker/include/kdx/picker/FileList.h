#pragma once
// The file list of the folder picker, without its drawing: the items of one directory by mask
// and attribute selection.

#include <string>
#include <vector>

namespace kdx::picker {

// Which entries the list shows. The default selects normal files only: hidden, system and
// directory entries are left out. Read-only and archive files are normal files too.
struct FileAttributes {
  bool readOnly = false;
  bool hidden = false;
  bool system = false;
  bool directory = false;
  bool archive = false;
  bool normal = true;
};

enum class FileGlyph { Executable, Folder, Other };

struct FileItem {
  std::string text;  // the file name, or "[name]" for a directory
  FileGlyph glyph = FileGlyph::Other;
};

// The items of `dir`: the entries matching any of the masks in `maskText` (separated by ";",
// blanks around a mask ignored; empty means "*.*") and selected by `attributes`, each entry once,
// sorted without regard to letter case by the user's collation. Executables are the files whose
// extension in lower case is ".exe", ".com", ".bat" or ".pif". A directory that cannot be read
// gives an empty list.
std::vector<FileItem> ReadFileItems(const std::string& dir, const std::string& maskText = "*.*",
                                    const FileAttributes& attributes = {});

// The masks of `maskText` in order.
std::vector<std::string> SplitMasks(const std::string& maskText);

}  // namespace kdx::picker
