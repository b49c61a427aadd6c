// The folder picker's window. Positions and sizes are those of the layout at 96 pixels per
// inch; the window keeps them (it cannot be resized).

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "kdx/platform/TopWindows.h"
#include "kdx/widgets/DirDlg.h"
#include "kdx/widgets/FileCtrls.h"
#include "kdx/widgets/FormKit.h"

#if defined(KDX_WITH_XCB) && QT_CONFIG(xcb)
#define KDX_X11_CAPTION 1
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace kdx::widgets {

namespace {

QFont DialogFont() {
  // "MS Sans Serif" 8 point; where it is missing a sans-serif face of similar metrics.
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

// A button of the column on the right. None of them is a default button: Enter does not
// confirm the dialog (a focused button takes it, see keyPressEvent).
QPushButton* MakeSideButton(QWidget* parent, const char* name, const QString& caption, int top) {
  QPushButton* button = MakeButton(parent, name, caption, QRect(320, top, 81, 26));
  button->setAutoDefault(false);
  return button;
}

// Clears the caption as the X window system shows it: for an empty title the toolkit names the
// window after the application, and a window manager would show that.
void ClearX11Caption([[maybe_unused]] QWidget* window) {
#if defined(KDX_X11_CAPTION)
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* connection = x11->connection();
  const auto handle = static_cast<xcb_window_t>(window->winId());
  auto intern = [connection](const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
  };
  const xcb_atom_t netName = intern("_NET_WM_NAME");
  const xcb_atom_t utf8 = intern("UTF8_STRING");
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, handle, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                      8, 0, nullptr);
  if (netName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, handle, netName, utf8, 8, 0, nullptr);
  xcb_flush(connection);
#endif
}

}  // namespace

TFormDirDialog::TFormDirDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("FormDirDialog"));
  setFont(DialogFont());

  Label1 = new QLabel(U("Adesář"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(10, 10);
  Label1->adjustSize();

  LDirLabel = new QLabel(QStringLiteral("LDirLabel"), this);
  LDirLabel->setObjectName(QStringLiteral("LDirLabel"));
  LDirLabel->move(10, 30);
  LDirLabel->adjustSize();

  Label2 = new QLabel(U("Jednotky"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(10, 180);
  Label2->adjustSize();

  DirectoryListBox = new TDirectoryListBox(this);
  DirectoryListBox->setObjectName(QStringLiteral("DirectoryListBox"));
  DirectoryListBox->setGeometry(10, 50, 146, 121);
  Label1->setBuddy(DirectoryListBox);

  DriveComboBox = new TDriveComboBox(this);
  DriveComboBox->setObjectName(QStringLiteral("DriveComboBox"));
  DriveComboBox->setGeometry(10, 195, 145, 19);

  FileListBox = new TFileListBox(this);
  FileListBox->setObjectName(QStringLiteral("FileListBox"));
  FileListBox->setGeometry(165, 50, 145, 164);

  BBOk = MakeSideButton(this, "BBOk", U("OK"), 10);
  BBCancel = MakeSideButton(this, "BBCancel", U("Zpět"), 40);
  BBHelp = MakeSideButton(this, "BBHelp", U("Nápověda"), 75);
  connect(BBOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(BBCancel, &QPushButton::clicked, this, &QDialog::reject);  // Esc rejects too
  connect(BBHelp, &QPushButton::clicked, this, &TFormDirDialog::BBHelpClick);

  setTabOrder(DirectoryListBox, DriveComboBox);
  setTabOrder(DriveComboBox, FileListBox);
  setTabOrder(FileListBox, BBOk);
  setTabOrder(BBOk, BBCancel);
  setTabOrder(BBCancel, BBHelp);

  // The drive list first: its volumes decide the drive of a directory (Linux). Then the
  // directory list takes the process's current directory and the drive list selects its drive.
  DriveComboBox->Build();
  DirectoryListBox->SetDirLabel(LDirLabel);
  DirectoryListBox->SetFileList(FileListBox);
  DirectoryListBox->Open(DriveComboBox->Logic().Roots());
  DriveComboBox->LinkDirectoryList(DirectoryListBox);

  setFixedSize(kWideOuterWidth - 2 * kFrameWidth, kClientHeight);
  DirectoryListBox->setFocus();
}

void TFormDirDialog::ApplyLayout(bool fileListVisible) {
  const int left = fileListVisible ? 320 : 165;
  for (QPushButton* button : {BBOk, BBCancel, BBHelp}) button->move(left, button->y());
  const int outer = fileListVisible ? kWideOuterWidth : kNarrowOuterWidth;
  setFixedSize(outer - 2 * kFrameWidth, kClientHeight);
  CentreOnScreen();
}

void TFormDirDialog::CentreOnScreen() {
  // On the primary screen, whatever window is active: the picker has no owner to centre over,
  // and left to itself the toolkit would centre it over the active window. The native window
  // is made first so that, where the system knows it by then (Windows), the frame counts too.
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  winId();
  const QRect area = screen->geometry();
  const QSize outer = frameGeometry().size();
  move(area.x() + (area.width() - outer.width()) / 2,
       area.y() + (area.height() - outer.height()) / 2);
}

void TFormDirDialog::BBHelpClick() {
  emit HelpRequested(helpContext_);
}

void TFormDirDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // As on Windows, a focused button takes Enter; elsewhere Enter presses nothing (the lists
    // take it themselves to open an item).
    if (auto* button = qobject_cast<QPushButton*>(focusWidget());
        button && button->isVisible() && button->isEnabled())
      button->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TFormDirDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (windowTitle().isEmpty()) {
    platform::SetNativeCaption(static_cast<platform::WindowHandle>(winId()), std::string());
    ClearX11Caption(this);
  }
}

}  // namespace kdx::widgets
