#include "kdx/platform/Text.h"

#include <gtest/gtest.h>

#include <string>

#include "CoreTestSupport.h"
#include "kdx/platform/Errors.h"

#ifndef _WIN32
#include <unicode/ucnv.h>
#endif

using namespace kdx::text;

namespace {
using kdx::test::Cp;
constexpr unsigned kCzech = 0x0405;
}  // namespace

TEST(Cp1250, EveryByteRoundTripsThroughUtf8AndUtf16) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  bool ok = false;
  EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all), &ok), all);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Utf16ToCp1250(Cp1250ToUtf16(all), &ok), all);
  EXPECT_TRUE(ok);
}

#ifndef _WIN32
TEST(Cp1250, TableAgreesWithIcuConverterOnEveryDefinedByte) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* conv = ucnv_open("windows-1250", &status);
  ASSERT_TRUE(U_SUCCESS(status));
  for (int b = 0; b < 256; ++b) {
    if (b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98) continue;  // undefined
    const char in = static_cast<char>(b);
    UChar out[4] = {};
    status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(conv, out, 4, &in, 1, &status);
    ASSERT_TRUE(U_SUCCESS(status));
    ASSERT_EQ(n, 1);
    EXPECT_EQ(static_cast<char32_t>(out[0]), Cp1250ToUnicode(static_cast<unsigned char>(b)))
        << "byte " << b;
  }
  ucnv_close(conv);
}
#endif

TEST(Cp1250, UnrepresentableCharactersAreReportedAndReplaced) {
  bool ok = true;
  EXPECT_EQ(Utf8ToCp1250("a\xE2\x82\xAC\xE6\x97\xA5z", &ok), "a\x80?z");  // euro kept, 日 not
  EXPECT_FALSE(ok);
  EXPECT_FALSE(IsCp1250Representable("\xF0\x9F\x98\x80"));            // emoji
  EXPECT_TRUE(IsCp1250Representable("P\xC5\x99\xC3\xADli\xC5\xA1"));  // Příliš
  ok = true;
  EXPECT_EQ(Utf8ToCp1250("\xC3", &ok), "?");  // truncated sequence
  EXPECT_FALSE(ok);
  ok = true;
  EXPECT_EQ(Utf8ToCp1250("\xC0\x80", &ok), "??");  // overlong NUL
  EXPECT_FALSE(ok);
}

TEST(Cp1250, FileNamesReadAsUtf8WithStrayBytesTakenAsCp1250) {
  bool ok = false;
  EXPECT_EQ(FileNameToUtf8("/tmp/P\xC5\x99\xC3\xADjem \xE6\x97\xA5.kdx", &ok),
            "/tmp/P\xC5\x99\xC3\xADjem \xE6\x97\xA5.kdx");  // well-formed: as it stands
  EXPECT_TRUE(ok);
  // "přílohy" in Latin-2, whose Czech letters mostly share cp1250's bytes.
  EXPECT_EQ(FileNameToUtf8("/tmp/p\xF8\xEDlohy/a.kdx", &ok), "/tmp/p\xC5\x99\xC3\xADlohy/a.kdx");
  EXPECT_FALSE(ok);
  // A stray byte beside a well-formed sequence, a truncated one, an overlong NUL.
  EXPECT_EQ(FileNameToUtf8("\xC3\xA1\xE1", &ok), "\xC3\xA1\xC3\xA1");
  EXPECT_EQ(FileNameToUtf8("\xC5", &ok), "\xC4\xB9");
  EXPECT_EQ(FileNameToUtf8("\xC0\x80", &ok), "\xC5\x94\xE2\x82\xAC");
  EXPECT_FALSE(ok);
}

TEST(Trim, RemovesCodes32AndBelowOnly) {
  EXPECT_EQ(TrimControls(" \t\r\n\x01x y\x1F "), "x y");
  // cp1250 bytes above 0x7F (no-break space, letters) are not controls, signed char or not.
  EXPECT_EQ(TrimControls("\xA0\x9A\x7F\xA0"), "\xA0\x9A\x7F\xA0");
  EXPECT_EQ(TrimControls("\t \n"), "");
  // The UTF-16 form trims the end only, and a character whose low byte is a blank is no blank.
  EXPECT_EQ(TrimControlsRight(u" \tp\u2020\u0120 \r\n"), u" \tp\u2020\u0120");
  EXPECT_EQ(TrimControlsRight(u"\u00A0 \u0000"), u"\u00A0");
}

TEST(Locale, UpperCasesCzechLettersInCp1250) {
  EXPECT_EQ(AnsiUpperCase(Cp("příliš žluťoučký kůň úpěl ďábelské ódy")),
            Cp("PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ ÚPĚL ĎÁBELSKÉ ÓDY"));
  EXPECT_EQ(AnsiUpperCase("pob1_pb.kdx"), "POB1_PB.KDX");
  EXPECT_EQ(AnsiUpperCase(Cp("ß")), Cp("ß"));  // no single-byte capital: unchanged
  EXPECT_EQ(AsciiUpperCase(Cp("/set č")), Cp("/SET č"));
}

// Names and keywords of the program's own: ASCII letters match either case, on both sides; a
// cp1250 letter only itself.
TEST(Locale, ComparesBlindToAsciiCaseOnly) {
  EXPECT_TRUE(EqualsAsciiNoCase("tRUE", "True"));
  EXPECT_FALSE(EqualsAsciiNoCase("True", "Tru"));
  EXPECT_FALSE(EqualsAsciiNoCase(Cp("čas"), Cp("ČAS")));
  EXPECT_TRUE(StartsWithAsciiNoCase("SMTP:a@b", "smtp:"));
  EXPECT_FALSE(StartsWithAsciiNoCase("SMT", "SMTP:"));
  EXPECT_FALSE(StartsWithAsciiNoCase(Cp("ŠMTP:"), Cp("šmtp:")));
}

TEST(Locale, UpperCasesFileNamesOneCharacterToOne) {
  // cp1250's letters as AnsiUpperCase folds them, the others by Unicode's mapping.
  EXPECT_EQ(UpperFileName("příliš žluťoučký kůň.kdx"), "PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ.KDX");
  EXPECT_EQ(UpperFileName("pob1_pb.kdx"), "POB1_PB.KDX");
  EXPECT_EQ(UpperFileName("жук_€.kdx"), "ЖУК_€.KDX");
#ifndef _WIN32  // beyond the first plane (Deseret): ICU; Windows' tables are the system's
  EXPECT_EQ(UpperFileName("𐐨.kdx"), "𐐀.KDX");
#endif
  // No capital of one character: "ß" and the ligature "ﬁ" stay, so that a name and its
  // upper-cased form have as many characters, and "STRASSE" is no variant of "Straße".
  EXPECT_EQ(UpperFileName("straße.kdx"), "STRAßE.KDX");
  EXPECT_EQ(UpperFileName("ﬁrma.kdx"), "ﬁRMA.KDX");
  EXPECT_EQ(UpperFileName("ᾳ.kdx"), "ᾳ.KDX");  // capital "ΑΙ"; not the title-case "ᾼ"
  EXPECT_NE(UpperFileName("Straße.kdx"), UpperFileName("STRASSE.KDX"));
  EXPECT_EQ(UpperFileName("Firma.kdx"), UpperFileName("FIRMA.kdx"));
  // Bytes outside well-formed UTF-8 stay as they are; the letters around them are folded.
  EXPECT_EQ(UpperFileName("a\xE8z\xC3"), "A\xE8Z\xC3");
  EXPECT_EQ(UpperFileName(""), "");
}

TEST(Locale, ComparesWithAndWithoutCase) {
  EXPECT_EQ(CompareText("pob1_pb.kdx", "POB1_PB.KDX", true), 0);
  EXPECT_NE(CompareText("pob1_pb.kdx", "POB1_PB.KDX", false), 0);
  EXPECT_LT(CompareText("abc", "abd", false), 0);
  EXPECT_GT(CompareText("b", "a", true), 0);
  EXPECT_LT(CompareText("", "a", false), 0);
  // Ignoring case does not ignore accents.
  EXPECT_NE(CompareText(Cp("čas"), "cas", true), 0);
  EXPECT_EQ(CompareText(Cp("ČAS"), Cp("čas"), true), 0);
}

TEST(Locale, CzechCollationOrdersAccentsAndCh) {
  // In Czech, č sorts after c (before d) and "ch" after "h".
  EXPECT_LT(CompareText(Cp("cukr"), Cp("čaj"), false, kCzech), 0);
  EXPECT_LT(CompareText(Cp("čaj"), Cp("dům"), false, kCzech), 0);
  EXPECT_LT(CompareText(Cp("hrad"), Cp("chata"), false, kCzech), 0);
  EXPECT_LT(CompareText(Cp("chata"), Cp("iglú"), false, kCzech), 0);
}

TEST(Locale, CollationKeysOrderLikeCompareText) {
  const char* words[] = {
      "čaj",       "Čaj",       "cukr", "chata",         "hrad",        "",           "a", "A",
      "ŽLUŤOUČKÝ", "žluťoučký", "50%",  "Sklad \"Jih\"", "pob1_pb.kdx", "POB1_PB.KDX"};
  for (bool ignoreCase : {false, true}) {
    for (const char* x : words) {
      for (const char* y : words) {
        const std::string a = Cp(x), b = Cp(y);
        const int direct = CompareText(a, b, ignoreCase, kCzech);
        const int byKey =
            CollationKey(a, ignoreCase, kCzech).compare(CollationKey(b, ignoreCase, kCzech));
        EXPECT_EQ(direct < 0, byKey < 0) << x << " / " << y;
        EXPECT_EQ(direct == 0, byKey == 0) << x << " / " << y;
      }
    }
  }
}

// The writer gives CollationKey's bytes whatever room it is first offered: too little (it asks
// again), exactly the key, or more; also for keys longer than any first guess and the empty text.
TEST(Locale, CollationKeyWriterWritesCollationKeysBytes) {
  std::string longText;
  for (int i = 0; i < 40; ++i) longText += Cp("Žluťoučký kůň úpěl ");
  const std::string texts[] = {Cp("čaj"), Cp("Chata"), "", "pob1_pb.kdx", longText};
  for (unsigned locale : {kCzech, kUserDefaultLocale}) {
    for (bool ignoreCase : {false, true}) {
      TCollationKeyWriter writer(ignoreCase, locale);
      for (const std::string& text : texts) {
        const std::string expected = CollationKey(text, ignoreCase, locale);
        for (std::size_t room :
             {std::size_t{1}, expected.size(), expected.size() + 1, expected.size() + 100}) {
          if (room == 0) continue;
          std::string buffer(room + 8, '\x7f');  // the 8 bytes past `room` must stay untouched
          const std::size_t length =
              writer.Write(text, reinterpret_cast<unsigned char*>(buffer.data()), room);
          ASSERT_EQ(length, expected.size()) << text.size() << " chars, room " << room;
          EXPECT_EQ(buffer.substr(room), std::string(8, '\x7f'));
          if (length < room) {
            EXPECT_EQ(buffer.substr(0, length), expected);
          }
        }
      }
    }
  }
  TCollationKeyWriter unknown(false, 0x7FFF);
  unsigned char byte;
  EXPECT_THROW(unknown.Write("a", &byte, 1), kdx::Exception);
}

TEST(Locale, UnknownLocaleIdRaisesInvalidLocale) {
  try {
    CompareText("a", "b", false, 0x7FFF);
    FAIL() << "no exception";
  } catch (const kdx::Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid locale. 32767");
  }
}
