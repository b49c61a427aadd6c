// Start-up: the modes, the joining of the arguments, the receive page's matching and labels,
// the loads, and the ways a run ends.

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "Nastaveni.h"
#include "TestSupport.h"
#include "mainUnit.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/DBText.h"

using namespace kdx::app;
using kdx::test::Cp;
using kdx::test::ProgramRun;
using kdx::widgets::MsgIcon;

class StartupTest : public QObject {
  Q_OBJECT

private slots:
  void normalizeFolderPath() {
    QCOMPARE(NormalizeFolderPath("  /data/import \t"), std::string("/data/import/"));
    QCOMPARE(NormalizeFolderPath("/data/import/"), std::string("/data/import/"));
    QCOMPARE(NormalizeFolderPath(" \x01\x1f "), std::string());
    QCOMPARE(NormalizeFolderPath(""), std::string());
    QCOMPARE(NormalizeFolderPath("a b"), std::string("a b/"));
  }

  void pathSplitting() {
    QCOMPARE(FolderPart("/tmp/in/POB1_PB.KDX"), std::string("/tmp/in/"));
    QCOMPARE(BareName("/tmp/in/POB1_PB.KDX"), std::string("POB1_PB.KDX"));
    QCOMPARE(FolderPart("POB1_PB.KDX"), std::string());
    QCOMPARE(BareName("POB1_PB.KDX"), std::string("POB1_PB.KDX"));
    QCOMPARE(BareName("/tmp/in/"), std::string());
  }

  void argumentsAreJoinedWithSingleBlanks() {
    QCOMPARE(JoinArguments({"/home/Dokumenty", "a", "nastaveni/POB1_PB.KDX"}),
             QString("/home/Dokumenty a nastaveni/POB1_PB.KDX"));
    QCOMPARE(JoinArguments({"x.kdx  ", "\t"}), QString("x.kdx"));
    QCOMPARE(JoinArguments({}), QString());
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
    QCOMPARE(frmNastaveni->ExportTable->FieldByName("Email")->AsString(),
             std::string("sklad@example.cz"));
  }

  void setSwitchInAnyCaseIsConfigurationMode() {
    for (const QStringList& args : {QStringList{"/set"}, QStringList{"/Set", "x.kdx", "y"},
                                    QStringList{"/SET"}}) {
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
    // On POSIX "/" starts a folder, so /SETUP is the file SETUP in the root folder.
    for (const auto& [arg, name] : {std::pair{QString("-set"), QString("-SET")},
                                    std::pair{QString("/SETUP"), QString("SETUP")}}) {
      ProgramRun run;
      run.WriteImports({{"Def", "POB1_PB.KDX", "/tmp", "", ""}});
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
    run.WriteImports({{"Jiná", "JINY.KDX", "/jiny", "Jiný popis", ""},
                      {"Brno", "Pob1_pb.kdx", "  /data/import  ", "Uložení z pobočky Brno", ""}});
    run.Start({"/tmp/Dokumenty", "a", "nastaveni/pob1_pb.kdx"});
    QCOMPARE(RunMode, kModeReceive);
    QCOMPARE(SourceName, std::string("POB1_PB.KDX"));
    QCOMPARE(SourceFolder, std::string("/tmp/Dokumenty a nastaveni/"));
    QCOMPARE(frmMain->PageControl1->currentIndex(), 0);
    QCOMPARE(frmMain->Label2->text(), QString("POB1_PB.KDX"));
    QCOMPARE(frmMain->Label4->text(), QString("/tmp/Dokumenty a nastaveni/POB1_PB.KDX"));
    QCOMPARE(frmMain->Label6->text(), QString("/data/import/"));
    QCOMPARE(frmMain->Label9->text(), QString("Uložení z pobočky Brno"));
    QCOMPARE(TargetFolder, std::string("/data/import/"));
    QCOMPARE(TargetName, std::string("POB1_PB.KDX"));
    QVERIFY(frmMain->Label7->isHidden());
    QVERIFY(frmMain->Button1->isEnabled());
    // The native path keeps the name as the command line spelled it.
    QCOMPARE(SourcePathNative, std::string("/tmp/Dokumenty a nastaveni/pob1_pb.kdx"));
  }

  void czechLettersAreUpperCasedByTheLocale() {
    ProgramRun run;
    run.WriteImports({{"Příjem", "PŘÍJEM.KDX", "/prijem", "", ""}});
    run.Start({"/tmp/příjem.kdx"});
    QCOMPARE(frmMain->Label2->text(), QString("PŘÍJEM.KDX"));
    QCOMPARE(SourceName, Cp("PŘÍJEM.KDX"));
    QCOMPARE(TargetFolder, std::string("/prijem/"));
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
    run.Start({"/tmp/POB1_PB.KDX"});
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
    run.WriteImports({{"Velka", "POB1_PB.KDX", "/upper", "", ""},
                      {"Mala", "pob1_pb.kdx", "/lower", "", ""}});
    run.Start({"/tmp/POB1_PB.KDX"});
    QCOMPARE(TargetFolder, std::string("/lower/"));
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
    QVERIFY(run.Requests()[0].text.startsWith("Unknown field type (DateTime)"));
    QVERIFY(run.Requests()[0].text.endsWith(",Data,\"\")"));  // ')' sorts before '.' 
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
