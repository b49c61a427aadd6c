#pragma once
// The settings window's two pages described once, row by row: what TfrmNastaveni::BuildPages
// makes of them, in creation order (the Tab order follows it), with the window's member each
// control is stored in. Positions are those of the layout inside the page and the group box.

#include <QColor>
#include <QRect>
#include <array>
#include <vector>

class QWidget;

namespace kdx::app {

class TfrmNastaveni;

// Stores a built control in the window's member of that name.
using TStore = void (*)(TfrmNastaveni& window, QWidget* control);

enum class RowKind {
  Text,    // a label
  Edit,    // a bound edit box
  Picker,  // the "..." button beside an edit box
  Check,   // a bound check box
};

// One control of a page's group box.
struct TPageRow {
  RowKind kind;
  TStore store;
  const char* name;
  const char* text = nullptr;   // Text: the label; Picker: its accessible name; Check: its caption
  const char* label = nullptr;  // Edit: the name of the Text row that describes it
  QRect rect;
  const char* field = nullptr;  // Edit, Check
  bool wrap = false;            // Text
};

// The explanation on the left of a page, over the grid, in the page's colour.
struct TIntroRow {
  TStore store;
  const char* name;
  const char* text;
  QRect rect;
  int indent = 0;  // leading blanks: room for the bold heading drawn over the first line
  bool heading = false;
};

struct TPageLayout {
  TStore sheet;
  const char* sheetName;
  const char* caption;
  QColor colour;
  std::vector<TIntroRow> intro;
  TStore grid;
  const char* gridName;
  bool resizableGrid;
  TStore add;  // "Přidat definici"
  const char* addName;
  TStore remove;  // "Smazat definici"
  const char* removeName;
  TStore group;
  const char* groupName;
  std::vector<TPageRow> rows;  // in the group box
};

// The pages, indexed like kDefinitionTables.
const std::array<TPageLayout, 2>& PageLayouts();

}  // namespace kdx::app
