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
#include <type_traits>

#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/widgets/DBCheckBox.h"
#include "kdx/widgets/DBEdit.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/DirDlg.h"
#include "kdx/widgets/MessageBox.h"
#include "kdx/widgets/QtText.h"
#include "mainUnit.h"

namespace kdx::app {

using widgets::ToCp;

namespace {

using widgets::TDBCheckBox;
using widgets::TDBEdit;
using widgets::TDBGrid;

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);
const QColor kGray(128, 128, 128);
constexpr int kEditHeight = 21;

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// The name every new definition gets.
const char* const kNoName = "<bez názvu>";

TfrmNastaveni::FileDialogHook& FileHook() {
  static TfrmNastaveni::FileDialogHook hook;
  return hook;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                  bool wrap, const QColor& colour = QColor(), bool bold = false) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(wrap);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(rect);
  if (colour.isValid()) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
  }
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  return label;
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
  QFont titleFont = grid->font();
  titleFont.setBold(true);
  grid->SetTitleFont(titleFont);
  grid->SetTitleColor(kGray);
  grid->SetDataSource(source);
  grid->SetColumns({QString::fromLatin1(fields::kNazev)}, {U("Seznam všech definicí")});
  grid->setAccessibleName(U("Seznam všech definicí"));
  return grid;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& rect) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(rect);
  return button;
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

// --- the pages, described row by row -----------------------------------------------------------

// Stores a built control in the window's member of that name.
using Store = void (*)(TfrmNastaveni&, QWidget*);
template <auto Member>
void StoreIn(TfrmNastaveni& window, QWidget* control) {
  using Pointer = std::remove_reference_t<decltype(window.*Member)>;
  window.*Member = static_cast<Pointer>(control);
}

enum class RowKind {
  Text,    // a label
  Edit,    // a bound edit box; `text` names the label that describes it
  Picker,  // the "..." button beside an edit box; `text` is its accessible name
  Check,   // a bound check box; `text` is its caption
};

// One control, in creation order; the Tab order follows it too.
struct TPageRow {
  RowKind kind;
  Store store;
  const char* name;
  const char* text;
  QRect rect;
  const char* field = nullptr;  // Edit, Check
  bool wrap = false;            // Text
};

// The explanation on the left of a page, over the grid, in the page's colour.
struct TIntroRow {
  Store store;
  const char* name;
  const char* text;
  QRect rect;
  int indent = 0;  // leading blanks: room for the bold heading drawn over the first line
  bool heading = false;
};

struct TPageLayout {
  Store sheet;
  const char* sheetName;
  const char* caption;
  QColor colour;
  std::vector<TIntroRow> intro;
  Store grid;
  const char* gridName;
  bool resizableGrid;
  Store add;
  const char* addName;
  Store remove;
  const char* removeName;
  Store group;
  const char* groupName;
  std::vector<TPageRow> rows;  // in the group box
};

using F = TfrmNastaveni;

// Indexed like kDefinitionTables.
const std::array<TPageLayout, 2>& PageLayouts() {
  static const std::array<TPageLayout, 2> layouts{{
      {StoreIn<&F::TabSheet1>,
       "TabSheet1",
       "Uložení souboru z e-mailu",
       kNavy,
       {
           {StoreIn<&F::Label7>, "Label7",
            "Tato akce se spustí v okamžiku, kdy uživa- tel dvojitým kliknutím \"otevře\" soubor "
            "*.KDX (koncovku *.KDX inst. program asocioval s tímto doplňkem), který je obvykle "
            "zaslán jako příloha e-mailu.",
            QRect(8, 8, 185, 81), 50},
           {StoreIn<&F::Label18>, "Label18", "Uložení souboru z e-mailu.", QRect(8, 8, 185, 14), 0,
            true},
           {StoreIn<&F::Label8>, "Label8",
            "Program porovná název *.KDX souboru se všemi definicemi a pokud nalezne záznam, "
            "který má zadaný stejný název souboru, přílohu z e-mailu nakopíruje do předem určené "
            "složky (z této složky potom Velkor *.KDX soubor načítají).",
            QRect(8, 92, 185, 97)},
       },
       StoreIn<&F::DBGrid1>,
       "DBGrid1",
       false,
       StoreIn<&F::Button4>,
       "Button4",
       StoreIn<&F::Button5>,
       "Button5",
       StoreIn<&F::GroupBox1>,
       "GroupBox1",
       {
           {RowKind::Text, StoreIn<&F::Label1>, "Label1",
            "Název definice (libovolný identifikační název)", QRect(12, 12, 377, 14)},
           {RowKind::Edit, StoreIn<&F::dbtext1>, "dbtext1", "Label1",
            QRect(12, 28, 377, kEditHeight), fields::kNazev},
           {RowKind::Text, StoreIn<&F::Label2>, "Label2",
            "Název KDX souboru i s příponou, ale bez cesty (např. POB1_PB.KDX). Pokud se tento "
            "název souboru bude shodovat se souborem otevřeným z e-mailu, program ho uloží do "
            "složky definované níže.",
            QRect(12, 58, 377, 42), nullptr, true},
           {RowKind::Edit, StoreIn<&F::DBEdit1>, "DBEdit1", "Label2",
            QRect(12, 101, 129, kEditHeight), fields::kKDXFile},
           {RowKind::Text, StoreIn<&F::Label3>, "Label3",
            "Soubor z přílohy e-mailu uložit do ... (zde je potřeba  uvést plnou cestu ke "
            "složce, z které Velkor načítají přenosový soubor, např. C:\\Velkor\\Prenosy\\)",
            QRect(12, 131, 377, 42), nullptr, true},
           {RowKind::Edit, StoreIn<&F::DBEdit2>, "DBEdit2", "Label3",
            QRect(12, 174, 361, kEditHeight), fields::kSavePath},
           {RowKind::Picker, StoreIn<&F::BitBtn1>, "BitBtn1", "Vybrat složku",
            QRect(373, 174, 20, 21)},
           {RowKind::Text, StoreIn<&F::Label4>, "Label4",
            "Popis akce - zde uveďte libovolný text, který bude srozumitelnou formou informovat "
            "uživatele o tom, co se právě děje (např. \"Uložení přenosového souboru z pobočky "
            "Liptákov\" , apod.). Text se zobrazí v poli \"Popis akce\"",
            QRect(12, 204, 377, 56), nullptr, true},
           {RowKind::Edit, StoreIn<&F::DBEdit3>, "DBEdit3", "Label4",
            QRect(12, 261, 377, kEditHeight), fields::kInfoText},
           {RowKind::Text, StoreIn<&F::Label5>, "Label5",
            "Informační text po skončení akce - slouží opět pro informování uživatele,  co má "
            "udělat dále. Pokud by tato definice byla nastavená jako např. Uložení přenoso- "
            "vého souboru z pobočky z emailu, text by mohl vypadat takto:",
            QRect(12, 291, 377, 42), nullptr, true},
           {RowKind::Text, StoreIn<&F::Label6>, "Label6",
            "\"Přenosový soubor byl uložen do složky pro přenosy, nyní pokračujte v Velkor "
            "volbou Agenda/Přenos dat/Přenos dat z pobočky\"",
            QRect(12, 334, 377, 28), nullptr, true},
           {RowKind::Edit, StoreIn<&F::DBEdit4>, "DBEdit4", "Label5",
            QRect(12, 370, 377, kEditHeight), fields::kEndText},
       }},
      {StoreIn<&F::TabSheet2>,
       "TabSheet2",
       "Připojení souboru k e-mailu",
       kMaroon,
       {
           {StoreIn<&F::Label10>, "Label10",
            "Tato funkce je dostupná v případě, když je tento program spuštěn bez parametru "
            "(tedy obvykle pomocí Windows nabíd- ky Start/Programy). Uživatel poté vybe- re ze "
            "seznamu vhodnou definici a utilita",
            QRect(8, 8, 185, 94), 53},
           {StoreIn<&F::Label19>, "Label19", "Připojení souboru k e-mailu.", QRect(8, 8, 185, 14),
            0, true},
           {StoreIn<&F::Label11>, "Label11",
            "připojí určený přenosový soubor k e-mailu (ten je potom umístěn do složky \"Pošta "
            "k odeslání\"). Většinou zde bude pouze jedna definice, pokud má však firma více "
            "než jednu pobočku, je možné nadefinovat další.",
            QRect(8, 104, 185, 84)},
       },
       StoreIn<&F::DBGrid2>,
       "DBGrid2",
       true,
       StoreIn<&F::Button6>,
       "Button6",
       StoreIn<&F::Button7>,
       "Button7",
       StoreIn<&F::GroupBox2>,
       "GroupBox2",
       {
           {RowKind::Text, StoreIn<&F::Label9>, "Label9",
            "Název definice (libovolný text, který se zobrazí uživatelům k výběru) např. "
            "\"Zaslání přenosového souboru pobočce Liptákov\"",
            QRect(12, 12, 377, 28), nullptr, true},
           {RowKind::Edit, StoreIn<&F::DBEdit5>, "DBEdit5", "Label9",
            QRect(12, 41, 377, kEditHeight), fields::kNazev},
           {RowKind::Text, StoreIn<&F::Label14>, "Label14",
            "Popis akce - zde můžete uvést podrobný text, který se zobrazí pod seznamem",
            QRect(12, 68, 377, 28), nullptr, true},
           {RowKind::Edit, StoreIn<&F::DBEdit8>, "DBEdit8", "Label14",
            QRect(12, 97, 377, kEditHeight), fields::kInfoText},
           {RowKind::Text, StoreIn<&F::Label12>, "Label12",
            "Název KDX souboru (včetně plné cesty) - tento soubor se připojí jako příloha k "
            "e-mailu",
            QRect(12, 124, 377, 28), nullptr, true},
           {RowKind::Edit, StoreIn<&F::DBEdit6>, "DBEdit6", "Label12",
            QRect(12, 153, 361, kEditHeight), fields::kKDXFilePath},
           {RowKind::Picker, StoreIn<&F::BitBtn2>, "BitBtn2", "Vybrat soubor",
            QRect(373, 153, 20, 21)},
           {RowKind::Text, StoreIn<&F::Label13>, "Label13",
            "E-mailová adresa příjemce (nutno vyplnit)", QRect(12, 180, 377, 14)},
           {RowKind::Edit, StoreIn<&F::DBEdit7>, "DBEdit7", "Label13",
            QRect(12, 195, 377, kEditHeight), fields::kEmail},
           {RowKind::Text, StoreIn<&F::Label16>, "Label16",
            "Program připojí přenosový soubor k e-mailu a umístí ho do složky \"Pošta k "
            "odeslání\" - použije se výchozí poštovní program ve Windows. Před touto akcí se "
            "může ještě zobrazit karta e-mailu - doporučujeme nechat tento přepínač",
            QRect(12, 222, 377, 42), nullptr, true},
           {RowKind::Text, StoreIn<&F::Label17>, "Label17",
            "zaškrtnutý (uživatel tak bude mít možnost napsat do e-mailu libovolný text).",
            QRect(12, 264, 377, 14)},
           {RowKind::Check, StoreIn<&F::DBCheckBox1>, "DBCheckBox1",
            "Zobrazit kartu e-mailu před uložením do složky \"Pošta k odeslání\"",
            QRect(12, 283, 377, 17), fields::kEmailShow},
           {RowKind::Text, StoreIn<&F::Label15>, "Label15",
            "Informační text po skončení akce, slouží opět k informování uživatele  - vhodné k "
            "připomenutí, že e-mail bude odeslán až po příkazu \"Odeslat a přijmout\" (resp. po "
            "připojení k internetu).",
            QRect(12, 306, 377, 42), nullptr, true},
           {RowKind::Edit, StoreIn<&F::DBEdit9>, "DBEdit9", "Label15",
            QRect(12, 349, 377, kEditHeight), fields::kEndText},
       }},
  }};
  return layouts;
}

}  // namespace

TfrmNastaveni::TfrmNastaveni(QWidget* parent)
    : QDialog(parent),
      ImportTable(CreateImportTable()),
      ExportTable(CreateExportTable()),
      DataSource1(std::make_unique<TDataSource>(ImportTable.get())),
      DataSource2(std::make_unique<TDataSource>(ExportTable.get())) {
  setObjectName(QStringLiteral("frmNastaveni"));
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

  QFont bold = ProgramFont();
  bold.setBold(true);
  Button1 = MakeButton(this, "Button1", U("Uložit"), QRect(352, 480, 89, 25));
  Button1->setFont(bold);
  Button1->setDefault(true);  // Enter
  Button3 = MakeButton(this, "Button3", U("Použít"), QRect(448, 480, 89, 25));
  Button2 = MakeButton(this, "Button2", U("Storno"), QRect(544, 480, 81, 25));
  // Esc rejects the dialog: the cancel role of "Storno".

  setTabOrder(PageControl1, Button1);
  setTabOrder(Button1, Button3);
  setTabOrder(Button3, Button2);

  auto handle = [this](QPushButton* button, void (TfrmNastaveni::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
  };
  handle(Button1, &TfrmNastaveni::Button1Click);
  handle(Button2, &TfrmNastaveni::Button2Click);
  handle(Button3, &TfrmNastaveni::Button3Click);
  handle(Button4, &TfrmNastaveni::Button4Click);
  handle(Button5, &TfrmNastaveni::Button5Click);
  handle(Button6, &TfrmNastaveni::Button6Click);
  handle(Button7, &TfrmNastaveni::Button7Click);
  handle(BitBtn1, &TfrmNastaveni::BitBtn1Click);
  handle(BitBtn2, &TfrmNastaveni::BitBtn2Click);
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
      row.store(*this,
                MakeLabel(page, row.name, QString(row.indent, QLatin1Char(' ')) + U(row.text),
                          row.rect, !row.heading, layout.colour, row.heading));
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
          QLabel* label = MakeLabel(group, row.name, U(row.text), row.rect, row.wrap);
          labels[row.name] = label;
          control = label;
          break;
        }
        case RowKind::Edit: {
          TDBEdit* edit =
              MakeEdit(group, row.name, source, row.field, row.rect, labels.at(row.text));
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
