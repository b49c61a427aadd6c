#pragma once
// The one place where the toolkit's UTF-16 text meets the program's cp1250 bytes (the tables'
// fields, the definitions, the messages), for the widgets and the application alike.

#include <QString>
#include <string>

#include "kdx/platform/Text.h"

namespace kdx::widgets {

// A text written in the sources (UTF-8 literals: the windows' captions and messages).
inline QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

inline QString FromCp(const std::string& cp1250) {
  return QString::fromStdU16String(kdx::text::Cp1250ToUtf16(cp1250));
}

// `lossless` (when given) becomes false if some character has no cp1250 byte.
inline std::string ToCp(const QString& text, bool* lossless = nullptr) {
  return kdx::text::Utf16ToCp1250(text.toStdU16String(), lossless);
}

// True when every character of `text` has a cp1250 byte.
inline bool IsCp1250(const QString& text) {
  bool lossless = true;
  kdx::text::Utf16ToCp1250(text.toStdU16String(), &lossless);
  return lossless;
}

}  // namespace kdx::widgets
