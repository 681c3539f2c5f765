// Rows of a query, walked with a cursor, as the host's recordset offered them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "tessaly/db/Variant.h"

namespace tessaly::db {

class Connection;
class Field;
class Recordset;

namespace internal {
struct ResultData;
struct Cursor;  // one opening of a recordset: its rows and the row it stands on
struct Cell;
// The library's own readers (the listings) take a field's cell as the engine
// gave it, without making a Variant; raises as Field::Value does.
Cell CellOf(const Field& field);
// Opens rs as a keyset cursor whose rows come from the engine as it moves
// ahead, as a forward-only cursor's do, so a reader that walks to the end
// holds one row at a time. To the host it is a keyset cursor in every way:
// RecordCount at the end is the count of the rows passed, and the first
// count asked before the end, or the first move back, runs the statement
// again and holds its rows (standing where the cursor stood). Raises as Open.
void OpenStreamed(Recordset& rs, std::string_view source, std::shared_ptr<Connection> connection);
}  // namespace internal

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
// when it is called; it raises 3704 once the recordset is closed (or
// destroyed) and 3021 when the recordset stands on no row. A field shares the
// recordset's rows, so it never dangles.
class Field {
 public:
  const std::string& Name() const;
  Variant Value() const;
  // The value without a copy; valid until the recordset moves or closes.
  const Variant& ValueRef() const;

 private:
  friend class Fields;
  friend internal::Cell internal::CellOf(const Field& field);
  Field(std::shared_ptr<const internal::Cursor> cursor, size_t index)
      : cursor_(std::move(cursor)), index_(index) {}
  std::shared_ptr<const internal::Cursor> cursor_;
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
  explicit Fields(std::shared_ptr<const internal::Cursor> cursor) : cursor_(std::move(cursor)) {}
  std::shared_ptr<const internal::Cursor> cursor_;
};

// A recordset: closed until Open. A keyset, dynamic or static cursor holds
// every row of the result, so RecordCount is exact and the cursor moves both
// ways. A forward-only cursor (RecordCount -1) reads the rows from the engine
// as it moves and holds only the current one, so a result of any size walks in
// constant memory; it holds the engine's read of the database until it reaches
// EOF or closes. Stands on the first row after Open; IsBOF and IsEOF are both
// true on an empty result. Every member but Open, State and Close raises 3704
// on a closed recordset.
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
  int32_t State() const;

  int32_t RecordCount() const;
  bool IsEOF() const;
  bool IsBOF() const;
  // As the host's recordset moved: MoveNext raises 3021 at EOF, MovePrevious
  // at BOF, and every move raises 3021 on an empty result; MoveFirst and
  // MoveLast work from BOF or EOF when there are rows. On a forward-only
  // cursor MovePrevious and MoveLast raise 3251, and MoveFirst runs the
  // statement again. RecordCount and the moves other than MoveNext may run
  // the statement of a streamed keyset cursor again (internal::OpenStreamed)
  // and raise its error, the cursor then standing as before.
  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();

  db::Fields Fields() const;

  // The connection the recordset was opened on, or null.
  const std::shared_ptr<Connection>& ActiveConnection() const { return connection_; }

 private:
  friend void internal::OpenStreamed(Recordset&, std::string_view, std::shared_ptr<Connection>);
  void OpenAs(std::string_view source, std::shared_ptr<Connection> connection,
              CursorTypeEnum cursor, bool streamed);
  internal::Cursor& OpenCursor() const;  // 3704 when closed
  // The open cursor holding its rows; 3251 on a forward-only one.
  internal::Cursor& HeldCursor() const;

  std::shared_ptr<Connection> connection_;
  // Null while closed. Each Open makes a new one and Close empties it, so a
  // field read from an earlier opening raises 3704 instead of reading new rows.
  std::shared_ptr<internal::Cursor> cursor_;
};

}  // namespace tessaly::db
