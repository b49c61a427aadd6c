// The wire format of the hand-off to the helper of the other bitness (see HandOff.h).

#include "kdx/mail/HandOff.h"

#include <stdexcept>

namespace kdx::mail {

namespace {

constexpr std::string_view kRequestMagic = "KDXH";
constexpr std::string_view kReplyMagic = "KDXA";
constexpr std::size_t kHeaderSize = 10;  // magic, version, length

class Writer {
 public:
  void U8(std::uint8_t v) { out_ += static_cast<char>(v); }
  void U16(std::uint16_t v) {
    for (int i = 0; i < 2; ++i) out_ += static_cast<char>((v >> (8 * i)) & 0xff);
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_ += static_cast<char>((v >> (8 * i)) & 0xff);
  }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out_ += static_cast<char>((v >> (8 * i)) & 0xff);
  }
  void Str(const std::string& s) {
    if (s.size() > kHandOffMaxText) throw std::length_error("hand-off: text too long");
    if (s.find('\0') != std::string::npos)
      throw std::invalid_argument("hand-off: zero byte in a text");
    U32(static_cast<std::uint32_t>(s.size()));
    out_ += s;
  }
  void Opt(const std::optional<std::string>& s) {
    U8(s ? 1 : 0);
    if (s) Str(*s);
  }
  void Count(std::size_t n) {
    if (n > kHandOffMaxEntries) throw std::length_error("hand-off: too many entries");
    U32(static_cast<std::uint32_t>(n));
  }
  // The whole message: header before the body written so far.
  std::string Finish(std::string_view magic) const {
    if (out_.size() > kHandOffMaxMessage - kHeaderSize)
      throw std::length_error("hand-off: message too long");
    Writer head;
    head.out_ = magic;
    head.U16(kHandOffVersion);
    head.U32(static_cast<std::uint32_t>(out_.size()));
    return head.out_ + out_;
  }

 private:
  std::string out_;
};

// Reads fields from a byte range; the first failure sticks and names itself.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  void Fail(const char* why) {
    if (error_.empty()) error_ = why;
  }
  bool AtEnd() const { return pos_ == bytes_.size(); }

  std::uint64_t Uint(int bytes) {
    if (!ok()) return 0;
    if (bytes_.size() - pos_ < static_cast<std::size_t>(bytes)) {
      Fail("message ends inside a field");
      return 0;
    }
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
      v |= std::uint64_t{static_cast<unsigned char>(bytes_[pos_ + i])} << (8 * i);
    pos_ += bytes;
    return v;
  }
  std::string Str() {
    const std::uint64_t n = Uint(4);
    if (!ok()) return {};
    if (n > kHandOffMaxText) {
      Fail("text beyond its limit");
      return {};
    }
    if (bytes_.size() - pos_ < n) {
      Fail("text longer than the message");
      return {};
    }
    std::string s(bytes_.substr(pos_, n));
    pos_ += n;
    if (s.find('\0') != std::string::npos) Fail("zero byte inside a text");
    return s;
  }
  std::optional<std::string> Opt() {
    const std::uint64_t present = Uint(1);
    if (present > 1) Fail("bad presence flag");
    if (!ok() || present == 0) return std::nullopt;
    return Str();
  }
  std::uint32_t Count() {
    const std::uint64_t n = Uint(4);
    if (n > kHandOffMaxEntries) Fail("count beyond its limit");
    return ok() ? static_cast<std::uint32_t>(n) : 0;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
  std::string error_;
};

// The body of a message with `magic`, checked against the header; empty view and `error` set
// when the header does not fit.
std::optional<std::string_view> Body(std::string_view bytes, std::string_view magic,
                                     std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return std::nullopt;
  };
  if (bytes.size() < kHeaderSize) return fail("message shorter than its header");
  if (bytes.substr(0, 4) != magic) return fail("not a hand-off message");
  Reader head(bytes.substr(4, 6));
  if (head.Uint(2) != kHandOffVersion) return fail("unknown version");
  if (head.Uint(4) != bytes.size() - kHeaderSize) return fail("length does not match the message");
  return bytes.substr(kHeaderSize);
}

}  // namespace

std::string EncodeHandOffRequest(const HandOffRequest& r) {
  Writer w;
  w.Str(r.library);
  w.U64(r.parentWindow);
  w.U32(r.flags);
  w.Str(r.subject);
  w.Str(r.noteText);
  w.Count(r.recipients.size());
  for (const HandOffRecipient& recip : r.recipients) {
    w.U32(recip.recipClass);
    w.Str(recip.name);
    w.Opt(recip.address);
  }
  w.Count(r.files.size());
  for (const HandOffFile& file : r.files) {
    w.U32(file.flags);
    w.U32(file.position);
    w.Str(file.path);
    w.Opt(file.name);
  }
  return w.Finish(kRequestMagic);
}

std::string EncodeHandOffReply(const HandOffReply& reply) {
  Writer w;
  w.U8(static_cast<std::uint8_t>(reply.kind));
  w.U32(reply.code);
  w.Str(reply.text);
  return w.Finish(kReplyMagic);
}

std::optional<HandOffRequest> DecodeHandOffRequest(std::string_view bytes, std::string* error) {
  const auto body = Body(bytes, kRequestMagic, error);
  if (!body) return std::nullopt;
  Reader r(*body);
  HandOffRequest request;
  request.library = r.Str();
  request.parentWindow = r.Uint(8);
  request.flags = static_cast<std::uint32_t>(r.Uint(4));
  request.subject = r.Str();
  request.noteText = r.Str();
  const std::uint32_t recipients = r.Count();
  for (std::uint32_t i = 0; i < recipients && r.ok(); ++i) {
    HandOffRecipient recip;
    recip.recipClass = static_cast<std::uint32_t>(r.Uint(4));
    recip.name = r.Str();
    recip.address = r.Opt();
    request.recipients.push_back(std::move(recip));
  }
  const std::uint32_t files = r.Count();
  for (std::uint32_t i = 0; i < files && r.ok(); ++i) {
    HandOffFile file;
    file.flags = static_cast<std::uint32_t>(r.Uint(4));
    file.position = static_cast<std::uint32_t>(r.Uint(4));
    file.path = r.Str();
    file.name = r.Opt();
    request.files.push_back(std::move(file));
  }
  if (r.ok() && request.library.empty()) r.Fail("no library named");
  if (r.ok() && !r.AtEnd()) r.Fail("bytes after the message");
  if (!r.ok()) {
    if (error) *error = r.error();
    return std::nullopt;
  }
  return request;
}

std::optional<HandOffReply> DecodeHandOffReply(std::string_view bytes, std::string* error) {
  const auto body = Body(bytes, kReplyMagic, error);
  if (!body) return std::nullopt;
  Reader r(*body);
  HandOffReply reply;
  const std::uint64_t kind = r.Uint(1);
  reply.code = static_cast<std::uint32_t>(r.Uint(4));
  reply.text = r.Str();
  if (r.ok() && (kind < 1 || kind > 4)) r.Fail("unknown reply kind");
  if (r.ok() && !r.AtEnd()) r.Fail("bytes after the message");
  if (!r.ok()) {
    if (error) *error = r.error();
    return std::nullopt;
  }
  reply.kind = static_cast<HandOffReplyKind>(kind);
  return reply;
}

std::optional<std::uint64_t> HandOffMessageSize(std::string_view head) {
  if (head.size() < kHeaderSize) return std::nullopt;
  if (head.substr(0, 4) != kRequestMagic && head.substr(0, 4) != kReplyMagic) return std::nullopt;
  Reader r(head.substr(4, 6));
  if (r.Uint(2) != kHandOffVersion) return std::nullopt;
  const std::uint64_t length = r.Uint(4);
  if (length > kHandOffMaxMessage - kHeaderSize) return std::nullopt;
  return kHeaderSize + length;
}

}  // namespace kdx::mail
