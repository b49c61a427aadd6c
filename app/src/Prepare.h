#pragma once
// TfrmPrepare: the progress window the send action shows, without blocking, while the mail
// client is called. Caption "Pracuji...", client 290 x 53, centred over the main window, a title
// bar without any buttons. No behaviour of its own.

#include <QWidget>

class QFrame;
class QLabel;

namespace kdx::app {

class TfrmPrepare : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmPrepare(QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label1;

  // Shows the window centred over the main window, without waiting.
  void ShowCentred();
};

}  // namespace kdx::app
