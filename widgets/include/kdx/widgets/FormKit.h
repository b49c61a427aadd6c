#pragma once
// The small kit the program's windows are built with (the main window, the settings window, the
// folder picker): controls at fixed positions, named as the tests and the accessibility tree
// find them, in the window's font, and the colours of the layout by name. Texts come through
// U() or FromCp() (QtText.h).

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include "kdx/widgets/QtText.h"

class QLabel;
class QPushButton;
class QWidget;

namespace kdx::widgets {

// The colours of the layout.
inline constexpr QColor kNavy(0, 0, 128);
inline constexpr QColor kMaroon(128, 0, 0);
inline constexpr QColor kGray(128, 128, 128);
inline constexpr QColor kRed(255, 0, 0);
inline constexpr QColor kBlack(0, 0, 0);

// How a label or a button looks beyond its place and text.
struct TLook {
  QColor colour = QColor();  // of the text; invalid: the palette's
  bool bold = false;         // the window's font in bold
  bool wrap = false;         // labels: long text breaks into lines
};

// The font of the window `widget` lies in, bold or not. Controls set it on themselves, so that a
// label inside a group box with a bold title stays regular.
QFont FormFont(const QWidget* widget, bool bold = false);

// The text colour (the window-text and text roles, every colour group).
void SetTextColour(QWidget* widget, const QColor& colour);

// Names `widget`, places it at `rect` and gives it the font and colour of `look`.
void Place(QWidget* widget, const char* name, const QRect& rect, const TLook& look = {});

// A plain-text label aligned to its top left (an "&" is shown as it is).
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                  const TLook& look = {});

// A push button that takes Enter itself while it has the focus (auto-default).
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                        const TLook& look = {});

}  // namespace kdx::widgets
