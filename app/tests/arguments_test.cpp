// The command line as the system gave it: the application object is started with arguments
// that the toolkit takes for its own options, and the program still reads them as a file path.

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "TestSupport.h"
#include "mainUnit.h"

using namespace kdx::app;
using kdx::test::ProgramRun;

namespace {

// What the program is started with (after its own name).
const char* const kArguments[] = {"-style", "x", "-reverse", "-platform", "offscreen"};

}  // namespace

class ArgumentsTest : public QObject {
  Q_OBJECT

private slots:
  void theToolkitsOptionsStayArgumentsOfTheProgram() {
    QStringList expected;
    for (const char* argument : kArguments) expected << QString::fromLatin1(argument);
    QCOMPARE(TKdxApplication::ProgramArguments(), expected);

    ProgramRun run;
    run.StartWithProgramArguments();
    QCOMPARE(RunMode, kModeReceive);
    QCOMPARE(frmMain->PageControl1->currentIndex(), 0);
    QCOMPARE(frmMain->Label2->text(), QString("-STYLE X -REVERSE -PLATFORM OFFSCREEN"));
    QVERIFY(!frmMain->Label7->isHidden());  // no definition for such a file
    QVERIFY(!frmMain->Button1->isEnabled());
  }
};

// The application object gets the arguments above, Qt Test the runner's own.
int main(int argc, char** argv) {
  std::vector<char*> programArgv{argv[0]};
  for (const char* argument : kArguments) programArgv.push_back(const_cast<char*>(argument));
  programArgv.push_back(nullptr);
  int programArgc = static_cast<int>(programArgv.size()) - 1;
  TKdxApplication app(programArgc, programArgv.data());
  app.setAttribute(Qt::AA_Use96Dpi, true);
  ArgumentsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "arguments_test.moc"
