// The throw-away schemas the benchmarks fill on a server: each side of a
// comparison works in a schema of its own, emptied first.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "db/Backend.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Schema.h"

namespace {

// With TESSALY_PG_POOLED=1 the target is a pooler, which carries no options:
// the schema is reached as a role of its name ("$user" on the search path).
inline bool Pooled() {
  const char* pooled = std::getenv("TESSALY_PG_POOLED");
  return pooled != nullptr && std::string(pooled) == "1";
}

// The target with `schema` first on its search path.
inline std::string WithSchema(const std::string& target, const std::string& schema) {
  const bool url = target.starts_with("postgres");
  const std::string join = target.find('?') == std::string::npos ? "?" : "&";
  if (Pooled()) return target + (url ? join + "user=" + schema : " user=" + schema);
  if (url) return target + join + "options=-csearch_path%3D" + schema + "%2Cpublic";
  return target + " options='-csearch_path=" + schema + ",public'";
}

// An empty schema of the attendance database, and a connection on it.
inline std::shared_ptr<tessaly::db::Connection> FreshSchema(const std::string& target,
                                                            const std::string& schema) {
  auto admin = tessaly::db::Connection::Open(target);
  auto& engine = tessaly::db::internal::BackendOf(*admin);
  engine.Run("DROP SCHEMA IF EXISTS " + schema + " CASCADE", nullptr);
  engine.Run("CREATE SCHEMA " + schema, nullptr);
  if (Pooled()) {
    engine.Run("DO $$ BEGIN CREATE ROLE " + schema +
                   " SUPERUSER LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$",
               nullptr);
  }
  auto conn = tessaly::db::Connection::Open(WithSchema(target, schema));
  tessaly::db::CreateSchema(*conn);
  return conn;
}

}  // namespace
