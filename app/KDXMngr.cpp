// The program entry: the application object titled "KDX manager", the four windows in their
// order, StartRun, then the message loop until QuitApplication's request is taken. A failure
// before the loop (a table file that cannot be read) ends the program with the last-resort
// report and exit code 1.

#include <exception>

#include "Application.h"
#include "Forms.h"
#include "GeometryReport.h"
#include "MainForm.h"
#include "TopWindowsHook.h"
#include "mainUnit.h"

int main(int argc, char** argv) {
  using namespace kdx::app;
  TKdxApplication app(argc, argv);
  app.setFont(ProgramFont());
  app.setQuitOnLastWindowClosed(false);  // only QuitApplication ends a run
  InstallTopWindowProvider();
  InstallGeometryReport();  // only with KDX_TEST_GEOMETRY set (end-to-end tests)
  int code = 0;
  try {
    CreateForms();
    StartRun();
  } catch (const std::exception& error) {
    code = ReportStartupFailure(error);
  }
  if (code == 0) {
    if (RunMode != kModeSettings) frmMain->show();
    code = app.exec();
  }
  DestroyForms();
  return code;
}
