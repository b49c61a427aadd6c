// The command line as the system gives it to a started program. The test starts its own program
// again, as the mail client starts ours, with arguments that the toolkit takes for its own
// options; that copy runs the start-up on its real command line (argv on POSIX, the process's
// command line on Windows) and reports what it shows, and this copy checks the report.

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "kdx/platform/Files.h"
#include "mainUnit.h"

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

using namespace kdx::app;
using kdx::test::ProgramRun;

namespace {

// What the program is started with (after its own name): the toolkit's options, and a file
// name with a blank and Czech letters, passed as one argument.
const QStringList kArguments = {"-style",    "x",         "-reverse",
                                "-platform", "offscreen", QString::fromUtf8("příjem a.kdx")};

// Set for the started copy: the file it writes its report into.
constexpr char kReportVariable[] = "KDX_ARGUMENTS_REPORT";

// The started copy: the program's application object on the real command line, the start-up,
// and one "key=value" line per thing shown.
int ReportStart(int argc, char** argv, const QString& reportPath) {
  TKdxApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  ProgramRun run;
  run.StartWithProgramArguments();
  // The arguments as they came, bytes that are not UTF-8 included.
  std::string arguments;
  for (const std::string& argument : TKdxApplication::ProgramArguments())
    arguments += "argument=" + argument + "\n";
  QStringList lines;
  lines << "mode=" + QString::number(RunMode)
        << "page=" + QString::number(frmMain->PageControl1->currentIndex())
        << "name=" + frmMain->Label2->text()
        << "noDefinition=" + QString::number(!frmMain->Label7->isHidden())
        << "actionEnabled=" + QString::number(frmMain->Button1->isEnabled())
        << "sourceExists=" + QString::number(kdx::platform::FileExists(SourcePathNative));
  QFile report(reportPath);
  if (!report.open(QIODevice::WriteOnly)) return 2;
  report.write(QByteArray::fromStdString(arguments) + lines.join('\n').toUtf8());
  return 0;
}

}  // namespace

class ArgumentsTest : public QObject {
  Q_OBJECT

 private slots:
  void theToolkitsOptionsStayArgumentsOfTheProgram() {
    kdx::test::TempDir folder;
    const QString reportPath = QString::fromStdString(folder / "report.txt");
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kReportVariable, reportPath);
    program.setProcessEnvironment(environment);
    program.start(QCoreApplication::applicationFilePath(), kArguments);
    QVERIFY2(program.waitForFinished(120000), qPrintable(program.errorString()));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QFile report(reportPath);
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(report.readAll()).split('\n');
    QStringList arguments;
    for (const QString& argument : kArguments) arguments << "argument=" + argument;
    QCOMPARE(lines.mid(0, arguments.size()), arguments);
    QCOMPARE(
        lines.mid(arguments.size()),
        (QStringList{"mode=" + QString::number(kModeReceive), "page=0",
                     QString::fromUtf8("name=-STYLE X -REVERSE -PLATFORM OFFSCREEN PŘÍJEM A.KDX"),
                     "noDefinition=1",  // no definition for such a file
                     "actionEnabled=0", "sourceExists=0"}));
  }

#ifndef _WIN32
  void aNameThatIsNotUtf8KeepsItsBytes() {
    // A mail client's temporary file in a folder named in Latin-2, itself named so ("přílohy",
    // "příjem.kdx"): the file is found, and the name is shown with the stray bytes read as
    // cp1250, which spells these Czech letters with the same bytes.
    kdx::test::TempDir folder;
    const std::string file = folder.MakeDir("p\xF8\xEDlohy") + "/p\xF8\xEDjem.kdx";
    kdx::test::WriteFile(file, "data");
    const std::string reportPath = folder / "report.txt";
    kdx::test::ScopedEnv report(kReportVariable, reportPath.c_str());
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()), nullptr};
    pid_t pid = 0;
    QCOMPARE(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);

    const std::string lines = kdx::test::ReadFile(reportPath);
    QVERIFY2(lines.find("argument=" + file + "\n") == 0, lines.c_str());
    QVERIFY2(lines.find("\nname=PŘÍJEM.KDX\n") != std::string::npos, lines.c_str());
    QVERIFY2(lines.find("\nsourceExists=1") != std::string::npos, lines.c_str());
  }
#endif
};

int main(int argc, char** argv) {
  const QString reportPath = qEnvironmentVariable(kReportVariable);
  if (!reportPath.isEmpty()) return ReportStart(argc, argv, reportPath);
  TKdxApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  ArgumentsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "arguments_test.moc"
