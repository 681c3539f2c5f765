// A migration source held in memory, for the tests of what the migration
// does with the tables it is handed (no Access file holds the attendance
// tables, and nothing here can write one).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "migrate/Source.h"

namespace tessaly::testing {

class MemorySource : public migrate::Source {
 public:
  std::vector<migrate::Table> tables;
  std::map<std::string, std::vector<std::vector<db::Variant>>> rows;
  std::vector<migrate::Relationship> relationships;
  std::vector<access::QueryRow> query_rows;
  std::vector<std::pair<int32_t, std::string>> query_names;
  // Called before each row is handed over, with the rows handed so far.
  std::function<void(int64_t)> before_row;

  migrate::Table& Add(std::string name, std::vector<migrate::Field> fields) {
    migrate::Table& t = tables.emplace_back();
    t.name = std::move(name);
    t.fields = std::move(fields);
    return t;
  }
  void Row(const std::string& table, std::vector<db::Variant> values) {
    rows[table].push_back(std::move(values));
    for (migrate::Table& t : tables) {
      if (t.name == table) t.rows = static_cast<int64_t>(rows[table].size());
    }
  }

  std::string Name() const override { return "memory"; }
  std::vector<migrate::Table> Tables() override { return tables; }
  std::vector<migrate::Relationship> Relationships() override { return relationships; }
  std::vector<access::QueryRow> QueryRows() override { return query_rows; }
  std::vector<std::pair<int32_t, std::string>> QueryNames() override { return query_names; }
  std::unique_ptr<migrate::RowReader> Rows(const migrate::Table& table) override {
    return std::make_unique<Reader>(rows[table.name], before_row);
  }

 private:
  class Reader : public migrate::RowReader {
   public:
    Reader(const std::vector<std::vector<db::Variant>>& rows, std::function<void(int64_t)> before)
        : rows_(rows), before_(std::move(before)) {}
    bool Next(std::vector<db::Variant>* row) override {
      if (before_) before_(next_);
      if (next_ == rows_.size()) return false;
      *row = rows_[next_++];
      return true;
    }

   private:
    const std::vector<std::vector<db::Variant>>& rows_;
    std::function<void(int64_t)> before_;
    size_t next_ = 0;
  };
};

inline migrate::Field F(std::string name, migrate::FieldType type, int size = 0,
                        bool autonumber = false) {
  migrate::Field f;
  f.name = std::move(name);
  f.type = type;
  f.size = size;
  f.autonumber = autonumber;
  return f;
}

}  // namespace tessaly::testing
