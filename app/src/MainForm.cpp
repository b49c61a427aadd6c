#include "MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <tuple>
#include <utility>

#include "About.h"
#include "Application.h"
#include "Forms.h"
#include "Nastaveni.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/DBText.h"
#include "kdx/widgets/FormKit.h"
#include "kdx/widgets/MessageBox.h"
#include "mainUnit.h"

namespace kdx::app {

namespace {

using widgets::kGray;
using widgets::kMaroon;
using widgets::kNavy;
using widgets::kRed;
using widgets::MakeButton;
using widgets::MakeLabel;
using widgets::TLook;
using widgets::U;

widgets::TDBText* MakeDBText(QWidget* parent, const char* name, const char* field,
                             const QRect& rect, const TLook& look) {
  auto* text = new widgets::TDBText(parent);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text->SetDataField(QString::fromLatin1(field));
  widgets::Place(text, name, rect, look);
  return text;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& title, const QRect& rect) {
  auto* box = new QGroupBox(title, parent);
  widgets::Place(box, name, rect, {.colour = kGray, .bold = true});  // children set their own fonts
  return box;
}

// The buttons at the foot of a page: "Provést akci" (the page's default button) and "Storno".
std::pair<QPushButton*, QPushButton*> MakePageButtons(TfrmMain* window, QWidget* page,
                                                      const char* runName, void (TfrmMain::*run)(),
                                                      const char* cancelName,
                                                      void (TfrmMain::*cancel)()) {
  QPushButton* runButton =
      MakeButton(page, runName, U("Provést akci"), {296, 264, 92, 25}, {.bold = true});
  runButton->setDefault(true);
  QPushButton* cancelButton = MakeButton(page, cancelName, U("Storno"), {394, 264, 82, 25});
  ConnectHandler(runButton, &QPushButton::clicked, window, run);
  ConnectHandler(cancelButton, &QPushButton::clicked, window, cancel);
  return {runButton, cancelButton};
}

// The pictures of the two pages: a letter with an arrow (into the folder, out to the mail).
QPixmap LetterPicture(QSize size, bool incoming) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const int w = size.width(), h = size.height();
  const QRectF letter(1.5, h * 0.30, w * 0.66, h * 0.62);
  p.setPen(QPen(kNavy, 1.2));
  p.setBrush(QColor(255, 250, 225));
  p.drawRect(letter);
  p.drawLine(letter.topLeft(), QPointF(letter.center().x(), letter.center().y() + 2));
  p.drawLine(letter.topRight(), QPointF(letter.center().x(), letter.center().y() + 2));
  QPainterPath arrow;
  const qreal ax = w * 0.84, top = h * 0.08, bottom = h * 0.70, half = w * 0.13;
  if (incoming) {
    arrow.moveTo(ax, bottom);
    arrow.lineTo(ax - half, bottom - half * 1.4);
    arrow.lineTo(ax + half, bottom - half * 1.4);
  } else {
    arrow.moveTo(ax, top);
    arrow.lineTo(ax - half, top + half * 1.4);
    arrow.lineTo(ax + half, top + half * 1.4);
  }
  arrow.closeSubpath();
  p.setPen(QPen(QColor(0, 128, 0), 2.5));
  p.drawLine(QPointF(ax, top + (incoming ? 0 : half)), QPointF(ax, bottom - (incoming ? half : 0)));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 128, 0));
  p.drawPath(arrow);
  return pixmap;
}

}  // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("KDX Manager"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(ProgramFont());

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  setCentralWidget(Panel1);

  PageControl1 = new QTabWidget(Panel1);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(0, 0, kClientWidth, kClientHeight);
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  PageControl1->addTab(TabSheet1, U("z e-mailu"));
  PageControl1->addTab(TabSheet2, U("do e-mailu"));
  PageControl1->tabBar()->hide();  // the user never switches pages
  // Neither the page control nor its hidden tab bar is a Tab stop.
  PageControl1->setFocusPolicy(Qt::NoFocus);
  PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);

  BuildReceivePage();
  BuildSendPage();
  BuildMenu();
  PageControl1->setCurrentIndex(1);  // the stored design shows the send page

  // A window that is not a dialog forgets its default button once a button loses the focus.
  focusWatch_ = connect(qApp, &QApplication::focusChanged, this,
                        [this](QWidget*, QWidget* now) { ShowDefaultLook(now); });

  move(192, 107);
  // The menu bar takes the height it needs at the window's width (on Windows a pixel more than
  // its size hint); the client area below it keeps the designed height.
  resize(kClientWidth, kClientHeight + menuBar()->heightForWidth(kClientWidth));
}

TfrmMain::~TfrmMain() {
  disconnect(focusWatch_);  // the buttons go before the QObject part that would end it
}

void TfrmMain::BuildReceivePage() {
  QWidget* page = TabSheet1;
  GroupBox1 = MakeGroup(page, "GroupBox1", U("Popis akce"), {6, 4, 470, 70});
  Image1 = new QLabel(GroupBox1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(10, 22, 45, 34);
  Image1->setPixmap(LetterPicture({45, 34}, true));
  Label9 = MakeLabel(GroupBox1, "Label9", {}, {64, 20, 393, 41},
                     {.colour = kNavy, .bold = true, .wrap = true});

  GroupBox2 = MakeGroup(page, "GroupBox2", U("Technické podrobnosti"), {6, 80, 470, 124});
  const TLook caption{.colour = kGray}, value{.colour = widgets::kBlack};
  Label1 =
      MakeLabel(GroupBox2, "Label1", U("Název souboru bez cesty:"), {10, 20, 150, 14}, caption);
  Label2 = MakeLabel(GroupBox2, "Label2", {}, {164, 20, 296, 14}, value);
  Label3 = MakeLabel(GroupBox2, "Label3", U("Název souboru s plnou cestou:"), {10, 40, 300, 14},
                     caption);
  Label4 = MakeLabel(GroupBox2, "Label4", {}, {10, 56, 450, 14}, value);
  Label5 = MakeLabel(GroupBox2, "Label5", U("Zkopírovat do složky:"), {10, 80, 108, 14}, caption);
  Label7 = MakeLabel(GroupBox2, "Label7",
                     U("Chyba : pro tento název souboru není nadefinovaná žádná složka !"),
                     {120, 80, 337, 14}, {.colour = kRed});
  Label7->hide();
  Label6 = MakeLabel(GroupBox2, "Label6", {}, {10, 96, 450, 14}, value);

  std::tie(Button1, Button2) = MakePageButtons(this, page, "Button1", &TfrmMain::Button1Click,
                                               "Button2", &TfrmMain::Button2Click);
}

void TfrmMain::BuildSendPage() {
  QWidget* page = TabSheet2;
  GroupBox3 = MakeGroup(page, "GroupBox3", U("Typ akce a popis "), {6, 4, 470, 170});
  Shape1 = new QFrame(GroupBox3);
  Shape1->setObjectName(QStringLiteral("Shape1"));
  Shape1->setGeometry(10, 22, 42, 42);
  Shape1->setStyleSheet(QStringLiteral("#Shape1 { border: 1px solid white; }"));
  Image2 = new QLabel(GroupBox3);
  Image2->setObjectName(QStringLiteral("Image2"));
  Image2->setGeometry(15, 27, 32, 32);
  Image2->setPixmap(LetterPicture({32, 32}, false));

  DBGrid1 = new widgets::TDBGrid(GroupBox3);
  widgets::Place(DBGrid1, "DBGrid1", {62, 20, 396, 90});
  DBGrid1->SetOptions({widgets::dgColLines, widgets::dgRowLines, widgets::dgTabs,
                       widgets::dgRowSelect, widgets::dgAlwaysShowSelection,
                       widgets::dgConfirmDelete, widgets::dgCancelOnExit});
  DBGrid1->SetColumns({QString::fromLatin1(fields::kNazev)});
  widgets::SetTextColour(DBGrid1, kMaroon);

  DBText1 = MakeDBText(GroupBox3, "DBText1", fields::kInfoText, {62, 116, 396, 46},
                       {.colour = kMaroon, .bold = true});
  DBText1->setWordWrap(true);

  GroupBox4 = MakeGroup(page, "GroupBox4", U("Technické podrobnosti"), {6, 180, 470, 76});
  const TLook caption{.colour = kGray}, value{.colour = widgets::kBlack};
  Label8 = MakeLabel(GroupBox4, "Label8", U("Název souboru s plnou cestou:"), {10, 20, 300, 14},
                     caption);
  DBText2 = MakeDBText(GroupBox4, "DBText2", fields::kKDXFilePath, {10, 36, 450, 14}, value);
  Label11 = MakeLabel(GroupBox4, "Label11", U("Zaslat na e-mail:"), {10, 54, 90, 14}, caption);
  DBText3 = MakeDBText(GroupBox4, "DBText3", fields::kEmail, {104, 54, 356, 14}, value);

  std::tie(Button3, Button4) = MakePageButtons(this, page, "Button3", &TfrmMain::Button3Click,
                                               "Button4", &TfrmMain::Button4Click);
}

void TfrmMain::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  bar->setFont(ProgramFont());
  Program1 = bar->addMenu(U("Program"));
  Program1->setObjectName(QStringLiteral("Program1"));
  Program1->setFont(ProgramFont());
  Nastaven1 = Program1->addAction(U("Nastavení"));
  Nastaven1->setObjectName(QStringLiteral("Nastaven1"));
  N1 = Program1->addSeparator();
  N1->setObjectName(QStringLiteral("N1"));
  Konec1 = Program1->addAction(U("Konec"));
  Konec1->setObjectName(QStringLiteral("Konec1"));
  Oaplikaci1 = bar->addAction(U("O aplikaci"));
  Oaplikaci1->setObjectName(QStringLiteral("Oaplikaci1"));
  ConnectHandler(Nastaven1, &QAction::triggered, this, &TfrmMain::Nastaven1Click);
  ConnectHandler(Konec1, &QAction::triggered, this, &TfrmMain::Konec1Click);
  ConnectHandler(Oaplikaci1, &QAction::triggered, this, &TfrmMain::Oaplikaci1Click);
}

void TfrmMain::BindSendPage() {
  TDataSource* source = frmNastaveni ? frmNastaveni->DataSource2.get() : nullptr;
  DBGrid1->SetDataSource(source);
  DBText1->SetDataSource(source);
  DBText2->SetDataSource(source);
  DBText3->SetDataSource(source);
}

void TfrmMain::Button1Click() {
  ReceiveFile();
}
void TfrmMain::Button2Click() {
  QuitApplication();
}
void TfrmMain::Button3Click() {
  SendFile();
}
void TfrmMain::Button4Click() {
  QuitApplication();
}
void TfrmMain::Konec1Click() {
  QuitApplication();
}

// The windows of the menu run inside the menu bar's handling of the key or click that chose
// them; once they close the focus goes back to the page, not to the menu bar.
void TfrmMain::Nastaven1Click() {
  const auto focusBack = qScopeGuard([this] { FocusPage(); });
  const auto answer = widgets::ShowMessage(
      this,
      U("Varování: tato funkce je určena pouze správcům systému nebo zkušeným uživatelům. "
        "Opravdu chcete pokračovat ?"),
      U("Dotaz"), widgets::MsgIcon::Question, widgets::MsgButtons::YesNo);
  if (answer != widgets::MsgResult::No) OpenSettings();
}

void TfrmMain::Oaplikaci1Click() {
  if (frmAbout) frmAbout->exec();
  FocusPage();
}

void TfrmMain::FocusPage() {
  QWidget* first = Button2;
  if (PageControl1->currentIndex() == 1)
    first = DBGrid1;
  else if (Button1->isEnabled())
    first = Button1;
  first->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::ShowDefaultLook(QWidget* focus) {
  auto* focused = qobject_cast<QPushButton*>(focus);
  if (focused && focused->window() != this) focused = nullptr;
  for (QPushButton* button : {Button1, Button3}) button->setDefault(!focused || focused == button);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) FocusPage();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  RunHandler([] { QuitApplication(); });
  event->accept();
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
  const bool receive = PageControl1->currentIndex() == 0;
  QPushButton* target = nullptr;
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
    target = receive ? Button1 : Button3;
  else if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
    target = receive ? Button2 : Button4;
  if (target) {
    if (target->isEnabled()) target->click();
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

}  // namespace kdx::app
