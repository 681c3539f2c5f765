#include "tessaly/db/Recordset.h"

#include <limits>
#include <utility>
#include <vector>

#include "db/Backend.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"

namespace tessaly::db {
namespace internal {

// One opening of a recordset. Fields share it with the recordset; Close (or
// the recordset's end) drops the rows, and from then on every field raises
// 3704.
struct Cursor {
  std::shared_ptr<const ResultData> data;  // null once closed
  CursorTypeEnum type = adOpenForwardOnly;
  // The row the cursor stands on: -1 is BOF, row_count is EOF (an empty
  // result is both).
  int64_t position = 0;
  // The values of the current row made so far, one slot per column, and the
  // row each slot was made for. The rows are held compactly and a value is
  // made when a field first reads it on a row, so a reference from ValueRef
  // stays good until the cursor moves to another row (or closes).
  mutable std::vector<Variant> values;
  mutable std::vector<int64_t> made_for;

  int64_t rows() const { return static_cast<int64_t>(data->row_count); }
  bool IsBOF() const { return position < 0 || data->row_count == 0; }
  bool IsEOF() const { return position >= rows(); }
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

bool SameIgnoringAsciiCase(std::string_view name, const std::string& folded) {
  if (name.size() != folded.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != folded[i]) return false;
  }
  return true;
}

// Drops an opening's rows and the values made from them; fields still holding
// the cursor see it closed.
void Release(Cursor& c) {
  c.data.reset();
  c.values = {};
  c.made_for = {};
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
  const ResultData& d = *c.data;
  return d.cells.cell(static_cast<size_t>(c.position) * d.names.size() + index);
}

}  // namespace

// A copy needs no slot in the row's values: it is made straight from the cell.
Variant Field::Value() const { return CurrentCell(Opened(cursor_), index_).ToVariant(); }

const Variant& Field::ValueRef() const {
  const Cursor& c = Opened(cursor_);
  const internal::Cell cell = CurrentCell(c, index_);
  if (c.made_for[index_] != c.position) {
    c.values[index_] = cell.ToVariant();
    c.made_for[index_] = c.position;
  }
  return c.values[index_];
}

// --- Fields -----------------------------------------------------------------

int32_t Fields::Count() const { return static_cast<int32_t>(Opened(cursor_).data->names.size()); }

int32_t Fields::IndexOf(std::string_view name) const {
  const std::vector<std::string>& folded = Opened(cursor_).data->folded_names;
  for (size_t i = 0; i < folded.size(); ++i) {
    if (SameIgnoringAsciiCase(name, folded[i])) return static_cast<int32_t>(i);
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
  if (cursor_) throw Error::Runtime(errnum::kObjectOpen);
  if (!connection) throw Error::Runtime(errnum::kInvalidConnection);
  auto data = std::make_shared<ResultData>();
  connection->Run(source, data.get());
  connection_ = std::move(connection);
  if (data->names.empty()) return;  // no columns: the statement ran, nothing to walk
  auto opened = std::make_shared<Cursor>();
  opened->values.resize(data->names.size());
  opened->made_for.assign(data->names.size(), std::numeric_limits<int64_t>::min());
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

int32_t Recordset::RecordCount() const {
  const Cursor& c = OpenCursor();
  if (c.type == adOpenForwardOnly) return -1;
  return static_cast<int32_t>(c.data->row_count);
}

bool Recordset::IsEOF() const { return OpenCursor().IsEOF(); }
bool Recordset::IsBOF() const { return OpenCursor().IsBOF(); }

void Recordset::MoveNext() {
  Cursor& c = OpenCursor();
  if (c.IsEOF()) throw Error::Runtime(errnum::kNoCurrentRecord);
  ++c.position;
}

void Recordset::MovePrevious() {
  Cursor& c = OpenCursor();
  if (c.IsBOF()) throw Error::Runtime(errnum::kNoCurrentRecord);
  --c.position;
}

void Recordset::MoveFirst() {
  Cursor& c = OpenCursor();
  if (c.rows() == 0) throw Error::Runtime(errnum::kNoCurrentRecord);
  c.position = 0;
}

void Recordset::MoveLast() {
  Cursor& c = OpenCursor();
  if (c.rows() == 0) throw Error::Runtime(errnum::kNoCurrentRecord);
  c.position = c.rows() - 1;
}

db::Fields Recordset::Fields() const {
  OpenCursor();
  return db::Fields(cursor_);
}

}  // namespace tessaly::db
