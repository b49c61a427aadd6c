#include "TopWindowsHook.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include "kdx/platform/TopWindows.h"

namespace kdx::app {

namespace {

platform::TopWindowInfo Describe(QWidget* widget) {
  platform::TopWindowInfo info;
  QWindow* window = widget->windowHandle();
  info.handle = window ? static_cast<platform::WindowHandle>(window->winId()) : 0;
  info.processId = static_cast<unsigned long>(QCoreApplication::applicationPid());
  info.visible = widget->isVisible();
  QWindow* owner = window ? window->transientParent() : nullptr;
  info.owner = owner ? static_cast<platform::WindowHandle>(owner->winId()) : 0;
  const Qt::WindowType type = widget->windowType();
  if (type == Qt::Tool || type == Qt::ToolTip || type == Qt::Popup)
    info.exStyle |= platform::kWsExToolWindow;
  return info;
}

}  // namespace

void InstallTopWindowProvider() {
  platform::SetTopWindowProvider([] {
    std::vector<platform::TopWindowInfo> list;
    QWidget* active = QApplication::activeWindow();
    if (active && active->windowHandle()) list.push_back(Describe(active));
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget != active && widget->windowHandle()) list.push_back(Describe(widget));
    }
    return list;
  });
}

}  // namespace kdx::app
