#pragma once
// The application object and its general error box.
//
// TKdxApplication's notify() catches an exception that escapes an event handler and shows it in
// the general error box; the program then keeps running. The windows' own handlers run inside
// RunHandler, which does the same at the handler's edge (an exception must not travel through
// the toolkit's frames).

#include <QApplication>
#include <QStringList>
#include <exception>
#include <functional>
#include <string>

class QFont;
class QLocale;

namespace kdx::app {

// The application title: caption of the general error box.
inline constexpr const char* kApplicationTitle = "KDX manager";

class TKdxApplication : public QApplication {
  Q_OBJECT
 public:
  TKdxApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The program's arguments (without its name) as the system handed them over. The toolkit
  // takes its own options ("-reverse", "-style x", ...) out of argv and arguments(); this list
  // is taken before it does, so that a file path that looks like such an option stays a path.
  // Native: on POSIX the bytes of argv, whatever their encoding; on Windows UTF-8.
  static const std::vector<std::string>& ProgramArguments();
};

// Loads the toolkit's own texts (buttons of the message boxes, the file dialog, ...) in the
// language of `locale`: Qt's "qtbase" translation from the folder "translations" beside the
// program, else from Qt's translations folder. Replaces what an earlier call installed; returns
// false when neither folder has a translation for the locale (the toolkit's English stays).
// The program's own texts are not translated.
bool InstallToolkitTranslation(const QLocale& locale);

// The text the general error box shows for a message (cp1250): the message with a full stop
// appended when its last byte sorts after '.' byte by byte (so "Failed" gets one, "Failed." and
// "Failed!" do not; an empty message stays empty).
std::string ErrorBoxText(const std::string& message);

// Shows the general error box (caption "KDX manager", error icon, OK) for `error`.
void ShowGeneralError(const std::exception& error);

// Runs `handler`; an exception it raises is shown by the general error box and goes no further.
void RunHandler(const std::function<void()>& handler);

// Connects `signal` of `sender` to `handler` of `window`, run inside RunHandler.
template <class Sender, class Signal, class Window>
void ConnectHandler(Sender* sender, Signal signal, Window* window, void (Window::*handler)()) {
  QObject::connect(sender, signal, window,
                   [window, handler] { RunHandler([window, handler] { (window->*handler)(); }); });
}

// The last-resort report of a failure before the message loop: the message on stderr and in a
// box captioned "Application Error"; returns the exit code 1.
int ReportStartupFailure(const std::exception& error);

// The font of the program's windows: a sans-serif face with the Czech letters, 11 pixels high
// (the size of the classic 8-point dialog font), chosen among the installed fonts.
QFont ProgramFont();

}  // namespace kdx::app
