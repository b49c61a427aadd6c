// ReceiveFile: the action of the receive page ("Provést akci").
//
// The checks run in a fixed order and each failure shows one message and leaves the window as it
// is. Beyond the comparison of the spelled paths the same-location check compares file
// identity: a target folder that is the source folder under another spelling (a link, a bind
// mount) and a target file that is the source under another name (a hard or symbolic link) are
// refused, as a copy onto itself would destroy the received file.
//
// The copy is made from the file that start-up opened (ReceivedFile), so a mail client that
// removes its temporary copy meanwhile does not lose the transfer; it gets the permissions of a
// new file in the target folder, never the read-only state of the mail client's copy.

#include <QString>

#include "Forms.h"
#include "MainForm.h"
#include "Nastaveni.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Text.h"
#include "kdx/widgets/MessageBox.h"
#include "kdx/widgets/QtText.h"
#include "mainUnit.h"

namespace kdx::app {

using widgets::FromCp;

namespace {

using widgets::MsgIcon;
using widgets::ShowMessage;

void ShowError(const QString& text) {
  ShowMessage(frmMain, text, QString::fromUtf8("Chyba"), MsgIcon::Error);
}

// Entries of the target folder whose names are the copy's name in another letter case (the
// copy's name itself included when it exists): names that text::UpperFileName folds as it folds the
// copy's name, one character to one. A name that is not UTF-8 is none. Empty when the folder
// cannot be read.
std::vector<std::string> CaseVariantsInTarget() {
  std::vector<std::string> variants;
  const std::string wanted = text::UpperFileName(TargetNameNative);
  try {
    for (const platform::DirEntry& entry : platform::ListDirectory(TargetFolderNative, "*")) {
      bool utf8 = false;
      text::FileNameToUtf8(entry.name, &utf8);
      if (utf8 && text::UpperFileName(entry.name) == wanted) variants.push_back(entry.name);
    }
  } catch (const EOSError&) {
  }
  return variants;
}

// On Windows a file whose name differs from the target's only in letter case is the target
// itself, and a read-only one fails the copy; here it would be removed after the copy, so it
// fails the copy before anything is written.
bool ReadOnlyVariantInTarget() {
  for (const std::string& name : CaseVariantsInTarget()) {
    if (platform::IsReadOnlyFile(TargetFolderNative + name)) return true;
  }
  return false;
}

// True when a name of the target folder would be the received file. The spelled paths count
// where the file system does not tell letter cases apart (Windows; a FAT, NTFS or SMB volume on
// Linux); elsewhere "/data/casedir" and "/data/CASEDIR" are two folders, and only identities
// count: the folder itself when the copy keeps the received name, a file of the copy's name in
// any letter case (a hard or symbolic link of the received file).
bool SameLocation(const std::string& sourcePath, const std::string& targetPath) {
  const std::string sourceFolder = SourceFolderNative.empty() ? "." : SourceFolderNative;
#ifdef _WIN32
  const bool caseBlind = true;  // the system's calls never tell letter cases apart
#else
  const bool caseBlind = !platform::GetVolumeCaseFlags(sourceFolder).caseSensitive ||
                         !platform::GetVolumeCaseFlags(TargetFolderNative).caseSensitive;
#endif
  if (caseBlind && text::AnsiUpperCase(sourcePath) == text::AnsiUpperCase(targetPath)) return true;
  if (TargetName == SourceName && platform::SameFile(sourceFolder, TargetFolderNative)) return true;
  for (const std::string& name : CaseVariantsInTarget()) {
    const std::string variant = TargetFolderNative + name;
    if (ReceivedFile ? ReceivedFile->IsFile(variant)
                     : platform::SameFile(SourcePathNative, variant))
      return true;
  }
  return false;
}

}  // namespace

void ReceiveFile() {
  const std::string sourcePath = SourceFolder + SourceName;
  const std::string targetPath = TargetFolder + TargetName;

  if (SameLocation(sourcePath, targetPath)) {
    ShowError(
        QString::fromUtf8("Zdrojový soubor má stejné umístění jako cílový - nelze kopírovat "
                          "soubor sám na sebe!"));
    return;
  }
  // The file as start-up opened it, even when the mail client has removed it since; a file
  // that was not there then may have been put back.
  if (!ReceivedFile) {
    if (!platform::FileExists(SourcePathNative)) {
      ShowError(QString::fromUtf8("Vstupní soubor ") + FromCp(sourcePath) +
                QString::fromUtf8(" neexistuje."));
      return;
    }
    try {
      ReceivedFile = std::make_unique<platform::OpenedFile>(SourcePathNative);
    } catch (const EOSError&) {
    }
  }
  const std::string targetNative = TargetFolderNative + TargetNameNative;
  bool copied = ReceivedFile && !ReadOnlyVariantInTarget();
  if (copied) {
    try {
      platform::CopyFileReplacing(*ReceivedFile, targetNative);
    } catch (const EOSError&) {
      copied = false;
    }
  }
  if (!copied) {
    ShowError(QString::fromUtf8("Při kopírování souboru ") + FromCp(sourcePath) +
              QString::fromUtf8(" do ") + FromCp(targetPath) +
              QString::fromUtf8(" došlo k chybě."));
    return;
  }
  // A file whose name differs from the copy's only in letter case is the older version of the
  // same transfer file: the copy replaces it rather than lying beside it. Where names are
  // compared without regard to case (Windows) that file is the copy itself, which stays.
  for (const std::string& name : CaseVariantsInTarget()) {
    if (name == TargetNameNative || platform::SameFile(targetNative, TargetFolderNative + name))
      continue;
    try {
      platform::RemoveFile(TargetFolderNative + name);
    } catch (const EOSError&) {
    }
  }

  const std::string endText = frmNastaveni->ImportTable->FieldByName(fields::kEndText)->AsString();
  if (!endText.empty())
    ShowMessage(frmMain, FromCp(endText), QString::fromUtf8("Informace"), MsgIcon::Information);
  QuitApplication();
}

}  // namespace kdx::app
