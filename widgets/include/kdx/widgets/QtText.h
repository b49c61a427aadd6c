#pragma once
// Conversions between the widgets' UTF-16 text and the tables' cp1250 bytes, shared by the
// data-aware controls.

#include <QString>
#include <string>

#include "kdx/platform/Text.h"

namespace kdx::widgets::detail {

inline QString FromCp1250(const std::string& bytes) {
  return QString::fromStdU16String(kdx::text::Cp1250ToUtf16(bytes));
}

// `lossless` (when given) becomes false if some character has no cp1250 byte.
inline std::string ToCp1250(const QString& text, bool* lossless = nullptr) {
  return kdx::text::Utf16ToCp1250(text.toStdU16String(), lossless);
}

// True when every character of `text` has a cp1250 byte.
inline bool IsCp1250(const QString& text) {
  bool lossless = true;
  kdx::text::Utf16ToCp1250(text.toStdU16String(), &lossless);
  return lossless;
}

}  // namespace kdx::widgets::detail
