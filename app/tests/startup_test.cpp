// Start-up: the modes, the joining of the arguments, the receive page's matching and labels,
// the loads, and the ways a run ends.

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "Nastaveni.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Path.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/DBText.h"
#include "mainUnit.h"

using namespace kdx::app;
using kdx::test::Cp;
using kdx::test::ProgramRun;
using kdx::widgets::MsgIcon;

namespace {

constexpr bool kDriveLetters = kdx::platform::kHostPaths.driveLetters;

// `path` written with '/' as the system writes it: POSIX as it is; Windows with '\' and, when
// it starts at a root, on drive D: ("/data/import" is D:\data\import).
std::string Native(std::string path) {
  if (!kDriveLetters) return path;
  if (!path.empty() && path.front() == '/') path.insert(0, "D:");
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}
QString NativeQ(const std::string& path) {
  return QString::fromStdString(Native(path));
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void normalizeFolderPath() {
    QCOMPARE(NormalizeFolderPath("  " + Native("/data/import") + " \t"), Native("/data/import/"));
    QCOMPARE(NormalizeFolderPath(Native("/data/import/")), Native("/data/import/"));
    QCOMPARE(NormalizeFolderPath(" \x01\x1f "), std::string());
    QCOMPARE(NormalizeFolderPath(""), std::string());
    QCOMPARE(NormalizeFolderPath("a b"), Native("a b/"));
  }

  void copyCountersThatMailClientsAddAreTakenOff() {
    const std::pair<const char*, const char*> cases[] = {
        {"POB1_PB-1.KDX", "POB1_PB.KDX"},
        {"POB1_PB-12.KDX", "POB1_PB.KDX"},
        {"POB1_PB(2).KDX", "POB1_PB.KDX"},
        {"POB1_PB (1).KDX", "POB1_PB.KDX"},
        {"POB1_PB_(1).KDX", "POB1_PB.KDX"},
        {"POB1_PB[3].KDX", "POB1_PB.KDX"},
        {"A-1-2.KDX", "A-1.KDX"},
        {"A(1)(2).KDX", "A(1).KDX"},  // one counter only
        {"POB1_PB-1", "POB1_PB"},
        {"NA.ME-1.KDX", "NA.ME.KDX"},
        {"POB1_PB.KDX", "POB1_PB.KDX"},
        {"POB1_PB-.KDX", "POB1_PB-.KDX"},
        {"POB1_PB().KDX", "POB1_PB().KDX"},
        {"POB1_PB(1.KDX", "POB1_PB(1.KDX"},
        {"POB1_PB[1).KDX", "POB1_PB[1).KDX"},
        {"POB1_PB-X1.KDX", "POB1_PB-X1.KDX"},
        {"POB1_PB.KDX-1", "POB1_PB.KDX-1"},
        {"-1.KDX", "-1.KDX"},  // nothing left before it
        {" (1).KDX", " (1).KDX"},
        {"", ""},
        {"P\xD8\xCDJEM (2).KDX", "P\xD8\xCDJEM.KDX"}};
    for (const auto& [received, bare] : cases)
      QVERIFY2(WithoutCopyCounter(received) == bare, received);
  }

  void argumentsAreJoinedWithSingleBlanks() {
    QCOMPARE(JoinArguments({Native("/home/Dokumenty"), "a", Native("nastaveni/POB1_PB.KDX")}),
             Native("/home/Dokumenty a nastaveni/POB1_PB.KDX"));
    QCOMPARE(JoinArguments({"x.kdx  ", "\t"}), std::string("x.kdx"));
    QCOMPARE(JoinArguments({}), std::string());
    // Only the right end is trimmed; bytes above code 32 stay, signed char or not.
    QCOMPARE(JoinArguments({" x.kdx", "\xE2\x80\xA0", "\xA0"}),
             std::string(" x.kdx \xE2\x80\xA0 \xA0"));
  }

  void noArgumentIsSendModeWithTheExportList() {
    ProgramRun run;
    run.WriteExports({{"Pobočka Brno", "/x/A.KDX", "brno@example.cz", "Popis Brno", "", true},
                      {"Sklad", "/x/B.KDX", "sklad@example.cz", "Popis skladu", "", false}});
    run.Start({});
    QCOMPARE(RunMode, kModeSend);
    QCOMPARE(frmMain->PageControl1->currentIndex(), 1);
    QCOMPARE(frmMain->DBGrid1->model()->rowCount(), 2);
    QCOMPARE(frmMain->DBGrid1->model()->index(0, 0).data().toString(), QString("Pobočka Brno"));
    QCOMPARE(frmMain->DBText1->text(), QString("Popis Brno"));
    QCOMPARE(frmMain->DBText2->text(), QString("/x/A.KDX"));
    QCOMPARE(frmMain->DBText3->text(), QString("brno@example.cz"));
    QVERIFY(SourceName.empty() && SourceFolder.empty() && TargetFolder.empty());
    QCOMPARE(run.QuitCount(), 0);

    // The labels follow the row selected in the grid.
    frmMain->DBGrid1->setFocus();
    QTest::keyClick(frmMain->DBGrid1, Qt::Key_Down);
    QCOMPARE(frmMain->DBText1->text(), QString("Popis skladu"));
    QCOMPARE(frmNastaveni->ExportTable->FieldByName(kdx::fields::kEmail)->AsString(),
             std::string("sklad@example.cz"));
  }

  void setSwitchInAnyCaseIsConfigurationMode() {
    for (const QStringList& args :
         {QStringList{"/set"}, QStringList{"/Set", "x.kdx", "y"}, QStringList{"/SET"}}) {
      ProgramRun run;
      bool shown = false;
      QTimer::singleShot(0, [&] {
        shown = frmNastaveni->isVisible();
        frmNastaveni->reject();
      });
      run.Start(args);
      QCOMPARE(RunMode, kModeSettings);
      QVERIFY(shown);
      QVERIFY(SourceName.empty());
      QCOMPARE(run.Requests().size(), size_t(1));  // the first-run message
      QCOMPARE(run.Requests()[0].caption, QString("Informace"));
      QCOMPARE(run.Requests()[0].icon, MsgIcon::Information);
      QCOMPARE(frmNastaveni->PageControl1->currentIndex(), 0);
      QCOMPARE(run.QuitCount(), 1);
    }
  }

  void otherSwitchesAreReceivedFileNames() {
    // On POSIX "/" starts a folder, so /SETUP is the file SETUP in the root folder; on Windows
    // it is a bare name.
    const QString setupName = kDriveLetters ? QString("/SETUP") : QString("SETUP");
    for (const auto& [arg, name] :
         {std::pair{QString("-set"), QString("-SET")}, std::pair{QString("/SETUP"), setupName}}) {
      ProgramRun run;
      run.WriteImports({{"Def", "POB1_PB.KDX", Native("/tmp"), "", ""}});
      run.Start({arg});
      QCOMPARE(RunMode, kModeReceive);
      QCOMPARE(frmMain->PageControl1->currentIndex(), 0);
      QCOMPARE(frmMain->Label2->text(), name);
      QCOMPARE(frmMain->Label4->text(), arg.toUpper());
      QVERIFY(!frmMain->Label7->isHidden());
      QVERIFY(!frmMain->Button1->isEnabled());
    }
  }

  void receiveModeSplitsUpperCasesAndMatchesIgnoringCase() {
    ProgramRun run;
    run.WriteImports({{"Jiná", "JINY.KDX", Native("/jiny"), "Jiný popis", ""},
                      {"Brno", "Pob1_pb.kdx", "  " + Native("/data/import") + "  ",
                       "Uložení z pobočky Brno", ""}});
    run.Start({NativeQ("/tmp/Dokumenty"), "a", NativeQ("nastaveni/pob1_pb.kdx")});
    QCOMPARE(RunMode, kModeReceive);
    QCOMPARE(SourceName, std::string("POB1_PB.KDX"));
    QCOMPARE(SourceFolder, Native("/tmp/Dokumenty a nastaveni/"));
    QCOMPARE(frmMain->PageControl1->currentIndex(), 0);
    QCOMPARE(frmMain->Label2->text(), QString("POB1_PB.KDX"));
    QCOMPARE(frmMain->Label4->text(), NativeQ("/tmp/Dokumenty a nastaveni/POB1_PB.KDX"));
    QCOMPARE(frmMain->Label6->text(), NativeQ("/data/import/"));
    QCOMPARE(frmMain->Label9->text(), QString("Uložení z pobočky Brno"));
    QCOMPARE(TargetFolder, Native("/data/import/"));
    QCOMPARE(TargetName, std::string("POB1_PB.KDX"));
    QVERIFY(frmMain->Label7->isHidden());
    QVERIFY(frmMain->Button1->isEnabled());
    // The native path keeps the name as the command line spelled it.
    QCOMPARE(SourcePathNative, Native("/tmp/Dokumenty a nastaveni/pob1_pb.kdx"));
  }

  void czechLettersAreUpperCasedByTheLocale() {
    ProgramRun run;
    run.WriteImports({{"Příjem", "PŘÍJEM.KDX", Native("/prijem"), "", ""}});
    run.Start({NativeQ("/tmp/příjem.kdx")});
    QCOMPARE(frmMain->Label2->text(), QString("PŘÍJEM.KDX"));
    QCOMPARE(SourceName, Cp("PŘÍJEM.KDX"));
    QCOMPARE(TargetFolder, Native("/prijem/"));
  }

  void bareNameHasNoFolder() {
    ProgramRun run;
    run.Start({"pob1_pb.kdx"});
    QCOMPARE(SourceFolder, std::string());
    QCOMPARE(frmMain->Label4->text(), QString("POB1_PB.KDX"));
    QVERIFY(!frmMain->Label7->isHidden());  // no definitions at all
    QVERIFY(!frmMain->Button1->isEnabled());
    QCOMPARE(frmMain->Label6->text(), QString());
    QCOMPARE(frmMain->Label9->text(), QString());
    QVERIFY(TargetFolder.empty() && TargetName.empty());
  }

  void blankSavePathShowsTheErrorLineButKeepsTheDescription() {
    ProgramRun run;
    run.WriteImports({{"Brno", "POB1_PB.KDX", "   ", "Popis Brno", ""}});
    run.Start({NativeQ("/tmp/POB1_PB.KDX")});
    QCOMPARE(frmMain->Label6->text(), QString());
    QVERIFY(!frmMain->Label7->isHidden());
    QVERIFY(!frmMain->Button1->isEnabled());
    QCOMPARE(frmMain->Label9->text(), QString("Popis Brno"));
    QCOMPARE(TargetName, std::string("POB1_PB.KDX"));
  }

  void firstDefinitionInKdxFileOrderWins() {
    // IDX_KDXFile sorts with regard to case (lower case first), so the second row of the file
    // comes first in the index.
    ProgramRun run;
    run.WriteImports({{"Velka", "POB1_PB.KDX", Native("/upper"), "", ""},
                      {"Mala", "pob1_pb.kdx", Native("/lower"), "", ""}});
    run.Start({NativeQ("/tmp/POB1_PB.KDX")});
    QCOMPARE(TargetFolder, Native("/lower/"));
  }

  void brokenTableFileFailsTheStartWithTheLastResortReport() {
    ProgramRun run;
    run.WriteRawImportFile(
        "\"@@TABLEDEF START@@\"\r\n"
        "\"When=DateTime,0,\"\"When\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
        "\"@@TABLEDEF END@@\"\r\n\"When\",\r\n\"x\",\r\n");
    bool raised = false;
    try {
      run.Start({});
    } catch (const std::exception& error) {
      raised = true;
      QCOMPARE(ReportStartupFailure(error), 1);
    }
    QVERIFY(raised);
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].caption, QString("Application Error"));
    QCOMPARE(run.Requests()[0].icon, MsgIcon::Error);
    // The file is named; its definitions are not the table's.
    QCOMPARE(run.Requests()[0].text,
             QString::fromStdString("Table file " + run.Folder() + kImportFileName +
                                    " does not match table ImportTable: field definition "
                                    "(When=DateTime,0,\"When\",\"\",10,Data,\"\") differs from "
                                    "field Nazev."));
  }

  void missingTableFilesLeaveTheTablesEmpty() {
    ProgramRun run;
    run.Start({});
    QVERIFY(frmNastaveni->ImportTable->Active());
    QVERIFY(frmNastaveni->ExportTable->Active());
    QCOMPARE(frmNastaveni->ImportTable->RecordCount(), 0);
    QCOMPARE(frmNastaveni->ExportTable->RecordCount(), 0);
    QVERIFY(run.Requests().empty());
    QCOMPARE(AppFolder, run.Folder());
  }

  void quitIsQueuedAndEveryWayOutAsksForIt() {
    ProgramRun run;
    run.Start({});
    QuitApplication();
    QCOMPARE(run.QuitCount(), 1);  // taken only by the event loop

    frmMain->Button4->click();
    QCOMPARE(run.QuitCount(), 2);
    frmMain->Konec1->trigger();
    QCOMPARE(run.QuitCount(), 3);
    frmMain->show();
    frmMain->close();
    QCOMPARE(run.QuitCount(), 4);
    frmMain->PageControl1->setCurrentIndex(0);
    frmMain->Button2->click();
    QCOMPARE(run.QuitCount(), 5);
  }
};

KDX_APP_TEST_MAIN(StartupTest)
#include "startup_test.moc"
