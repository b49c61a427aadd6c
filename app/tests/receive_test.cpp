// The receive action: its three checks in order, the copy with overwrite, the closing text and
// the end of the run; and the file-system cases (letter case, links, unspellable names).

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "Nastaveni.h"
#include "kdx/platform/Path.h"
#include "mainUnit.h"

using namespace kdx::app;
using kdx::test::ProgramRun;
using kdx::widgets::MsgIcon;
namespace fs = std::filesystem;

namespace {

const std::string kSep(1, kdx::platform::kPathDelim);

const char* kSameLocation =
    "Zdrojový soubor má stejné umístění jako cílový - nelze kopírovat soubor sám na sebe!";

// Windows file names are told apart without regard to letter case: which spelling a replaced
// file keeps is the file system's choice there.
#ifdef _WIN32
constexpr bool kCaseBlindNames = true;
#else
constexpr bool kCaseBlindNames = false;
#endif

// File names as the file system tells them apart, sorted.
std::vector<std::string> Distinct(std::vector<std::string> names) {
  if (kCaseBlindNames)
    for (std::string& name : names)
      std::transform(name.begin(), name.end(), name.begin(), ::toupper);
  std::sort(names.begin(), names.end());
  return names;
}

// The names in `folder`, as Distinct gives them.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kdx::test::PathFromUtf8(folder)))
    names.push_back(kdx::test::Utf8Path(e.path().filename()));
  return Distinct(std::move(names));
}

// Runs the receive action with `savePath` as the definition's folder, the file coming from
// `mail`; checks that it is refused as the same location and nothing is lost.
void ExpectSameLocation(ProgramRun& run, const std::string& mail, const std::string& savePath) {
  run.WriteImports({{"A", "POB1_PB.KDX", savePath, "", "Hotovo"}});
  kdx::app::DestroyForms();
  ResetRunValues();
  const size_t before = run.Requests().size();
  run.Start({QString::fromStdString(mail + "pob1_pb.kdx")});
  frmMain->Button1->click();
  QCOMPARE(run.Requests().size(), before + 1);
  QCOMPARE(run.Requests().back().text, QString(kSameLocation));
  QCOMPARE(run.Requests().back().caption, QString("Chyba"));
  QCOMPARE(run.Requests().back().icon, MsgIcon::Error);
  QCOMPARE(Names(mail), Distinct({"pob1_pb.kdx"}));
  QCOMPARE(ProgramRun::ReadFile(mail + "pob1_pb.kdx"), std::string("only copy"));
  QVERIFY(frmMain->Button1->isEnabled());
  QCOMPARE(run.QuitCount(), 0);
}

}  // namespace

class ReceiveTest : public QObject {
  Q_OBJECT

 private slots:
  void copiesOverwritesShowsTheClosingTextAndEnds() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    const std::string target = run.MakeFolder("velkor/prijem");
    run.WriteFile(mail + "pob1_pb.kdx", "new transfer data");
    run.WriteFile(target + "POB1_PB.KDX", "old data");
    run.WriteImports({{"Brno", "POB1_PB.KDX", target, "Popis", "Pokračujte v programu Velkor."}});
    run.Start({QString::fromStdString(mail + "pob1_pb.kdx")});

    frmMain->Button1->click();
    QCOMPARE(ProgramRun::ReadFile(target + "POB1_PB.KDX"), std::string("new transfer data"));
    QCOMPARE(ProgramRun::ReadFile(mail + "pob1_pb.kdx"), std::string("new transfer data"));
    QCOMPARE(Names(target), Distinct({"POB1_PB.KDX"}));  // no temporary left
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text, QString("Pokračujte v programu Velkor."));
    QCOMPARE(run.Requests()[0].caption, QString("Informace"));
    QCOMPARE(run.Requests()[0].icon, MsgIcon::Information);
    QCOMPARE(run.QuitCount(), 1);
  }

  void emptyClosingTextEndsAtOnceAndEnterPressesTheButton() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    const std::string target = run.MakeFolder("in");
    run.WriteFile(mail + "A.KDX", "a");
    run.WriteImports({{"A", "a.kdx", target, "", ""}});
    run.Start({QString::fromStdString(mail + "A.KDX")});
    QTest::keyClick(frmMain, Qt::Key_Return);
    QCOMPARE(ProgramRun::ReadFile(target + "A.KDX"), std::string("a"));
    QVERIFY(run.Requests().empty());
    QCOMPARE(run.QuitCount(), 1);
  }

  void aTargetDifferingOnlyInLetterCaseIsReplaced() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    const std::string target = run.MakeFolder("in");
    run.WriteFile(mail + "Pob1_PB.kdx", "new");
    run.WriteFile(target + "pob1_pb.KDX", "old");
    run.WriteFile(target + "OTHER.KDX", "keep");
    run.WriteImports({{"A", "POB1_PB.KDX", target, "", ""}});
    run.Start({QString::fromStdString(mail + "Pob1_PB.kdx")});
    frmMain->Button1->click();
    QCOMPARE(Names(target), Distinct({"OTHER.KDX", "POB1_PB.KDX"}));
    QCOMPARE(ProgramRun::ReadFile(target + "POB1_PB.KDX"), std::string("new"));
    QCOMPARE(run.QuitCount(), 1);
  }

  // Day after day the mail client hands over the transfer read-only, under a counted name once
  // its folder holds the earlier days' copies, and may remove it before the user confirms: it
  // lands under the bare name, replacing the day before, and stays writable. An exact match
  // wins over the counter rule.
  void countedReadOnlyTransfersLandUnderTheBareNameDayAfterDay() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    const std::string target = run.MakeFolder("in");
    const std::string other = run.MakeFolder("other");
    run.WriteImports({{"A", "POB1-1.KDX", other, "", ""}, {"B", "POB1_PB.KDX", target, "", ""}});
    struct Day {
      const char* received;
      const char* lands;
      bool removedFirst;  // the mail client removes its copy before "Provést akci"
    };
    int day = 0;
    for (const Day& d :
         {Day{"pob1_pb.kdx", "POB1_PB.KDX", false}, Day{"POB1_PB-1.KDX", "POB1_PB.KDX", true},
          Day{"POB1_PB(2).KDX", "POB1_PB.KDX", false}, Day{"POB1_PB (1).KDX", "POB1_PB.KDX", true},
          Day{"pob1-1.kdx", "POB1-1.KDX", false}}) {
      const std::string received = mail + d.received;
      const std::string content = "day " + std::to_string(++day);
      run.WriteFile(received, content);
      fs::permissions(kdx::test::PathFromUtf8(received), fs::perms::owner_read);
      kdx::app::DestroyForms();
      ResetRunValues();
      const int quits = run.QuitCount();
      run.Start({QString::fromStdString(received)});
      QCOMPARE(frmMain->Label2->text(), QString(d.lands));
      QCOMPARE(frmMain->Label4->text(),
               QString::fromStdString(mail) + QString(d.received).toUpper());
      if (d.removedFirst) {
        fs::permissions(kdx::test::PathFromUtf8(received), fs::perms::owner_write,
                        fs::perm_options::add);
        fs::remove(kdx::test::PathFromUtf8(received));
      }
      frmMain->Button1->click();
      QVERIFY2(run.Requests().empty(), d.received);
      QCOMPARE(run.QuitCount(), quits + 1);
      const std::string folder = std::string(d.lands) == "POB1_PB.KDX" ? target : other;
      QCOMPARE(Names(folder), Distinct({d.lands}));
      QCOMPARE(ProgramRun::ReadFile(folder + d.lands), content);
      const fs::perms perms = fs::status(kdx::test::PathFromUtf8(folder + d.lands)).permissions();
#ifndef _WIN32
      const mode_t mask = ::umask(0);
      ::umask(mask);
      QCOMPARE(static_cast<mode_t>(perms), 0666 & ~mask);
#else
      QVERIFY((perms & fs::perms::owner_write) != fs::perms::none);
#endif
      if (!d.removedFirst)
        fs::permissions(kdx::test::PathFromUtf8(received), fs::perms::owner_write,
                        fs::perm_options::add);
    }
  }

  // A file that was already gone at start-up is reported missing, even if the folder holds a
  // file of the name the copy would get.
  void aTransferGoneBeforeStartUpIsMissing() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    run.WriteFile(mail + "POB1_PB.KDX", "an older day");
    run.WriteImports({{"B", "POB1_PB.KDX", run.MakeFolder("in"), "", ""}});
    run.Start({QString::fromStdString(mail + "POB1_PB-1.KDX")});
    frmMain->Button1->click();
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text,
             QString::fromStdString("Vstupní soubor " + mail + "POB1_PB-1.KDX neexistuje."));
  }

  void sameFolderWithBlanksAndWithoutTheSeparatorIsRefused() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    run.WriteFile(mail + "pob1_pb.kdx", "only copy");
    ExpectSameLocation(run, mail, "  " + mail.substr(0, mail.size() - 1) + "  ");
  }

  void sameFolderThroughASymbolicLinkIsRefused() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    run.WriteFile(mail + "pob1_pb.kdx", "only copy");
    const std::string viaLink = run.MakeFolder("x") + "link";
    std::error_code error;
    fs::create_directory_symlink(mail, viaLink, error);
#ifdef _WIN32
    if (error)
      QSKIP(
          qPrintable("no symbolic link can be made here (Wine, or Windows without the right "
                     "to create one): " +
                     QString::fromStdString(error.message())));
#endif
    QVERIFY2(!error, error.message().c_str());
    ExpectSameLocation(run, mail, viaLink);
  }

  // Where names are told apart by letter case, "casedir" and "CASEDIR" are two folders; where
  // they are not (Windows), one, and the copy onto itself is refused.
  void foldersSpelledInAnotherCaseAreOneLocationOnlyWhereCaseIsIgnored() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("casedir");
    run.WriteFile(mail + "X.KDX", "x");
    const std::string upper = run.MakeFolder("CASEDIR");
    run.WriteImports({{"A", "X.KDX", upper, "", ""}});
    run.Start({QString::fromStdString(mail + "X.KDX")});
    frmMain->Button1->click();
    if (kCaseBlindNames) {
      QCOMPARE(run.Requests().size(), size_t(1));
      QCOMPARE(run.Requests()[0].text, QString(kSameLocation));
    } else {
      QVERIFY(run.Requests().empty());
      QCOMPARE(ProgramRun::ReadFile(upper + "X.KDX"), std::string("x"));
      QCOMPARE(ProgramRun::ReadFile(mail + "X.KDX"), std::string("x"));
    }
  }

  void aHardLinkOfTheSourceInTheTargetFolderIsRefused() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    const std::string target = run.MakeFolder("in");
    run.WriteFile(mail + "a.kdx", "data");
    fs::create_hard_link(mail + "a.kdx", target + "a.kdx");
    run.WriteImports({{"A", "A.KDX", target, "", ""}});
    run.Start({QString::fromStdString(mail + "a.kdx")});
    frmMain->Button1->click();
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text, QString(kSameLocation));
    QCOMPARE(Names(target), Distinct({"a.kdx"}));
    QCOMPARE(ProgramRun::ReadFile(mail + "a.kdx"), std::string("data"));
  }

  void missingSourceAndFailedCopyKeepTheWindowOpen() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    const std::string target = run.MakeFolder("in");
    run.WriteImports({{"A", "GONE.KDX", target + "missing", "", ""}});
    run.Start({QString::fromStdString(mail + "gone.kdx")});

    frmMain->Button1->click();
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text,
             QString::fromStdString("Vstupní soubor " + mail + "GONE.KDX neexistuje."));
    QCOMPARE(run.Requests()[0].caption, QString("Chyba"));
    QCOMPARE(run.Requests()[0].icon, MsgIcon::Error);
    QVERIFY(frmMain->Button1->isEnabled());

    // The user puts the file back; the target folder still does not exist.
    run.WriteFile(mail + "gone.kdx", "x");
    frmMain->Button1->click();
    QCOMPARE(run.Requests().size(), size_t(2));
    QCOMPARE(run.Requests()[1].text,
             QString::fromStdString("Při kopírování souboru " + mail + "GONE.KDX do " + target +
                                    "missing" + kSep + "GONE.KDX došlo k chybě."));
    QCOMPARE(run.Requests()[1].icon, MsgIcon::Error);
    QCOMPARE(run.QuitCount(), 0);

    // Once the folder exists the same window completes the job.
    run.MakeFolder("in/missing");
    frmMain->Button1->click();
    QCOMPARE(ProgramRun::ReadFile(target + "missing" + kSep + "GONE.KDX"), std::string("x"));
    QCOMPARE(run.QuitCount(), 1);
  }

  // As on Windows, where the copy fails on a read-only file: the folder allows the replacing
  // rename, but a file the user may not write is neither replaced nor removed. Letter case does
  // not matter, as the older file of another case is the one the copy would replace.
  void onlyTrueCaseVariantsOfTheCopysNameAreReplaced() {
    // Letters whose upper case by Unicode's full rules is two letters: "ß" stays "ß" in the
    // copy's name, so STRASSE.KDX is another file; the ligature "ﬁ" is no "FI", so ﬁrma.kdx is
    // another file beside FIRMA.KDX. Another file is never touched, read-only or not.
    struct Case {
      const char* source;   // in the mail folder
      const char* copy;     // the copy's name
      const char* variant;  // a true case variant in the target folder, replaced
      const char* other;    // a name that only the longer rule folds alike, kept
    };
    for (const Case& c : {Case{"straße.kdx", "STRAßE.KDX", "Straße.kdx", "STRASSE.KDX"},
                          Case{"firma.kdx", "FIRMA.KDX", "Firma.kdx", "ﬁrma.kdx"}}) {
      for (bool readOnly : {false, true}) {
        ProgramRun run;
        const std::string mail = run.MakeFolder("mail");
        const std::string target = run.MakeFolder("in");
        run.WriteFile(mail + c.source, "new");
        run.WriteFile(target + c.variant, "old");
        run.WriteFile(target + c.other, "another file");
        const fs::path other = kdx::test::PathFromUtf8(target + c.other);
        if (readOnly) fs::permissions(other, fs::perms::owner_read);
        run.WriteImports({{"A", c.copy, target, "", ""}});
        run.Start({QString::fromStdString(mail + c.source)});
        QVERIFY(frmMain->Button1->isEnabled());
        frmMain->Button1->click();
        QVERIFY2(run.Requests().empty(), c.other);
        QCOMPARE(run.QuitCount(), 1);
        QCOMPARE(Names(target), Distinct({c.copy, c.other}));
        QCOMPARE(ProgramRun::ReadFile(target + c.copy), std::string("new"));
        QCOMPARE(ProgramRun::ReadFile(target + c.other), std::string("another file"));
        fs::permissions(other, fs::perms::owner_write, fs::perm_options::add);
      }
    }
  }

  void aReadOnlyTargetMakesTheCopyFail() {
    for (const std::string existing : {"POB1_PB.KDX", "pob1_pb.kdx"}) {
      ProgramRun run;
      const std::string mail = run.MakeFolder("mail");
      const std::string target = run.MakeFolder("in");
      run.WriteFile(mail + "pob1_pb.kdx", "new");
      run.WriteFile(target + existing, "old");
      fs::permissions(target + existing, fs::perms::owner_read | fs::perms::group_read);
      run.WriteImports({{"A", "POB1_PB.KDX", target, "", "Hotovo"}});
      run.Start({QString::fromStdString(mail + "pob1_pb.kdx")});

      frmMain->Button1->click();
      QCOMPARE(run.Requests().size(), size_t(1));
      QCOMPARE(run.Requests()[0].text,
               QString::fromStdString("Při kopírování souboru " + mail + "POB1_PB.KDX do " +
                                      target + "POB1_PB.KDX došlo k chybě."));
      QCOMPARE(run.Requests()[0].caption, QString("Chyba"));
      QCOMPARE(run.Requests()[0].icon, MsgIcon::Error);
      QCOMPARE(Names(target), Distinct({existing}));
      QCOMPARE(ProgramRun::ReadFile(target + existing), std::string("old"));
      QVERIFY(frmMain->Button1->isEnabled());
      QCOMPARE(run.QuitCount(), 0);

      // The user lifts the protection and tries again.
      fs::permissions(target + existing, fs::perms::owner_write, fs::perm_options::add);
      frmMain->Button1->click();
      QCOMPARE(Names(target), Distinct({"POB1_PB.KDX"}));
      QCOMPARE(ProgramRun::ReadFile(target + "POB1_PB.KDX"), std::string("new"));
      QCOMPARE(run.QuitCount(), 1);
    }
  }

  void pathsThatCp1250CannotSpellStillCopy() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("メール");
    const std::string target = run.MakeFolder("in");
    run.WriteFile(mail + "pob1_pb.kdx", "data");
    run.WriteImports({{"A", "POB1_PB.KDX", target, "", ""}});
    run.Start({QString::fromStdString(mail + "pob1_pb.kdx")});
    QVERIFY(frmMain->Button1->isEnabled());
    frmMain->Button1->click();
    QVERIFY(run.Requests().empty());
    QCOMPARE(ProgramRun::ReadFile(target + "POB1_PB.KDX"), std::string("data"));
    QCOMPARE(run.QuitCount(), 1);
  }

#ifndef _WIN32
  void aLatin2NamedFileInALatin2FolderIsReceived() {
    // The system gives the bytes of a folder and a file named in Latin-2 ("přílohy",
    // "příjem.kdx"), which are not UTF-8: the file is copied through those bytes, the name is
    // matched with the stray bytes read as cp1250 (the same bytes for these letters), and the
    // copy gets that name's upper case in UTF-8. A file in the target folder whose name is the
    // copy's in Latin-2 is not UTF-8, so no case variant: it is left alone.
    ProgramRun run;
    const std::string mail = run.MakeFolder("p\xF8\xEDlohy");
    const std::string target = run.MakeFolder("in");
    run.WriteFile(mail + "p\xF8\xEDjem.kdx", "data");
    run.WriteFile(target + "P\xD8\xCDJEM.KDX", "another file");
    run.WriteImports({{ "A", "PŘÍJEM.KDX", target, "", "" }});
    run.StartNative({mail + "p\xF8\xEDjem.kdx"});
    QCOMPARE(frmMain->Label2->text(), QString("PŘÍJEM.KDX"));
    QVERIFY(frmMain->Button1->isEnabled());
    frmMain->Button1->click();
    QVERIFY(run.Requests().empty());
    QCOMPARE(run.QuitCount(), 1);
    QCOMPARE(Names(target), Distinct({"PŘÍJEM.KDX", "P\xD8\xCDJEM.KDX"}));
    QCOMPARE(ProgramRun::ReadFile(target + "PŘÍJEM.KDX"), std::string("data"));
    QCOMPARE(ProgramRun::ReadFile(mail + "p\xF8\xEDjem.kdx"), std::string("data"));
  }
#endif

  void closingTextIsReadFromTheCurrentRecordAtTheTimeOfTheAction() {
    ProgramRun run;
    const std::string mail = run.MakeFolder("mail");
    const std::string target = run.MakeFolder("in");
    run.WriteFile(mail + "B.KDX", "b");
    run.WriteImports({{"A", "A.KDX", target, "", "Text A"}, {"B", "B.KDX", target, "", "Text B"}});
    run.Start({QString::fromStdString(mail + "B.KDX")});
    frmNastaveni->ImportTable->First();  // as a reload of the settings window may leave it
    frmMain->Button1->click();
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text, QString("Text A"));
  }
};

KDX_APP_TEST_MAIN(ReceiveTest)
#include "receive_test.moc"
