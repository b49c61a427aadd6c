// The windows as drawn: captions, sizes, fixed positions, colours, every caption fitting its
// control in the program's font; the menu, the keys, the about window; and the general error
// box of the application object.

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "About.h"
#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "Nastaveni.h"
#include "Prepare.h"
#include "kdx/platform/Errors.h"
#include "kdx/widgets/DBEdit.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/DBText.h"
#include "kdx/widgets/UrlLabel.h"
#include "mainUnit.h"

using namespace kdx::app;
using kdx::test::ProgramRun;
using kdx::widgets::MsgButtons;
using kdx::widgets::MsgIcon;
using kdx::widgets::MsgResult;

namespace {

// Every one-line caption of `window` fits the width of its control; word-wrapped labels fit
// their box.
void CheckCaptionsFit(QWidget* window) {
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->text().isEmpty()) continue;
    const QFontMetrics fm(label->font());
    if (label->wordWrap()) {
      const QRect need =
          fm.boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, label->text());
      QVERIFY2(need.height() <= label->height(), qPrintable(label->objectName()));
    } else {
      QVERIFY2(
          fm.horizontalAdvance(label->text()) <= label->width(),
          qPrintable(label->objectName() + ": " + label->text() + " " + label->font().family() +
                     " " + QString::number(fm.horizontalAdvance(label->text()))));
      QVERIFY2(fm.height() <= label->height() + 1, qPrintable(label->objectName()));
    }
  }
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    const QFontMetrics fm(button->font());
    QVERIFY2(fm.horizontalAdvance(button->text()) + 8 <= button->width(),
             qPrintable(button->objectName()));
  }
  for (QGroupBox* box : window->findChildren<QGroupBox*>()) {
    const QFontMetrics fm(box->font());
    QVERIFY2(fm.horizontalAdvance(box->title()) + 16 <= box->width(),
             qPrintable(box->objectName()));
  }
}

QColor TextColor(QWidget* w) {
  return w->palette().color(QPalette::WindowText);
}

// A widget that fails in its event handler, as library code does.
class Failing : public QObject {
 public:
  std::string message;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw kdx::Exception(message);
    return QObject::event(e);
  }
};

// The buttons of the real question box of "Program" -> "Nastavení", as shown, answered "Ne".
QStringList QuestionBoxButtons() {
  QStringList texts;
  QTimer::singleShot(0, [&texts] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    QAbstractButton* no = nullptr;
    for (QAbstractButton* button : box->buttons()) {
      if (box->buttonRole(button) == QMessageBox::NoRole) no = button;
    }
    // In the order the box shows them (left to right).
    QList<QAbstractButton*> buttons = box->buttons();
    std::sort(buttons.begin(), buttons.end(),
              [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    for (QAbstractButton* button : buttons) texts << button->text().remove(QLatin1Char('&'));
    if (no) no->click();
  });
  {
    const kdx::widgets::ScopedMessageHandlerForTesting realBoxes({});
    frmMain->Nastaven1->trigger();
  }
  return texts;
}

// The texts of an edit box's right-click menu, as it pops up.
QStringList ContextMenuTexts(QWidget* edit) {
  QStringList texts;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    poll.stop();
    for (QAction* action : menu->actions())
      if (!action->isSeparator()) texts << action->text().remove(QLatin1Char('&'));
    menu->close();
  });
  poll.start(10);
  const QPoint inside(5, 5);
  QContextMenuEvent event(QContextMenuEvent::Mouse, inside, edit->mapToGlobal(inside));
  QApplication::sendEvent(edit, &event);
  return texts;
}

// The folder of the toolkit's own translations. The Windows build has none (the cross-built
// toolkit's folder is on the build machine): the build puts the Czech file beside the test, in
// toolkit-translations/.
QString ToolkitTranslations() {
#ifdef _WIN32
  return QCoreApplication::applicationDirPath() + "/toolkit-translations";
#else
  return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#endif
}

// "translations" beside the program, as the Windows installer lays it out, holding the toolkit's
// Czech file under each of `names`; removed again at the end of the scope.
class TranslationsBesideTheProgram {
 public:
  explicit TranslationsBesideTheProgram(const QStringList& names) {
    QDir(folder_).removeRecursively();
    ok_ = QDir().mkpath(folder_);
    for (const QString& name : names)
      ok_ = ok_ && QFile::copy(ToolkitTranslations() + "/qtbase_cs.qm", folder_ + "/" + name);
  }
  ~TranslationsBesideTheProgram() { QDir(folder_).removeRecursively(); }
  bool ok() const { return ok_; }

 private:
  const QString folder_ = QCoreApplication::applicationDirPath() + "/translations";
  bool ok_ = false;
};

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void mainWindowAsDrawn() {
    ProgramRun run;
    run.Start({});
    TfrmMain* w = frmMain;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), QString("KDX Manager"));
    QCOMPARE(w->centralWidget()->size(), QSize(490, 313));
    QCOMPARE(w->pos(), QPoint(192, 107));
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(w->PageControl1->tabBar()->isHidden());
    QCOMPARE(w->PageControl1->tabText(0), QString("z e-mailu"));
    QCOMPARE(w->PageControl1->tabText(1), QString("do e-mailu"));
    QCOMPARE(w->Label7->geometry(), QRect(120, 80, 337, 14));
    QCOMPARE(w->Label7->parentWidget(), w->Label5->parentWidget());
    QCOMPARE(w->Label9->size(), QSize(393, 41));
    QCOMPARE(w->Image1->size(), QSize(45, 34));
    QCOMPARE(w->Image2->size(), QSize(32, 32));
    QCOMPARE(w->Label7->text(),
             QString("Chyba : pro tento název souboru není nadefinovaná žádná složka !"));
    QCOMPARE(TextColor(w->Label7), QColor(255, 0, 0));
    QCOMPARE(TextColor(w->Label9), QColor(0, 0, 128));
    QCOMPARE(TextColor(w->Label1), QColor(128, 128, 128));
    QCOMPARE(TextColor(w->Label2), QColor(0, 0, 0));
    QCOMPARE(TextColor(w->DBText1), QColor(128, 0, 0));
    QVERIFY(w->Label9->font().bold() && w->DBText1->font().bold());
    QVERIFY(w->Button1->font().bold() && w->Button3->font().bold());
    QVERIFY(w->Button1->isDefault() && w->Button3->isDefault());
    QCOMPARE(w->GroupBox3->title(), QString("Typ akce a popis "));
    QCOMPARE(w->GroupBox4->title(), QString("Technické podrobnosti"));
    QCOMPARE(w->Label11->text(), QString("Zaslat na e-mail:"));
    QVERIFY(w->DBGrid1->horizontalHeader()->isHidden());
    QVERIFY(w->DBGrid1->verticalHeader()->isHidden());

    // The menu: Program (Nastavení, separator, Konec), then O aplikaci.
    const QList<QAction*> top = w->menuBar()->actions();
    QCOMPARE(top.size(), 2);
    QCOMPARE(top[0]->text(), QString("Program"));
    QCOMPARE(top[1], w->Oaplikaci1);
    QCOMPARE(w->Oaplikaci1->text(), QString("O aplikaci"));
    const QList<QAction*> items = w->Program1->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QString("Nastavení"));
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[2]->text(), QString("Konec"));

    CheckCaptionsFit(w);
    CheckCaptionsFit(frmAbout);
    CheckCaptionsFit(frmPrepare);
  }

  void escapePressesStornoOnEitherPage() {
    ProgramRun run;
    run.Start({});
    QTest::keyClick(frmMain, Qt::Key_Escape);
    QCOMPARE(run.QuitCount(), 1);
    frmMain->PageControl1->setCurrentIndex(0);
    QTest::keyClick(frmMain, Qt::Key_Escape);
    QCOMPARE(run.QuitCount(), 2);
  }

  // With the keyboard alone: the focus starts on the page, Tab goes round the page's controls
  // (the hidden tab bar is no stop), and "Provést akci" looks like the default button unless
  // another button has the focus.
  void tabGoesRoundThePageFromWhereTheFocusStarts() {
    // Send mode, receive mode, receive mode without a definition ("Provést akci" disabled).
    for (const char* argument : {"", "/posta/POB1_PB.KDX", "/posta/JINY.KDX"}) {
      ProgramRun run;
      run.WriteExports({{"A", "", "a@x.cz", "", ""}, {"B", "", "b@x.cz", "", ""}});
      run.WriteImports({{"Prijem", "POB1_PB.KDX", "/prenosy/", "", ""}});
      const bool send = !*argument;
      // The received path as the system spells it (on Windows a backslash parts the folder).
      run.Start(send ? QStringList{} : QStringList{QDir::toNativeSeparators(argument)});
      TfrmMain* w = frmMain;
      w->show();
      QVERIFY(QTest::qWaitForWindowActive(w));
      std::vector<QWidget*> stops{w->DBGrid1, w->Button3, w->Button4};
      if (!send) stops = {w->Button1, w->Button2};
      if (QString(argument).contains("JINY")) {
        QVERIFY(!w->Button1->isEnabled());
        stops = {w->Button2};
      }
      QPushButton* action = send ? w->Button3 : w->Button1;
      for (std::size_t i = 0; i <= stops.size(); ++i) {
        QWidget* stop = stops[i % stops.size()];
        QCOMPARE(QApplication::focusWidget(), stop);
        QCOMPARE(action->isDefault(), !qobject_cast<QPushButton*>(stop) || stop == action);
        QTest::keyClick(stop, Qt::Key_Tab);
      }
      if (send) {  // the grid has the focus again: the arrows choose the definition
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), w->DBGrid1);
        QTest::keyClick(w->DBGrid1, Qt::Key_Down);
        QCOMPARE(frmNastaveni->ExportTable->FieldByName("Nazev")->AsString(), std::string("B"));
      }
    }
  }

  // The windows of the menu, chosen with the keyboard, give the focus back to the page when
  // they close: Esc then ends the run again.
  void afterTheMenuWithTheKeyboardEscEndsTheRun() {
    ProgramRun run;
    run.Start({});
    TfrmMain* w = frmMain;
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTimer closeAbout;
    QObject::connect(&closeAbout, &QTimer::timeout, [] {
      if (QApplication::activeModalWidget() == frmAbout)
        QTest::keyClick(frmAbout->focusWidget(), Qt::Key_Return);
    });
    closeAbout.start(20);
    // Keys as the window system delivers them: to the focus (a popup menu's while one is open).
    const auto keys = [](std::initializer_list<Qt::Key> sequence) {
      for (Qt::Key key : sequence) {
        if (key == Qt::Key_Alt) {  // pressed and released alone: the menu bar's keyboard mode
          QTest::keyPress(static_cast<QWidget*>(nullptr), key, Qt::AltModifier);
          QTest::keyRelease(static_cast<QWidget*>(nullptr), key);
        } else {
          QTest::keyClick(static_cast<QWidget*>(nullptr), key);
        }
      }
    };
    // The window manager activates the main window again when a window of the menu closes.
    const auto backToTheMainWindow = [w] {
      w->activateWindow();
      return QTest::qWaitForWindowActive(w);
    };
    keys({Qt::Key_Alt, Qt::Key_Right, Qt::Key_Return});  // "O aplikaci", closed with Enter
    QVERIFY(!frmAbout->isVisible());
    QVERIFY(backToTheMainWindow());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->DBGrid1));
    keys({Qt::Key_Escape});
    QCOMPARE(run.QuitCount(), 1);

    run.Boxes().Answer({MsgResult::No});
    keys({Qt::Key_Alt, Qt::Key_Return, Qt::Key_Return});  // "Program", "Nastavení": No
    QCOMPARE(run.Requests().size(), size_t(1));
    QVERIFY(backToTheMainWindow());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->DBGrid1));
    keys({Qt::Key_Escape});
    QCOMPARE(run.QuitCount(), 2);
  }

  void settingsMenuAsksFirstAndNoLeavesEverythingAlone() {
    ProgramRun run;
    run.WriteExports({{"A", "", "a@x.cz", "", ""}});
    run.Start({});
    frmNastaveni->ExportTable->Last();
    run.Boxes().Answer({MsgResult::No});
    frmMain->Nastaven1->trigger();
    QCOMPARE(run.Requests().size(), size_t(1));
    const auto& q = run.Requests()[0];
    QCOMPARE(q.text, QString("Varování: tato funkce je určena pouze správcům systému nebo "
                             "zkušeným uživatelům. Opravdu chcete pokračovat ?"));
    QCOMPARE(q.caption, QString("Dotaz"));
    QCOMPARE(q.icon, MsgIcon::Question);
    QCOMPARE(q.buttons, MsgButtons::YesNo);
    QVERIFY(!frmNastaveni->isVisible());

    // Yes opens the window on the export page (send mode) with freshly loaded tables.
    run.Boxes().Answer({MsgResult::Yes});
    bool shown = false;
    int page = -1;
    QTimer::singleShot(0, [&] {
      shown = frmNastaveni->isVisible();
      page = frmNastaveni->PageControl1->currentIndex();
      frmNastaveni->reject();
    });
    frmMain->Nastaven1->trigger();
    QVERIFY(shown);
    QCOMPARE(page, 1);
    QCOMPARE(run.Requests().size(), size_t(2));  // no first-run message outside "/SET"
    QCOMPARE(run.QuitCount(), 0);
  }

  // On a Czech system the toolkit's own texts are Czech, as in the system's own programs: the
  // question box answers "Ano"/"Ne", the file dialog is Czech. The program's texts stay as
  // they are.
  void toolkitTextsFollowTheUsersLanguage() {
#ifdef _WIN32
    // The Windows program has its toolkit's texts only from beside itself.
    TranslationsBesideTheProgram installed({"qtbase_cs.qm"});
    QVERIFY(installed.ok());
#endif
    ProgramRun run;
    run.Start({});
    QVERIFY(InstallToolkitTranslation(QLocale(QLocale::Czech, QLocale::Czechia)));
    const QStringList czech = QuestionBoxButtons();
    QFileDialog dialog(frmNastaveni);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QString cancel = dialog.labelText(QFileDialog::Reject).remove(QLatin1Char('&'));
    auto* edit = frmNastaveni->findChild<kdx::widgets::TDBEdit*>();
    QVERIFY(edit);
    const QStringList czechMenu = ContextMenuTexts(edit);
    InstallToolkitTranslation(QLocale::c());  // back to the toolkit's English
    const QStringList english = QuestionBoxButtons();
    const QStringList englishMenu = ContextMenuTexts(edit);
    QCOMPARE(czech, (QStringList{"Ano", "Ne"}));
    QCOMPARE(cancel, QString("Zrušit"));
    QCOMPARE(czechMenu,
             (QStringList{"Zpět", "Vyjmout", "Kopírovat", "Vložit", "Smazat", "Vybrat vše"}));
    QCOMPARE(english, (QStringList{"Yes", "No"}));
    QCOMPARE(englishMenu, (QStringList{"Undo", "Cut", "Copy", "Paste", "Delete", "Select All"}));
  }

  // The Windows installer puts Qt's translations into "translations" beside the program; they
  // are taken from there before Qt's own folder.
  void toolkitTranslationBesideTheProgramComesFirst() {
    ProgramRun run;
    run.Start({});
    // Czech texts under the Slovak name: a Slovak translation from Qt's folder would say "Áno".
    TranslationsBesideTheProgram installed({"qtbase_sk.qm"});
    QVERIFY(installed.ok());
    const bool loaded = InstallToolkitTranslation(QLocale(QLocale::Slovak, QLocale::Slovakia));
    const QStringList buttons = QuestionBoxButtons();
    InstallToolkitTranslation(QLocale::c());
    QVERIFY(loaded);
    QCOMPARE(buttons, (QStringList{"Ano", "Ne"}));
  }

  void aboutWindowOpensAndClosesWithoutSideEffects() {
    ProgramRun run;
    run.Start({});
    QCOMPARE(frmAbout->windowTitle(), QString("O aplikaci"));
    QCOMPARE(frmAbout->Label1->text(), QString("KDX manager pro přenos dat Velkor"));
    QCOMPARE(frmAbout->Label2->text(), QString("ver. 1.02"));
    QCOMPARE(frmAbout->UrlLabel1->geometry().topLeft(), QPoint(214, 64));
    QCOMPARE(frmAbout->UrlLabel1->text(), QString(kMakerAddress));
    QCOMPARE(frmAbout->UrlLabel1->BuildUrl(), std::string(kMakerAddress));
    QCOMPARE(frmAbout->UrlLabel1->toolTip(), QString(kMakerAddress));
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), frmAbout->UrlLabel1->mapToGlobal(QPoint(2, 2)));
    QVERIFY(QCoreApplication::sendEvent(frmAbout->UrlLabel1, &tip));  // taken, not shown
    QCOMPARE(frmAbout->Button1->geometry(), QRect(118, 104, 75, 25));
    QVERIFY(!(frmAbout->windowFlags() & Qt::WindowMinimizeButtonHint));

    bool escapeKeptItOpen = false;
    bool okHadFocus = false;
    QTimer::singleShot(0, [&] {
      okHadFocus = frmAbout->Button1->hasFocus() || frmAbout->focusWidget() == frmAbout->Button1;
      QTest::keyClick(frmAbout, Qt::Key_Escape);
      escapeKeptItOpen = frmAbout->isVisible();
      QTest::keyClick(frmAbout->Button1, Qt::Key_Return);
    });
    frmMain->Oaplikaci1->trigger();
    QVERIFY(okHadFocus);
    QVERIFY(escapeKeptItOpen);
    QVERIFY(!frmAbout->isVisible());
    QCOMPARE(frmAbout->result(), int(QDialog::Accepted));
    QVERIFY(run.Requests().empty());
    QCOMPARE(run.QuitCount(), 0);
  }

  void progressWindowHasNoButtons() {
    ProgramRun run;
    run.Start({});
    QCOMPARE(frmPrepare->windowTitle(), QString("Pracuji..."));
    QCOMPARE(frmPrepare->size(), QSize(290, 53));
    const auto flags = frmPrepare->windowFlags();
    QVERIFY(flags & Qt::CustomizeWindowHint);
    QVERIFY(!(flags & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                       Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(frmPrepare->Label1->text(),
             QString("Spouštění e-mailového klienta, počkejte prosím ..."));
  }

  void generalErrorBoxAppendsTheFullStopByTheByteRule() {
    QCOMPARE(ErrorBoxText("Stream read error"), std::string("Stream read error."));
    QCOMPARE(ErrorBoxText("Done."), std::string("Done."));
    QCOMPARE(ErrorBoxText("Failed!"), std::string("Failed!"));         // '!' sorts before '.'
    QCOMPARE(ErrorBoxText("(x)"), std::string("(x)"));                 // ')' too
    QCOMPARE(ErrorBoxText("path/"), std::string("path/."));            // '/' after
    QCOMPARE(ErrorBoxText("chyba \xE8"), std::string("chyba \xE8."));  // cp1250 letters too
    QCOMPARE(ErrorBoxText(""), std::string());
  }

  void anExceptionEscapingAHandlerIsShownAndTheProgramGoesOn() {
    kdx::widgets::ScopedMessageRecorderForTesting boxes;
    Failing failing;
    failing.message = "Field 'X' not found";
    QEvent event(QEvent::User);
    QCOMPARE(QCoreApplication::sendEvent(&failing, &event), false);
    QCOMPARE(boxes.Requests().size(), size_t(1));
    QCOMPARE(boxes.Requests()[0].text, QString("Field 'X' not found."));
    QCOMPARE(boxes.Requests()[0].caption, QString("KDX manager"));
    QCOMPARE(boxes.Requests()[0].icon, MsgIcon::Error);
    QCOMPARE(boxes.Requests()[0].buttons, MsgButtons::Ok);
    QEvent again(QEvent::User);
    QCoreApplication::sendEvent(&failing, &again);
    QCOMPARE(boxes.Requests().size(), size_t(2));
  }

  void aFailingMenuHandlerReachesTheGeneralErrorBox() {
    ProgramRun run;
    run.Start({});
    // The settings reload meets a broken file: the error goes to the general box and the run
    // goes on.
    run.WriteRawImportFile(
        "\"@@TABLEDEF START@@\"\r\n"
        "\"When=DateTime,0,\"\"When\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
        "\"@@TABLEDEF END@@\"\r\n");
    run.Boxes().Answer({MsgResult::Yes});
    frmMain->Nastaven1->trigger();
    QCOMPARE(run.Requests().size(), size_t(2));
    QCOMPARE(run.Requests()[1].caption, QString("KDX manager"));
    QCOMPARE(run.Requests()[1].icon, MsgIcon::Error);
    // The load's own failure, not what the bound controls say about the fields it replaced.
    QVERIFY2(run.Requests()[1].text.contains("does not match table ImportTable: field definition "
                                             "(When=DateTime"),
             qPrintable(run.Requests()[1].text));
    QVERIFY(!frmNastaveni->isVisible());
    QCOMPARE(run.QuitCount(), 0);
  }
};

KDX_APP_TEST_MAIN(WindowsTest)
#include "windows_test.moc"
