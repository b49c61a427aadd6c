#include "Prepare.h"

#include <QFrame>
#include <QLabel>

#include "Application.h"
#include "Forms.h"
#include "MainForm.h"

namespace kdx::app {

TfrmPrepare::TfrmPrepare(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmPrepare"));
  setWindowTitle(QStringLiteral("Pracuji..."));
  // A title bar without system menu, close, minimise or maximise buttons.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFont(ProgramFont());
  setFixedSize(290, 53);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Bevel1->setGeometry(0, 0, 290, 53);

  Label1 =
      new QLabel(QString::fromUtf8("Spouštění e-mailového klienta, počkejte prosím ..."), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(ProgramFont());
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1->setGeometry(8, 20, 274, 14);
}

void TfrmPrepare::ShowCentred() {
  if (frmMain) {
    const QRect main = frmMain->frameGeometry();
    move(main.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  raise();
}

}  // namespace kdx::app
