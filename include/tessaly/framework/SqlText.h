// Small pieces that the record classes build their statement texts from, so
// that each builder reads as the list of its pieces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly::sql {

inline constexpr char CR = '\r';

// 'value' with every apostrophe doubled, so no value can end the literal.
std::string Quoted(std::string_view value);
// #value#. A '#' inside the value is written as '?', so the literal stays one
// literal and is refused as no date rather than ending early.
std::string DateLiteral(std::string_view value);
// Bare numbers: whole numbers with a minus sign when negative; singles with up
// to seven significant digits and "." as decimal point ("7.5", "8").
std::string Number(int32_t value);
std::string Number(float value);

// A list of items, each ended by a carriage return, separated by commas:
// "a\r,b\r,c\r". The same calls make the assignment list of an UPDATE
// ("F_Name='x'\r,...") and, as kValues, the value list of an INSERT in the
// same order ("'x'\r,..."), the column prefixes then left out.
class Items {
 public:
  enum class Form { kAssignments, kValues };
  explicit Items(Form form = Form::kAssignments) : form_(form) {}

  Items& Text(std::string_view prefix, std::string_view value);
  Items& Date(std::string_view prefix, std::string_view value);
  Items& Number(std::string_view prefix, int32_t value);
  Items& Number(std::string_view prefix, float value);

  const std::string& str() const& { return text_; }
  std::string str() && { return std::move(text_); }

 private:
  void Begin(std::string_view prefix);
  Form form_;
  std::string text_;
};

}  // namespace tessaly::sql
