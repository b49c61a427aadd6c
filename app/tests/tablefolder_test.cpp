// Where the tables are read and written: beside a copy of the program that runs from a folder of
// its own, in the user's own folder for an installation (Linux: marker beside the program;
// Windows: a program folder the user may not write), starting from the administrator's tables
// until the user saves.

#include <sys/stat.h>
#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "Nastaveni.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Errors.h"
#include "mainUnit.h"

using namespace kdx::app;
using kdx::TMemTable;
using kdx::test::Cp;
using kdx::test::ProgramRun;
using kdx::test::ScopedEnv;

namespace {

std::string FirstName(TMemTable& table) {
  if (table.RecordCount() == 0) return "<empty>";
  table.First();
  return table.FieldByName(kdx::fields::kNazev)->AsString();
}

bool Exists(const std::string& path) {
  return QFileInfo::exists(QString::fromStdString(path));
}

// A program folder laid out as an installation: the marker, tables that must be ignored beside
// the program, the administrator's folder and a user's configuration home, all in `run`'s folder.
struct Installed {
  explicit Installed(ProgramRun& r)
      : run(r),
        admin(r.MakeFolder("etc")),
        config(r.MakeFolder("home/.config")),
        adminFolder(admin) {
    run.WriteFile(run.Folder() + kInstalledMarker, "installed\n");
    run.WriteImports({{"Beside the program", "X.KDX", "/x", "", ""}});
    run.WriteExports({{"Beside the program", "/x/A.KDX", "a@example.cz", "", "", false}});
    besideImport = ProgramRun::ReadFile(run.Folder() + kImportFileName);
  }

  // Writes the administrator's import table (UTF-8 name; through the program folder, which is
  // then put back).
  void WriteAdminImport(const std::string& name) {
    const std::string beside = run.Folder() + kImportFileName;
    run.WriteImports({{name, "POB1_PB.KDX", "/srv/prijem", "", ""}});
    run.WriteFile(admin + kImportFileName, ProgramRun::ReadFile(beside));
    run.WriteFile(beside, besideImport);
  }

  std::string Own() const { return config + "kdx-manager/"; }

  ProgramRun& run;
  std::string admin, config, besideImport;
  ScopedSystemTableFolderForTesting adminFolder;
};

// A copy of the program (with the installation marker beside it or not) whose tables are read
// from its own folder and saved there, with no configuration folder made.
void CheckTablesStayBesideTheProgram(bool withMarker) {
  ProgramRun run;
  const std::string config = run.MakeFolder("config");
  ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
  if (withMarker) run.WriteFile(run.Folder() + kInstalledMarker, "installed\n");
  run.WriteImports({{"Beside", "A.KDX", "/a", "", ""}});
  run.Start({});
  QCOMPARE(TableFolders.own, run.Folder());
  QVERIFY(TableFolders.fallbacks.empty());
  QCOMPARE(FirstName(*frmNastaveni->ImportTable), std::string("Beside"));

  SaveExportDefinitions();
  QVERIFY(Exists(run.Folder() + kExportFileName));
  QVERIFY(!Exists(config + "kdx-manager"));
}

}  // namespace

// The installation marker is Linux's: on Windows a copy of the program in a folder the user may
// write keeps its tables beside itself, marker or not (theMarkerChangesNothingOnWindows), and one
// in a folder the user may not write has the user's own folder
// (aProgramFolderTheUserMayNotWriteHasTheTablesInTheUsersFolder).
#ifdef _WIN32
#define KDX_LINUX_INSTALLATIONS_ONLY() \
  QSKIP("on Windows the program folder's writability decides, not the marker")
#else
#define KDX_LINUX_INSTALLATIONS_ONLY()
#endif

class TableFolderTest : public QObject {
  Q_OBJECT

 private slots:
  void aCopyWithoutMarkerKeepsItsTablesBesideItself() { CheckTablesStayBesideTheProgram(false); }

  void anInstallationStartsFromTheAdministratorsTablesAndSavesIntoTheUsersFolder() {
    KDX_LINUX_INSTALLATIONS_ONLY();
    ProgramRun run;
    Installed inst(run);
    ScopedEnv xdg("XDG_CONFIG_HOME", inst.config.c_str());
    inst.WriteAdminImport("Správce");
    const std::string adminBefore = ProgramRun::ReadFile(inst.admin + kImportFileName);

    run.Start({"/tmp/pob1_pb.kdx"});
    QCOMPARE(TableFolders.own, inst.Own());
    QCOMPARE(FirstName(*frmNastaveni->ImportTable), Cp("Správce"));
    QCOMPARE(TargetFolder, std::string("/srv/prijem/"));  // the receive job matched it
    // No export table anywhere but beside the program, which does not count.
    QCOMPARE(frmNastaveni->ExportTable->RecordCount(), 0);
    QVERIFY(!Exists(inst.Own()));  // reading creates nothing

    TMemTable& imports = *frmNastaveni->ImportTable;
    imports.First();
    imports.EditRecord();
    imports.FieldByName(kdx::fields::kNazev)->SetAsString(Cp("Moje pobočka"));
    imports.PostRecord();
    SaveImportDefinitions();
    SaveExportDefinitions();

    QVERIFY(Exists(inst.Own() + kImportFileName));
    QVERIFY(Exists(inst.Own() + kExportFileName));
    struct stat st {};
    QCOMPARE(::stat(inst.Own().c_str(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0700u);
    // Neither the administrator's nor the program's tables were written.
    QCOMPARE(ProgramRun::ReadFile(inst.admin + kImportFileName), adminBefore);
    QCOMPARE(ProgramRun::ReadFile(run.Folder() + kImportFileName), inst.besideImport);

    // The next start reads the user's own tables, the administrator's no longer.
    frmNastaveni->ImportTable->CloseTable();
    frmNastaveni->ImportTable->OpenTable();
    LoadImportDefinitions();
    QCOMPARE(FirstName(*frmNastaveni->ImportTable), Cp("Moje pobočka"));
  }

  void eachTableFallsBackOnItsOwn() {
    KDX_LINUX_INSTALLATIONS_ONLY();
    ProgramRun run;
    Installed inst(run);
    ScopedEnv xdg("XDG_CONFIG_HOME", inst.config.c_str());
    inst.WriteAdminImport("Admin");
    // The user has an export table only.
    QVERIFY(QDir().mkpath(QString::fromStdString(inst.Own())));
    run.WriteExports({{"User", "/x/U.KDX", "u@example.cz", "", "", false}});
    run.WriteFile(inst.Own() + kExportFileName,
                  ProgramRun::ReadFile(run.Folder() + kExportFileName));
    run.Start({});
    QCOMPARE(FirstName(*frmNastaveni->ImportTable), std::string("Admin"));
    QCOMPARE(FirstName(*frmNastaveni->ExportTable), std::string("User"));
  }

  void theConfigurationHomeFollowsTheXdgRules() {
    KDX_LINUX_INSTALLATIONS_ONLY();
    ProgramRun run;
    Installed inst(run);
    const std::string home = run.MakeFolder("home2");
    ScopedEnv homeVar("HOME", home.c_str());
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/config"}) {
      ScopedEnv xdg("XDG_CONFIG_HOME", value);
      QCOMPARE(FindTableFolders(run.Folder()).own, home + ".config/kdx-manager/");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", "/elsewhere/cfg/");
    QCOMPARE(FindTableFolders(run.Folder()).own, std::string("/elsewhere/cfg/kdx-manager/"));
    QCOMPARE(FindTableFolders(run.Folder()).fallbacks, std::vector<std::string>{inst.admin});
  }

  void aRelativeHomeIsIgnoredForTheAccountsHomeFolder() {
    KDX_LINUX_INSTALLATIONS_ONLY();
#ifndef _WIN32
    ProgramRun run;
    Installed inst(run);
    // A relative HOME would be taken in the current folder, which the folder picker moves: the
    // loads and the saves of one run could go to different places.
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv homeVar("HOME", "relative/home");
    const passwd* account = ::getpwuid(::getuid());
    QVERIFY(account && account->pw_dir && account->pw_dir[0] == '/');
    std::string accountHome = account->pw_dir;
    if (accountHome == "/") accountHome.clear();
    QCOMPARE(FindTableFolders(run.Folder()).own, accountHome + "/.config/kdx-manager/");
#endif
  }

  void withoutAnyTablesTheUserStartsEmptyAndSavingCreatesTheFolders() {
    KDX_LINUX_INSTALLATIONS_ONLY();
    ProgramRun run;
    Installed inst(run);
    const std::string deep = inst.config + "a/b";
    ScopedEnv xdg("XDG_CONFIG_HOME", deep.c_str());
    run.Start({});
    QCOMPARE(frmNastaveni->ImportTable->RecordCount(), 0);
    QCOMPARE(frmNastaveni->ExportTable->RecordCount(), 0);
    SaveImportDefinitions();
    QCOMPARE(ProgramRun::ReadFile(deep + "/kdx-manager/" + kImportFileName),
             std::string("\"Nazev\",\"KDXFile\",\"SavePath\",\"InfoText\",\"EndText\",\r\n"));
  }

  void aFolderThatCannotBeCreatedFailsLikeAnUnwritableFile() {
    KDX_LINUX_INSTALLATIONS_ONLY();
    ProgramRun run;
    Installed inst(run);
    // A file where a folder should be: creating it fails even for root.
    run.WriteFile(inst.config + "blocked", "x");
    const std::string blocked = inst.config + "blocked";
    ScopedEnv xdg("XDG_CONFIG_HOME", blocked.c_str());
    run.Start({});
    try {
      SaveImportDefinitions();
      QFAIL("the save succeeded");
    } catch (const kdx::EFCreateError& e) {
      QVERIFY2(std::string(e.what()).starts_with("Cannot create file " + blocked), e.what());
    }
  }

  void theMarkerChangesNothingOnWindows() {
#ifndef _WIN32
    QSKIP("on Linux the marker makes an installation (the tests above)");
#endif
    CheckTablesStayBesideTheProgram(true);
  }

  // A program folder the user may not write: the tables start from the administrator's folder,
  // else the program's own, and go to the user's folder, which the save creates; the next start
  // reads them back from there. Wine keeps no access lists and its root user may write any
  // file, so the probe's answer comes from the hook here; the end-to-end run of the MSI package
  // makes the installed program's folder really not writable.
  void aProgramFolderTheUserMayNotWriteHasTheTablesInTheUsersFolder() {
#ifndef _WIN32
    QSKIP("on Linux the installation marker decides (the tests above)");
#else
    ProgramRun run;
    const std::string admin = run.MakeFolder("ProgramData");
    const std::string own = run.MakeFolder("AppData") + "KDX manager\\";
    ScopedSystemTableFolderForTesting adminFolder(admin);
    ScopedUserTableFolderForTesting userFolder(own);
    run.WriteImports({{"Beside", "A.KDX", "C:\\a", "", ""}});
    run.WriteExports({{"Admin", "C:\\A.KDX", "a@example.cz", "", "", false}});
    run.WriteFile(admin + kExportFileName, ProgramRun::ReadFile(run.Folder() + kExportFileName));
    run.WriteExports({{"Beside", "C:\\B.KDX", "b@example.cz", "", "", false}});
    const std::string besideImport = ProgramRun::ReadFile(run.Folder() + kImportFileName);
    const std::string adminExport = ProgramRun::ReadFile(admin + kExportFileName);

    QVERIFY(UserMayWriteTables(run.Folder()));
    QCOMPARE(QDir(QString::fromStdString(run.Folder()))
                 .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
             QStringList({"kdx_exp.tab", "kdx_imp.tab"}));  // the probe left nothing behind
    ScopedProgramFolderWritableForTesting notWritable(false);

    run.Start({});
    QCOMPARE(TableFolders.own, own);
    QCOMPARE(TableFolders.fallbacks, std::vector<std::string>({admin, run.Folder()}));
    QCOMPARE(FirstName(*frmNastaveni->ImportTable), std::string("Beside"));  // none in admin's
    QCOMPARE(FirstName(*frmNastaveni->ExportTable), std::string("Admin"));
    QVERIFY(!Exists(own));  // reading creates nothing

    TMemTable& imports = *frmNastaveni->ImportTable;
    imports.First();
    imports.EditRecord();
    imports.FieldByName(kdx::fields::kNazev)->SetAsString(Cp("Moje pobočka"));
    imports.PostRecord();
    SaveImportDefinitions();
    SaveExportDefinitions();
    QVERIFY(Exists(own + kExportFileName));
    QCOMPARE(ProgramRun::ReadFile(run.Folder() + kImportFileName), besideImport);
    QCOMPARE(ProgramRun::ReadFile(admin + kExportFileName), adminExport);

    run.Start({});
    QCOMPARE(FirstName(*frmNastaveni->ImportTable), Cp("Moje pobočka"));
    QCOMPARE(FirstName(*frmNastaveni->ExportTable), std::string("Admin"));
#endif
  }

  void anInstallationWithoutAHomeFolderCannotSave() {
    TTableFolders folders{"", {"/etc/kdx-manager/"}};
    QVERIFY_THROWS_EXCEPTION(kdx::EFCreateError, TableFileToSave(folders, kImportFileName));
    QVERIFY(TableFileToLoad(TTableFolders{}, kImportFileName).empty());
  }
};

KDX_APP_TEST_MAIN(TableFolderTest)
#include "tablefolder_test.moc"
