// The connection and recordset as late-bound objects, so a host that is not
// C++ can open a database, hand it to HConnect and read what
// ExeSearchWithRecord and HRecordset give back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tessaly/db/Handles.h"
#include "tessaly/db/Variant.h"

namespace tessaly::server {

struct Binding;
struct ClassInfo;

struct ConnectionHost {
  std::shared_ptr<db::Connection> connection;

  int32_t Execute(std::string Sql);  // the rows the statement touched
  void CreateSchema();
  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();
};

struct RecordsetHost {
  std::shared_ptr<db::Recordset> recordset;

  int32_t RecordCount() const;
  bool IsEOF() const;
  bool IsBOF() const;
  int32_t State() const;
  int32_t FieldCount() const;
  std::string FieldName(int32_t Index);
  // The current row's value of a column by name, or by number from 0.
  db::Variant Value(db::Variant Index);
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();
  void Close();
};

const Binding& BindingOf(const ClassInfo& cls);
const Binding& ConnectionBinding();
const Binding& RecordsetBinding();

}  // namespace tessaly::server
