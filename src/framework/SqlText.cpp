#include "tessaly/framework/SqlText.h"

#include "tessaly/db/Vb.h"

namespace tessaly::sql {

namespace {

void AppendQuoted(std::string& out, std::string_view value) {
  out += '\'';
  for (char c : value) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
}

void AppendDate(std::string& out, std::string_view value) {
  out += '#';
  for (char c : value) out += c == '#' ? '?' : c;
  out += '#';
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
std::string Number(float value) { return vb::SingleText(value); }

void Items::Begin(std::string_view column) {
  if (!text_.empty()) text_ += ',';
  if (form_ == Form::kAssignments) {
    text_ += column;
    text_ += '=';
  }
}

Items& Items::Text(std::string_view column, std::string_view value, bool cr) {
  Begin(column);
  AppendQuoted(text_, value);
  End(cr);
  return *this;
}

Items& Items::Date(std::string_view column, std::string_view value, bool cr) {
  Begin(column);
  AppendDate(text_, value);
  End(cr);
  return *this;
}

Items& Items::Number(std::string_view column, int32_t value, bool cr) {
  Begin(column);
  text_ += std::to_string(value);
  End(cr);
  return *this;
}

Items& Items::Number(std::string_view column, float value, bool cr) {
  Begin(column);
  text_ += vb::SingleText(value);
  End(cr);
  return *this;
}

}  // namespace tessaly::sql
