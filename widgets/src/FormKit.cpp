#include "kdx/widgets/FormKit.h"

#include <QLabel>
#include <QPushButton>

namespace kdx::widgets {

QFont FormFont(const QWidget* widget, bool bold) {
  QFont font = widget->window()->font();
  font.setBold(bold);  // explicit either way: a bold parent does not pass its weight on
  return font;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::Text, colour);
  widget->setPalette(palette);
}

void Place(QWidget* widget, const char* name, const QRect& rect, const TLook& look) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setFont(FormFont(widget, look.bold));
  widget->setGeometry(rect);
  if (look.colour.isValid()) SetTextColour(widget, look.colour);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                  const TLook& look) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(look.wrap);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(label, name, rect, look);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                        const TLook& look) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(true);
  Place(button, name, rect, look);
  return button;
}

}  // namespace kdx::widgets
