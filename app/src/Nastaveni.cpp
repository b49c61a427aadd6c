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

#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "QtText.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/widgets/DBCheckBox.h"
#include "kdx/widgets/DBEdit.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/DirDlg.h"
#include "kdx/widgets/MessageBox.h"
#include "mainUnit.h"

namespace kdx::app {

namespace {

using widgets::TDBCheckBox;
using widgets::TDBEdit;
using widgets::TDBGrid;

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);
const QColor kGray(128, 128, 128);
constexpr int kEditHeight = 21;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

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
  widgets::TDBGridOptions options{widgets::dgTitles,     widgets::dgColLines,
                                  widgets::dgRowLines,   widgets::dgTabs,
                                  widgets::dgRowSelect,  widgets::dgAlwaysShowSelection,
                                  widgets::dgConfirmDelete, widgets::dgCancelOnExit};
  if (resizable) options.Include(widgets::dgColumnResize);
  grid->SetOptions(options);
  QFont titleFont = grid->font();
  titleFont.setBold(true);
  grid->SetTitleFont(titleFont);
  grid->SetTitleColor(kGray);
  grid->SetDataSource(source);
  grid->SetColumns({QStringLiteral("Nazev")}, {U("Seznam všech definicí")});
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
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  PageControl1->addTab(TabSheet1, U("Uložení souboru z e-mailu"));
  PageControl1->addTab(TabSheet2, U("Připojení souboru k e-mailu"));

  DirectoryDialog1 = new widgets::TDirectoryDialog(this);
  DirectoryDialog1->setObjectName(QStringLiteral("DirectoryDialog1"));
  DirectoryDialog1->FileListVisible = false;

  BuildImportPage();
  BuildExportPage();

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

void TfrmNastaveni::BuildImportPage() {
  QWidget* page = TabSheet1;
  TDataSource* source = DataSource1.get();

  Label7 = MakeLabel(page, "Label7",
                     QString(50, QLatin1Char(' ')) +
                         U("Tato akce se spustí v okamžiku, kdy uživa- tel dvojitým kliknutím "
                           "\"otevře\" soubor *.KDX (koncovku *.KDX inst. program asocioval s "
                           "tímto doplňkem), který je obvykle zaslán jako příloha e-mailu."),
                     QRect(8, 8, 185, 81), true, kNavy);
  Label18 = MakeLabel(page, "Label18", U("Uložení souboru z e-mailu."), QRect(8, 8, 185, 14),
                      false, kNavy, true);
  Label8 = MakeLabel(page, "Label8",
                     U("Program porovná název *.KDX souboru se všemi definicemi a pokud nalezne "
                       "záznam, který má zadaný stejný název souboru, přílohu z e-mailu "
                       "nakopíruje do předem určené složky (z této složky potom Velkor *.KDX "
                       "soubor načítají)."),
                     QRect(8, 92, 185, 97), true, kNavy);
  DBGrid1 = MakeGrid(page, "DBGrid1", source, QRect(8, 192, 177, 201), false);
  Button4 = MakeButton(page, "Button4", U("Přidat definici"), QRect(8, 398, 87, 25));
  Button5 = MakeButton(page, "Button5", U("Smazat definici"), QRect(98, 398, 87, 25));

  GroupBox1 = new QGroupBox(page);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(200, 8, 401, 406);
  QWidget* box = GroupBox1;

  Label1 = MakeLabel(box, "Label1", U("Název definice (libovolný identifikační název)"),
                     QRect(12, 12, 377, 14), false);
  dbtext1 = MakeEdit(box, "dbtext1", source, "Nazev", QRect(12, 28, 377, kEditHeight), Label1);
  Label2 = MakeLabel(box, "Label2",
                     U("Název KDX souboru i s příponou, ale bez cesty (např. POB1_PB.KDX). Pokud "
                       "se tento název souboru bude shodovat se souborem otevřeným z e-mailu, "
                       "program ho uloží do složky definované níže."),
                     QRect(12, 58, 377, 42), true);
  DBEdit1 = MakeEdit(box, "DBEdit1", source, "KDXFile", QRect(12, 101, 129, kEditHeight), Label2);
  Label3 = MakeLabel(box, "Label3",
                     U("Soubor z přílohy e-mailu uložit do ... (zde je potřeba  uvést plnou cestu "
                       "ke složce, z které Velkor načítají přenosový soubor, např. "
                       "C:\\Velkor\\Prenosy\\)"),
                     QRect(12, 131, 377, 42), true);
  DBEdit2 = MakeEdit(box, "DBEdit2", source, "SavePath", QRect(12, 174, 361, kEditHeight), Label3);
  BitBtn1 = MakeButton(box, "BitBtn1", QStringLiteral("..."), QRect(373, 174, 20, 21));
  BitBtn1->setAccessibleName(U("Vybrat složku"));
  Label4 = MakeLabel(box, "Label4",
                     U("Popis akce - zde uveďte libovolný text, který bude srozumitelnou formou "
                       "informovat uživatele o tom, co se právě děje (např. \"Uložení "
                       "přenosového souboru z pobočky Liptákov\" , apod.). Text se zobrazí v poli "
                       "\"Popis akce\""),
                     QRect(12, 204, 377, 56), true);
  DBEdit3 = MakeEdit(box, "DBEdit3", source, "InfoText", QRect(12, 261, 377, kEditHeight), Label4);
  Label5 = MakeLabel(box, "Label5",
                     U("Informační text po skončení akce - slouží opět pro informování "
                       "uživatele,  co má udělat dále. Pokud by tato definice byla nastavená jako "
                       "např. Uložení přenoso- vého souboru z pobočky z emailu, text by mohl "
                       "vypadat takto:"),
                     QRect(12, 291, 377, 42), true);
  Label6 = MakeLabel(box, "Label6",
                     U("\"Přenosový soubor byl uložen do složky pro přenosy, nyní pokračujte v "
                       "Velkor volbou Agenda/Přenos dat/Přenos dat z pobočky\""),
                     QRect(12, 334, 377, 28), true);
  DBEdit4 = MakeEdit(box, "DBEdit4", source, "EndText", QRect(12, 370, 377, kEditHeight), Label5);

  setTabOrder(DBGrid1, Button4);
  setTabOrder(Button4, Button5);
  setTabOrder(Button5, dbtext1);
  setTabOrder(dbtext1, DBEdit1);
  setTabOrder(DBEdit1, DBEdit2);
  setTabOrder(DBEdit2, BitBtn1);
  setTabOrder(BitBtn1, DBEdit3);
  setTabOrder(DBEdit3, DBEdit4);
}

void TfrmNastaveni::BuildExportPage() {
  QWidget* page = TabSheet2;
  TDataSource* source = DataSource2.get();

  Label10 = MakeLabel(page, "Label10",
                      QString(53, QLatin1Char(' ')) +
                          U("Tato funkce je dostupná v případě, když je tento program spuštěn bez "
                            "parametru (tedy obvykle pomocí Windows nabíd- ky Start/Programy). "
                            "Uživatel poté vybe- re ze seznamu vhodnou definici a utilita"),
                      QRect(8, 8, 185, 94), true, kMaroon);
  Label19 = MakeLabel(page, "Label19", U("Připojení souboru k e-mailu."), QRect(8, 8, 185, 14),
                      false, kMaroon, true);
  Label11 = MakeLabel(page, "Label11",
                      U("připojí určený přenosový soubor k e-mailu (ten je potom umístěn do "
                        "složky \"Pošta k odeslání\"). Většinou zde bude pouze jedna definice, "
                        "pokud má však firma více než jednu pobočku, je možné nadefinovat další."),
                      QRect(8, 104, 185, 84), true, kMaroon);
  DBGrid2 = MakeGrid(page, "DBGrid2", source, QRect(8, 192, 177, 201), true);
  Button6 = MakeButton(page, "Button6", U("Přidat definici"), QRect(8, 398, 87, 25));
  Button7 = MakeButton(page, "Button7", U("Smazat definici"), QRect(98, 398, 87, 25));

  GroupBox2 = new QGroupBox(page);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  GroupBox2->setGeometry(200, 8, 401, 406);
  QWidget* box = GroupBox2;

  Label9 = MakeLabel(box, "Label9",
                     U("Název definice (libovolný text, který se zobrazí uživatelům k výběru) "
                       "např. \"Zaslání přenosového souboru pobočce Liptákov\""),
                     QRect(12, 12, 377, 28), true);
  DBEdit5 = MakeEdit(box, "DBEdit5", source, "Nazev", QRect(12, 41, 377, kEditHeight), Label9);
  Label14 = MakeLabel(box, "Label14",
                      U("Popis akce - zde můžete uvést podrobný text, který se zobrazí pod "
                        "seznamem"),
                      QRect(12, 68, 377, 28), true);
  DBEdit8 = MakeEdit(box, "DBEdit8", source, "InfoText", QRect(12, 97, 377, kEditHeight), Label14);
  Label12 = MakeLabel(box, "Label12",
                      U("Název KDX souboru (včetně plné cesty) - tento soubor se připojí jako "
                        "příloha k e-mailu"),
                      QRect(12, 124, 377, 28), true);
  DBEdit6 = MakeEdit(box, "DBEdit6", source, "KDXFilePath", QRect(12, 153, 361, kEditHeight),
                     Label12);
  BitBtn2 = MakeButton(box, "BitBtn2", QStringLiteral("..."), QRect(373, 153, 20, 21));
  BitBtn2->setAccessibleName(U("Vybrat soubor"));
  Label13 = MakeLabel(box, "Label13", U("E-mailová adresa příjemce (nutno vyplnit)"),
                      QRect(12, 180, 377, 14), false);
  DBEdit7 = MakeEdit(box, "DBEdit7", source, "Email", QRect(12, 195, 377, kEditHeight), Label13);
  Label16 = MakeLabel(box, "Label16",
                      U("Program připojí přenosový soubor k e-mailu a umístí ho do složky \"Pošta "
                        "k odeslání\" - použije se výchozí poštovní program ve Windows. Před touto "
                        "akcí se může ještě zobrazit karta e-mailu - doporučujeme nechat tento "
                        "přepínač"),
                      QRect(12, 222, 377, 42), true);
  Label17 = MakeLabel(box, "Label17",
                      U("zaškrtnutý (uživatel tak bude mít možnost napsat do e-mailu libovolný "
                        "text)."),
                      QRect(12, 264, 377, 14), false);
  DBCheckBox1 = new TDBCheckBox(
      U("Zobrazit kartu e-mailu před uložením do složky \"Pošta k odeslání\""), box);
  DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
  DBCheckBox1->setGeometry(12, 283, 377, 17);
  DBCheckBox1->SetValueChecked(QStringLiteral("True"));
  DBCheckBox1->SetValueUnchecked(QStringLiteral("False"));
  DBCheckBox1->SetDataSource(source);
  DBCheckBox1->SetDataField(QStringLiteral("EmailShow"));
  DBCheckBox1->setAccessibleName(DBCheckBox1->text());
  Label15 = MakeLabel(box, "Label15",
                      U("Informační text po skončení akce, slouží opět k informování uživatele  - "
                        "vhodné k připomenutí, že e-mail bude odeslán až po příkazu \"Odeslat a "
                        "přijmout\" (resp. po připojení k internetu)."),
                      QRect(12, 306, 377, 42), true);
  DBEdit9 = MakeEdit(box, "DBEdit9", source, "EndText", QRect(12, 349, 377, kEditHeight), Label15);

  setTabOrder(DBGrid2, Button6);
  setTabOrder(Button6, Button7);
  setTabOrder(Button7, DBEdit5);
  setTabOrder(DBEdit5, DBEdit8);
  setTabOrder(DBEdit8, DBEdit6);
  setTabOrder(DBEdit6, BitBtn2);
  setTabOrder(BitBtn2, DBEdit7);
  setTabOrder(DBEdit7, DBCheckBox1);
  setTabOrder(DBCheckBox1, DBEdit9);
}

void TfrmNastaveni::EnableImportDetails(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{Button5, dbtext1, DBEdit1, DBEdit2, DBEdit3,
                                                    DBEdit4, BitBtn1})
    w->setEnabled(enabled);
  for (TDBEdit* edit : {dbtext1, DBEdit1, DBEdit2, DBEdit3, DBEdit4}) SetBoxColour(edit, enabled);
}

void TfrmNastaveni::EnableExportDetails(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{Button7, DBEdit5, DBEdit6, DBEdit7, DBEdit8,
                                                    DBEdit9, BitBtn2, DBCheckBox1})
    w->setEnabled(enabled);
  for (TDBEdit* edit : {DBEdit5, DBEdit6, DBEdit7, DBEdit8, DBEdit9}) SetBoxColour(edit, enabled);
}

void TfrmNastaveni::Button1Click() {
  SaveImportDefinitions();
  SaveExportDefinitions();
  accept();
}

void TfrmNastaveni::Button2Click() { reject(); }

void TfrmNastaveni::Button3Click() {
  SaveImportDefinitions();
  SaveExportDefinitions();
}

void TfrmNastaveni::Button4Click() {
  EnableImportDetails(true);
  ImportTable->InsertRecord();
  ImportTable->FieldByName("Nazev")->SetValue(TVariant(text::Utf8ToCp1250(kNoName)));
  ImportTable->PostRecord();
}

void TfrmNastaveni::Button5Click() {
  ImportTable->DeleteRecord();
  EnableImportDetails(true);
  if (ImportTable->RecordCount() == 0) EnableImportDetails(false);
}

void TfrmNastaveni::Button6Click() {
  EnableExportDetails(true);
  ExportTable->InsertRecord();
  ExportTable->FieldByName("Nazev")->SetValue(TVariant(text::Utf8ToCp1250(kNoName)));
  ExportTable->FieldByName("EmailShow")->SetValue(TVariant(true));
  ExportTable->PostRecord();
}

void TfrmNastaveni::Button7Click() {
  ExportTable->DeleteRecord();
  EnableExportDetails(true);
  if (ExportTable->RecordCount() == 0) EnableExportDetails(false);
}

void TfrmNastaveni::BitBtn1Click() {
  if (!DirectoryDialog1->PickFolder()) return;
  StorePickedPath(*ImportTable, "SavePath", DirectoryDialog1->DirectoryName);
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
  StorePickedPath(*ExportTable, "KDXFilePath",
                  QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath()));
}

void TfrmNastaveni::StorePickedPath(TMemTable& table, const char* fieldName,
                                    const QString& path) {
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

TfrmNastaveni::FileDialogHook TfrmNastaveni::SetFileDialogHook(FileDialogHook hook) {
  FileDialogHook previous = std::move(FileHook());
  FileHook() = std::move(hook);
  return previous;
}

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
