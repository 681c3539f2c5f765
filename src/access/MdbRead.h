// The part of the Access file reader that runs in the reading process: it
// alone calls the file library, and writes what it reads as a wire stream.
#pragma once

#include <string>

#include "access/Wire.h"

namespace tessaly::access {

// Writes to out the user tables of the Access file at path (a kTable message
// each, then kEnd), or, when table is not empty, that table's rows (kRow
// messages, then kEnd with their count; kNotFound when there is no such
// table). A failure is a kFailure message naming the object being read.
// The rows of a table are capped at the file's size in bytes: a row takes
// room in the file, so more rows mean the file's pages loop.
void WriteAccessFile(const std::string& path, const std::string& table, wire::Writer& out);

}  // namespace tessaly::access
