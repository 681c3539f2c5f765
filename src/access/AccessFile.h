// An Access database file as a migration source. Each part is read by a
// process of its own (a fork that runs MdbRead), whose output is read back as
// an untrusted wire stream: whatever the file does to the file library ends
// in tessaly::Error naming the file and the object being read.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "access/MdbRead.h"
#include "access/Wire.h"
#include "migrate/Source.h"

namespace tessaly::access {

// The tables a catalog answer lists: the user tables and the system ones.
struct Catalog {
  std::vector<migrate::Table> tables, system;
};

// What a reading process does: writes the answer to one request (the list of
// tables, or one table's rows) about the file at path to out. WriteAccessFile
// is the one the library runs.
using ReadPart = void (*)(const std::string& path, const std::string& table, wire::Writer& out);

class AccessFile : public migrate::Source {
 public:
  // Checks that the file is there and begins as an Access database does;
  // throws tessaly::Error naming the file when it does not. A reading
  // process silent for longer than silence is stopped and the read fails.
  explicit AccessFile(std::string path, std::chrono::milliseconds silence = kSilence,
                      ReadPart read = WriteAccessFile);

  std::string Name() const override { return path_; }
  std::vector<migrate::Table> Tables() override;
  std::vector<migrate::Relationship> Relationships() override;
  std::vector<QueryRow> QueryRows() override;
  std::vector<std::pair<int32_t, std::string>> QueryNames() override;
  std::unique_ptr<migrate::RowReader> Rows(const migrate::Table& table) override;

  // How long the reading process may go without a word before it is
  // stopped as hung.
  static constexpr std::chrono::milliseconds kSilence{30000};

 private:
  // The catalog, read once.
  const Catalog& Read();
  // Each row of a system table as its values by field name; none when the
  // file has no such table.
  std::vector<std::map<std::string, db::Variant>> SystemRows(const std::string& table);
  std::string path_;
  std::chrono::milliseconds silence_;
  ReadPart read_;
  std::optional<Catalog> catalog_;
};

// Reads a catalog answer from a wire stream. Throws wire::Broken, or
// tessaly::Error for a failure the stream reports (which names the object).
// For the reader and its fuzz target.
Catalog ReadCatalog(wire::Reader& in, const std::string& file);

// Reads the answer of a table's rows from a wire stream.
class RowDecoder {
 public:
  RowDecoder(wire::Reader& in, std::string file, std::string table, size_t columns)
      : in_(in), file_(std::move(file)), table_(std::move(table)), columns_(columns) {}
  // The next row into *row; false at the end. Throws as ReadCatalog.
  bool Next(std::vector<db::Variant>* row);
  // The stream said the file holds no such table.
  bool missing() const { return missing_; }

 private:
  wire::Reader& in_;
  std::string file_, table_;
  size_t columns_;
  int64_t rows_ = 0;
  bool done_ = false, missing_ = false;
};

}  // namespace tessaly::access
