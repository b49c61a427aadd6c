#pragma once
// cp1250 <-> QString at the edge between the program's texts and the toolkit.

#include <QString>
#include <string>

#include "kdx/platform/Text.h"

namespace kdx::app {

inline QString FromCp(const std::string& cp1250) {
  return QString::fromStdU16String(text::Cp1250ToUtf16(cp1250));
}

inline std::string ToCp(const QString& text, bool* lossless = nullptr) {
  return text::Utf16ToCp1250(text.toStdU16String(), lossless);
}

}  // namespace kdx::app
