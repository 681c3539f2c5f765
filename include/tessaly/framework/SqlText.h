// Small pieces that the record classes build their statement texts from, so
// that each builder reads as the list of its pieces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly::db::jet {
class LiftedInsert;
}  // namespace tessaly::db::jet

namespace tessaly::sql {

inline constexpr char CR = '\r';

// 'value' with every apostrophe doubled, so no value can end the literal.
std::string Quoted(std::string_view value);
// #value#. A '#' inside the value is written as '?', so the literal stays one
// literal and is refused as no date rather than ending early.
std::string DateLiteral(std::string_view value);
// Bare numbers: whole numbers with a minus sign when negative; singles with up
// to seven significant digits and "." as decimal point ("7.5", "8"). A single
// that is NaN or infinite raises 5 with a description naming the value (and,
// in Items, the column).
std::string Number(int32_t value);
std::string Number(float value);

// A list of items, each ended by a carriage return, separated by commas:
// "a\r,b\r,c\r". The same calls make the assignment list of an UPDATE
// ("F_Name='x'\r,...": the column, "=", the value) and, as kValues, the value
// list of an INSERT in the same order ("'x'\r,...", the columns left out).
// cr false leaves one item without its carriage return.
class Items {
 public:
  enum class Form { kAssignments, kValues };
  // Room for a row of the attendance tables made at once, not by doubling.
  explicit Items(Form form = Form::kAssignments) : form_(form) { text_.reserve(256); }
  // The value list written into an INSERT handed over with its values
  // already read: the separators go to its bytes between the literals
  // (unless those stand from the statement before: bytes_stand), each value
  // to its literals (str() stays empty). A single still raises 5 for NaN or
  // infinity.
  Items(db::jet::LiftedInsert& into, bool bytes_stand);

  Items& Text(std::string_view column, std::string_view value, bool cr = true);
  Items& Date(std::string_view column, std::string_view value, bool cr = true);
  Items& Number(std::string_view column, int32_t value, bool cr = true);
  Items& Number(std::string_view column, float value, bool cr = true);

  Form form() const { return form_; }
  const std::string& str() const& { return text_; }
  std::string str() && { return std::move(text_); }

 private:
  void Begin(std::string_view column);
  void End(bool cr) {
    if (std::string* out = Out(); cr && out != nullptr) *out += CR;
  }
  // Where the bytes around the values go: the text, or the lifted
  // statement's bytes (none when they stand).
  std::string* Out() { return lifted_ == nullptr ? &text_ : lifted_bytes_; }
  Form form_;
  std::string text_;
  db::jet::LiftedInsert* lifted_ = nullptr;
  std::string* lifted_bytes_ = nullptr;
  bool first_ = true;
};

}  // namespace tessaly::sql
