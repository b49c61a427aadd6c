// SendFile: the action of the send page ("Provést akci"): checks the current export definition,
// shows the progress window and hands an e-mail with the definition's file to the mail client;
// where no program can take the attachment, guides the user through sending it by hand.

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QLocale>
#include <QWindow>
#include <memory>

#include "Forms.h"
#include "MainForm.h"
#include "ManualSend.h"
#include "Nastaveni.h"
#include "Prepare.h"
#include "kdx/mail/MapiEmail.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Files.h"
#include "kdx/widgets/MessageBox.h"
#include "kdx/widgets/QtText.h"
#include "mainUnit.h"

namespace kdx::app {

using widgets::FromCp;
using widgets::ToCp;

namespace {

using widgets::MsgIcon;
using widgets::ShowMessage;

// Closes the progress window when it leaves scope, also when the hand-off raises.
struct ProgressWindowCloser {
  ~ProgressWindowCloser() {
    if (frmPrepare) frmPrepare->close();
  }
};

}  // namespace

std::string SendSubject(const QLocale& locale, const QDate& date) {
  QString format = locale.dateFormat(QLocale::ShortFormat);
  if (!format.contains(QLatin1String("yyyy")))
    format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  return ToCp(QString::fromUtf8("Přenosový soubor Velkor ze dne ") + locale.toString(date, format));
}

void SendFile() {
  TMemTable& table = *frmNastaveni->ExportTable;
  const std::string path = table.FieldByName(fields::kKDXFilePath)->AsString();
  const std::string email = table.FieldByName(fields::kEmail)->AsString();
  const bool showDialog = table.FieldByName(fields::kEmailShow)->AsBoolean();

  if (email.empty()) {
    ShowMessage(frmMain,
                QString::fromUtf8("V definici není zadaná e-mailová adresa - nelze pokračovat."),
                QString::fromUtf8("Chyba"), MsgIcon::Error);
    return;
  }
  if (!platform::FileExists(text::Cp1250ToUtf8(path))) {
    ShowMessage(frmMain,
                QString::fromUtf8("Přenosový soubor ") + FromCp(path) +
                    QString::fromUtf8(" nebyl nalezen."),
                QString::fromUtf8("Chyba"), MsgIcon::Error);
    return;
  }

  const std::string subject = SendSubject(QLocale::system(), QDate::currentDate());
  bool manual = false;
  try {
    ProgressWindowCloser closer;  // declared first: closes after the e-mail object is released
    frmPrepare->ShowCentred();
    // Paint the progress window before the mail client takes the thread.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QWindow* window = frmPrepare->windowHandle();
    QElapsedTimer waited;
    waited.start();
    while (window && !window->isExposed() && waited.elapsed() < 500) {
      QCoreApplication::processEvents(
          QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    frmPrepare->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    auto message = std::make_unique<mail::TMapiEmail>();
    message->Clear();
    message->Recipients.AddRecipient(email, "", mail::RecipientKind::To, "");
    message->Subject = subject;
    message->Attachments.push_back(path);
    message->Send(showDialog);
  } catch (const mail::ENoMailClient&) {
    // Nothing was handed over: the user sends the file by hand, guided. Every other failure
    // reaches the general error box.
    manual = true;
  }
  if (manual) {
    TfrmManualSend manualSend(frmMain, email, subject, path);
    if (!manualSend.Run()) return;
  }

  const std::string endText = table.FieldByName(fields::kEndText)->AsString();
  if (!endText.empty())
    ShowMessage(frmMain, FromCp(endText), QString::fromUtf8("Informace"), MsgIcon::Information);
  QuitApplication();
}

}  // namespace kdx::app
