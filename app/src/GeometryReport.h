#pragma once
// A test hook for end-to-end runs in which no accessibility bus reaches the windows (the Windows
// program under Wine): when the environment variable KDX_TEST_GEOMETRY names a file, the program
// describes its visible windows and controls there, rewriting the file (atomically) whenever the
// description changes; the description is checked every 100 ms. Without the variable nothing is
// installed and the program behaves exactly as without the hook.
//
// One line per item, fields separated by tabs, coordinates in screen pixels:
//   window  <objectName> <class> <x> <y> <w> <h> <active 0|1> <title>
//   control <objectName> <class> <x> <y> <w> <h> <enabled 0|1> <text>
//   row     <objectName of the list> <row> <x> <y> <w> <h> <current 0|1> <text of the first column>
//   item    <objectName of the combo box> <index> <the box's x y w h> <current 0|1> <text>
// A control line follows its window's line. Texts are UTF-8 with tabs, line breaks and
// backslashes written as \t, \n and \\. The file ends with the line "end".

namespace kdx::app {

void InstallGeometryReport();

}  // namespace kdx::app
