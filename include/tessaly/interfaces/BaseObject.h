// The base object every record class delegates to: it holds the connection
// and the recordset the object works on, and answers the cursor questions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tessaly/db/Handles.h"

namespace tessaly {

class BaseObject {
 public:
  void HConnect(std::shared_ptr<db::Connection> value) { connection_ = std::move(value); }
  const std::shared_ptr<db::Connection>& HConnect() const { return connection_; }
  void HRecordset(std::shared_ptr<db::Recordset> value) { recordset_ = std::move(value); }
  const std::shared_ptr<db::Recordset>& HRecordset() const { return recordset_; }

  // The stored recordset's RecordCount; 0 when it holds none or it is closed.
  int32_t HRecordCount() const;
  // The stored recordset's BOF and EOF; both true when it holds none or it is
  // closed (there is no row to stand on).
  bool ISBOF() const;
  bool ISEOF() const;
  // True when no recordset is stored.
  bool IsNothing() const { return recordset_ == nullptr; }

  // Each move answers True when the recordset now stands on a row. A move that
  // has nowhere to go (no recordset, a closed one, MoveNext at EOF,
  // MovePrevious at BOF, an empty result) answers False and raises nothing.
  bool MoveFirst();
  bool MoveLast();
  bool MoveNext();
  bool MovePrevious();

  // The row the recordset stands on, its values' texts joined by tabs; empty
  // when it stands on no row.
  std::string GetClipString() const;

 private:
  bool OnRow() const;
  bool Usable() const;
  bool Empty() const;

  std::shared_ptr<db::Connection> connection_;
  std::shared_ptr<db::Recordset> recordset_;
};

}  // namespace tessaly
