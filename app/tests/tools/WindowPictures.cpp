// Saves pictures of the main, about and progress windows (as the tests build them, offscreen)
// for a person to look at. A tool, not a test:
//   QT_QPA_PLATFORM=offscreen kdx_window_pictures <folder>

#include <QDir>
#include <QTest>
#include <cstdio>

#include "About.h"
#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "Prepare.h"

int main(int argc, char** argv) {
  kdx::app::TKdxApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "cannot make %s\n", argv[1]);
    return 1;
  }
  kdx::test::ProgramRun run;
  run.Start({});
  int failures = 0;
  for (QWidget* w : std::initializer_list<QWidget*>{kdx::app::frmMain, kdx::app::frmAbout,
                                                    kdx::app::frmPrepare}) {
    w->show();
    const QString path = folder + QLatin1Char('/') + w->objectName() + QStringLiteral(".png");
    if (!QTest::qWaitForWindowExposed(w) || !w->grab().save(path)) {
      std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
      ++failures;
    }
    w->hide();
  }
  return failures == 0 ? 0 : 1;
}
