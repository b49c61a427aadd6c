#pragma once
// The glyphs of the folder picker's lists, drawn once per process. Every glyph has a
// transparent background, so its bottom-left pixel is transparent as the lists expect.

#include <QPixmap>

#include "kdx/picker/DirectoryList.h"
#include "kdx/picker/FileList.h"
#include "kdx/platform/Volumes.h"

namespace kdx::widgets::glyphs {

// Open, current and closed folder of the directory list (16 x 13).
const QPixmap& Folder(picker::DirItemKind kind);
// Removable, fixed, network, CD-ROM and RAM-disk drive of the drive list (16 x 16).
const QPixmap& Drive(platform::DriveKind kind);
// Executable, folder and other file of the file list (16 x 16).
const QPixmap& File(picker::FileGlyph kind);

}  // namespace kdx::widgets::glyphs
