#include "access/MdbRead.h"

// The file library's header declares glib's types inside its extern "C"
// block; glib must come first for C++.
#include <glib.h>
#include <mdbtools.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "tessaly/db/Variant.h"

namespace tessaly::access {
namespace {

// The longest memo a row may hold; a longer one fails the read rather than
// being cut. Each text column of a table gets a buffer of this size.
constexpr size_t kBindSize = 1 << 20;
// Room for the text form of a fixed-size value.
constexpr size_t kFixedText = 1024;

struct Failure {
  std::string what;
};

struct HandleCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableCloser {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

MdbColumn* ColumnAt(MdbTableDef* table, unsigned i) {
  return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
}

std::unique_ptr<MdbHandle, HandleCloser> Open(const std::string& path) {
  std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!mdb) throw Failure{"the file is no Access database the reader knows"};
  mdb_set_bind_size(mdb.get(), kBindSize);
  mdb_set_boolean_fmt_numbers(mdb.get());
  if (mdb_read_catalog(mdb.get(), MDB_ANY) == nullptr) {
    throw Failure{"the list of objects cannot be read"};
  }
  return mdb;
}

std::unique_ptr<MdbTableDef, TableCloser> ReadTable(MdbCatalogEntry* entry) {
  std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(entry));
  if (!table) throw Failure{std::string("table '") + entry->object_name + "': its definition cannot be read"};
  if (mdb_read_columns(table.get()) == nullptr || table->columns == nullptr ||
      table->columns->len != table->num_cols) {
    throw Failure{std::string("table '") + entry->object_name + "': its fields cannot be read"};
  }
  return table;
}

// The last number the table's AutoNumber gave, kept in its definition page.
int64_t LastAutoNumber(MdbHandle* mdb, MdbCatalogEntry* entry) {
  if (mdb_read_pg(mdb, entry->table_pg) <= 0) return 0;
  const int offset = mdb->f->jet_version == 0 ? 16 : 20;  // Jet 3 keeps it earlier
  return static_cast<uint32_t>(mdb_get_int32(mdb->pg_buf, offset));
}

void WriteTable(MdbHandle* mdb, MdbCatalogEntry* entry, wire::Writer& out) {
  auto table = ReadTable(entry);
  const int64_t last_auto = LastAutoNumber(mdb, entry);
  // The system tables' indexes are of no use here (and the library does not
  // read all of them).
  // Access names its own tables MSys...; some it does not flag as system.
  const bool system =
      !mdb_is_user_table(entry) || std::string_view(entry->object_name).starts_with("MSys");
  if (!system && table->num_idxs != 0 &&
      (mdb_read_indices(table.get()), table->indices == nullptr)) {
    throw Failure{std::string("table '") + entry->object_name + "': its indexes cannot be read"};
  }
  // Jet 4 counts a text field's size in bytes of its two-byte characters.
  const int text_unit = mdb->f->jet_version == 0 ? 1 : 2;
  out.Byte(wire::kTable);
  out.Byte(system ? 1 : 0);
  out.Text(entry->object_name);
  out.I64(table->num_rows);
  out.I64(last_auto + 1);
  out.U32(table->num_cols);
  for (unsigned i = 0; i < table->num_cols; ++i) {
    MdbColumn* col = ColumnAt(table.get(), i);
    out.Text(col->name);
    out.Byte(static_cast<uint8_t>(col->col_type));
    // A Text field's size in characters, a Binary one's in bytes.
    out.U32(col->col_type == MDB_TEXT     ? static_cast<uint32_t>(col->col_size / text_unit)
            : col->col_type == MDB_BINARY ? static_cast<uint32_t>(col->col_size)
                                          : 0);
    out.Byte(col->is_long_auto ? 1 : 0);
    // The library reads a Decimal's precision into col_scale and its scale
    // into col_prec.
    out.Byte(static_cast<uint8_t>(col->col_scale));
    out.Byte(static_cast<uint8_t>(col->col_prec));
  }
  // Indexes of a relationship's foreign side (type 2) belong to the
  // relationship, not to the table's own indexes.
  std::vector<MdbIndex*> indexes;
  for (unsigned i = 0; !system && table->indices != nullptr && i < table->indices->len; ++i) {
    auto* index = static_cast<MdbIndex*>(g_ptr_array_index(table->indices, i));
    if (index->index_type != 2) indexes.push_back(index);
  }
  out.U32(static_cast<uint32_t>(indexes.size()));
  for (MdbIndex* index : indexes) {
    out.Text(index->name);
    out.Byte(index->index_type == 1 ? 1 : 0);
    out.Byte((index->flags & MDB_IDX_UNIQUE) != 0 ? 1 : 0);
    const unsigned keys = std::min<unsigned>(index->num_keys, MDB_MAX_IDX_COLS);
    out.U32(keys);
    for (unsigned k = 0; k < keys; ++k) {
      const int number = index->key_col_num[k];  // counted from 1
      if (number < 1 || static_cast<unsigned>(number) > table->num_cols) {
        throw Failure{std::string("table '") + entry->object_name + "': index '" + index->name +
                      "' names a field the table lacks"};
      }
      out.Text(ColumnAt(table.get(), number - 1)->name);
      out.Byte(index->key_col_order[k] == MDB_DESC ? 1 : 0);
    }
  }
  out.Flush();
}

// A fixed-size value of the current row, read from the page the library
// stands on; its place is checked against the page first.
const unsigned char* FixedValue(MdbHandle* mdb, MdbColumn* col, int size, const char* table) {
  if (col->cur_value_len != size || col->cur_value_start < 0 ||
      static_cast<size_t>(col->cur_value_start) + size > static_cast<size_t>(mdb->fmt->pg_size) ||
      mdb->fmt->pg_size > MDB_PGSIZE) {
    throw Failure{std::string("table '") + table + "': field '" + col->name +
                  "' has a value of the wrong size"};
  }
  return mdb->pg_buf + col->cur_value_start;
}

template <class T>
T Get(const unsigned char* at) {
  T v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

// The OLE objects of the row the library stands on, into ole (the others'
// entries left empty). An object longer than its row is kept on pages of
// its own, which the library reads through the page buffer the row's other
// values are read from: the row's page is kept aside and put back after.
void ReadOle(MdbHandle* mdb, MdbTableDef* table, std::vector<std::unique_ptr<char[]>>& binds,
             std::unique_ptr<unsigned char[]>& page, std::vector<std::string>& ole,
             const char* name) {
  if (!page) page = std::make_unique_for_overwrite<unsigned char[]>(MDB_PGSIZE);
  std::memcpy(page.get(), mdb->pg_buf, MDB_PGSIZE);
  for (unsigned i = 0; i < table->num_cols; ++i) {
    MdbColumn* col = ColumnAt(table, i);
    ole[i].clear();
    if (col->col_type != MDB_OLE || (col->cur_value_start == 0 && col->cur_value_len == 0)) continue;
    // The library reads the object from where its first 12 bytes (its
    // length and where it lies) say, which it takes from the bind buffer.
    if (col->cur_value_len < MDB_MEMO_OVERHEAD) {
      throw Failure{std::string("table '") + name + "': field '" + col->name +
                    "' has a value of the wrong size"};
    }
    const unsigned char* head = FixedValue(mdb, col, col->cur_value_len, name);
    // Its length, in the low 30 bits of the first four: an empty object is
    // not looked for, and one longer than any the library takes is refused
    // before a byte of it is read.
    const uint32_t declared = static_cast<uint32_t>(head[0]) | static_cast<uint32_t>(head[1]) << 8 |
                              static_cast<uint32_t>(head[2]) << 16 |
                              static_cast<uint32_t>(head[3] & 0x3f) << 24;
    if (declared == 0) continue;
    if (declared > wire::kMaxText) {
      throw Failure{std::string("table '") + name + "': field '" + col->name +
                    "' holds an OLE object longer than " + std::to_string(wire::kMaxText) + " bytes"};
    }
    std::memcpy(binds[i].get(), head, MDB_MEMO_OVERHEAD);
    size_t size = 0;
    void* bytes = mdb_ole_read_full(mdb, col, &size);
    std::memcpy(mdb->pg_buf, page.get(), MDB_PGSIZE);
    if (bytes == nullptr) {
      throw Failure{std::string("table '") + name + "': field '" + col->name +
                    "' holds an OLE object that cannot be read"};
    }
    std::unique_ptr<void, decltype(&std::free)> owned(bytes, &std::free);
    if (size > wire::kMaxText) {
      throw Failure{std::string("table '") + name + "': field '" + col->name +
                    "' holds an OLE object longer than " + std::to_string(wire::kMaxText) + " bytes"};
    }
    ole[i].assign(static_cast<const char*>(bytes), size);
  }
}

void WriteRows(MdbHandle* mdb, MdbCatalogEntry* entry, off_t file_size, wire::Writer& out) {
  auto table = ReadTable(entry);
  const char* name = entry->object_name;
  const unsigned n = table->num_cols;
  // Texts and memos come through the library's conversion to UTF-8 (which
  // undoes Unicode compression and follows memo pages); the rest is read raw.
  std::vector<std::unique_ptr<char[]>> texts(n);
  std::vector<int> lengths(n, 0);
  bool has_ole = false;
  std::vector<std::string> ole(n);  // the current row's OLE objects
  std::unique_ptr<unsigned char[]> page;
  for (unsigned i = 0; i < n; ++i) {
    MdbColumn* col = ColumnAt(table.get(), i);
    // Every field is bound, so that the library marks where its value lies
    // on the page; it writes a value's text form into the buffer, short for
    // the fixed-size types and up to the bind size for the others (OLE
    // objects and binary fields included, though they are not kept).
    const bool fixed = col->col_type == MDB_BOOL || col->col_type == MDB_BYTE ||
                       col->col_type == MDB_INT || col->col_type == MDB_LONGINT ||
                       col->col_type == MDB_MONEY || col->col_type == MDB_FLOAT ||
                       col->col_type == MDB_DOUBLE || col->col_type == MDB_DATETIME;
    has_ole |= col->col_type == MDB_OLE;
    texts[i] = std::make_unique_for_overwrite<char[]>(fixed ? kFixedText : kBindSize + 1);
    mdb_bind_column(table.get(), static_cast<int>(i + 1), texts[i].get(), &lengths[i]);
  }
  if (mdb_rewind_table(table.get()) != 0) throw Failure{std::string("table '") + name + "': its pages cannot be read"};
  int64_t rows = 0;
  while (mdb_fetch_row(table.get())) {
    if (++rows > static_cast<int64_t>(file_size)) {
      throw Failure{std::string("table '") + name + "': its pages repeat (more rows than the file has room for)"};
    }
    if (has_ole) ReadOle(mdb, table.get(), texts, page, ole, name);
    out.Byte(wire::kRow);
    for (unsigned i = 0; i < n; ++i) {
      MdbColumn* col = ColumnAt(table.get(), i);
      if (col->col_type == MDB_BOOL) {
        // A Yes/No field is never Null: the library writes it "1" or "0".
        out.Byte(wire::kBoolean);
        out.Byte(lengths[i] > 0 && texts[i][0] == '1' ? 1 : 0);
        continue;
      }
      // The library places a Null at 0 (no value starts inside the page's
      // header); an empty text has its place in the row.
      if (col->cur_value_start == 0 && col->cur_value_len == 0) {
        out.Byte(wire::kNull);
        continue;
      }
      switch (col->col_type) {
        case MDB_BYTE:
          out.Byte(wire::kByte);
          out.Byte(*FixedValue(mdb, col, 1, name));
          break;
        case MDB_INT:
          out.Byte(wire::kInteger);
          out.I64(Get<int16_t>(FixedValue(mdb, col, 2, name)));
          break;
        case MDB_LONGINT:
          out.Byte(wire::kLong);
          out.I64(Get<int32_t>(FixedValue(mdb, col, 4, name)));
          break;
        case MDB_FLOAT:
          out.Byte(wire::kSingle);
          out.F64(Get<float>(FixedValue(mdb, col, 4, name)));
          break;
        case MDB_DOUBLE:
        case MDB_DATETIME:  // the serial date number
          out.Byte(wire::kDouble);
          out.F64(Get<double>(FixedValue(mdb, col, 8, name)));
          break;
        case MDB_MONEY:  // a whole number of ten-thousandths, as a Currency is
          out.Byte(wire::kCurrency);
          out.I64(Get<int64_t>(FixedValue(mdb, col, 8, name)));
          break;
        case MDB_NUMERIC: {
          // The library writes a Decimal's digits with its scale's decimals.
          const std::string_view text(texts[i].get(), std::min<size_t>(std::max(lengths[i], 0), kBindSize));
          const std::optional<db::Decimal> value =
              text.size() <= wire::kMaxDecimalText ? db::Decimal::Parse(text) : std::nullopt;
          if (!value) {
            throw Failure{std::string("table '") + name + "': field '" + col->name +
                          "' holds no Decimal number"};
          }
          out.Byte(wire::kDecimal);
          out.Text(value->Text());
          break;
        }
        case MDB_OLE:
          out.Byte(wire::kBinary);
          out.Text(ole[i]);
          break;
        case MDB_TEXT:
        case MDB_MEMO:
        case MDB_REPID:
          if (static_cast<size_t>(lengths[i]) >= kBindSize) {
            throw Failure{std::string("table '") + name + "': field '" + col->name +
                          "' holds a text longer than " + std::to_string(kBindSize) + " bytes"};
          }
          out.Byte(wire::kText);
          out.Text(std::string_view(texts[i].get(), static_cast<size_t>(std::max(lengths[i], 0))));
          break;
        case MDB_BINARY: {
          // Kept inline on the row's page (at most 255 bytes): raw bytes.
          const int size = col->cur_value_len;
          if (size < 0 || size > 255) {
            throw Failure{std::string("table '") + name + "': field '" + col->name +
                          "' has a value of the wrong size"};
          }
          const unsigned char* at = FixedValue(mdb, col, size, name);
          out.Byte(wire::kBinary);
          out.Text(std::string_view(reinterpret_cast<const char*>(at), static_cast<size_t>(size)));
          break;
        }
        default:
          out.Byte(wire::kNone);
          break;
      }
    }
    out.Flush();
  }
  out.Byte(wire::kEnd);
  out.I64(rows);
}

MdbCatalogEntry* Find(MdbHandle* mdb, const std::string& name) {
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type == MDB_TABLE && name == entry->object_name) return entry;
  }
  return nullptr;
}

}  // namespace

void WriteAccessFile(const std::string& path, const std::string& table, wire::Writer& out) {
  try {
    struct stat st{};
    if (stat(path.c_str(), &st) != 0) throw Failure{"the file cannot be read"};
    auto mdb = Open(path);
    if (table.empty()) {
      for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        // Of the system tables only those the migration reads.
        if (entry->object_type != MDB_TABLE) continue;
        const std::string_view name = entry->object_name;
        if (mdb_is_user_table(entry) || name == "MSysRelationships" || name == "MSysQueries" ||
            name == "MSysObjects") {
          WriteTable(mdb.get(), entry, out);
        }
      }
      out.Byte(wire::kEnd);
      out.I64(0);
    } else if (MdbCatalogEntry* entry = Find(mdb.get(), table)) {
      WriteRows(mdb.get(), entry, st.st_size, out);
    } else {
      out.Byte(wire::kNotFound);
    }
  } catch (const Failure& f) {
    out.Byte(wire::kFailure);
    out.Text(f.what);
  }
  out.Flush(true);
}

}  // namespace tessaly::access
