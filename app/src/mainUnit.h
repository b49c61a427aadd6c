#pragma once
// Unit mainUnit: the program-wide values of one run and the procedures of the application shell
// (start-up, mode selection, the table loads and saves, the settings entry, the receive and send
// actions, the end of the run).
//
// Texts are cp1250 bytes. Where the file system is concerned, the native path (UTF-8) is kept
// beside the cp1250 text, because cp1250 cannot spell every path: the cp1250 values are what the
// windows and messages show and what the definitions are compared with; the native ones are what
// the file operations use.

#include <QDate>
#include <QLocale>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DefinitionTables.h"
#include "TableFolder.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/ScopedReplacement.h"

namespace kdx::app {

// RunMode values.
inline constexpr int kModeNone = 0;
inline constexpr int kModeSend = 1;
inline constexpr int kModeReceive = 2;
inline constexpr int kModeSettings = 3;

// The program-wide values (all empty and RunMode 0 until StartRun).
extern std::string AppFolder;  // the executable's folder, normalised
extern int RunMode;
extern std::string SourceFolder;  // receive mode: folder of the received file, normalised
extern std::string SourceName;    // receive mode: bare name, upper-cased by the locale
extern std::string TargetFolder;  // receive mode: SavePath of the matching definition, normalised
extern std::string TargetName;    // receive mode: the copy's name when a definition matched:
                                  // SourceName, or SourceName without its copy counter

// Native counterparts (UTF-8) of the values above.
extern std::string AppFolderNative;
extern std::string SourcePathNative;  // the received file: the command line's bytes
extern std::string SourceFolderNative;
extern std::string TargetFolderNative;
extern std::string TargetNameNative;  // the copy's name: the bare name by text::UpperFileName,
                                      // without the copy counter that TargetName lost
// Receive mode: the received file, opened at start-up (empty when it could not be opened then),
// so that the copy succeeds after the mail client has removed its temporary copy.
extern std::unique_ptr<platform::OpenedFile> ReceivedFile;
// Where the table files are read and written (TableFolder.h): the executable's folder, or the
// user's own folder of an installation.
extern TTableFolders TableFolders;

// Table file names (in TableFolders).
inline constexpr const char* kImportFileName = kDefinitionTables[kImportDefinitions].fileName;
inline constexpr const char* kExportFileName = kDefinitionTables[kExportDefinitions].fileName;

// Trims characters of code 32 and below at both ends; empty stays empty; otherwise ends the
// text with exactly one folder separator (kdx::platform::kPathDelim) unless it already ends so.
std::string NormalizeFolderPath(const std::string& path);

// The received bare name without one copy counter, which mail clients and browsers put before
// the extension when a file of the name is already in their folder: "-N" (Thunderbird),
// "(N)" (Outlook, Firefox), " (N)" (Chromium, Edge), "_(N)" (some Outlook versions) and "[N]"
// (older Windows caches), N one or more decimal digits. `name` itself when it carries none or
// when nothing would be left before the counter. Receive mode looks the definition up by this
// name only when none matches the received name exactly.
std::string WithoutCopyCounter(const std::string& name);

// Joins command-line arguments (native) into one path: each followed by one blank, then
// characters of code 32 and below removed from the right end.
std::string JoinArguments(const std::vector<std::string>& arguments);

// Start-up: works out AppFolder, reopens and loads both tables, reads the command line, sets
// RunMode and prepares the main window (configuration mode runs the settings window and asks to
// quit). Needs the four windows. A table file that cannot be read raises, except in
// configuration mode (see OpenSettings).
void StartRun();

// Load a table from its file when there is one (TableFileToLoad; adds to the table).
void LoadDefinitions(std::size_t table);  // kImportDefinitions or kExportDefinitions
void LoadImportDefinitions();
void LoadExportDefinitions();
// Write a table to its file in TableFolders.own, replacing it; raises when it cannot.
void SaveDefinitions(std::size_t table);
void SaveImportDefinitions();
void SaveExportDefinitions();
// Every definition table closed and opened again empty, then loaded from its file. Without
// `onFailure` the first load that fails raises; with it, each failure is passed to it and the
// next table is loaded.
void ReloadDefinitions(const std::function<void(const std::exception&)>& onFailure = {});

// Reloads both tables from their files and shows the settings window modally. In configuration
// mode a table file that cannot be read is reported in the general error box and the window
// opens all the same, that table holding what was read before the failure: saving replaces the
// file. Otherwise the failure raises and the window stays closed.
void OpenSettings();

// Queues the request to end the run and returns at once.
void QuitApplication();

// The actions of the main window's two pages.
void ReceiveFile();
void SendFile();

// The subject of the send action's e-mail: "Přenosový soubor Velkor ze dne " and `date` in the
// short date format of `locale`, without time of day (cp1250). A two-digit year of the format
// is written with four digits, so that the date names its year unambiguously.
std::string SendSubject(const QLocale& locale, const QDate& date);

// Resets every program-wide value to its state before StartRun.
void ResetRunValues();

// --- hooks for tests: each replaces its input while it lives, then puts the previous back -----

// Arguments StartRun reads instead of the real command line (without the program name). The
// native form takes bytes as the system would give them.
class ScopedCommandLineForTesting
    : platform::ScopedReplacement<std::optional<std::vector<std::string>>> {
 public:
  explicit ScopedCommandLineForTesting(const QStringList& arguments);
  explicit ScopedCommandLineForTesting(std::vector<std::string> nativeArguments);
};

// An executable path StartRun uses instead of the real one (its folder holds the table files).
class ScopedExecutablePathForTesting : platform::ScopedReplacement<std::optional<std::string>> {
 public:
  explicit ScopedExecutablePathForTesting(std::string nativePath);
};

// What the queued quit request does when it is taken, instead of QCoreApplication::quit.
class ScopedQuitHandlerForTesting : platform::ScopedReplacement<std::function<void()>> {
 public:
  explicit ScopedQuitHandlerForTesting(std::function<void()> handler);
};

}  // namespace kdx::app
