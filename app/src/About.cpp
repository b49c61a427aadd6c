#include "About.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "Application.h"
#include "Forms.h"
#include "MainForm.h"
#include "kdx/widgets/UrlLabel.h"

namespace kdx::app {

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("O aplikaci"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(ProgramFont());
  resize(320, 139);  // the client area of the 328 x 166 outer size

  QFont bold = ProgramFont();
  bold.setBold(true);
  Label1 = new QLabel(QString::fromUtf8("KDX manager pro přenos dat Velkor"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(bold);
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1->setGeometry(8, 8, 297, 14);
  Label2 = new QLabel(QStringLiteral("ver. 1.02"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setFont(bold);
  Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label2->setGeometry(8, 24, 297, 17);
  Label3 = new QLabel(QString::fromUtf8(kMakerLine), this);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setFont(ProgramFont());
  Label3->setGeometry(8, 64, 201, 14);

  UrlLabel1 = new widgets::TUrlLabel(this);
  UrlLabel1->setObjectName(QStringLiteral("UrlLabel1"));
  // The stored layout's font replaces the label's own face and colour.
  QFont urlFont = ProgramFont();
  UrlLabel1->setFont(urlFont);
  UrlLabel1->SetFontColor(QColor(0, 0, 128));
  UrlLabel1->setText(QString::fromLatin1(kMakerAddress));
  UrlLabel1->setToolTip(QString::fromLatin1(kMakerAddress));
  UrlLabel1->SetURL(kMakerAddress);
  UrlLabel1->SetURLType(utCustom);
  UrlLabel1->SetDetectMouse(true);
  UrlLabel1->setGeometry(214, 64, 89, 14);
  UrlLabel1->installEventFilter(this);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel1->setGeometry(6, 88, 305, 2);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(118, 104, 75, 25);
  Button1->setDefault(true);
  ConnectHandler(Button1, &QPushButton::clicked, this, &TfrmAbout::Button1Click);
}

void TfrmAbout::Button1Click() {
  accept();
}

int TfrmAbout::exec() {
  if (frmMain) {
    const QRect main = frmMain->frameGeometry();
    move(main.center() - QPoint(width() / 2, height() / 2));
  }
  Button1->setFocus();
  return QDialog::exec();
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == UrlLabel1 && event->type() == QEvent::ToolTip) return true;
  return QDialog::eventFilter(watched, event);
}

void TfrmAbout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {  // no cancel button: Esc does nothing
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace kdx::app
