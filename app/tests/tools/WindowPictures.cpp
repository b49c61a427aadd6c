// Saves pictures of the main window (both pages), the settings window (both pages), the folder
// picker and the about and progress windows (as the tests build them, offscreen) for a person to
// look at, or to compare before and after a change of the layout code. A tool, not a test:
//   QT_QPA_PLATFORM=offscreen kdx_window_pictures <folder>

#include <QDir>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

#include "About.h"
#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "Nastaveni.h"
#include "Prepare.h"
#include "kdx/widgets/DirDlg.h"

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
  run.WriteImports({{"Příjem z pobočky Liptákov", "POB1_PB.KDX", "/tmp/prenosy/",
                     "Uložení přenosového souboru z pobočky", "Hotovo."}});
  run.WriteExports({{"Zaslání pobočce Liptákov", "/tmp/prenosy/CEN_PB.KDX", "pobocka@example.cz",
                     "Odeslání přenosového souboru pobočce", "Hotovo.", true}});
  run.Start({});
  int failures = 0;
  auto save = [&](QWidget* w, const QString& name) {
    w->show();
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!QTest::qWaitForWindowExposed(w) || !w->grab().save(path)) {
      std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
      ++failures;
    }
    w->hide();
  };
  for (QWidget* w :
       std::initializer_list<QWidget*>{kdx::app::frmMain, kdx::app::frmAbout, kdx::app::frmPrepare})
    save(w, w->objectName());
  // The receive page (empty texts: no file was received), both pages of the settings window and
  // the folder picker as the settings window shows it (without the file list).
  kdx::app::frmMain->PageControl1->setCurrentIndex(0);
  save(kdx::app::frmMain, QStringLiteral("frmMain-receive"));
  for (int page = 0; page < 2; ++page) {
    kdx::app::frmNastaveni->PageControl1->setCurrentIndex(page);
    save(kdx::app::frmNastaveni, QStringLiteral("frmNastaveni-%1").arg(page));
  }
  kdx::widgets::TFormDirDialog picker;
  picker.ApplyLayout(false);
  save(&picker, QStringLiteral("FormDirDialog"));
  return failures == 0 ? 0 : 1;
}
