#pragma once
// TfrmNastaveni: the settings window, where the two lists of definitions are kept. It owns the
// two definition tables, ImportTable and ExportTable (closed right after construction), and their
// data sources; the main window's send page is bound to DataSource2. OpenSettings (mainUnit)
// reloads the tables and shows the window modally.
//
// Page 0 edits the receive (import) definitions through DataSource1, page 1 the send (export)
// definitions through DataSource2: a grid of the definitions' names and bound edit boxes for the
// current one. Nothing is saved on its own: "Uložit" and "Použít" write both table files (the
// import file first; a failure stops there and leaves the window open), "Storno" and the close
// box just close the window and leave the tables as they are in memory.

#include <QDialog>
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "kdx/binding/DataLink.h"
#include "kdx/binding/DataSource.h"
#include "kdx/memtable/MemTable.h"
#include "kdx/platform/ScopedReplacement.h"

class QFileDialog;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;

namespace kdx::widgets {
class TDBCheckBox;
class TDBEdit;
class TDBGrid;
class TDirectoryDialog;
}  // namespace kdx::widgets

namespace kdx::app {

class TfrmNastaveni : public QDialog {
  Q_OBJECT
 public:
  // Client size: the 642 x 539 outer size less the classic dialog frame (4 pixels each side)
  // and caption (23 pixels).
  static constexpr int kClientWidth = 634;
  static constexpr int kClientHeight = 512;

  explicit TfrmNastaveni(QWidget* parent = nullptr);
  ~TfrmNastaveni() override;

  std::unique_ptr<TMemTable> ImportTable;
  std::unique_ptr<TMemTable> ExportTable;
  std::unique_ptr<TDataSource> DataSource1;  // ImportTable
  std::unique_ptr<TDataSource> DataSource2;  // ExportTable

  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QPushButton* Button1;  // "Uložit"
  QPushButton* Button3;  // "Použít"
  QPushButton* Button2;  // "Storno"

  // Page 0: receive definitions.
  QLabel* Label18;
  QLabel* Label7;
  QLabel* Label8;
  widgets::TDBGrid* DBGrid1;
  QPushButton* Button4;  // "Přidat definici"
  QPushButton* Button5;  // "Smazat definici"
  QGroupBox* GroupBox1;
  QLabel* Label1;
  widgets::TDBEdit* dbtext1;  // Nazev
  QLabel* Label2;
  widgets::TDBEdit* DBEdit1;  // KDXFile
  QLabel* Label3;
  widgets::TDBEdit* DBEdit2;  // SavePath
  QPushButton* BitBtn1;       // "..." folder picker
  QLabel* Label4;
  widgets::TDBEdit* DBEdit3;  // InfoText
  QLabel* Label5;
  QLabel* Label6;
  widgets::TDBEdit* DBEdit4;  // EndText

  // Page 1: send definitions.
  QLabel* Label19;
  QLabel* Label10;
  QLabel* Label11;
  widgets::TDBGrid* DBGrid2;
  QPushButton* Button6;  // "Přidat definici"
  QPushButton* Button7;  // "Smazat definici"
  QGroupBox* GroupBox2;
  QLabel* Label9;
  widgets::TDBEdit* DBEdit5;  // Nazev
  QLabel* Label14;
  widgets::TDBEdit* DBEdit8;  // InfoText
  QLabel* Label12;
  widgets::TDBEdit* DBEdit6;  // KDXFilePath
  QPushButton* BitBtn2;       // "..." file dialog
  QLabel* Label13;
  widgets::TDBEdit* DBEdit7;  // Email
  QLabel* Label16;
  QLabel* Label17;
  widgets::TDBCheckBox* DBCheckBox1;  // EmailShow
  QLabel* Label15;
  widgets::TDBEdit* DBEdit9;  // EndText

  // The folder picker of BitBtn1 (keeps its DirectoryName between uses).
  widgets::TDirectoryDialog* DirectoryDialog1;

  // A definition table and its data source by index (kImportDefinitions, kExportDefinitions).
  TMemTable& DefinitionTable(std::size_t table);
  TDataSource* DefinitionSource(std::size_t table);

  // Switch the detail controls of a page together: enabled state, and the edit boxes' colour
  // (the window colour when enabled, the button face colour when not).
  void EnableDetails(std::size_t table, bool enabled);
  void EnableImportDetails(bool enabled);
  void EnableExportDetails(bool enabled);
  // "Přidat definici": a new current definition named "<bez názvu>", stored at once.
  void AddDefinition(std::size_t table);
  // "Smazat definici": deletes the current definition.
  void DeleteDefinition(std::size_t table);

  void Button1Click();  // "Uložit": save both, close
  void Button2Click();  // "Storno": close
  void Button3Click();  // "Použít": save both
  void Button4Click();  // add a receive definition
  void Button5Click();  // delete the current receive definition
  void Button6Click();  // add a send definition
  void Button7Click();  // delete the current send definition
  void BitBtn1Click();  // SavePath through the folder picker
  void BitBtn2Click();  // KDXFilePath through the file-open dialog

  // Test hook: while the guard lives, BitBtn2Click calls `hook` with the prepared file dialog
  // instead of running it modally and takes its return value as the dialog's result.
  using FileDialogHook = std::function<int(QFileDialog&)>;
  class ScopedFileDialogHookForTesting : platform::ScopedReplacement<FileDialogHook> {
   public:
    explicit ScopedFileDialogHookForTesting(FileDialogHook hook);
  };

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The controls of a page that the add, delete and enable steps work on.
  struct TPageControls {
    std::vector<QWidget*> details;         // switched on and off together
    std::vector<widgets::TDBEdit*> boxes;  // their colour follows
  };
  std::array<TPageControls, 2> pages_;
  // Per table: switches the page's details off whenever a delete leaves the table empty,
  // whichever way ("Smazat definici" or Ctrl+Delete in the grid).
  std::array<std::unique_ptr<TDataLink>, 2> emptyWatches_;

  void BuildPages();
  // Writes a path picked by a dialog into `fieldName` of `table` (edit, write, post); a path
  // that the field cannot hold whole is refused with an error box.
  void StorePickedPath(TMemTable& table, const char* fieldName, const QString& path);
};

}  // namespace kdx::app
