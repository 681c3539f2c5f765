// Rows of a query, walked with a cursor, as the host's recordset offered them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tessaly/db/Variant.h"

namespace tessaly::db {

class Connection;
class Recordset;

namespace internal {
struct ResultData;
}

enum CursorTypeEnum : int32_t {
  adOpenForwardOnly = 0,
  adOpenKeyset = 1,
  adOpenDynamic = 2,
  adOpenStatic = 3,
};

enum LockTypeEnum : int32_t {
  adLockReadOnly = 1,
  adLockPessimistic = 2,
  adLockOptimistic = 3,
  adLockBatchOptimistic = 4,
};

// One column of the recordset. Value() reads the row the recordset stands on
// when it is called; it raises 3704 on a closed recordset and 3021 when the
// recordset stands on no row.
class Field {
 public:
  const std::string& Name() const;
  Variant Value() const;
  // The value without a copy; valid until the recordset moves or closes.
  const Variant& ValueRef() const;

 private:
  friend class Fields;
  Field(const Recordset* rs, size_t index) : rs_(rs), index_(index) {}
  const Recordset* rs_;
  size_t index_;
};

// The columns of an open recordset. Names match without regard to case; an
// unknown name or ordinal raises 3265, a closed recordset 3704.
class Fields {
 public:
  int32_t Count() const;
  Field Item(std::string_view name) const;
  Field Item(int32_t index) const;
  // The ordinal of a name, or -1.
  int32_t IndexOf(std::string_view name) const;

 private:
  friend class Recordset;
  explicit Fields(const Recordset* rs) : rs_(rs) {}
  const Recordset* rs_;
};

// A recordset: closed until Open; then every row of the result is held in
// memory, so RecordCount is exact for keyset and static cursors (-1 for a
// forward-only one) and the cursor moves both ways. Stands on the first row
// after Open; IsBOF and IsEOF are both true on an empty result. Every member
// but Open, State and Close raises 3704 on a closed recordset.
class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Runs the Jet text on the connection and holds its rows. A statement that
  // returns no rows (an INSERT, say) runs and leaves the recordset closed.
  // Raises 3705 when already open, 3709 when connection is null, and the
  // provider's error when the statement fails (the recordset stays closed).
  void Open(std::string_view source, std::shared_ptr<Connection> connection,
            CursorTypeEnum cursor = adOpenForwardOnly, LockTypeEnum lock = adLockReadOnly,
            int32_t options = -1);
  void Close();  // 3704 when closed
  int32_t State() const { return data_ ? 1 : 0; }

  int32_t RecordCount() const;
  bool IsEOF() const;
  bool IsBOF() const;
  // 3021 when the move starts before the first or past the last row, and for
  // every move on an empty result. A forward-only cursor moves both ways too:
  // its rows are held like the others'.
  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();

  db::Fields Fields() const;

  // The connection the recordset was opened on, or null.
  const std::shared_ptr<Connection>& ActiveConnection() const { return connection_; }

 private:
  friend class Field;
  friend class tessaly::db::Fields;
  void CheckOpen() const;
  const Variant& Cell(size_t column) const;  // 3704 / 3021 checked

  std::shared_ptr<Connection> connection_;
  std::shared_ptr<const internal::ResultData> data_;
  CursorTypeEnum cursor_ = adOpenForwardOnly;
  // The row the cursor stands on: -1 is BOF, row_count is EOF.
  int64_t position_ = 0;
};

}  // namespace tessaly::db
