// Fuzz target of the Access file reader. An input that begins as an Access
// database does (the format's name at byte 4) is a file: it is read whole,
// every table's rows and the system tables of relationships and queries,
// through the reading process as the migration reads it. Any other input is
// the reading process's output: it is decoded as a list of tables and as a
// table's rows. The only expected answers are the rows and tessaly::Error;
// a crash, a sanitizer report, a hang or any other exception is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "access/AccessFile.h"
#include "tessaly/Error.h"

namespace {

using namespace tessaly;

bool LooksLikeAFile(const uint8_t* data, size_t size) {
  return size >= 19 && (std::memcmp(data + 4, "Standard Jet DB", 15) == 0 ||
                        std::memcmp(data + 4, "Standard ACE DB", 15) == 0);
}

void ReadFile(const uint8_t* data, size_t size) {
  // The file lives in memory; the reading process opens it by its
  // descriptor's name.
  const int fd = memfd_create("access_fuzz", 0);
  if (fd < 0) std::abort();
  if (write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    access::AccessFile file(path, std::chrono::milliseconds(2000));
    std::vector<db::Variant> row;
    for (const migrate::Table& table : file.Tables()) {
      auto rows = file.Rows(table);
      while (rows->Next(&row)) {
        if (row.size() != table.fields.size()) std::abort();
      }
    }
    file.Relationships();
    file.QueryRows();
    file.QueryNames();
  } catch (const Error&) {
  }
  close(fd);
}

void ReadStream(const uint8_t* data, size_t size) {
  auto reader = [&](size_t& at) {
    return access::wire::Reader([data, size, &at](char* out, size_t n) {
      const size_t k = std::min(n, size - at);
      std::memcpy(out, data + at, k);
      at += k;
      return k;
    });
  };
  size_t at = 0;
  try {
    auto in = reader(at);
    access::ReadCatalog(in, "fuzz.mdb");
  } catch (const access::wire::Broken&) {
  } catch (const Error&) {
  }
  at = 0;
  try {
    auto in = reader(at);
    const size_t columns = size > 0 ? data[0] % 8 : 0;
    access::RowDecoder rows(in, "fuzz.mdb", "T", columns);
    std::vector<db::Variant> row;
    while (rows.Next(&row)) {
      if (row.size() != columns) std::abort();
    }
  } catch (const access::wire::Broken&) {
  } catch (const Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (LooksLikeAFile(data, size)) {
    ReadFile(data, size);
  } else {
    ReadStream(data, size);
  }
  return 0;
}
