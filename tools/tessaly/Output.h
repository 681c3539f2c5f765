// How the tool prints rows: the four output forms over one buffered sink on
// standard output, fed a row at a time so a result of any length prints in
// the same memory.
#pragma once

#include <csignal>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tessaly::db {
class Recordset;
class Variant;
}  // namespace tessaly::db

namespace tessaly::tool {

enum class Format { kTsv, kCsv, kJson, kTable };

struct OutputOptions {
  Format format = Format::kTsv;
  bool header = true;     // --no-header clears it (tsv, csv and table)
  std::string null_text;  // what a Null prints as (not in json, where it is null)
};

// Raised when the reader of standard output has gone (EPIPE): the tool ends
// quietly then, as a pipe into `head` expects.
struct OutputClosed {};

// Bytes for a file descriptor, written in large blocks.
class Sink {
 public:
  explicit Sink(int fd) : fd_(fd) { buffer_.reserve(kBlock); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void Write(std::string_view text) {
    if (buffer_.size() + text.size() > kBlock) Flush();
    buffer_.append(text);
  }
  void Put(char c) {
    if (buffer_.size() >= kBlock) Flush();
    buffer_.push_back(c);
  }
  // Writes what is buffered; OutputClosed on EPIPE, std::system_error on any
  // other failure.
  void Flush();

 private:
  static constexpr size_t kBlock = 64 * 1024;
  int fd_;
  std::string buffer_;
};

// One output form. Begin once per result, Row per row, End after the last.
class RowWriter {
 public:
  virtual ~RowWriter() = default;
  virtual void Begin(std::span<const std::string> names) = 0;
  virtual void Row(std::span<const db::Variant* const> values) = 0;
  virtual void End() = 0;
};

std::unique_ptr<RowWriter> MakeWriter(const OutputOptions& options, Sink& sink);

// Prints the rows of an open recordset from the row it stands on to its end,
// under `names` (the recordset's own when empty); once *stop is set (by
// Ctrl-C), the rows printed so far are ended as the form ends them.
void PrintRows(db::Recordset& rs, std::span<const std::string> names, RowWriter& writer,
               const volatile std::sig_atomic_t* stop = nullptr);

// Appends a value as JSON: a number as a number, a Boolean as true or false,
// Null and Empty as null, anything else as a string.
void AppendJson(const db::Variant& v, std::string& out);
void AppendJsonString(std::string_view text, std::string& out);

// Columns a terminal gives `text` (UTF-8): two for a wide character, none
// for a combining one.
size_t DisplayWidth(std::string_view text);

}  // namespace tessaly::tool
