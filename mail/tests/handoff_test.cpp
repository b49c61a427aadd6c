// The wire format of the hand-off to the helper of the other bitness: what is encoded comes back
// whole, no text can change the structure, and anything but one whole valid message is refused.

#include "kdx/mail/HandOff.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "kdx/mail/MailErrors.h"
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "CoreTestSupport.h"

using namespace kdx::mail;

namespace {

HandOffRequest Sample() {
  HandOffRequest r;
  r.library = kdx::test::Cp("C:\\Program Files (x86)\\Pošta\\mapi klient.dll");
  r.parentWindow = 0x0000'7ff1'2345'6789ull;  // a 64-bit handle survives a 32-bit helper's trip
  r.flags = 0x9;
  r.subject = kdx::test::Cp("Přenosový soubor Velkor ze dne 08.12.2026");
  r.noteText = "line one\r\nline two\t\"quoted\" %s %n";
  r.recipients = {{1, "jan.novak@example.cz", "SMTP:jan.novak@example.cz"},
                  {2, kdx::test::Cp("Účetní"), std::nullopt},
                  {3, "", std::string()}};
  r.files = {{0, 0xFFFFFFFFu, "C:\\Data\\POB1_PB.KDX", std::nullopt},
             {0, 5, "C:\\x y\\\"quoted\" name.kdx", std::string("shown.kdx")}};
  return r;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

}  // namespace

TEST(HandOffFormat, RequestsAndRepliesComeBackWhole) {
  const HandOffRequest request = Sample();
  const std::string wire = EncodeHandOffRequest(request);
  std::string error;
  const auto decoded = DecodeHandOffRequest(wire, &error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(*decoded, request);
  EXPECT_EQ(decoded->recipients[1].address, std::nullopt) << "null address stays null";
  EXPECT_EQ(decoded->recipients[2].address, std::string()) << "empty address stays empty";
  EXPECT_EQ(HandOffMessageSize(wire), wire.size());

  HandOffRequest empty;
  empty.library = "mapi32.dll";
  EXPECT_EQ(DecodeHandOffRequest(EncodeHandOffRequest(empty)), empty);

  for (const HandOffReply& reply :
       {HandOffReply{HandOffReplyKind::Result, 14, ""},
        HandOffReply{HandOffReplyKind::LoadFailed, 193, "%1 is not a valid Win32 application."},
        HandOffReply{HandOffReplyKind::NotExported, 0, "MAPIResolveName"},
        HandOffReply{HandOffReplyKind::Refused, 0, "unknown version"}}) {
    const std::string replyWire = EncodeHandOffReply(reply);
    EXPECT_EQ(DecodeHandOffReply(replyWire), reply);
    EXPECT_FALSE(DecodeHandOffRequest(replyWire)) << "a reply is not a request";
    EXPECT_EQ(HandOffMessageSize(replyWire), replyWire.size());
  }
}

TEST(HandOffFormat, NoTextChangesTheStructure) {
  HandOffRequest request = Sample();
  // Texts that look like the format itself, like a command line or like a count.
  const std::string forged = EncodeHandOffRequest(Sample());
  request.subject = forged.substr(0, forged.find('\0'));
  request.noteText = "\" /library evil.dll \"" + Bytes({1, 2, 3, 0xff, 0xfe}) + "KDXA";
  request.recipients[0].name = Bytes({0xff, 0xff, 0xff, 0xff});
  request.files[0].path = "C:\\a\" \"C:\\b";
  const auto decoded = DecodeHandOffRequest(EncodeHandOffRequest(request));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, request);
  EXPECT_EQ(decoded->recipients.size(), 3u);
  EXPECT_EQ(decoded->files.size(), 2u);

  // A zero byte would cut the text where the client reads it: never written, never read.
  request.subject = std::string("before\0after", 12);
  EXPECT_THROW(EncodeHandOffRequest(request), std::invalid_argument);
  HandOffRequest bare;
  bare.library = "x.dll";
  bare.subject = "ab";
  std::string wire = EncodeHandOffRequest(bare);
  wire[wire.find("ab") + 1] = '\0';
  std::string error;
  EXPECT_FALSE(DecodeHandOffRequest(wire, &error));
  EXPECT_EQ(error, "zero byte inside a text");
}

TEST(HandOffFormat, AnythingButOneWholeMessageIsRefused) {
  const std::string wire = EncodeHandOffRequest(Sample());
  for (std::size_t size = 0; size < wire.size(); ++size) {
    EXPECT_FALSE(DecodeHandOffRequest(wire.substr(0, size))) << "cut at " << size;
  }
  EXPECT_FALSE(DecodeHandOffRequest(wire + "x")) << "trailing byte";

  std::string error;
  std::string bad = wire;
  bad[0] = 'X';
  EXPECT_FALSE(DecodeHandOffRequest(bad, &error));
  EXPECT_EQ(error, "not a hand-off message");
  bad = wire;
  bad[4] = 2;  // version 2
  EXPECT_FALSE(DecodeHandOffRequest(bad, &error));
  EXPECT_EQ(error, "unknown version");
  EXPECT_FALSE(HandOffMessageSize(bad));
  bad = wire;
  bad[6] = static_cast<char>(bad[6] + 1);  // length one more than the body
  EXPECT_FALSE(DecodeHandOffRequest(bad, &error));
  EXPECT_EQ(error, "length does not match the message");

  // Hand-made bodies: lengths and counts that lie.
  auto message = [](const std::string& body) {
    const auto n = static_cast<std::uint32_t>(body.size());
    return "KDXH" +
           Bytes({1, 0, int(n & 0xff), int((n >> 8) & 0xff), int((n >> 16) & 0xff), int(n >> 24)}) +
           body;
  };
  const std::string library = Bytes({5, 0, 0, 0}) + "a.dll";
  const std::string head = library + std::string(8, '\0') + std::string(4, '\0') +
                           std::string(4, '\0') + std::string(4, '\0');  // empty texts
  EXPECT_TRUE(DecodeHandOffRequest(message(head + std::string(8, '\0')), &error)) << error;
  EXPECT_FALSE(DecodeHandOffRequest(message(Bytes({0xff, 0xff, 0xff, 0x7f}) + "a.dll"), &error));
  EXPECT_EQ(error, "text beyond its limit");
  EXPECT_FALSE(DecodeHandOffRequest(message(Bytes({9, 0, 0, 0}) + "a.dll"), &error));
  EXPECT_EQ(error, "text longer than the message");
  EXPECT_FALSE(DecodeHandOffRequest(
      message(head + Bytes({0xff, 0xff, 0xff, 0xff}) + std::string(4, 0)), &error));
  EXPECT_EQ(error, "count beyond its limit");
  EXPECT_FALSE(
      DecodeHandOffRequest(message(head + Bytes({200, 0, 0, 0}) + std::string(4, 0)), &error));
  EXPECT_EQ(error, "message ends inside a field") << "more recipients counted than sent";
  EXPECT_FALSE(DecodeHandOffRequest(
      message(head + Bytes({1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2}) + std::string(4, 0)), &error));
  EXPECT_EQ(error, "bad presence flag");
  EXPECT_FALSE(DecodeHandOffRequest(
      message(Bytes({0, 0, 0, 0}) + head.substr(9) + std::string(8, '\0')), &error));
  EXPECT_EQ(error, "no library named");

  EXPECT_FALSE(DecodeHandOffReply(
      Bytes({'K', 'D', 'X', 'A', 1, 0, 9, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0}), &error));
  EXPECT_EQ(error, "unknown reply kind");
}

TEST(HandOffFormat, EncoderRefusesWhatTheDecoderWould) {
  HandOffRequest request;
  request.library = "a.dll";
  request.recipients.resize(kHandOffMaxEntries + 1);
  EXPECT_THROW(EncodeHandOffRequest(request), std::length_error);
  request.recipients.clear();
  request.noteText.assign(kHandOffMaxText + 1, 'x');
  EXPECT_THROW(EncodeHandOffRequest(request), std::length_error);
  request.noteText.assign(kHandOffMaxText, 'x');
  EXPECT_EQ(DecodeHandOffRequest(EncodeHandOffRequest(request)), request) << "the limit itself";
}

// The helper's path may hold a '%' (a folder "100%sleva"): it is text, never a placeholder for
// the system's reason, and a helper that answers nothing is never taken for a send.
TEST(HandOffHelper, FailuresNameTheHelperAsItIs) {
  kdx::test::TempDir dir;
  const std::string missing = dir.Path() + "/100%sleva/kdxmapi32";
  try {
    SendThroughHandOffHelper(missing, Sample(), 0);
    FAIL() << "a missing helper sent the message";
  } catch (const EMapiError& e) {
    EXPECT_EQ(e.ErrorCode, 0u);
    const std::string message = e.what();
    EXPECT_NE(message.find("\"" + missing + "\""), std::string::npos) << message;
  }
#ifndef _WIN32
  const std::string silent = dir.WriteFile("silent%d", "#!/bin/sh\ncat >/dev/null\n");
  ASSERT_EQ(::chmod(silent.c_str(), 0700), 0);
  try {
    SendThroughHandOffHelper(silent, Sample(), 0);
    FAIL() << "a helper that answered nothing counted as a send";
  } catch (const EMapiError& e) {
    EXPECT_EQ(e.ErrorCode, 0u);
    const std::string message = e.what();
    EXPECT_NE(message.find("\"" + silent + "\" ended without an answer (exit code 0)"),
              std::string::npos)
        << message;
  }
#endif
}
