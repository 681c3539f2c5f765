// The text of a saved query of an Access file, rebuilt from its rows in the
// file's query table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessaly::access {

// One row of an Access file's query table (MSysQueries), as the file holds it.
struct QueryRow {
  int32_t attribute = 0;                  // Attribute
  std::optional<std::string> expression;  // Expression, UTF-8
  int32_t flag = 0;                       // Flag (Null reads as 0)
  std::optional<std::string> name1;       // Name1
  std::optional<std::string> name2;       // Name2
  int32_t object_id = 0;                  // ObjectId
  std::string order;                      // Order: the binary column's raw bytes
};
// The Jet SQL text Access shows for the saved query whose rows these are
// (rows in any order), one clause a line as Access writes it. Throws
// tessaly::Error naming the query when its rows cannot make a statement.
std::string RebuildQuery(std::string_view name, std::span<const QueryRow> rows);

}  // namespace tessaly::access
