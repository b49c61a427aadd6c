#include "Nastaveni.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <map>
#include <string>
#include <utility>

#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "NastaveniLayout.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/widgets/DBCheckBox.h"
#include "kdx/widgets/DBEdit.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/DirDlg.h"
#include "kdx/widgets/FormKit.h"
#include "kdx/widgets/MessageBox.h"
#include "kdx/widgets/QtText.h"
#include "mainUnit.h"

namespace kdx::app {

using widgets::ToCp;

namespace {

using widgets::MakeButton;
using widgets::MakeLabel;
using widgets::TDBCheckBox;
using widgets::TDBEdit;
using widgets::TDBGrid;
using widgets::U;

// The name every new definition gets.
const char* const kNoName = "<bez názvu>";

TfrmNastaveni::FileDialogHook& FileHook() {
  static TfrmNastaveni::FileDialogHook hook;
  return hook;
}

// A bound edit box named after its label: screen readers (and tests driving the accessibility
// tree) find it by the label's text.
TDBEdit* MakeEdit(QWidget* parent, const char* name, TDataSource* source, const char* field,
                  const QRect& rect, QLabel* label) {
  auto* edit = new TDBEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setGeometry(rect);
  edit->SetDataSource(source);
  edit->SetDataField(QString::fromLatin1(field));
  edit->setAccessibleName(label->text().trimmed());
  label->setBuddy(edit);
  return edit;
}

TDBGrid* MakeGrid(QWidget* parent, const char* name, TDataSource* source, const QRect& rect,
                  bool resizable) {
  auto* grid = new TDBGrid(parent);
  grid->setObjectName(QString::fromLatin1(name));
  grid->setGeometry(rect);
  widgets::TDBGridOptions options{widgets::dgTitles,        widgets::dgColLines,
                                  widgets::dgRowLines,      widgets::dgTabs,
                                  widgets::dgRowSelect,     widgets::dgAlwaysShowSelection,
                                  widgets::dgConfirmDelete, widgets::dgCancelOnExit};
  if (resizable) options.Include(widgets::dgColumnResize);
  grid->SetOptions(options);
  grid->SetTitleFont(widgets::FormFont(grid, true));
  grid->SetTitleColor(widgets::kGray);
  grid->SetDataSource(source);
  grid->SetColumns({QString::fromLatin1(fields::kNazev)}, {U("Seznam všech definicí")});
  grid->setAccessibleName(U("Seznam všech definicí"));
  return grid;
}

// clWindow for an enabled box, clBtnFace for a disabled one.
void SetBoxColour(TDBEdit* edit, bool enabled) {
  const QPalette app = QApplication::palette();
  const QColor colour = enabled ? app.color(QPalette::Active, QPalette::Base)
                                : app.color(QPalette::Active, QPalette::Button);
  QPalette pal = edit->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    pal.setColor(group, QPalette::Base, colour);
  edit->setPalette(pal);
}

// Tells its window when a change of the records leaves the table it watches empty (a delete,
// from a button or the grid): the edit boxes must not stay open for typing, which would start a
// nameless definition. Opening and reloading the table are the window's own business.
class TEmptyTableWatch : public TDataLink {
 public:
  explicit TEmptyTableWatch(std::function<void()> onEmpty) : onEmpty_(std::move(onEmpty)) {}

 protected:
  void ActiveChanged() override { hadRecords_ = HasRecords(); }
  void DataSetChanged() override {
    const bool hasRecords = HasRecords();
    if (hadRecords_ && !hasRecords && DataSet()->State() == dsBrowse) onEmpty_();
    hadRecords_ = hasRecords;
  }

 private:
  bool HasRecords() const { return Active() && DataSet() && !DataSet()->IsEmpty(); }

  std::function<void()> onEmpty_;
  bool hadRecords_ = false;
};

}  // namespace

TfrmNastaveni::TfrmNastaveni(QWidget* parent)
    : QDialog(parent),
      ImportTable(CreateImportTable()),
      ExportTable(CreateExportTable()),
      DataSource1(std::make_unique<TDataSource>(ImportTable.get())),
      DataSource2(std::make_unique<TDataSource>(ExportTable.get())) {
  setObjectName(QStringLiteral("frmNastaveni"));
  // The program's tables have their schemas: a table file cannot declare others.
  ImportTable->SetFixedDefinitions(true);
  ExportTable->SetFixedDefinitions(true);
  setWindowTitle(U("Nastavení"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(ProgramFont());
  resize(kClientWidth, kClientHeight);
  setSizeGripEnabled(false);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(8, 8, 617, 457);

  DirectoryDialog1 = new widgets::TDirectoryDialog(this);
  DirectoryDialog1->setObjectName(QStringLiteral("DirectoryDialog1"));
  DirectoryDialog1->FileListVisible = false;

  BuildPages();
  for (std::size_t table = 0; table < emptyWatches_.size(); ++table) {
    emptyWatches_[table] =
        std::make_unique<TEmptyTableWatch>([this, table] { EnableDetails(table, false); });
    emptyWatches_[table]->SetDataSource(DefinitionSource(table));
  }

  Button1 = MakeButton(this, "Button1", U("Uložit"), QRect(352, 480, 89, 25), {.bold = true});
  Button1->setDefault(true);  // Enter
  Button3 = MakeButton(this, "Button3", U("Použít"), QRect(448, 480, 89, 25));
  Button2 = MakeButton(this, "Button2", U("Storno"), QRect(544, 480, 81, 25));
  // Esc rejects the dialog: the cancel role of "Storno".

  setTabOrder(PageControl1, Button1);
  setTabOrder(Button1, Button3);
  setTabOrder(Button3, Button2);

  for (const auto& [button, handler] : {std::pair{Button1, &TfrmNastaveni::Button1Click},
                                        {Button2, &TfrmNastaveni::Button2Click},
                                        {Button3, &TfrmNastaveni::Button3Click},
                                        {Button4, &TfrmNastaveni::Button4Click},
                                        {Button5, &TfrmNastaveni::Button5Click},
                                        {Button6, &TfrmNastaveni::Button6Click},
                                        {Button7, &TfrmNastaveni::Button7Click},
                                        {BitBtn1, &TfrmNastaveni::BitBtn1Click},
                                        {BitBtn2, &TfrmNastaveni::BitBtn2Click}})
    ConnectHandler(button, &QPushButton::clicked, this, handler);
}

TfrmNastaveni::~TfrmNastaveni() {
  // The bound controls go with the window's children; unbind them before the data sources and
  // tables (members) are destroyed.
  const auto children = findChildren<QWidget*>();
  for (QWidget* child : children) {
    if (auto* edit = qobject_cast<TDBEdit*>(child)) edit->SetDataSource(nullptr);
    if (auto* box = qobject_cast<TDBCheckBox*>(child)) box->SetDataSource(nullptr);
    if (auto* grid = qobject_cast<TDBGrid*>(child)) grid->SetDataSource(nullptr);
  }
}

TMemTable& TfrmNastaveni::DefinitionTable(std::size_t table) {
  return table == kImportDefinitions ? *ImportTable : *ExportTable;
}

TDataSource* TfrmNastaveni::DefinitionSource(std::size_t table) {
  return table == kImportDefinitions ? DataSource1.get() : DataSource2.get();
}

void TfrmNastaveni::BuildPages() {
  for (std::size_t index = 0; index < PageLayouts().size(); ++index) {
    const TPageLayout& layout = PageLayouts()[index];
    TDataSource* source = DefinitionSource(index);
    TPageControls& controls = pages_[index];

    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(layout.sheetName));
    layout.sheet(*this, page);
    PageControl1->addTab(page, U(layout.caption));

    for (const TIntroRow& row : layout.intro) {
      row.store(
          *this,
          MakeLabel(page, row.name, QString(row.indent, QLatin1Char(' ')) + U(row.text), row.rect,
                    {.colour = layout.colour, .bold = row.heading, .wrap = !row.heading}));
    }
    auto* grid =
        MakeGrid(page, layout.gridName, source, QRect(8, 192, 177, 201), layout.resizableGrid);
    layout.grid(*this, grid);
    auto* add = MakeButton(page, layout.addName, U("Přidat definici"), QRect(8, 398, 87, 25));
    layout.add(*this, add);
    auto* remove =
        MakeButton(page, layout.removeName, U("Smazat definici"), QRect(98, 398, 87, 25));
    layout.remove(*this, remove);
    controls.details.push_back(remove);

    auto* group = new QGroupBox(page);
    group->setObjectName(QString::fromLatin1(layout.groupName));
    group->setGeometry(200, 8, 401, 406);
    layout.group(*this, group);

    std::vector<QWidget*> tabOrder{grid, add, remove};
    std::map<std::string, QLabel*> labels;
    for (const TPageRow& row : layout.rows) {
      QWidget* control = nullptr;
      switch (row.kind) {
        case RowKind::Text: {
          QLabel* label = MakeLabel(group, row.name, U(row.text), row.rect, {.wrap = row.wrap});
          labels[row.name] = label;
          control = label;
          break;
        }
        case RowKind::Edit: {
          TDBEdit* edit =
              MakeEdit(group, row.name, source, row.field, row.rect, labels.at(row.label));
          controls.boxes.push_back(edit);
          control = edit;
          break;
        }
        case RowKind::Picker: {
          QPushButton* button = MakeButton(group, row.name, QStringLiteral("..."), row.rect);
          button->setAccessibleName(U(row.text));
          control = button;
          break;
        }
        case RowKind::Check: {
          auto* box = new TDBCheckBox(U(row.text), group);
          box->setObjectName(QString::fromLatin1(row.name));
          box->setGeometry(row.rect);
          box->SetValueChecked(QStringLiteral("True"));
          box->SetValueUnchecked(QStringLiteral("False"));
          box->SetDataSource(source);
          box->SetDataField(QString::fromLatin1(row.field));
          box->setAccessibleName(box->text());
          control = box;
          break;
        }
      }
      row.store(*this, control);
      if (row.kind != RowKind::Text) {
        controls.details.push_back(control);
        tabOrder.push_back(control);
      }
    }
    for (std::size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  }
}

void TfrmNastaveni::EnableDetails(std::size_t table, bool enabled) {
  for (QWidget* w : pages_[table].details) w->setEnabled(enabled);
  for (TDBEdit* edit : pages_[table].boxes) SetBoxColour(edit, enabled);
}

void TfrmNastaveni::EnableImportDetails(bool enabled) {
  EnableDetails(kImportDefinitions, enabled);
}

void TfrmNastaveni::EnableExportDetails(bool enabled) {
  EnableDetails(kExportDefinitions, enabled);
}

void TfrmNastaveni::AddDefinition(std::size_t table) {
  TMemTable& t = DefinitionTable(table);
  EnableDetails(table, true);
  t.InsertRecord();
  t.FieldByName(fields::kNazev)->SetValue(TVariant(text::Utf8ToCp1250(kNoName)));
  if (const char* field = kDefinitionTables[table].trueOnAdd)
    t.FieldByName(field)->SetValue(TVariant(true));
  t.PostRecord();
}

void TfrmNastaveni::DeleteDefinition(std::size_t table) {
  TMemTable& t = DefinitionTable(table);
  t.DeleteRecord();
  EnableDetails(table, true);
  if (t.RecordCount() == 0) EnableDetails(table, false);
}

void TfrmNastaveni::Button1Click() {
  // The import file first: a failure stops there and leaves the window open.
  for (std::size_t table = 0; table < kDefinitionTables.size(); ++table) SaveDefinitions(table);
  accept();
}

void TfrmNastaveni::Button2Click() {
  reject();
}

void TfrmNastaveni::Button3Click() {
  for (std::size_t table = 0; table < kDefinitionTables.size(); ++table) SaveDefinitions(table);
}

void TfrmNastaveni::Button4Click() {
  AddDefinition(kImportDefinitions);
}
void TfrmNastaveni::Button5Click() {
  DeleteDefinition(kImportDefinitions);
}
void TfrmNastaveni::Button6Click() {
  AddDefinition(kExportDefinitions);
}
void TfrmNastaveni::Button7Click() {
  DeleteDefinition(kExportDefinitions);
}

void TfrmNastaveni::BitBtn1Click() {
  if (!DirectoryDialog1->PickFolder()) return;
  StorePickedPath(*ImportTable, fields::kSavePath, DirectoryDialog1->DirectoryName);
}

void TfrmNastaveni::BitBtn2Click() {
  QFileDialog dialog(this, U("Vyberte přenosový soubor"));
  // The platform's own dialog where it has one (the common file-open dialog on Windows).
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);  // the chosen file need not exist
  dialog.setNameFilters({U("Přenosové soubory Velkor (*.KDX)"), U("Všechny soubory (*.*)")});
  dialog.selectNameFilter(U("Přenosové soubory Velkor (*.KDX)"));
  dialog.setDefaultSuffix(QStringLiteral("KDX"));
  dialog.selectFile(QString());
  const int result = FileHook() ? FileHook()(dialog) : dialog.exec();
  if (result != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return;
  StorePickedPath(*ExportTable, fields::kKDXFilePath,
                  QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath()));
}

void TfrmNastaveni::StorePickedPath(TMemTable& table, const char* fieldName, const QString& path) {
  TField* field = table.FieldByName(fieldName);
  bool lossless = true;
  const std::string bytes = ToCp(path, &lossless);
  if (!lossless || static_cast<int>(bytes.size()) > field->Size()) {
    // Stored cut short or with '?' in place of a letter, the path would name another place.
    widgets::ShowMessage(this,
                         U("Zvolenou cestu nelze do definice uložit: je delší než %1 znaků nebo "
                           "obsahuje znaky, které kódová stránka 1250 neumí zapsat.\n\n%2")
                             .arg(field->Size())
                             .arg(path),
                         U("Chyba"), widgets::MsgIcon::Error);
    return;
  }
  table.EditRecord();
  field->SetValue(TVariant(bytes));
  table.PostRecord();
}

TfrmNastaveni::ScopedFileDialogHookForTesting::ScopedFileDialogHookForTesting(FileDialogHook hook)
    : ScopedReplacement(FileHook(), std::move(hook)) {}

void TfrmNastaveni::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  // Centred over the main window when it is on the screen.
  QWidget* main = frmMain;
  if (main && main->isVisible()) {
    QRect frame = frameGeometry();
    frame.moveCenter(main->frameGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace kdx::app
