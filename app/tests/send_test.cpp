// The send action on the real main window in send mode: its two checks, the values that reach
// the Simple MAPI structures (through a recording test provider registered as the mail client),
// the progress window painted before the hand-off, the error path and the end of the run.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <memory>

#include "AppTestSupport.h"
#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "ManualSend.h"
#include "Nastaveni.h"
#include "Prepare.h"
#include "TopWindowsHook.h"
#include "kdx/platform/Text.h"
#include "kdx/platform/TopWindows.h"
#include "kdx/widgets/DBGrid.h"
#include "mainUnit.h"
#include "providers/ProviderProbe.h"

using namespace kdx::app;
using kdx::test::Cp;
using kdx::test::ExportDef;
using kdx::test::ProgramRun;
using kdx::widgets::MsgIcon;

namespace {

// Registers the recording provider as the only mail client for one test and gives its record.
class RecordingClient {
 public:
  explicit RecordingClient(const ProgramRun& run) {
    const std::string reg = run.MakeFolder("registry") + "registry.reg";
    run.WriteFile(reg,
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"Recorder\"\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Recorder]\r\n"
                  "@=\"Recorder\"\r\n\"DLLPath\"=\"" KDX_TEST_PROVIDER_FULL "\"\r\n");
    registry_ = std::make_unique<kdx::test::ScopedEnv>("KDX_REGISTRY", reg);
  }
  RecordedSend& operator*() { return *probe_; }
  RecordedSend* operator->() { return &*probe_; }

 private:
  kdx::mail::test::ProviderProbe probe_{KDX_TEST_PROVIDER_FULL};
  std::unique_ptr<kdx::test::ScopedEnv> registry_;
};

// Watches the progress window: when it was painted, how many sends the client had seen.
class PaintWatch : public QObject {
 public:
  PaintWatch(QWidget* w, RecordedSend* record) : record_(record) { w->installEventFilter(this); }
  int paintsBeforeSend = 0;
  int paintsAfterSend = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint)
      (record_->sendCalls == 0 ? paintsBeforeSend : paintsAfterSend)++;
    return false;
  }

 private:
  RecordedSend* record_;
};

// A subject made on `day` by the system's locale: the fixed text, then the day, the month and
// the four-digit year as the only numbers (in the order the locale writes them; the month may be
// named instead), nothing else.
bool IsSubjectOf(const QString& subject, const QDate& day) {
  const QString prefix = QString::fromUtf8("Přenosový soubor Velkor ze dne ");
  if (!subject.startsWith(prefix)) return false;
  const QString date = subject.mid(prefix.size());
  if (date.contains(QLatin1Char(':'))) return false;  // no time of day
  QList<int> numbers;
  for (const auto& m : QRegularExpression(QStringLiteral("\\d+")).globalMatch(date))
    numbers << m.captured().toInt();
  std::sort(numbers.begin(), numbers.end());
  const auto sorted = [](QList<int> list) {
    std::sort(list.begin(), list.end());
    return list;
  };
  if (!date.contains(QString::number(day.year()))) return false;
  if (numbers == sorted({day.day(), day.month(), day.year()})) return true;
  // Some short formats name the month ("8 Dec 2026" in the C locale).
  const QLocale system = QLocale::system();
  return numbers == sorted({day.day(), day.year()}) &&
         (date.contains(system.monthName(day.month(), QLocale::ShortFormat)) ||
          date.contains(system.monthName(day.month(), QLocale::LongFormat)));
}

// The subject was made today (or yesterday, when the test ran across midnight).
bool IsTodaysSubject(const std::string& cp1250) {
  const QString subject = QString::fromStdString(kdx::text::Cp1250ToUtf8(cp1250));
  const QDate today = QDate::currentDate();
  return IsSubjectOf(subject, today) || IsSubjectOf(subject, today.addDays(-1));
}

}  // namespace

class SendTest : public QObject {
  Q_OBJECT

 private slots:
  void subjectCarriesTheShortDateWithoutTime() {
    const QDate date(2026, 12, 7);
    QCOMPARE(SendSubject(QLocale(QLocale::Czech, QLocale::Czechia), date),
             Cp("Přenosový soubor Velkor ze dne 07.12.2026"));
    QCOMPARE(SendSubject(QLocale(QLocale::English, QLocale::UnitedStates), date),
             Cp("Přenosový soubor Velkor ze dne 12/7/2026"));
    QCOMPARE(SendSubject(QLocale(QLocale::German, QLocale::Germany), date),
             Cp("Přenosový soubor Velkor ze dne 07.12.2026"));
  }

  void handsTheSelectedDefinitionToTheMailClient() {
    ProgramRun run;
    RecordingClient client(run);
    const std::string files = run.MakeFolder("odeslani");
    run.WriteFile(files + "SKLAD.KDX", "data");
    run.WriteFile(files + "BRNO.KDX", "data");
    run.WriteExports(
        {{"Sklad", files + "SKLAD.KDX", "sklad@example.cz", "", "", true},
         {"Brno", files + "BRNO.KDX", "brno@example.cz", "", "Hotovo, odesláno.", false}});
    run.Start({});
    // The user picks the second definition.
    frmMain->DBGrid1->setFocus();
    QTest::keyClick(frmMain->DBGrid1, Qt::Key_Down);
    PaintWatch watch(frmPrepare, &*client);

    frmMain->Button3->click();
    const RecordedSend& r = *client;
    QCOMPARE(r.sendCalls, 1);
    QCOMPARE(r.flags, KdxMapiFlags(MAPI_LOGON_UI));  // EmailShow false: no compose window
    QCOMPARE(r.recipCount, KdxMapiUlong(1));
    QCOMPARE(r.recips[0].recipClass, KdxMapiUlong(MAPI_TO));
    QCOMPARE(r.recips[0].address, std::string("SMTP:brno@example.cz"));
    QVERIFY2(IsTodaysSubject(r.subject), r.subject.c_str());
    QCOMPARE(r.note, std::string());
    QCOMPARE(r.fileCount, KdxMapiUlong(1));
    QCOMPARE(r.files[0].path, files + "BRNO.KDX");

    QVERIFY(watch.paintsBeforeSend > 0);  // painted before the client was called
    QVERIFY(!frmPrepare->isVisible());
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text, QString("Hotovo, odesláno."));
    QCOMPARE(run.Requests()[0].caption, QString("Informace"));
    QCOMPARE(run.Requests()[0].icon, MsgIcon::Information);
    QCOMPARE(run.QuitCount(), 1);
  }

  void composeWindowWhenAskedAndNoClosingTextWhenEmpty() {
    ProgramRun run;
    RecordingClient client(run);
    const std::string files = run.MakeFolder("odeslani");
    run.WriteFile(files + "SKLAD.KDX", "data");
    run.WriteExports({{"Sklad", files + "SKLAD.KDX", "sklad@example.cz", "", "", true}});
    run.Start({});
    QTest::keyClick(frmMain, Qt::Key_Return);  // the default button
    QCOMPARE(client->sendCalls, 1);
    QCOMPARE(client->flags, KdxMapiFlags(MAPI_LOGON_UI | MAPI_DIALOG));
    QVERIFY(run.Requests().empty());
    QCOMPARE(run.QuitCount(), 1);
  }

  void theMainWindowOwnsTheMailClientsDialogs() {
    ProgramRun run;
    RecordingClient client(run);
    const std::string files = run.MakeFolder("odeslani");
    run.WriteFile(files + "SKLAD.KDX", "data");
    run.WriteExports({{"Sklad", files + "SKLAD.KDX", "sklad@example.cz", "", "", true}});
    InstallTopWindowProvider();
    run.Start({});
    frmMain->show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain));
    frmMain->activateWindow();
    frmMain->Button3->click();
    kdx::platform::SetTopWindowProvider({});
    QCOMPARE(client->sendCalls, 1);
    QCOMPARE(client->uiParam, KdxMapiUlongPtr(frmMain->windowHandle()->winId()));
  }

  void missingAddressIsReportedFirst() {
    ProgramRun run;
    RecordingClient client(run);
    run.WriteExports({{"Bez adresy", "/nonexistent/X.KDX", "", "", "", true}});
    run.Start({});
    frmMain->Button3->click();
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text,
             QString("V definici není zadaná e-mailová adresa - nelze pokračovat."));
    QCOMPARE(run.Requests()[0].caption, QString("Chyba"));
    QCOMPARE(run.Requests()[0].icon, MsgIcon::Error);
    QCOMPARE(client->sendCalls, 0);
    QCOMPARE(run.QuitCount(), 0);
  }

  void emptyExportTableReportsTheMissingAddress() {
    ProgramRun run;
    RecordingClient client(run);
    run.Start({});
    frmMain->Button3->click();
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text,
             QString("V definici není zadaná e-mailová adresa - nelze pokračovat."));
    QCOMPARE(client->sendCalls, 0);
  }

  void missingFileNamesThePathEvenWhenEmpty() {
    ProgramRun run;
    RecordingClient client(run);
    run.WriteExports({{"Chybí", "/nonexistent/X.KDX", "a@example.cz", "", "", true},
                      {"Prázdná", "", "a@example.cz", "", "", true}});
    run.Start({});
    frmMain->Button3->click();
    frmNastaveni->ExportTable->Next();
    frmMain->Button3->click();
    QCOMPARE(run.Requests().size(), size_t(2));
    QCOMPARE(run.Requests()[0].text, QString("Přenosový soubor /nonexistent/X.KDX nebyl nalezen."));
    QCOMPARE(run.Requests()[1].text, QString("Přenosový soubor  nebyl nalezen."));
    QCOMPARE(run.Requests()[1].icon, MsgIcon::Error);
    QVERIFY(!frmPrepare->isVisible());
    QCOMPARE(client->sendCalls, 0);
    QCOMPARE(run.QuitCount(), 0);
  }

  void aFailedHandOffClosesTheProgressWindowAndTheRunGoesOn() {
    ProgramRun run;
    RecordingClient client(run);
    const std::string files = run.MakeFolder("odeslani");
    run.WriteFile(files + "SKLAD.KDX", "data");
    run.WriteExports({{"Sklad", files + "SKLAD.KDX", "sklad@example.cz", "", "Konec", false}});
    run.Start({});
    client->result = MAPI_E_FAILURE;
    frmMain->Button3->click();
    QCOMPARE(client->sendCalls, 1);
    QVERIFY(!frmPrepare->isVisible());
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].caption, QString("KDX manager"));
    QCOMPARE(run.Requests()[0].icon, MsgIcon::Error);
    QVERIFY(run.Requests()[0].text.startsWith("MAPI Error: (2)"));
    QCOMPARE(run.QuitCount(), 0);

    // The user tries again once the client works.
    client->result = SUCCESS_SUCCESS;
    frmMain->Button3->click();
    QCOMPARE(client->sendCalls, 2);
    QCOMPARE(run.Requests().back().text, QString("Konec"));
    QCOMPARE(run.QuitCount(), 1);
  }

  // No program takes the attachment (no client at all; a client, such as the Linux provider
  // before a browser, that answers "not supported"): the window that guides the user opens the
  // e-mail and shows the file once; "Storno" goes back, "Hotovo" ends the run as a hand-off does.
  void withoutAClientThatTakesTheFileTheUserSendsItByHand() {
    ProgramRun run;
    const std::string files = run.MakeFolder("odeslani");
    run.WriteFile(files + "BRNO.KDX", "data");
    run.WriteExports(
        {{"Brno", files + "BRNO.KDX", " brno@example.cz", "", "Hotovo, odesláno.", true}});
    std::vector<std::string> uris, shown;
    TfrmManualSend::ScopedActionsForTesting actions(
        {[&](const std::string& uri) { uris.push_back(uri); },
         [&](const std::string& path) { shown.push_back(path); }});
    run.Start({});
    struct Seen {
      bool opened = false, progressHidden = false, defaultDone = false, readOnly = false;
      bool tabOrder = false;
      QString caption, recipient, subject, file;
    } seen;
    QTimer poll;  // the window shows after the progress window has been painted
    poll.setInterval(10);
    auto answer = [&](Qt::Key key) {
      QObject::disconnect(&poll, nullptr, nullptr, nullptr);
      QObject::connect(&poll, &QTimer::timeout, [&, key] {
        auto* w = qobject_cast<TfrmManualSend*>(QApplication::activeModalWidget());
        if (!w || !w->isVisible()) return;
        poll.stop();
        seen.opened = true;
        seen.progressHidden = !frmPrepare->isVisible();
        seen.caption = w->windowTitle();
        seen.recipient = w->Edit1->text();
        seen.subject = w->Edit2->text();
        seen.file = w->Edit3->text();
        seen.defaultDone = w->Button1->isDefault() && w->Button1->text() == "Hotovo" &&
                           w->Button2->text() == "Storno";
        seen.readOnly = w->Edit1->isReadOnly() && w->Edit2->isReadOnly() && w->Edit3->isReadOnly();
        const QList<QWidget*> order = {w->Edit1,   w->Edit2,   w->Edit3,  w->Button3,
                                       w->Button4, w->Button1, w->Button2};
        seen.tabOrder = w->focusWidget() == w->Button1;
        auto nextByTab = [](QWidget* from) {
          QWidget* next = from->nextInFocusChain();
          while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
          return next;
        };
        for (int i = 0; i + 1 < order.size(); ++i)
          seen.tabOrder &= nextByTab(order[i]) == order[i + 1];
        QTest::keyClick(w, key);
      });
      poll.start();
    };
    const std::string prefix =
        "mailto:brno@example.cz?subject=P%C5%99enosov%C3%BD%20soubor%20Velkor%20ze%20dne%20";
    auto checkWindow = [&] {
      QVERIFY(seen.opened);
      QVERIFY(seen.progressHidden);
      QCOMPARE(seen.caption, QString("Odeslání e-mailem"));
      QCOMPARE(seen.recipient, QString("brno@example.cz"));
      QVERIFY2(IsTodaysSubject(kdx::text::Utf8ToCp1250(seen.subject.toStdString())),
               qPrintable(seen.subject));
      QCOMPARE(seen.file.toStdString(), files + "BRNO.KDX");
      QVERIFY(seen.defaultDone);
      QVERIFY(seen.readOnly);
      QVERIFY(seen.tabOrder);  // the fields, then the buttons; "Hotovo" has the focus
      QVERIFY(!uris.empty() && !shown.empty());
      // The URI carries exactly the subject shown, percent-encoded.
      QCOMPARE(uris.back().substr(0, prefix.size()), prefix);
      QCOMPARE(QUrl::fromPercentEncoding(QByteArray::fromStdString(uris.back().substr(31))),
               seen.subject);
      QCOMPARE(shown.back(), files + "BRNO.KDX");
    };
    {
      // Nothing registered: Esc is "Storno", the run goes on.
      const std::string reg = run.MakeFolder("registry") + "registry.reg";
      run.WriteFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n");
      kdx::test::ScopedEnv registry("KDX_REGISTRY", reg);
      answer(Qt::Key_Escape);
      frmMain->Button3->click();
      checkWindow();
      QCOMPARE(uris.size(), size_t(1));
      QCOMPARE(shown.size(), size_t(1));
      QVERIFY(run.Requests().empty());
      QCOMPARE(run.QuitCount(), 0);
    }
    // A client that cannot take it: Enter is "Hotovo", then the closing text and the end.
    RecordingClient client(run);
    client->result = MAPI_E_NOT_SUPPORTED;
    seen = {};
    answer(Qt::Key_Return);
    frmMain->Button3->click();
    QCOMPARE(client->sendCalls, 1);
    checkWindow();
    QCOMPARE(uris.size(), size_t(2));
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].text, QString("Hotovo, odesláno."));
    QCOMPARE(run.Requests()[0].caption, QString("Informace"));
    QCOMPARE(run.QuitCount(), 1);
  }

  void anAddressOfBlanksPassesTheCheckAndFailsInTheHandOff() {
    ProgramRun run;
    RecordingClient client(run);
    const std::string files = run.MakeFolder("odeslani");
    run.WriteFile(files + "SKLAD.KDX", "data");
    run.WriteExports({{"Sklad", files + "SKLAD.KDX", "   ", "", "Konec", false}});
    run.Start({});
    frmMain->Button3->click();
    QCOMPARE(client->sendCalls, 0);
    QCOMPARE(run.Requests().size(), size_t(1));
    QCOMPARE(run.Requests()[0].caption, QString("KDX manager"));
    QVERIFY(!frmPrepare->isVisible());
    QCOMPARE(run.QuitCount(), 0);
  }
};

KDX_APP_TEST_MAIN(SendTest)
#include "send_test.moc"
