#include "Output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <nlohmann/json.hpp>
#include <system_error>

#include "tessaly/db/Recordset.h"
#include "tessaly/db/Variant.h"

namespace tessaly::tool {

using db::Variant;
using db::VarType;

void Sink::Flush() {
  std::string_view left = buffer_;
  while (!left.empty()) {
    const ssize_t wrote = ::write(fd_, left.data(), left.size());
    if (wrote < 0) {
      if (errno == EINTR) continue;
      buffer_.clear();
      if (errno == EPIPE) throw OutputClosed{};
      throw std::system_error(errno, std::generic_category(), "cannot write the output");
    }
    left.remove_prefix(static_cast<size_t>(wrote));
  }
  buffer_.clear();
}

namespace {

// The text a value prints as: a text as it is, Null as the --null text,
// anything else in the runtime's text form (made in `scratch`).
std::string_view TextOf(const Variant& v, std::string_view null_text, std::string& scratch) {
  if (v.IsNull()) return null_text;
  if (const std::string* s = v.AsString()) return *s;
  scratch = v.ToText();
  return scratch;
}

bool IsNumber(VarType kind) {
  switch (kind) {
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kCurrency:
    case VarType::kDecimal: return true;
    default: return false;
  }
}

// --- tsv: the fields as they are, between tabs --------------------------------

class TsvWriter : public RowWriter {
 public:
  TsvWriter(const OutputOptions& o, Sink& sink) : options_(o), sink_(sink) {}
  void Begin(std::span<const std::string> names) override {
    if (!options_.header) return;
    for (size_t i = 0; i < names.size(); ++i) {
      if (i > 0) sink_.Put('\t');
      sink_.Write(names[i]);
    }
    sink_.Put('\n');
  }
  void Row(std::span<const Variant* const> values) override {
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) sink_.Put('\t');
      sink_.Write(TextOf(*values[i], options_.null_text, scratch_));
    }
    sink_.Put('\n');
  }
  void End() override {}

 private:
  const OutputOptions& options_;
  Sink& sink_;
  std::string scratch_;
};

// --- csv: RFC 4180 ------------------------------------------------------------

class CsvWriter : public RowWriter {
 public:
  CsvWriter(const OutputOptions& o, Sink& sink) : options_(o), sink_(sink) {}
  void Begin(std::span<const std::string> names) override {
    if (!options_.header) return;
    for (size_t i = 0; i < names.size(); ++i) Field(i, names[i]);
    sink_.Write("\r\n");
  }
  void Row(std::span<const Variant* const> values) override {
    for (size_t i = 0; i < values.size(); ++i) {
      Field(i, TextOf(*values[i], options_.null_text, scratch_));
    }
    sink_.Write("\r\n");
  }
  void End() override {}

 private:
  // A field goes in double quotes when it holds a comma, a quote or a line
  // break, its quotes doubled; any other field as it is.
  void Field(size_t index, std::string_view text) {
    if (index > 0) sink_.Put(',');
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
      sink_.Write(text);
      return;
    }
    sink_.Put('"');
    for (size_t quote; (quote = text.find('"')) != std::string_view::npos;) {
      sink_.Write(text.substr(0, quote + 1));
      sink_.Put('"');
      text.remove_prefix(quote + 1);
    }
    sink_.Write(text);
    sink_.Put('"');
  }

  const OutputOptions& options_;
  Sink& sink_;
  std::string scratch_;
};

// --- json: an array of objects ------------------------------------------------

// True when text is a number as JSON writes one; the runtime's number texts
// are, but one that is not ("1.#INF", say) must go out as a string.
bool IsJsonNumber(std::string_view t) {
  size_t i = 0;
  auto digits = [&] {
    const size_t from = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    return i > from;
  };
  if (i < t.size() && t[i] == '-') ++i;
  if (i < t.size() && t[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < t.size() && t[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == t.size();
}

}  // namespace

void AppendJsonString(std::string_view text, std::string& out) {
  // Most texts need no escape and are copied between quotes; the others go
  // through the JSON library, which also replaces bytes that are not UTF-8
  // (a database may hold them).
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x80 && c != '"' && c != '\\';
  });
  if (plain) {
    out += '"';
    out += text;
    out += '"';
    return;
  }
  out += nlohmann::json(std::string(text)).dump(-1, ' ', false,
                                                nlohmann::json::error_handler_t::replace);
}

void AppendJson(const Variant& v, std::string& out) {
  const VarType kind = v.Type();
  if (kind == VarType::kNull || kind == VarType::kEmpty) {
    out += "null";
  } else if (kind == VarType::kBoolean) {
    out += v.ToBoolean() ? "true" : "false";
  } else if (const std::string* s = v.AsString()) {
    AppendJsonString(*s, out);
  } else if (std::string text = v.ToText(); IsNumber(kind) && IsJsonNumber(text)) {
    out += text;
  } else {
    AppendJsonString(text, out);
  }
}

namespace {

class JsonWriter : public RowWriter {
 public:
  explicit JsonWriter(Sink& sink) : sink_(sink) {}
  void Begin(std::span<const std::string> names) override {
    keys_.clear();
    for (const std::string& name : names) {
      std::string key;
      AppendJsonString(name, key);
      key += ':';
      keys_.push_back(std::move(key));
    }
    rows_ = 0;
    sink_.Put('[');
  }
  void Row(std::span<const Variant* const> values) override {
    sink_.Write(rows_++ == 0 ? "\n{" : ",\n{");
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) sink_.Put(',');
      sink_.Write(keys_[i]);
      value_.clear();
      AppendJson(*values[i], value_);
      sink_.Write(value_);
    }
    sink_.Put('}');
  }
  void End() override { sink_.Write(rows_ == 0 ? "]\n" : "\n]\n"); }

 private:
  Sink& sink_;
  std::vector<std::string> keys_;  // each name as a JSON string and its ':'
  size_t rows_ = 0;
  std::string value_;
};

// --- table: aligned columns between rules -------------------------------------

// A cell as a table shows it: a line break or tab would break the layout, so
// control characters appear escaped.
std::string Visible(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

class TableWriter : public RowWriter {
 public:
  TableWriter(const OutputOptions& o, Sink& sink) : options_(o), sink_(sink) {}
  void Begin(std::span<const std::string> names) override {
    names_.clear();
    for (const std::string& name : names) names_.push_back(Visible(name));
    cells_.clear();
    laid_out_ = false;
  }
  void Row(std::span<const Variant* const> values) override {
    for (const Variant* v : values) {
      cells_.push_back({Visible(TextOf(*v, options_.null_text, scratch_)), IsNumber(v->Type())});
    }
    // The widths come from the first rows: the table starts before the last
    // row is read, and a longer cell further down widens its own line only.
    if (laid_out_) {
      Line(cells_.data());
      cells_.clear();
    } else if (cells_.size() >= kSampleRows * names_.size()) {
      LayOut();
    }
  }
  void End() override {
    if (!laid_out_) LayOut();
    Rule();
  }

 private:
  static constexpr size_t kSampleRows = 1000;
  struct Cell {
    std::string text;
    bool right;  // numbers align right
  };

  void LayOut() {
    widths_.assign(names_.size(), 0);
    for (size_t i = 0; i < names_.size(); ++i) {
      if (options_.header) widths_[i] = DisplayWidth(names_[i]);
    }
    for (size_t i = 0; i < cells_.size(); ++i) {
      widths_[i % names_.size()] = std::max(widths_[i % names_.size()], DisplayWidth(cells_[i].text));
    }
    laid_out_ = true;
    Rule();
    if (options_.header) {
      std::vector<Cell> header;
      for (const std::string& name : names_) header.push_back({name, false});
      Line(header.data());
      Rule();
    }
    for (size_t at = 0; at < cells_.size(); at += names_.size()) Line(&cells_[at]);
    cells_.clear();
  }
  void Rule() {
    if (names_.empty()) return;
    for (const size_t width : widths_) {
      sink_.Put('+');
      for (size_t k = 0; k < width + 2; ++k) sink_.Put('-');
    }
    sink_.Write("+\n");
  }
  void Line(const Cell* row) {
    if (names_.empty()) return;
    for (size_t i = 0; i < names_.size(); ++i) {
      const size_t width = DisplayWidth(row[i].text);
      const size_t pad = widths_[i] > width ? widths_[i] - width : 0;
      sink_.Write("| ");
      if (row[i].right) Pad(pad);
      sink_.Write(row[i].text);
      if (!row[i].right) Pad(pad);
      sink_.Put(' ');
    }
    sink_.Write("|\n");
  }
  void Pad(size_t n) {
    for (size_t k = 0; k < n; ++k) sink_.Put(' ');
  }

  const OutputOptions& options_;
  Sink& sink_;
  std::vector<std::string> names_;
  std::vector<Cell> cells_;  // rows not yet printed, row after row
  std::vector<size_t> widths_;
  bool laid_out_ = false;
  std::string scratch_;
};

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    if (s[i] < 0x80) {
      ++width;
      ++i;
      continue;
    }
    // A byte that starts no sequence counts as one column.
    std::mbstate_t state{};
    wchar_t wc;
    const size_t used = std::mbrtowc(&wc, text.data() + i, text.size() - i, &state);
    if (used == 0 || used > text.size() - i) {
      ++width;
      ++i;
      continue;
    }
    const int w = ::wcwidth(wc);
    width += w < 0 ? 1 : static_cast<size_t>(w);
    i += used;
  }
  return width;
}

std::unique_ptr<RowWriter> MakeWriter(const OutputOptions& options, Sink& sink) {
  switch (options.format) {
    case Format::kCsv: return std::make_unique<CsvWriter>(options, sink);
    case Format::kJson: return std::make_unique<JsonWriter>(sink);
    case Format::kTable: return std::make_unique<TableWriter>(options, sink);
    case Format::kTsv: break;
  }
  return std::make_unique<TsvWriter>(options, sink);
}

void PrintRows(db::Recordset& rs, std::span<const std::string> names, RowWriter& writer,
               const volatile std::sig_atomic_t* stop) {
  const db::Fields fields = rs.Fields();
  std::vector<db::Field> columns;
  std::vector<std::string> own;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    columns.push_back(fields.Item(i));
    if (names.empty()) own.push_back(columns.back().Name());
  }
  if (names.empty()) names = own;
  writer.Begin(names);
  std::vector<const Variant*> row(columns.size());
  for (; !rs.IsEOF() && (stop == nullptr || *stop == 0); rs.MoveNext()) {
    for (size_t i = 0; i < columns.size(); ++i) row[i] = &columns[i].ValueRef();
    writer.Row(row);
  }
  writer.End();
}

}  // namespace tessaly::tool
