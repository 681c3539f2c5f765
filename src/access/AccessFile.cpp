#include "access/AccessFile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

#include "tessaly/Error.h"

namespace tessaly::access {
namespace {

using migrate::Field;
using migrate::FieldType;

[[noreturn]] void Fail(const std::string& file, const std::string& what) {
  throw Error(errnum::kFail, "Cannot read '" + file + "': " + what + ".");
}

// One request answered by a reading process of its own.
class Child {
 public:
  Child(const std::string& path, const std::string& table, std::chrono::milliseconds silence,
        ReadPart read)
      : path_(path), table_(table), silence_(silence), read_(read) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) Fail(path, std::string("no pipe: ") + std::strerror(errno));
    pid_ = fork();
    if (pid_ < 0) {
      close(fds[0]);
      close(fds[1]);
      Fail(path, std::string("no reading process: ") + std::strerror(errno));
    }
    if (pid_ == 0) Serve(fds[1]);
    close(fds[1]);
    fd_ = fds[0];
  }
  ~Child() {
    if (fd_ >= 0) close(fd_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      int status;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reads up to n bytes of the answer; 0 at its end. A process that stays
  // silent too long is stopped, and one that died says how.
  size_t Fill(char* out, size_t n) {
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      const int ready = poll(&p, 1, static_cast<int>(silence_.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        Reap(true);
        Fail(path_, What() + ": reading it stopped making progress (the file's pages may loop)");
      }
      const ssize_t got = read(fd_, out, n);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) Fail(path_, What() + ": " + std::strerror(errno));
      if (got == 0) {
        const int status = Reap(false);
        if (WIFSIGNALED(status)) {
          Fail(path_, What() + ": the file is damaged (reading it ended with signal " +
                          std::to_string(WTERMSIG(status)) + ")");
        }
      }
      return static_cast<size_t>(got);
    }
  }

  std::string What() const { return table_.empty() ? "the list of tables" : "table '" + table_ + "'"; }

 private:
  // In the reading process: bounded in memory and time, its messages to
  // standard error dropped (the answer says what failed), ended without
  // running the host's exit handlers.
  [[noreturn]] void Serve(int out) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDERR_FILENO);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__has_feature)
    const rlimit memory{kMemoryLimit, kMemoryLimit};
    setrlimit(RLIMIT_AS, &memory);
#elif defined(__has_feature)
#if !__has_feature(address_sanitizer)
    const rlimit memory{kMemoryLimit, kMemoryLimit};
    setrlimit(RLIMIT_AS, &memory);
#endif
#endif
    wire::Writer writer([out](std::string_view block) {
      while (!block.empty()) {
        const ssize_t put = write(out, block.data(), block.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) _exit(3);
        block.remove_prefix(static_cast<size_t>(put));
      }
    });
    read_(path_, table_, writer);
    _exit(0);
  }

  int Reap(bool stop) {
    if (stop) kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

  static constexpr rlim_t kMemoryLimit = rlim_t{4} << 30;
  std::string path_, table_;
  std::chrono::milliseconds silence_;
  ReadPart read_;
  pid_t pid_ = -1;
  int fd_ = -1;
};

// Reads what a stream says failed, as the library's error.
[[noreturn]] void Reported(wire::Reader& in, const std::string& file) {
  Fail(file, in.Text(4096));
}

std::string TextOf(const db::Variant& v) {
  const std::string* s = v.AsString();
  return s != nullptr ? *s : std::string();
}

int32_t LongOf(const db::Variant& v) {
  switch (v.Type()) {
    case db::VarType::kByte:
    case db::VarType::kInteger:
    case db::VarType::kLong: return v.ToLong();
    default: return 0;
  }
}

class FileRows : public migrate::RowReader {
 public:
  FileRows(const std::string& path, const migrate::Table& table, std::chrono::milliseconds silence,
           ReadPart read)
      : child_(path, table.name, silence, read),
        in_([this](char* out, size_t n) { return child_.Fill(out, n); }),
        rows_(in_, path, table.name, table.fields.size()), path_(path) {}

  bool Next(std::vector<db::Variant>* row) override {
    try {
      if (rows_.Next(row)) return true;
      if (rows_.missing()) Fail(path_, child_.What() + " is not in the file");
      return false;
    } catch (const wire::Broken& b) {
      Fail(path_, child_.What() + ": " + b.what());
    }
  }

 private:
  Child child_;
  wire::Reader in_;
  RowDecoder rows_;
  std::string path_;
};

}  // namespace

Catalog ReadCatalog(wire::Reader& in, const std::string& file) {
  Catalog catalog;
  for (;;) {
    const uint8_t kind = in.Byte();
    if (kind == wire::kEnd) {
      in.I64();
      return catalog;
    }
    if (kind == wire::kFailure) Reported(in, file);
    if (kind != wire::kTable) throw wire::Broken("a message of an unknown kind");
    migrate::Table t;
    const bool system = in.Byte() != 0;
    t.name = in.Text(1024);
    t.rows = in.I64();
    t.next_autonumber = in.I64();
    const uint32_t fields = in.Count();
    for (uint32_t i = 0; i < fields; ++i) {
      Field& f = t.fields.emplace_back();
      f.name = in.Text(1024);
      f.type = static_cast<FieldType>(in.Byte());
      f.size = static_cast<int>(std::min<uint32_t>(in.U32(), 1u << 20));
      f.autonumber = in.Byte() != 0;
      f.precision = in.Byte();
      f.scale = in.Byte();
    }
    const uint32_t indexes = in.Count();
    for (uint32_t i = 0; i < indexes; ++i) {
      migrate::Index& x = t.indexes.emplace_back();
      x.name = in.Text(1024);
      x.primary = in.Byte() != 0;
      x.unique = in.Byte() != 0 || x.primary;
      const uint32_t keys = in.Count();
      for (uint32_t k = 0; k < keys; ++k) {
        x.columns.push_back(in.Text(1024));
        x.descending.push_back(in.Byte() != 0);
      }
    }
    (system ? catalog.system : catalog.tables).push_back(std::move(t));
  }
}

bool RowDecoder::Next(std::vector<db::Variant>* row) {
  if (done_) return false;
  const uint8_t kind = in_.Byte();
  if (kind == wire::kRow) {
    row->resize(columns_);
    for (db::Variant& v : *row) in_.Value(&v);
    ++rows_;
    return true;
  }
  if (kind == wire::kFailure) Reported(in_, file_);
  done_ = true;
  if (kind == wire::kNotFound) {
    missing_ = true;
    return false;
  }
  if (kind != wire::kEnd) throw wire::Broken("a message of an unknown kind in table '" + table_ + "'");
  if (in_.I64() != rows_) throw wire::Broken("a count that is not the rows'");
  return false;
}

AccessFile::AccessFile(std::string path, std::chrono::milliseconds silence, ReadPart read)
    : path_(std::move(path)), silence_(silence), read_(read) {
  // Only a regular file: a pipe or a device would hold the reading forever.
  struct stat st{};
  if (stat(path_.c_str(), &st) != 0) Fail(path_, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) Fail(path_, "it is no regular file");
  std::ifstream in(path_, std::ios::binary);
  if (!in) Fail(path_, "the file cannot be opened");
  char head[32] = {};
  in.read(head, sizeof head);
  // Every Jet and ACE database begins with its format's name at byte 4.
  if (in.gcount() < 32 || (std::memcmp(head + 4, "Standard Jet DB", 15) != 0 &&
                           std::memcmp(head + 4, "Standard ACE DB", 15) != 0)) {
    Fail(path_, "it is no Access database (.mdb or .accdb)");
  }
}

const Catalog& AccessFile::Read() {
  if (!catalog_) {
    Child child(path_, "", silence_, read_);
    wire::Reader in([&child](char* out, size_t n) { return child.Fill(out, n); });
    try {
      catalog_ = ReadCatalog(in, path_);
    } catch (const wire::Broken& b) {
      Fail(path_, child.What() + ": " + b.what());
    }
  }
  return *catalog_;
}

std::vector<migrate::Table> AccessFile::Tables() { return Read().tables; }

std::unique_ptr<migrate::RowReader> AccessFile::Rows(const migrate::Table& table) {
  return std::make_unique<FileRows>(path_, table, silence_, read_);
}

std::vector<std::map<std::string, db::Variant>> AccessFile::SystemRows(const std::string& name) {
  std::vector<std::map<std::string, db::Variant>> rows;
  for (const migrate::Table& table : Read().system) {
    if (table.name != name) continue;
    FileRows reader(path_, table, silence_, read_);
    std::vector<db::Variant> values;
    while (reader.Next(&values)) {
      auto& row = rows.emplace_back();
      for (size_t i = 0; i < values.size(); ++i) row[table.fields[i].name] = std::move(values[i]);
    }
  }
  return rows;
}

std::vector<migrate::Relationship> AccessFile::Relationships() {
  // One row per pair of columns; the rows of one relationship share its name
  // and are numbered by ccolumn... in the order of icolumn.
  std::map<std::string, migrate::Relationship> by_name;
  std::map<std::string, std::map<int32_t, std::pair<std::string, std::string>>> columns;
  for (auto& row : SystemRows("MSysRelationships")) {
    const std::string name = TextOf(row["szRelationship"]);
    migrate::Relationship& r = by_name[name];
    r.name = name;
    r.table = TextOf(row["szObject"]);
    r.referenced = TextOf(row["szReferencedObject"]);
    const int32_t grbit = LongOf(row["grbit"]);
    r.cascade_update = (grbit & 0x100) != 0;
    r.cascade_delete = (grbit & 0x1000) != 0;
    // A relationship that is not enforced refers to nothing the database
    // keeps; it is made as no reference.
    if ((grbit & 0x2) != 0) r.name.clear();
    columns[name][LongOf(row["icolumn"])] = {TextOf(row["szColumn"]),
                                             TextOf(row["szReferencedColumn"])};
  }
  std::vector<migrate::Relationship> out;
  for (auto& [name, r] : by_name) {
    if (r.name.empty()) continue;
    for (auto& [i, pair] : columns[name]) {
      r.columns.push_back(pair.first);
      r.referenced_columns.push_back(pair.second);
    }
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<QueryRow> AccessFile::QueryRows() {
  std::vector<QueryRow> out;
  for (auto& row : SystemRows("MSysQueries")) {
    QueryRow& q = out.emplace_back();
    q.attribute = LongOf(row["Attribute"]);
    if (!row["Expression"].IsNull()) q.expression = TextOf(row["Expression"]);
    q.flag = LongOf(row["Flag"]);
    if (!row["Name1"].IsNull()) q.name1 = TextOf(row["Name1"]);
    if (!row["Name2"].IsNull()) q.name2 = TextOf(row["Name2"]);
    q.object_id = LongOf(row["ObjectId"]);
    q.order = TextOf(row["Order"]);
  }
  return out;
}

std::vector<std::pair<int32_t, std::string>> AccessFile::QueryNames() {
  std::vector<std::pair<int32_t, std::string>> out;
  for (auto& row : SystemRows("MSysObjects")) {
    // Type 5 is a saved query.
    if (LongOf(row["Type"]) == 5) out.emplace_back(LongOf(row["Id"]), TextOf(row["Name"]));
  }
  return out;
}

}  // namespace tessaly::access
