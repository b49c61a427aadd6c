#pragma once
// TfrmMain: the main window. Client area 490 x 313 with the page control PageControl1, whose
// tabs are hidden: page 0 (TabSheet1) is the receive page, page 1 (TabSheet2) the send page; the
// program selects the page, the user cannot. Controls sit at fixed positions; the frame may be
// resized. Enter presses the current page's default button, Esc its cancel button.
//
// Keyboard: the page's controls are the Tab stops (the hidden tab bar is none); the focus starts
// on the send page's grid or on the receive page's "Provést akci" ("Storno" while that is
// disabled) and comes back there when a window opened from the menu closes, so that the keys
// reach the page again. "Provést akci" shows the default-button look unless another button of
// the page has the focus.
//
// The send page's grid and bound labels show frmNastaveni's DataSource2 (the export table).

#include <QMainWindow>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QWidget;

namespace kdx::widgets {
class TDBGrid;
class TDBText;
}  // namespace kdx::widgets

namespace kdx::app {

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Binds the send page to frmNastaveni's DataSource2 (once both windows exist).
  void BindSendPage();
  // Gives the focus to the current page's first control (see above).
  void FocusPage();

  // The client area size of the design.
  static constexpr int kClientWidth = 490;
  static constexpr int kClientHeight = 313;

  QWidget* Panel1;
  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;

  // Receive page.
  QGroupBox* GroupBox1;
  QLabel* Image1;
  QLabel* Label9;
  QGroupBox* GroupBox2;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  QPushButton* Button1;
  QPushButton* Button2;

  // Send page.
  QGroupBox* GroupBox3;
  QFrame* Shape1;
  QLabel* Image2;
  widgets::TDBGrid* DBGrid1;
  widgets::TDBText* DBText1;
  QGroupBox* GroupBox4;
  QLabel* Label8;
  widgets::TDBText* DBText2;
  QLabel* Label11;
  widgets::TDBText* DBText3;
  QPushButton* Button3;
  QPushButton* Button4;

  // Menu MainMenu1.
  QMenu* Program1;
  QAction* Nastaven1;
  QAction* N1;
  QAction* Konec1;
  QAction* Oaplikaci1;

  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Nastaven1Click();
  void Konec1Click();
  void Oaplikaci1Click();

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormClose
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildReceivePage();
  void BuildSendPage();
  void BuildMenu();
  void ShowDefaultLook(QWidget* focus);

  QMetaObject::Connection focusWatch_;  // the application's focus changes, for ShowDefaultLook
};

}  // namespace kdx::app
