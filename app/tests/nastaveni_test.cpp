// The settings window on the real program: opening, adding and deleting definitions, the
// detail controls, saving with "Uložit" / "Použít", "Storno", the folder picker and the file
// dialog (through their test hooks), and save failures.

#include "Nastaveni.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/widgets/DBCheckBox.h"
#include "kdx/widgets/DBEdit.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/DirDlg.h"
#include "kdx/widgets/FileCtrls.h"
#include "mainUnit.h"

using namespace kdx;
using namespace kdx::app;
using kdx::test::Cp;
using kdx::test::ExportDef;
using kdx::test::ImportDef;
using kdx::test::ProgramRun;
using kdx::widgets::MsgIcon;
using kdx::widgets::TDBEdit;

namespace {

const char* const kImportHeader =
    "\"Nazev\",\"KDXFile\",\"SavePath\",\"InfoText\",\"EndText\",\r\n";
const char* const kExportHeader =
    "\"Nazev\",\"KDXFilePath\",\"Email\",\"InfoText\",\"EndText\",\"EmailShow\",\r\n";

// Runs `inside` once the settings window is up (shown modally by `show`), then closes it with
// "Storno" unless `inside` closed it already. A failed check returns from `inside` early: the
// window is closed all the same, so the failure is reported instead of the modal loop waiting
// for the test's time limit.
void WhileSettingsShown(const std::function<void()>& inside, const std::function<void()>& show) {
  QTimer::singleShot(0, [inside] {
    inside();
    if (frmNastaveni->isVisible()) frmNastaveni->Button2->click();
  });
  show();
}

// The same around OpenSettings.
void InSettings(const std::function<void()>& inside) {
  WhileSettingsShown(inside, OpenSettings);
}

QString GridCell(widgets::TDBGrid* grid, int row) {
  return grid->model()->index(row, 0).data().toString();
}

QColor Base(QWidget* w) {
  return w->palette().color(QPalette::Active, QPalette::Base);
}
QColor WindowColour() {
  return QApplication::palette().color(QPalette::Active, QPalette::Base);
}
QColor FaceColour() {
  return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

// Replaces the text of a bound edit box by typing, as a user does (the box has the focus).
void TypeInto(TDBEdit* edit, const QString& text) {
  edit->setFocus(Qt::TabFocusReason);
  edit->selectAll();
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
  }
}

// The widget that Tab moves to from `w`.
QWidget* NextTabStop(QWidget* w) {
  do w = w->nextInFocusChain();
  while (!(w->focusPolicy() & Qt::TabFocus));
  return w;
}

std::vector<QWidget*> ImportDetails() {
  TfrmNastaveni& w = *frmNastaveni;
  return {w.Button5, w.dbtext1, w.DBEdit1, w.DBEdit2, w.DBEdit3, w.DBEdit4, w.BitBtn1};
}
std::vector<QWidget*> ExportDetails() {
  TfrmNastaveni& w = *frmNastaveni;
  return {w.Button7, w.DBEdit5, w.DBEdit6, w.DBEdit7,
          w.DBEdit8, w.DBEdit9, w.BitBtn2, w.DBCheckBox1};
}

// All of a group enabled (or disabled), with its edit boxes in the matching colour.
bool DetailsAre(const std::vector<QWidget*>& group, bool enabled) {
  for (QWidget* w : group) {
    if (w->isEnabled() != enabled) return false;
    if (qobject_cast<TDBEdit*>(w) && Base(w) != (enabled ? WindowColour() : FaceColour()))
      return false;
  }
  return true;
}

}  // namespace

class NastaveniTest : public QObject {
  Q_OBJECT

 private slots:
  void firstStartWithNoFiles() {
    ProgramRun run;
    bool checked = false;
    WhileSettingsShown(
        [&] {
          TfrmNastaveni& w = *frmNastaveni;
          QVERIFY(w.isVisible() && w.isModal());
          QCOMPARE(w.PageControl1->currentIndex(), 0);
          QVERIFY(DetailsAre(ImportDetails(), false));
          QVERIFY(DetailsAre(ExportDetails(), false));
          for (QWidget* usable : std::initializer_list<QWidget*>{
                   w.DBGrid1, w.DBGrid2, w.Button4, w.Button6, w.Button1, w.Button3, w.Button2})
            QVERIFY(usable->isEnabled());
          QCOMPARE(w.DBGrid1->model()->rowCount(), 0);
          checked = true;
        },
        [&] { run.Start({"/SET"}); });
    QVERIFY(checked);
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text,
             QString::fromUtf8("Nyní je třeba program nakonfigurovat - následující formulář "
                               "[Nastavení] můžete vyvolat i později volbou Program/Nastavení."));
    QCOMPARE(run.QuitCount(), 1);
    QCOMPARE(ProgramRun::ReadFile(run.Folder() + kImportFileName), std::string("<missing>"));
  }

  void layoutFitsAndNamesTheBoxes() {
    ProgramRun run;
    run.Start({});
    TfrmNastaveni& w = *frmNastaveni;
    QCOMPARE(w.size(), QSize(TfrmNastaveni::kClientWidth, TfrmNastaveni::kClientHeight));
    QCOMPARE(w.windowTitle(), QString::fromUtf8("Nastavení"));
    QCOMPARE(w.PageControl1->tabText(0), QString::fromUtf8("Uložení souboru z e-mailu"));
    QCOMPARE(w.PageControl1->tabText(1), QString::fromUtf8("Připojení souboru k e-mailu"));
    QVERIFY(w.Button1->isDefault());
    QCOMPARE(w.dbtext1->width(), 377);
    QCOMPARE(w.DBEdit1->width(), 129);
    QCOMPARE(w.DBEdit2->width(), 361);
    QCOMPARE(w.DBEdit6->width(), 361);
    QCOMPARE(w.DBGrid1->size(), QSize(177, 201));
    QCOMPARE(w.dbtext1->maxLength(), 100);
    QCOMPARE(w.DBEdit1->maxLength(), 12);
    QCOMPARE(w.DBEdit7->maxLength(), 50);
    QCOMPARE(w.Label7->text().left(51), QString(50, ' ') + "T");
    QCOMPARE(w.Label10->text().left(54), QString(53, ' ') + "T");

    // Every label's text fits inside its box, every box inside its parent.
    for (QLabel* label : w.findChildren<QLabel*>()) {
      if (label->text().isEmpty() || !label->parentWidget()) continue;
      const int needed =
          label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
      QVERIFY2(needed <= label->height(), qPrintable(label->objectName()));
      if (!label->wordWrap())
        QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->objectName()));
      QVERIFY2(label->parentWidget()->rect().contains(label->geometry()),
               qPrintable(label->objectName()));
    }
    for (QGroupBox* box : {w.GroupBox1, w.GroupBox2})
      for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        QVERIFY2(box->rect().contains(child->geometry()), qPrintable(child->objectName()));

    // The boxes carry their labels' texts; tab order inside the group boxes.
    QCOMPARE(w.dbtext1->accessibleName(), w.Label1->text());
    QCOMPARE(w.DBEdit1->accessibleName(), w.Label2->text());
    QCOMPARE(w.DBEdit7->accessibleName(), w.Label13->text());
    QCOMPARE(w.DBCheckBox1->accessibleName(),
             QString::fromUtf8("Zobrazit kartu e-mailu před uložením do složky \"Pošta k "
                               "odeslání\""));
    const std::vector<QWidget*> importOrder = {w.dbtext1, w.DBEdit1, w.DBEdit2,
                                               w.BitBtn1, w.DBEdit3, w.DBEdit4};
    for (size_t i = 0; i + 1 < importOrder.size(); ++i)
      QCOMPARE(NextTabStop(importOrder[i]), importOrder[i + 1]);
    const std::vector<QWidget*> exportOrder = {w.DBEdit5, w.DBEdit8,     w.DBEdit6, w.BitBtn2,
                                               w.DBEdit7, w.DBCheckBox1, w.DBEdit9};
    for (size_t i = 0; i + 1 < exportOrder.size(); ++i)
      QCOMPARE(NextTabStop(exportOrder[i]), exportOrder[i + 1]);
  }

  void opensCentredOverTheMainWindow() {
    ProgramRun run;
    run.Start({});
    QWidget* main = frmMain;
    main->move(40, 30);
    main->show();
    QPoint centre, mainCentre;
    InSettings([&] {
      centre = frmNastaveni->frameGeometry().center();
      mainCentre = main->frameGeometry().center();
    });
    QVERIFY2((centre - mainCentre).manhattanLength() <= 2, qPrintable(QString("%1,%2 vs %3,%4")
                                                                          .arg(centre.x())
                                                                          .arg(centre.y())
                                                                          .arg(mainCentre.x())
                                                                          .arg(mainCentre.y())));
  }

  // Owned by the main window: the window system keeps it above the main window (transient for
  // it) and gives it no task bar entry of its own.
  void isOwnedByTheMainWindow() {
    ProgramRun run;
    run.Start({});
    frmMain->show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain));
    QWindow* owner = nullptr;
    bool window = false;
    InSettings([&] {
      window = frmNastaveni->isWindow();
      owner =
          frmNastaveni->windowHandle() ? frmNastaveni->windowHandle()->transientParent() : nullptr;
    });
    QVERIFY(window);
    QCOMPARE(owner, frmMain->windowHandle());
  }

  void addAndDeleteSwitchTheDetails() {
    ProgramRun run;
    run.Start({});
    InSettings([] {
      TfrmNastaveni& w = *frmNastaveni;
      QCOMPARE(w.PageControl1->currentIndex(), 1);  // send mode opens the send page
      w.Button4->click();
      QVERIFY(DetailsAre(ImportDetails(), true));
      QCOMPARE(GridCell(w.DBGrid1, 0), QString("<bez názvu>"));
      QCOMPARE(w.DBGrid1->CurrentRow(), 0);
      QCOMPARE(w.dbtext1->text(), QString("<bez názvu>"));
      QVERIFY(w.ImportTable->FieldByName(kdx::fields::kKDXFile)->IsNull());

      w.Button6->click();
      w.Button6->click();
      QVERIFY(DetailsAre(ExportDetails(), true));
      QCOMPARE(w.ExportTable->RecordCount(), 2);
      QCOMPARE(w.DBCheckBox1->checkState(), Qt::Checked);
      QVERIFY(w.ExportTable->FieldByName(kdx::fields::kEmailShow)->AsBoolean());

      w.Button5->click();  // no question
      QVERIFY(DetailsAre(ImportDetails(), false));
      QCOMPARE(w.ImportTable->RecordCount(), 0);
      w.Button7->click();
      QVERIFY(DetailsAre(ExportDetails(), true));  // one definition left
      w.Button7->click();
      QVERIFY(DetailsAre(ExportDetails(), false));
    });
    QVERIFY(run.Requests().empty());
  }

  // Ctrl+Delete of the last definition in the grid empties the table as "Smazat definici"
  // does: the details go off, so typing cannot start a nameless definition.
  void ctrlDeleteOfTheLastDefinitionSwitchesTheDetailsOff() {
    ProgramRun run;
    run.WriteImports({{"Jediná", "POB1_PB.KDX", "/prenosy/", "", ""}});
    run.Start({});
    InSettings([&] {
      TfrmNastaveni& w = *frmNastaveni;
      w.PageControl1->setCurrentIndex(0);
      run.Boxes().Answer({widgets::MsgResult::Ok});  // "Delete record?"
      w.DBGrid1->setFocus();
      QTest::keyClick(w.DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
      QCOMPARE(w.ImportTable->RecordCount(), 0);
      QVERIFY(DetailsAre(ImportDetails(), false));
      QTest::keyClick(w.dbtext1, Qt::Key_X);
      QCOMPARE(w.ImportTable->State(), dsBrowse);
    });
  }

  // A table file the program refuses stops no configuration run: the error names the file, the
  // window opens with the other table loaded, and saving replaces the file with a good one.
  void configurationModeOpensDespiteARefusedFileAndSavingMendsIt() {
    ProgramRun run;
    run.WriteExports({{"Odeslání", "/a.kdx", "a@x.cz", "", ""}});
    const std::string path = run.Folder() + kImportFileName;
    run.WriteRawImportFile(std::string("\"@@TABLEDEF START@@\"\r\n\"@@TABLEDEF END@@\"\r\n") +
                           kImportHeader + "\"x\",\r\n");
    int exports = -1, imports = -1;
    WhileSettingsShown(
        [&] {
          exports = frmNastaveni->ExportTable->RecordCount();
          imports = frmNastaveni->ImportTable->RecordCount();
          frmNastaveni->Button4->click();
          frmNastaveni->Button1->click();
        },
        [&] { run.Start({"/SET"}); });
    QCOMPARE(exports, 1);
    QCOMPARE(imports, 0);
    QCOMPARE(run.Requests().size(), size_t(2));
    QCOMPARE(run.Requests()[0].caption, QString("KDX manager"));
    QCOMPARE(run.Requests()[0].text,
             QString::fromStdString("Table file " + path +
                                    " does not match table ImportTable: field Nazev is not "
                                    "defined."));
    QCOMPARE(run.Requests()[1].caption, QString("Informace"));
    QCOMPARE(ProgramRun::ReadFile(path), kImportHeader + Cp("\"<bez názvu>\",,,,,\r\n"));
    QCOMPARE(run.QuitCount(), 1);
  }

  void enterSavesWhatIsStillInTheBox() {
    ProgramRun run;
    run.WriteImports({{"Pobočka Brno", "POB1_PB.KDX", "/prenosy/", "", ""}});
    run.Start({});
    InSettings([] {
      TfrmNastaveni& w = *frmNastaveni;
      w.PageControl1->setCurrentIndex(0);
      TypeInto(w.dbtext1, QString::fromUtf8("Nový název"));
      TypeInto(w.DBEdit3, QString::fromUtf8("Popis příjmu"));
      // The cursor is still in the box: Enter presses the default button "Uložit".
      QTest::keyClick(w.DBEdit3, Qt::Key_Return);
      QVERIFY(!w.isVisible());
    });
    QCOMPARE(
        ProgramRun::ReadFile(run.Folder() + kImportFileName),
        kImportHeader + Cp("\"Nový název\",\"POB1_PB.KDX\",\"/prenosy/\",\"Popis příjmu\",,\r\n"));
    QCOMPARE(ProgramRun::ReadFile(run.Folder() + kExportFileName), std::string(kExportHeader));
  }

  void stornoKeepsTheFilesButNotTheMemoryUntilReopened() {
    ProgramRun run;
    run.WriteExports({{"Sklad", "/x/S.KDX", "sklad@example.cz", "", "", true}});
    const std::string before = ProgramRun::ReadFile(run.Folder() + kExportFileName);
    run.Start({});
    InSettings([] {
      TfrmNastaveni& w = *frmNastaveni;
      TypeInto(w.DBEdit5, QStringLiteral("Sklad upraveny"));
      w.Button6->click();  // the move posts the edit, then adds
      QTest::keyClick(&w, Qt::Key_Escape);
      QVERIFY(!w.isVisible());
    });
    QCOMPARE(ProgramRun::ReadFile(run.Folder() + kExportFileName), before);
    // Memory keeps the changes; the main window's send list shows them.
    QCOMPARE(frmNastaveni->ExportTable->RecordCount(), 2);
    QCOMPARE(frmMain->DBGrid1->model()->rowCount(), 2);
    // The new definition was inserted before the current one.
    QCOMPARE(GridCell(frmMain->DBGrid1, 0), QString("<bez názvu>"));
    QCOMPARE(GridCell(frmMain->DBGrid1, 1), QString("Sklad upraveny"));
    QCOMPARE(run.QuitCount(), 0);

    // Opening again reloads from the file.
    InSettings([] {
      QCOMPARE(frmNastaveni->ExportTable->RecordCount(), 1);
      QCOMPARE(GridCell(frmNastaveni->DBGrid2, 0), QString("Sklad"));
    });
  }

  void applyThenStornoKeepsWhatWasApplied() {
    ProgramRun run;
    run.Start({});
    InSettings([] {
      TfrmNastaveni& w = *frmNastaveni;
      w.Button6->click();
      TypeInto(w.DBEdit7, QStringLiteral("a@b.cz"));
      w.Button3->click();  // "Použít": saved, still open
      QVERIFY(w.isVisible());
      TypeInto(w.DBEdit7, QStringLiteral("zmena@b.cz"));
      w.Button2->click();
    });
    QCOMPARE(ProgramRun::ReadFile(run.Folder() + kExportFileName),
             kExportHeader + Cp("\"<bez názvu>\",,\"a@b.cz\",,,\"True\",\r\n"));
    QCOMPARE(ProgramRun::ReadFile(run.Folder() + kImportFileName), std::string(kImportHeader));
  }

  void deletedDefinitionsComeBackButTheDetailsStayOff() {
    ProgramRun run;
    run.WriteExports({{"A", "", "", "", "", false}});
    run.Start({});
    InSettings([] { frmNastaveni->Button7->click(); });
    InSettings([] {
      TfrmNastaveni& w = *frmNastaveni;
      QCOMPARE(w.ExportTable->RecordCount(), 1);
      QCOMPARE(GridCell(w.DBGrid2, 0), QString("A"));
      QVERIFY(DetailsAre(ExportDetails(), false));  // a non-empty table gets no call
      w.Button6->click();
      QVERIFY(DetailsAre(ExportDetails(), true));
    });
  }

  void aFileThatCannotBeWrittenKeepsTheWindowOpen() {
    ProgramRun run;
    run.WriteExports({{"Puvodni", "", "", "", "", false}});
    const std::string exportBefore = ProgramRun::ReadFile(run.Folder() + kExportFileName);
    run.Start({});
    // A folder in the way of the import file: it cannot be replaced.
    QVERIFY(QDir().mkpath(QString::fromStdString(run.Folder() + kImportFileName + "/x")));
    bool stillOpen = false;
    InSettings([&] {
      TfrmNastaveni& w = *frmNastaveni;
      TypeInto(w.DBEdit5, QStringLiteral("Zmeneno"));
      w.Button1->click();
      stillOpen = w.isVisible();
    });
    QVERIFY(stillOpen);
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].caption, QString("KDX manager"));
    QCOMPARE(run.Requests()[0].icon, MsgIcon::Error);
    // The export file was not written after the import file failed.
    QCOMPARE(ProgramRun::ReadFile(run.Folder() + kExportFileName), exportBefore);
  }

  void folderPickerSetsSavePathExactly() {
    ProgramRun run;
    run.WriteImports({{"A", "A.KDX", "", "", ""}});
    const QString first = QString::fromStdString(run.MakeFolder("prenosy"));
    const QString second = QString::fromStdString(run.MakeFolder("jinam"));
    const QString unspellable = QString::fromStdString(run.MakeFolder("папка"));
    run.Start({});
    QStringList startedIn;
    QString target;
    int answer = QDialog::Accepted;
    const widgets::TDirectoryDialog::ScopedShowHookForTesting picker(
        [&](widgets::TFormDirDialog& form) {
          startedIn << form.DirectoryListBox->Directory();
          form.DirectoryListBox->SetDirectory(target);
          return answer;
        });
    InSettings([&] {
      TfrmNastaveni& w = *frmNastaveni;
      w.PageControl1->setCurrentIndex(0);
      target = first;
      w.BitBtn1->click();
      const QString picked = w.DirectoryDialog1->DirectoryName;
      QCOMPARE(
          QString::fromStdString(w.ImportTable->FieldByName(kdx::fields::kSavePath)->AsString()),
          picked);
      QCOMPARE(w.DBEdit2->text(), picked);
      QCOMPARE(w.ImportTable->State(), dsBrowse);

      // Cancelled: nothing stored, but the picker remembers where it was.
      target = second;
      answer = QDialog::Rejected;
      w.BitBtn1->click();
      QCOMPARE(
          QString::fromStdString(w.ImportTable->FieldByName(kdx::fields::kSavePath)->AsString()),
          picked);
      answer = QDialog::Accepted;
      target = unspellable;
      w.BitBtn1->click();
    });
    QCOMPARE(startedIn.size(), 3);
    QVERIFY(startedIn[1].startsWith(first.chopped(1)));
    QVERIFY(startedIn[2].startsWith(second.chopped(1)));
    // A folder cp1250 cannot spell is refused instead of being stored mangled.
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].caption, QString("Chyba"));
    QVERIFY(frmNastaveni->ImportTable->FieldByName(kdx::fields::kSavePath)
                ->AsString()
                .find("prenosy") != std::string::npos);
  }

  void fileDialogSetsTheFilePath() {
    ProgramRun run;
    run.WriteExports({{"A", "", "a@b.cz", "", "", true}});
    const std::string folder = run.MakeFolder("odeslat");
    run.Start({});
    QString title, suffix;
    QStringList filters;
    int answer = QDialog::Accepted;
    const TfrmNastaveni::ScopedFileDialogHookForTesting fileDialog([&](QFileDialog& dialog) {
      title = dialog.windowTitle();
      filters = dialog.nameFilters();
      suffix = dialog.defaultSuffix();
      // The person's choice is made in the toolkit's own dialog: a system dialog (Windows)
      // takes a selection only while it is shown.
      dialog.setOption(QFileDialog::DontUseNativeDialog);
      dialog.setDirectory(QString::fromStdString(folder));
      dialog.selectFile(QStringLiteral("POB1"));  // typed without extension
      return answer;
    });
    InSettings([&] {
      TfrmNastaveni& w = *frmNastaveni;
      answer = QDialog::Rejected;
      w.BitBtn2->click();
      QVERIFY(w.ExportTable->FieldByName(kdx::fields::kKDXFilePath)->IsNull());
      answer = QDialog::Accepted;
      w.BitBtn2->click();
      QCOMPARE(w.ExportTable->FieldByName(kdx::fields::kKDXFilePath)->AsString(),
               folder + "POB1.KDX");
      QCOMPARE(w.DBEdit6->text(), QString::fromStdString(folder + "POB1.KDX"));
      QCOMPARE(w.ExportTable->State(), dsBrowse);
    });
    QCOMPARE(title, QString::fromUtf8("Vyberte přenosový soubor"));
    QCOMPARE(filters, QStringList({QString::fromUtf8("Přenosové soubory Velkor (*.KDX)"),
                                   QString::fromUtf8("Všechny soubory (*.*)")}));
    QCOMPARE(suffix, QString("KDX"));
  }
};

KDX_APP_TEST_MAIN(NastaveniTest)
#include "nastaveni_test.moc"
