#include "GeometryReport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>
#include <QTabBar>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace kdx::app {

namespace {

QString Escaped(QString text) {
  text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
  text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
  text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
  text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
  return text;
}

QString TextOf(const QWidget* widget) {
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  if (auto* box = qobject_cast<const QGroupBox*>(widget)) return box->title();
  if (auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
  return {};
}

QString Line(const char* kind, const QString& name, const QString& extra, const QRect& r, bool flag,
             const QString& text) {
  return QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9\n")
      .arg(QLatin1String(kind), name.isEmpty() ? QStringLiteral("-") : name, extra)
      .arg(r.x())
      .arg(r.y())
      .arg(r.width())
      .arg(r.height())
      .arg(flag ? 1 : 0)
      .arg(Escaped(text));
}

QRect GlobalRect(const QWidget* widget, const QRect& local) {
  return QRect(widget->mapToGlobal(local.topLeft()), local.size());
}

void DescribeRows(const QAbstractItemView* view, QString& out) {
  const QAbstractItemModel* model = view->model();
  if (!model) return;
  const QWidget* viewport = view->viewport();
  for (int row = 0; row < model->rowCount(); ++row) {
    const QModelIndex index = model->index(row, 0);
    const QRect rect = view->visualRect(index);
    if (!rect.isValid() || !viewport->rect().intersects(rect)) continue;
    out += Line("row", view->objectName(), QString::number(row), GlobalRect(viewport, rect),
                view->currentIndex().row() == row, index.data().toString());
  }
}

void DescribeTabs(const QTabBar* bar, QString& out) {
  for (int i = 0; i < bar->count(); ++i) {
    if (!bar->isTabVisible(i)) continue;
    out += Line("control", bar->objectName(), QStringLiteral("tab"),
                GlobalRect(bar, bar->tabRect(i)), bar->currentIndex() == i, bar->tabText(i));
  }
}

QString Describe() {
  QString out;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) continue;
    out +=
        Line("window", window->objectName(), QString::fromLatin1(window->metaObject()->className()),
             window->frameGeometry(), window->isActiveWindow(), window->windowTitle());
    for (QWidget* child : window->findChildren<QWidget*>()) {
      if (!child->isVisible() || child->isWindow()) continue;
      if (auto* bar = qobject_cast<QTabBar*>(child)) {
        DescribeTabs(bar, out);
        continue;
      }
      const QString text = TextOf(child);
      if (child->objectName().isEmpty() && text.isEmpty()) continue;
      out += Line("control", child->objectName(),
                  QString::fromLatin1(child->metaObject()->className()),
                  GlobalRect(child, child->rect()), child->isEnabled(), text);
      if (auto* view = qobject_cast<QAbstractItemView*>(child)) DescribeRows(view, out);
      if (auto* combo = qobject_cast<QComboBox*>(child)) {
        for (int i = 0; i < combo->count(); ++i)
          out += Line("item", combo->objectName(), QString::number(i),
                      GlobalRect(combo, combo->rect()), combo->currentIndex() == i,
                      combo->itemText(i));
      }
    }
  }
  return out + QStringLiteral("end\n");
}

}  // namespace

void InstallGeometryReport() {
  const QString path = qEnvironmentVariable("KDX_TEST_GEOMETRY");
  if (path.isEmpty()) return;
  auto* timer = new QTimer(qApp);
  auto last = std::make_shared<QString>();
  QObject::connect(timer, &QTimer::timeout, [path, last] {
    const QString now = Describe();
    if (now == *last) return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(now.toUtf8());
    if (file.commit()) *last = now;
  });
  timer->start(100);
}

}  // namespace kdx::app
