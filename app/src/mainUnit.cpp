#include "mainUnit.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QMetaObject>
#include <QPushButton>
#include <QTabWidget>

#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "Nastaveni.h"
#include "TableFolder.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Path.h"
#include "kdx/platform/Text.h"
#include "kdx/widgets/MessageBox.h"
#include "kdx/widgets/QtText.h"

namespace kdx::app {

using widgets::FromCp;
using widgets::ToCp;

std::string AppFolder;
int RunMode = kModeNone;
std::string SourceFolder;
std::string SourceName;
std::string TargetFolder;
std::string TargetName;

std::string AppFolderNative;
std::string SourcePathNative;
std::string SourceFolderNative;
std::string TargetFolderNative;
std::string TargetNameNative;
std::unique_ptr<platform::OpenedFile> ReceivedFile;
TTableFolders TableFolders;

namespace {

std::optional<std::vector<std::string>>& CommandLineOverride() {
  static std::optional<std::vector<std::string>> arguments;
  return arguments;
}

std::optional<std::string>& ExecutableOverride() {
  static std::optional<std::string> path;
  return path;
}

std::function<void()>& QuitHandler() {
  static std::function<void()> handler;
  return handler;
}

std::vector<std::string> Utf8Arguments(const QStringList& arguments) {
  std::vector<std::string> utf8;
  for (const QString& argument : arguments) utf8.push_back(argument.toUtf8().toStdString());
  return utf8;
}

std::vector<std::string> CommandLineArguments() {
  if (CommandLineOverride()) return *CommandLineOverride();
  return TKdxApplication::ProgramArguments();
}

// Loads a table file with the table's data source switched off, so that the bound controls
// see the loaded table once, afterwards. A failure of the load is the one reported: what the
// controls raise while they are switched on again after it is dropped.
void LoadTable(TMemTable& table, TDataSource* source, const std::string& path) {
  if (!platform::FileExists(path)) return;
  const bool wasEnabled = source && source->Enabled();
  if (wasEnabled) source->SetEnabled(false);
  try {
    table.LoadFromTableFile(path);
  } catch (...) {
    if (wasEnabled) {
      try {
        source->SetEnabled(true);
      } catch (...) {
      }
    }
    throw;
  }
  if (wasEnabled) source->SetEnabled(true);
}

void PrepareReceivePage(TMemTable& importTable) {
  TfrmMain& w = *frmMain;
  w.PageControl1->setCurrentIndex(0);
  w.Label2->setText(FromCp(SourceName));
  w.Label4->setText(FromCp(SourceFolder + SourceName));
  w.Label7->hide();
  w.Button1->setEnabled(true);

  importTable.SetIndexName(kImportKdxFileIndex);
  // An exact match wins; otherwise the name as it was before the mail client counted it.
  const TLocateOptions anyCase{loCaseInsensitive};
  std::string landing = SourceName;
  bool found = importTable.FindRecord(fields::kKDXFile, TVariant(SourceName), anyCase);
  if (!found && WithoutCopyCounter(SourceName) != SourceName) {
    landing = WithoutCopyCounter(SourceName);
    found = importTable.FindRecord(fields::kKDXFile, TVariant(landing), anyCase);
  }
  if (found) {
    if (landing != SourceName) {
      TargetNameNative = WithoutCopyCounter(TargetNameNative);
      w.Label2->setText(FromCp(landing));  // the name it lands under; Label4 shows what came
    }
    TargetFolder = NormalizeFolderPath(importTable.FieldByName(fields::kSavePath)->AsString());
    TargetFolderNative = text::Cp1250ToUtf8(TargetFolder);
    w.Label6->setText(FromCp(TargetFolder));
    TargetName = landing;
    w.Label9->setText(FromCp(importTable.FieldByName(fields::kInfoText)->AsString()));
    if (TargetFolder.empty()) {
      w.Label7->show();
      w.Button1->setEnabled(false);
    }
  } else {
    w.Label7->show();
    w.Button1->setEnabled(false);
  }
}

}  // namespace

std::string NormalizeFolderPath(const std::string& path) {
  std::string result = text::TrimControls(path);
  if (!result.empty() && result.back() != platform::kPathDelim) result += platform::kPathDelim;
  return result;
}

std::string WithoutCopyCounter(const std::string& name) {
  const size_t dot = name.rfind('.');
  const size_t end = dot == std::string::npos ? name.size() : dot;  // end of the stem
  const auto digitsFrom = [&](size_t last) {  // first of the digits that end before `last`
    while (last > 0 && name[last - 1] >= '0' && name[last - 1] <= '9') --last;
    return last;
  };
  size_t cut = 0;  // where the counter starts; 0: none (or nothing before it)
  if (end > 0 && (name[end - 1] == ')' || name[end - 1] == ']')) {
    const char open = name[end - 1] == ')' ? '(' : '[';
    const size_t digits = digitsFrom(end - 1);
    if (digits < end - 1 && digits > 0 && name[digits - 1] == open) {
      cut = digits - 1;
      if (open == '(' && cut > 0 && (name[cut - 1] == ' ' || name[cut - 1] == '_')) --cut;
    }
  } else {
    const size_t digits = digitsFrom(end);
    if (digits < end && digits > 0 && name[digits - 1] == '-') cut = digits - 1;
  }
  if (cut == 0) return name;
  return name.substr(0, cut) + name.substr(end);
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) joined += argument + ' ';
  while (!joined.empty() && static_cast<unsigned char>(joined.back()) <= 32) joined.pop_back();
  return joined;
}

void ResetRunValues() {
  for (std::string* value :
       {&AppFolder, &SourceFolder, &SourceName, &TargetFolder, &TargetName, &AppFolderNative,
        &SourcePathNative, &SourceFolderNative, &TargetFolderNative, &TargetNameNative}) {
    value->clear();
  }
  TableFolders = {};
  ReceivedFile.reset();
  RunMode = kModeNone;
}

void StartRun() {
  const std::string exe = ExecutableOverride() ? *ExecutableOverride() : platform::ExecutablePath();
  AppFolderNative = NormalizeFolderPath(platform::FolderPart(exe));
  AppFolder = text::Utf8ToCp1250(AppFolderNative);
  TableFolders = FindTableFolders(AppFolderNative);

  const std::vector<std::string> arguments = CommandLineArguments();
  const bool configuration =
      !arguments.empty() && text::EqualsAsciiNoCase(arguments.front(), "/SET");
  // A table file that cannot be read ends any other run; configuration mode is where it is
  // mended, so there the settings window's own reload reports it and the window opens.
  if (configuration)
    ReloadDefinitions([](const std::exception&) {});
  else
    ReloadDefinitions();

  RunMode = kModeNone;
  if (arguments.empty())
    RunMode = kModeSend;
  else if (configuration)
    RunMode = kModeSettings;
  else
    RunMode = kModeReceive;

  if (RunMode == kModeReceive) {
    // The file operations keep the bytes the system gave; the texts shown and compared with the
    // definitions read them as UTF-8, with stray bytes of an 8-bit code page as cp1250's.
    const std::string native = JoinArguments(arguments);
    const std::string utf8 = text::FileNameToUtf8(native);
    const std::string cp = text::Utf8ToCp1250(utf8);
    SourceName = text::AnsiUpperCase(platform::BareName(cp));
    SourceFolder = NormalizeFolderPath(platform::FolderPart(cp));
    SourceFolderNative = NormalizeFolderPath(platform::FolderPart(native));
    SourcePathNative = SourceFolderNative + platform::BareName(native);
    TargetNameNative = text::UpperFileName(platform::BareName(utf8));
    // Held open from now on: a mail client may remove its temporary copy before the action.
    try {
      ReceivedFile = std::make_unique<platform::OpenedFile>(SourcePathNative);
    } catch (const EOSError&) {
      ReceivedFile.reset();
    }
  }

  switch (RunMode) {
    case kModeSend:
      frmMain->PageControl1->setCurrentIndex(1);
      break;
    case kModeReceive:
      PrepareReceivePage(*frmNastaveni->ImportTable);
      break;
    case kModeSettings:
      OpenSettings();
      QuitApplication();
      break;
  }
}

void LoadDefinitions(std::size_t table) {
  LoadTable(frmNastaveni->DefinitionTable(table), frmNastaveni->DefinitionSource(table),
            TableFileToLoad(TableFolders, kDefinitionTables[table].fileName));
}

void LoadImportDefinitions() {
  LoadDefinitions(kImportDefinitions);
}
void LoadExportDefinitions() {
  LoadDefinitions(kExportDefinitions);
}

void SaveDefinitions(std::size_t table) {
  frmNastaveni->DefinitionTable(table).SaveToTableFile(
      TableFileToSave(TableFolders, kDefinitionTables[table].fileName),
      TMemTableSaveFlags{mtfSaveData});
}

void SaveImportDefinitions() {
  SaveDefinitions(kImportDefinitions);
}
void SaveExportDefinitions() {
  SaveDefinitions(kExportDefinitions);
}

void ReloadDefinitions(const std::function<void(const std::exception&)>& onFailure) {
  for (std::size_t table = 0; table < kDefinitionTables.size(); ++table) {
    frmNastaveni->DefinitionTable(table).CloseTable();
    frmNastaveni->DefinitionTable(table).OpenTable();
  }
  for (std::size_t table = 0; table < kDefinitionTables.size(); ++table) {
    if (!onFailure) {
      LoadDefinitions(table);
      continue;
    }
    try {
      LoadDefinitions(table);
    } catch (const std::exception& error) {
      onFailure(error);
    }
  }
}

void OpenSettings() {
  TfrmNastaveni& w = *frmNastaveni;
  if (RunMode == kModeSettings)
    ReloadDefinitions(ShowGeneralError);
  else
    ReloadDefinitions();
  for (std::size_t table = 0; table < kDefinitionTables.size(); ++table) {
    if (w.DefinitionTable(table).RecordCount() == 0) w.EnableDetails(table, false);
  }
  w.PageControl1->setCurrentIndex(RunMode == kModeSend ? 1 : 0);
  if (RunMode == kModeSettings) {
    widgets::ShowMessage(&w,
                         QString::fromUtf8("Nyní je třeba program nakonfigurovat - následující "
                                           "formulář [Nastavení] můžete vyvolat i později volbou "
                                           "Program/Nastavení."),
                         QString::fromUtf8("Informace"), widgets::MsgIcon::Information);
  }
  w.exec();
}

void QuitApplication() {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [] {
        if (QuitHandler())
          QuitHandler()();
        else
          QCoreApplication::quit();
      },
      Qt::QueuedConnection);
}

ScopedCommandLineForTesting::ScopedCommandLineForTesting(const QStringList& arguments)
    : ScopedCommandLineForTesting(Utf8Arguments(arguments)) {}

ScopedCommandLineForTesting::ScopedCommandLineForTesting(std::vector<std::string> nativeArguments)
    : ScopedReplacement(CommandLineOverride(), std::move(nativeArguments)) {}

ScopedExecutablePathForTesting::ScopedExecutablePathForTesting(std::string nativePath)
    : ScopedReplacement(ExecutableOverride(), std::move(nativePath)) {}

ScopedQuitHandlerForTesting::ScopedQuitHandlerForTesting(std::function<void()> handler)
    : ScopedReplacement(QuitHandler(), std::move(handler)) {}

}  // namespace kdx::app
