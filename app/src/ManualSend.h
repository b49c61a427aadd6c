#pragma once
// TfrmManualSend: the way to send the transfer file when no program on the system takes an
// attachment from another program (webmail, the new Outlook, a browser as the mailto: handler;
// the mail layer raises mail::ENoMailClient). On opening it starts a new e-mail through the
// system's mailto: handler, recipient and subject filled in, and shows the transfer file selected
// in the file manager; it tells the user to drag the file into the e-mail, shows recipient,
// subject and file as text to copy, and offers both again. "Hotovo" (the default, Enter) confirms
// that the e-mail is sent; "Storno" (Esc) goes back, the run goes on.

#include <QDialog>
#include <functional>
#include <string>

#include "kdx/platform/ScopedReplacement.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kdx::app {

// What the window starts on the system: the mailto: URI opened with the shell's opener, the
// transfer file (UTF-8 full path) shown in the file manager.
struct TManualSendActions {
  std::function<void(const std::string& uri)> OpenMail;
  std::function<void(const std::string& path)> ShowFile;
};

class TfrmManualSend : public QDialog {
  Q_OBJECT
 public:
  // `recipient`, `subject`, `path`: cp1250, as the definition and the send action have them.
  TfrmManualSend(QWidget* parent, const std::string& recipient, const std::string& subject,
                 const std::string& path);

  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLineEdit* Edit1;      // recipient
  QLineEdit* Edit2;      // subject
  QLineEdit* Edit3;      // file
  QPushButton* Button3;  // "Otevřít e-mail"
  QPushButton* Button4;  // "Ukázat soubor"
  QPushButton* Button1;  // "Hotovo"
  QPushButton* Button2;  // "Storno"

  // Opens the e-mail and shows the file once, then runs the window: true for "Hotovo".
  bool Run();

  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();

  // The mailto: URI the window opens and the file it shows.
  const std::string& MailUri() const { return uri_; }
  const std::string& FilePath() const { return file_; }

  // Test hook: while the guard lives, the window calls these instead of starting anything.
  class ScopedActionsForTesting : platform::ScopedReplacement<TManualSendActions> {
   public:
    explicit ScopedActionsForTesting(TManualSendActions actions);
  };

 private:
  std::string uri_;
  std::string file_;
};

// Shows the file `path` (UTF-8) selected in the desktop's file manager: on Linux through
// org.freedesktop.FileManager1.ShowItems on the session bus, on Windows and as the fallback
// through platform::ShowFileInFolder.
void ShowFileInFileManager(const std::string& path);

}  // namespace kdx::app
