#include "tessaly/framework/SqlText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "db/Rules.h"
#include "db/jet/LiftedInsert.h"
#include "tessaly/Error.h"
#include "tessaly/db/Vb.h"

namespace tessaly::sql {

namespace {

void AppendQuoted(std::string& out, std::string_view value) {
  db::rules::AppendDelimited(out, value, '\'');
}

void AppendDate(std::string& out, std::string_view value) {
  const size_t start = out.size();
  out.append("#").append(value).append("#");
  std::replace(out.begin() + static_cast<ptrdiff_t>(start) + 1, out.end() - 1, '#', '?');
}

// A single as a statement holds it. NaN and infinity have no literal in a
// statement (the old runtime could not hold them in a Single at all): they are
// refused by name instead of becoming a word the statement cannot parse.
void AppendSingle(std::string& out, std::string_view column, float value) {
  if (!std::isfinite(value)) {
    std::string what = std::isnan(value) ? "NaN" : value > 0 ? "infinity" : "minus infinity";
    std::string description = "Invalid value: ";
    if (!column.empty()) description.append(column).append(" is ");
    description += what + ", which a statement cannot hold; give a finite number.";
    throw Error(errnum::kInvalidCall, std::move(description));
  }
  out += vb::SingleText(value);
}

}  // namespace

std::string Quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 2);
  AppendQuoted(out, value);
  return out;
}

std::string DateLiteral(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 2);
  AppendDate(out, value);
  return out;
}

std::string Number(int32_t value) { return std::to_string(value); }
std::string Number(float value) {
  std::string out;
  AppendSingle(out, {}, value);
  return out;
}

Items::Items(db::jet::LiftedInsert& into, bool bytes_stand)
    : form_(Form::kValues), lifted_(&into), lifted_bytes_(bytes_stand ? nullptr : &into.between) {}

void Items::Begin(std::string_view column) {
  if (std::string* out = Out(); !first_ && out != nullptr) *out += ',';
  first_ = false;
  if (form_ == Form::kAssignments) {
    text_ += column;
    text_ += '=';
  }
}

Items& Items::Text(std::string_view column, std::string_view value, bool cr) {
  Begin(column);
  if (lifted_ != nullptr) {
    lifted_->Text(value);
  } else {
    AppendQuoted(text_, value);
  }
  End(cr);
  return *this;
}

Items& Items::Date(std::string_view column, std::string_view value, bool cr) {
  Begin(column);
  if (lifted_ != nullptr) {
    lifted_->Date(value);
  } else {
    AppendDate(text_, value);
  }
  End(cr);
  return *this;
}

Items& Items::Number(std::string_view column, int32_t value, bool cr) {
  Begin(column);
  if (lifted_ != nullptr) {
    lifted_->Number(value);
  } else {
    char digits[12];
    text_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  }
  End(cr);
  return *this;
}

Items& Items::Number(std::string_view column, float value, bool cr) {
  Begin(column);
  if (lifted_ != nullptr) {
    thread_local std::string written;
    written.clear();
    AppendSingle(written, column, value);
    lifted_->Number(written);
  } else {
    AppendSingle(text_, column, value);
  }
  End(cr);
  return *this;
}

}  // namespace tessaly::sql
