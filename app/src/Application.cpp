#include "Application.h"

#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <memory>

#include "kdx/platform/Environment.h"
#include "kdx/widgets/MessageBox.h"
#include "kdx/widgets/QtText.h"

namespace kdx::app {

using widgets::FromCp;

using widgets::MsgIcon;
using widgets::ShowMessage;

namespace {

std::vector<std::string>& StoredArguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

// Keeps the arguments before QApplication's constructor edits argv; returns `argc` for it.
int& KeepProgramArguments(int& argc, char** argv) {
  StoredArguments() = platform::ProgramArguments(argc, argv);
  return argc;
}

}  // namespace

TKdxApplication::TKdxApplication(int& argc, char** argv)
    : QApplication(KeepProgramArguments(argc, argv), argv) {
  // Only the name: a display name would be appended by the toolkit to every caption.
  setApplicationName(QString::fromLatin1(kApplicationTitle));
  InstallToolkitTranslation(QLocale::system());
}

bool InstallToolkitTranslation(const QLocale& locale) {
  static QTranslator* installed = nullptr;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
    installed = nullptr;
  }
  // Beside the program first (the Windows installer puts Qt's files there), then Qt's own.
  const QStringList folders = {
      QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
      QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
  for (const QString& folder : folders) {
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder) &&
        QCoreApplication::installTranslator(translator.get())) {
      installed = translator.release();
      return true;
    }
  }
  return false;
}

const std::vector<std::string>& TKdxApplication::ProgramArguments() {
  return StoredArguments();
}

bool TKdxApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  } catch (...) {
    ShowGeneralError(std::runtime_error("Unknown exception"));
  }
  return false;
}

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + '.';
  return message;
}

void ShowGeneralError(const std::exception& error) {
  ShowMessage(nullptr, FromCp(ErrorBoxText(error.what())), QString::fromLatin1(kApplicationTitle),
              MsgIcon::Error);
}

void RunHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  } catch (...) {
    ShowGeneralError(std::runtime_error("Unknown exception"));
  }
}

int ReportStartupFailure(const std::exception& error) {
  const std::string message = error.what();
  std::fprintf(stderr, "KDXMngr: %s\n", text::Cp1250ToUtf8(message).c_str());
  std::fflush(stderr);
  ShowMessage(nullptr, FromCp(ErrorBoxText(message)), QStringLiteral("Application Error"),
              MsgIcon::Error);
  return 1;
}

QFont ProgramFont() {
  static const QString family = [] {
    // The face the windows were laid out with ("MS Sans Serif" 8 point; on Windows its
    // TrueType successor), elsewhere metric twins of the classic Windows faces. All of them
    // carry the Czech letters.
    for (const char* name : {
#ifdef _WIN32
             "Microsoft Sans Serif",
#endif
             "Liberation Sans", "Arimo", "DejaVu Sans", "Noto Sans"}) {
      if (QFontDatabase::hasFamily(QString::fromLatin1(name))) return QString::fromLatin1(name);
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
  }();
  QFont font(family);
  font.setPixelSize(11);
  // Glyph advances as the face designs them, on every system: Windows' full hinting rounds each
  // one to whole pixels, which widens a line enough to wrap a label onto a line it lacks.
  font.setHintingPreference(QFont::PreferVerticalHinting);
  // Explicit style, so that a control inside a bold group box does not inherit its weight.
  font.setBold(false);
  font.setItalic(false);
  font.setUnderline(false);
  return font;
}

}  // namespace kdx::app
