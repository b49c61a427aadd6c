#pragma once
// TfrmAbout: the about window, shown modally from the main window's "O aplikaci". Caption
// "O aplikaci", outer size 328 x 166, centred over the main window, close box only; "OK" has the
// focus and closes it, Esc does nothing (there is no cancel button).

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace kdx::widgets {
class TUrlLabel;
}

namespace kdx::app {

// The maker's line and web address shown by the about window.
inline constexpr const char* kMakerLine = "Autoři: tým projektu KDX manager";
inline constexpr const char* kMakerAddress = "www.kdxman.cz";

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAbout(QWidget* parent = nullptr);

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  widgets::TUrlLabel* UrlLabel1;
  QFrame* Bevel1;
  QPushButton* Button1;

  void Button1Click();

  // Shows the window modally, centred over the main window.
  int exec() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // The window does not switch tooltips on: the address's tooltip is stored, not shown.
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace kdx::app
