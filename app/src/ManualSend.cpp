#include "ManualSend.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#ifndef _WIN32
#include <QDBusConnection>
#include <QDBusMessage>
#endif

#include "Application.h"
#include "kdx/platform/PathSearch.h"
#include "kdx/platform/Shell.h"
#include "kdx/platform/Text.h"
#include "kdx/platform/Url.h"
#include "kdx/widgets/FormKit.h"

namespace kdx::app {

using widgets::FromCp;
using widgets::MakeButton;
using widgets::MakeLabel;

namespace {

TManualSendActions& Actions() {
  static TManualSendActions actions{[](const std::string& uri) { platform::ShellOpen(uri); },
                                    [](const std::string& path) { ShowFileInFileManager(path); }};
  return actions;
}

QLineEdit* MakeField(QWidget* parent, const char* name, const QString& label, const QString& text,
                     const QRect& rect) {
  auto* edit = new QLineEdit(text, parent);
  edit->setReadOnly(true);  // selectable and copyable, not editable
  edit->setAccessibleName(label);
  edit->setCursorPosition(0);
  widgets::Place(edit, name, rect);
  return edit;
}

}  // namespace

void ShowFileInFileManager(const std::string& path) {
#ifndef _WIN32
  // The desktop's file manager interface (Nautilus, Dolphin, Nemo, Caja, Thunar ...), started by
  // the bus when it is not running.
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"),
      QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(QString::fromUtf8(path)).toString(QUrl::FullyEncoded)}
       << QString();
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
  if (reply.type() == QDBusMessage::ReplyMessage) return;
#endif
  platform::ShowFileInFolder(path);
}

TfrmManualSend::ScopedActionsForTesting::ScopedActionsForTesting(TManualSendActions actions)
    : ScopedReplacement(Actions(), std::move(actions)) {}

TfrmManualSend::TfrmManualSend(QWidget* parent, const std::string& recipient,
                               const std::string& subject, const std::string& path)
    : QDialog(parent),
      uri_(MailtoUri(text::TrimControls(recipient), subject)),
      file_(platform::ExpandFullPath(text::Cp1250ToUtf8(path))) {
  setObjectName(QStringLiteral("frmManualSend"));
  setWindowTitle(QString::fromUtf8("Odeslání e-mailem"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(ProgramFont());
  setFixedSize(420, 203);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(
      style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(32, 32));
  Image1->setGeometry(12, 12, 32, 32);
  Label1 = MakeLabel(this, "Label1",
                     QString::fromUtf8("Poštovní program nepřevezme přílohu sám. Přetáhněte "
                                       "přenosový soubor z otevřené složky do nového e-mailu a "
                                       "e-mail odešlete."),
                     QRect(56, 12, 352, 44), {.wrap = true});

  const QString recipientLabel = QString::fromUtf8("Adresát:");
  const QString subjectLabel = QString::fromUtf8("Předmět:");
  const QString fileLabel = QString::fromUtf8("Soubor:");
  Label2 = MakeLabel(this, "Label2", recipientLabel, QRect(12, 71, 64, 14));
  Edit1 = MakeField(this, "Edit1", recipientLabel, FromCp(text::TrimControls(recipient)),
                    QRect(80, 67, 328, 21));
  Label3 = MakeLabel(this, "Label3", subjectLabel, QRect(12, 99, 64, 14));
  Edit2 = MakeField(this, "Edit2", subjectLabel, FromCp(subject), QRect(80, 95, 328, 21));
  Label4 = MakeLabel(this, "Label4", fileLabel, QRect(12, 127, 64, 14));
  Edit3 = MakeField(this, "Edit3", fileLabel, QString::fromUtf8(file_), QRect(80, 123, 328, 21));

  auto* bevel = new QFrame(this);
  bevel->setObjectName(QStringLiteral("Bevel1"));
  bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  bevel->setGeometry(8, 156, 404, 2);

  Button3 =
      MakeButton(this, "Button3", QString::fromUtf8("Otevřít e-mail"), QRect(12, 168, 100, 25));
  Button4 =
      MakeButton(this, "Button4", QString::fromUtf8("Ukázat soubor"), QRect(118, 168, 100, 25));
  Button1 = MakeButton(this, "Button1", QString::fromUtf8("Hotovo"), QRect(252, 168, 75, 25));
  Button2 = MakeButton(this, "Button2", QString::fromUtf8("Storno"), QRect(333, 168, 75, 25));
  Button1->setDefault(true);
  ConnectHandler(Button1, &QPushButton::clicked, this, &TfrmManualSend::Button1Click);
  ConnectHandler(Button2, &QPushButton::clicked, this, &TfrmManualSend::Button2Click);
  ConnectHandler(Button3, &QPushButton::clicked, this, &TfrmManualSend::Button3Click);
  ConnectHandler(Button4, &QPushButton::clicked, this, &TfrmManualSend::Button4Click);

  // The order the eye reads: the texts to copy, then the buttons left to right.
  setTabOrder(Edit1, Edit2);
  setTabOrder(Edit2, Edit3);
  setTabOrder(Edit3, Button3);
  setTabOrder(Button3, Button4);
  setTabOrder(Button4, Button1);
  setTabOrder(Button1, Button2);
}

bool TfrmManualSend::Run() {
  if (parentWidget()) {
    const QRect owner = parentWidget()->window()->frameGeometry();
    move(owner.center() - QPoint(width() / 2, height() / 2));
  }
  Button3Click();
  Button4Click();
  Button1->setFocus();
  return exec() == QDialog::Accepted;
}

void TfrmManualSend::Button1Click() {
  accept();
}

void TfrmManualSend::Button2Click() {
  reject();
}

void TfrmManualSend::Button3Click() {
  if (Actions().OpenMail) Actions().OpenMail(uri_);
}

void TfrmManualSend::Button4Click() {
  if (Actions().ShowFile) Actions().ShowFile(file_);
}

}  // namespace kdx::app
