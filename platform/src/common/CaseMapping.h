#pragma once
// The backends' part of the case rules that the shared code needs.

namespace kdx::text {

// The capital of one character by Unicode's upper-case mapping when that is one character ("ж"
// -> "Ж"); a character without one, or whose capital is more than one ("ß", "ﬁ", "ᾳ"), stays.
// POSIX: ICU; Windows: the system's invariant mapping.
char32_t UnicodeUpperCase(char32_t cp);

}  // namespace kdx::text
