#include "tessaly/db/Recordset.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "db/Backend.h"
#include "db/Rules.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"

namespace tessaly::db {
namespace internal {

// One opening of a recordset. Fields share it with the recordset; Close (or
// the recordset's end) drops the rows, and from then on every field raises
// 3704. A forward-only opening holds a stream that stands on one row; the
// others hold every row, except a streamed keyset one (OpenStreamed), which
// streams until the host asks for what only held rows can answer.
struct Cursor {
  std::shared_ptr<ResultData> data;   // null once closed; no cells when streamed
  std::unique_ptr<RowStream> stream;  // the rows of a forward-only or streamed opening
  CursorTypeEnum type = adOpenForwardOnly;
  std::string source;  // a streamed keyset opening's statement, run again to hold its rows
  // The row the cursor stands on: -1 is BOF, the number of rows is EOF (an
  // empty result is both). A stream counts the rows it has passed.
  int64_t position = 0;
  // Counts the moves, so a value made on one row is never taken for another's
  // (a stream that starts again comes back to position 0 on new values).
  int64_t move = 0;
  // The values of the current row made so far, one slot per column, and the
  // move each slot was made at. The rows are held compactly and a value is
  // made when a field first reads it on a row, so a reference from ValueRef
  // stays good until the cursor moves to another row (or closes).
  mutable std::vector<Variant> values;
  mutable std::vector<int64_t> made_at;

  bool Empty() const { return stream ? stream->AtEnd() && position == 0 : data->row_count == 0; }
  int64_t rows() const { return static_cast<int64_t>(data->row_count); }
  bool IsBOF() const { return position < 0 || Empty(); }
  bool IsEOF() const { return stream ? stream->AtEnd() : position >= rows(); }
  // A keyset opening still reading from its stream.
  bool Streamed() const { return stream && type != adOpenForwardOnly; }
  // The cell of a column on the current row; the caller checked BOF and EOF.
  Cell cell(size_t column) const {
    if (stream) return stream->cell(column);
    return data->cells.cell(static_cast<size_t>(position) * data->names.size() + column);
  }
};

}  // namespace internal

namespace {

using internal::Cursor;
using internal::ResultData;

// The open cursor behind a field or the fields collection.
const Cursor& Opened(const std::shared_ptr<const Cursor>& cursor) {
  if (!cursor || !cursor->data) throw Error::Runtime(errnum::kObjectClosed);
  return *cursor;
}

// Drops an opening's rows and the values made from them; fields still holding
// the cursor see it closed.
void Release(Cursor& c) {
  c.stream.reset();
  c.data.reset();
  c.source = {};
  c.values = {};
  c.made_at = {};
}

// A streamed keyset opening comes to hold its rows, as one opened keyset
// would have from the start: the statement runs again and the cursor stands
// where it stood, past the last row when the stream had ended. The columns
// stay those of the opening, so a field or a name read from it stays good. On
// failure the opening streams on as before.
void Hold(Cursor& c, Connection& connection) {
  ResultData held;
  connection.Run(c.source, &held);
  // The statement names its columns; only a table changed meanwhile under a
  // "*" gives others, and those no field of this opening can read.
  if (held.names.size() != c.data->names.size()) {
    throw Error::Runtime(errnum::kFeatureNotAvailable);
  }
  const auto rows = static_cast<int64_t>(held.row_count);
  c.position = c.stream->AtEnd() ? rows : std::min(c.position, rows);
  c.data->cells = std::move(held.cells);
  c.data->row_count = held.row_count;
  c.stream.reset();
  c.source = {};
  ++c.move;
}

}  // namespace

// --- Field ------------------------------------------------------------------

const std::string& Field::Name() const {
  // index_ was checked against this opening's columns when the field was made.
  return Opened(cursor_).data->names[index_];
}

namespace {

// The cell of the field's column on the cursor's row; 3021 at BOF or EOF.
internal::Cell CurrentCell(const Cursor& c, size_t index) {
  if (c.IsBOF() || c.IsEOF()) throw Error::Runtime(errnum::kNoCurrentRecord);
  return c.cell(index);
}

}  // namespace

internal::Cell internal::CellOf(const Field& field) {
  return CurrentCell(Opened(field.cursor_), field.index_);
}

// A copy needs no slot in the row's values: it is made straight from the cell.
Variant Field::Value() const { return CurrentCell(Opened(cursor_), index_).ToVariant(); }

const Variant& Field::ValueRef() const {
  const Cursor& c = Opened(cursor_);
  const internal::Cell cell = CurrentCell(c, index_);
  if (c.made_at[index_] != c.move) {
    c.values[index_] = cell.ToVariant();
    c.made_at[index_] = c.move;
  }
  return c.values[index_];
}

// --- Fields -----------------------------------------------------------------

int32_t Fields::Count() const { return static_cast<int32_t>(Opened(cursor_).data->names.size()); }

int32_t Fields::IndexOf(std::string_view name) const {
  const std::vector<std::string>& names = Opened(cursor_).data->names;
  for (size_t i = 0; i < names.size(); ++i) {
    if (rules::EqualsNoCase(name, names[i])) return static_cast<int32_t>(i);
  }
  return -1;
}

Field Fields::Item(std::string_view name) const {
  const int32_t index = IndexOf(name);
  if (index < 0) throw Error::Runtime(errnum::kItemNotFound);
  return Field(cursor_, static_cast<size_t>(index));
}

Field Fields::Item(int32_t index) const {
  if (index < 0 || index >= Count()) throw Error::Runtime(errnum::kItemNotFound);
  return Field(cursor_, static_cast<size_t>(index));
}

// --- Recordset --------------------------------------------------------------

Recordset::Recordset() = default;

Recordset::~Recordset() {
  // Fields may outlive the recordset; they must see it closed, as they would
  // after Close.
  if (cursor_) Release(*cursor_);
}

void Recordset::Open(std::string_view source, std::shared_ptr<Connection> connection,
                     CursorTypeEnum cursor, LockTypeEnum /*lock*/, int32_t /*options*/) {
  // A forward-only cursor is read once, front to back: it steps the engine's
  // rows as it moves instead of holding them, so a result of any size walks
  // in constant memory. The others hold every row, for an exact count and
  // moves both ways.
  OpenAs(source, std::move(connection), cursor, cursor == adOpenForwardOnly);
}

void internal::OpenStreamed(Recordset& rs, std::string_view source,
                            std::shared_ptr<Connection> connection) {
  rs.OpenAs(source, std::move(connection), adOpenKeyset, true);
}

void Recordset::OpenAs(std::string_view source, std::shared_ptr<Connection> connection,
                       CursorTypeEnum cursor, bool streamed) {
  if (cursor_) throw Error::Runtime(errnum::kObjectOpen);
  if (!connection) throw Error::Runtime(errnum::kInvalidConnection);
  auto data = std::make_shared<ResultData>();
  auto opened = std::make_shared<Cursor>();
  if (streamed) {
    opened->stream = connection->Stream(source, data.get());
    if (cursor != adOpenForwardOnly) opened->source = source;
  } else {
    connection->Run(source, data.get());
  }
  connection_ = std::move(connection);
  if (data->names.empty()) return;  // no columns: the statement ran, nothing to walk
  opened->values.resize(data->names.size());
  opened->made_at.assign(data->names.size(), -1);
  opened->data = std::move(data);
  opened->type = cursor;
  cursor_ = std::move(opened);
}

void Recordset::Close() {
  Release(OpenCursor());
  cursor_.reset();
}

int32_t Recordset::State() const { return cursor_ ? 1 : 0; }

internal::Cursor& Recordset::OpenCursor() const {
  if (!cursor_) throw Error::Runtime(errnum::kObjectClosed);
  return *cursor_;
}

// A streamed keyset opening that is still reading, or going back, comes to
// hold its rows first; a forward-only one cannot (3251).
internal::Cursor& Recordset::HeldCursor() const {
  Cursor& c = OpenCursor();
  if (c.stream) {
    if (c.type == adOpenForwardOnly) throw Error::Runtime(errnum::kFeatureNotAvailable);
    Hold(c, *connection_);
  }
  return c;
}

int32_t Recordset::RecordCount() const {
  const Cursor& c = OpenCursor();
  if (c.type == adOpenForwardOnly) return -1;
  // A stream that has ended has passed every row and counted them.
  if (c.Streamed() && c.stream->AtEnd()) return static_cast<int32_t>(c.position);
  return static_cast<int32_t>(HeldCursor().rows());
}

bool Recordset::IsEOF() const { return OpenCursor().IsEOF(); }
bool Recordset::IsBOF() const { return OpenCursor().IsBOF(); }

// Every move counts, even one that stays on its row, so the values made on
// the row before are made again.
void Recordset::MoveNext() {
  Cursor& c = OpenCursor();
  if (c.IsEOF()) throw Error::Runtime(errnum::kNoCurrentRecord);
  if (c.stream) c.stream->Next();
  ++c.position;
  ++c.move;
}

void Recordset::MovePrevious() {
  if (OpenCursor().IsBOF()) throw Error::Runtime(errnum::kNoCurrentRecord);
  Cursor& c = HeldCursor();
  if (c.IsBOF()) throw Error::Runtime(errnum::kNoCurrentRecord);  // the rows went meanwhile
  --c.position;
  ++c.move;
}

void Recordset::MoveFirst() {
  Cursor& c = OpenCursor();
  if (c.Empty()) throw Error::Runtime(errnum::kNoCurrentRecord);
  if (c.stream && c.position != 0) {
    // A forward-only stream goes back by running its statement again, as the
    // host's forward-only recordset did; a keyset one holds its rows.
    if (c.type == adOpenForwardOnly) {
      c.stream->Restart();
    } else if (HeldCursor().Empty()) {
      throw Error::Runtime(errnum::kNoCurrentRecord);
    }
  }
  c.position = 0;
  ++c.move;
}

void Recordset::MoveLast() {
  if (OpenCursor().Empty()) throw Error::Runtime(errnum::kNoCurrentRecord);
  Cursor& c = HeldCursor();
  if (c.Empty()) throw Error::Runtime(errnum::kNoCurrentRecord);
  c.position = c.rows() - 1;
  ++c.move;
}

db::Fields Recordset::Fields() const {
  OpenCursor();
  return db::Fields(cursor_);
}

}  // namespace tessaly::db
