#pragma once
// TVariant: the loosely typed value that field writes and record searches take: null, a text
// (cp1250 bytes), a truth value, an integer, or an array of values with a dimension count.

#include <cstdint>
#include <string>
#include <vector>

namespace kdx {

class TVariant {
 public:
  enum class Kind { Null, String, Boolean, Integer, Array };

  TVariant() = default;  // null
  TVariant(std::string text) : kind_(Kind::String), text_(std::move(text)) {}
  TVariant(const char* text) : kind_(Kind::String), text_(text) {}
  TVariant(bool value) : kind_(Kind::Boolean), integer_(value ? 1 : 0) {}
  TVariant(int value) : kind_(Kind::Integer), integer_(value) {}
  TVariant(long long value) : kind_(Kind::Integer), integer_(value) {}

  // An array of values. `dimensions` is the array's dimension count as the caller built it;
  // FindRecord accepts only one-dimensional arrays.
  static TVariant Array(std::vector<TVariant> items, int dimensions = 1) {
    TVariant v;
    v.kind_ = Kind::Array;
    v.items_ = std::move(items);
    v.dimensions_ = dimensions;
    return v;
  }

  Kind GetKind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }
  bool IsArray() const { return kind_ == Kind::Array; }
  const std::string& Text() const { return text_; }              // String kind only
  bool Boolean() const { return integer_ != 0; }                 // Boolean kind only
  long long Integer() const { return integer_; }                 // Integer kind only
  const std::vector<TVariant>& Items() const { return items_; }  // Array kind only
  int DimCount() const { return kind_ == Kind::Array ? dimensions_ : 0; }

  friend bool operator==(const TVariant& a, const TVariant& b) {
    return a.kind_ == b.kind_ && a.text_ == b.text_ && a.integer_ == b.integer_ &&
           a.items_ == b.items_ && a.dimensions_ == b.dimensions_;
  }

 private:
  Kind kind_ = Kind::Null;
  std::string text_;
  long long integer_ = 0;
  std::vector<TVariant> items_;
  int dimensions_ = 0;
};

}  // namespace kdx
