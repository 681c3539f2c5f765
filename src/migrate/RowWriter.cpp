#include "migrate/RowWriter.h"

#include <cstdio>

#include "db/Backend.h"
#include "db/Rules.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"

namespace tessaly::migrate {

using Kind = db::Parameter::Kind;

RowWriter::RowWriter(db::Connection& connection, std::string table, std::vector<Column> columns)
    : connection_(connection), table_(std::move(table)), columns_(std::move(columns)) {
  std::vector<std::string> names;
  for (const Column& c : columns_) names.push_back(c.name);
  bulk_ = db::internal::BackendOf(connection_).Load(table_, names);
}

void RowWriter::Finish() {
  if (bulk_) bulk_->Finish();
  bulk_.reset();
}

namespace {

// A value as a Jet literal: its text, its number in full, or its date.
std::string Literal(const db::Parameter& p) {
  switch (p.kind) {
    case Kind::kInteger: return std::to_string(p.integer);
    case Kind::kReal: {
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", p.real);
      return text;
    }
    case Kind::kDate: return '#' + p.date.ToStored() + '#';
    case Kind::kText: return db::rules::Delimited(p.text, '\'');
    case Kind::kCurrency: return db::Currency{p.integer}.ToText();
    case Kind::kDecimal: return p.text;
    case Kind::kBytes: break;
  }
  // Jet writes no literal of bytes: such a row goes only as a prepared one.
  throw Error(errnum::kFail, "A binary value cannot be written as a statement's text.");
}

// A value of each kind that the translator lifts out as a parameter of that
// kind (a plain number or text, not a negative one, which it reads as a
// sign before a number).
db::Parameter Sample(Kind kind) {
  db::Parameter p;
  // A Currency or Decimal stands as a number, bytes as a text, which the
  // prepared statement then binds as what they are.
  p.kind = kind == Kind::kCurrency || kind == Kind::kDecimal ? Kind::kReal
           : kind == Kind::kBytes                            ? Kind::kText
                                                             : kind;
  p.integer = 1;
  p.real = 1.5;
  p.text = "x";
  p.date = db::Date{2000, 1, 2, 0, 0, 0};
  return p;
}

}  // namespace

std::string RowWriter::JetInsert(const std::vector<uint8_t>& null,
                                 const std::vector<db::Parameter>* values) const {
  std::string sql = "INSERT INTO [" + table_ + "] (";
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (i != 0) sql += ", ";
    sql += '[' + columns_[i].name + ']';
  }
  sql += ") VALUES (";
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (i != 0) sql += ", ";
    if (null[i]) {
      sql += "Null";
    } else {
      sql += Literal(values != nullptr ? (*values)[i] : Sample(columns_[i].kind));
    }
  }
  return sql + ')';
}

const RowWriter::Shape& RowWriter::ShapeOf(const std::vector<uint8_t>& null) {
  if (auto found = shapes_.find(null); found != shapes_.end()) return found->second;
  Shape shape;
  const db::Connection::Explanation e = connection_.Explain(JetInsert(null, nullptr));
  // The prepared statement serves when the translator lifted exactly the
  // row's values, in order and of their kinds, into a single statement.
  std::vector<size_t> columns;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (!null[i]) columns.push_back(i);
  }
  bool fits = e.before.empty() && e.after.empty() && e.make_table.empty() &&
              e.parameters.size() == columns.size();
  for (size_t k = 0; fits && k < columns.size(); ++k) {
    const db::VarType lifted = e.parameters[k].Type();
    switch (columns_[columns[k]].kind) {
      case Kind::kInteger: fits = lifted == db::VarType::kInteger || lifted == db::VarType::kLong; break;
      case Kind::kReal:
      case Kind::kCurrency:
      case Kind::kDecimal: fits = lifted == db::VarType::kDouble; break;
      case Kind::kText:
      case Kind::kBytes: fits = lifted == db::VarType::kString; break;
      case Kind::kDate: fits = lifted == db::VarType::kDate; break;
    }
  }
  if (fits) {
    shape.prepared = e.prepared;
    shape.columns = std::move(columns);
  }
  return shapes_.emplace(null, std::move(shape)).first->second;
}

void RowWriter::Write(std::vector<db::Parameter>& values, const std::vector<uint8_t>& null) {
  if (bulk_) {
    bulk_->Add(values, null);
    return;
  }
  const Shape& shape = ShapeOf(null);
  if (shape.prepared.empty()) {
    connection_.Execute(JetInsert(null, &values));
    return;
  }
  bound_.resize(shape.columns.size());
  for (size_t k = 0; k < shape.columns.size(); ++k) bound_[k] = std::move(values[shape.columns[k]]);
  db::internal::BackendOf(connection_).Run(shape.prepared, bound_, nullptr);
}

}  // namespace tessaly::migrate
