#include "db/postgres/PgBackend.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>

#include "db/Definitions.h"
#include "db/JetErrors.h"
#include "db/Rules.h"
#include "db/jet/Translator.h"
#include "db/postgres/PgDialect.h"
#include "db/postgres/PgErrors.h"
#include "db/postgres/PgFunctions.h"
#include "db/postgres/PgValues.h"
#include "tessaly/Error.h"
#include "tessaly/db/Date.h"

namespace tessaly::db {
namespace postgres {
namespace {

using internal::Cell;
using internal::ResultData;

constexpr char kSavepoint[] = "SAVEPOINT tessaly_statement";
constexpr char kRelease[] = "RELEASE SAVEPOINT tessaly_statement";
constexpr char kUndo[] =
    "ROLLBACK TO SAVEPOINT tessaly_statement; RELEASE SAVEPOINT tessaly_statement";

// What a table's one-row inserts may skip their savepoints by (see
// PgBackendRows.h), read by the table's name ($1) inside the transaction
// once its first row holds the table's lock: whether the table is plain and
// has a unique index; its columns; its checks.
constexpr const char* kTableRules[] = {
    "SELECT c.relkind = 'r' AND NOT c.relrowsecurity AND NOT c.relhasrules "
    "AND NOT EXISTS (SELECT 1 FROM pg_trigger AS g WHERE g.tgrelid = c.oid "
    "AND (g.tgtype::int & 4) <> 0) "
    "AND NOT EXISTS (SELECT 1 FROM pg_constraint AS k WHERE k.conrelid = c.oid "
    "AND k.contype NOT IN ('c', 'n', 'p', 'u')) "
    "AND NOT EXISTS (SELECT 1 FROM pg_index AS i JOIN pg_class AS x ON x.oid = i.indexrelid "
    "JOIN pg_am AS m ON m.oid = x.relam WHERE i.indrelid = c.oid AND (i.indexprs IS NOT NULL "
    "OR i.indpred IS NOT NULL OR NOT i.indisvalid OR NOT i.indisready OR NOT i.indimmediate "
    "OR m.amname <> 'btree')) "
    "AND current_setting('transaction_isolation') = 'read committed' "
    "AND current_setting('server_encoding') = 'UTF8', "
    "EXISTS (SELECT 1 FROM pg_index AS i WHERE i.indrelid = c.oid AND i.indisunique) "
    "FROM pg_class AS c WHERE c.oid = to_regclass($1)",
    "SELECT a.attname, quote_ident(a.attname), coalesce(b.typname, t.typname), "
    "CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END, "
    "a.attnotnull OR t.typnotnull, a.attidentity <> '', a.attgenerated <> '', "
    "coalesce(pg_get_expr(d.adbin, d.adrelid), t.typdefault, ''), "
    "CASE WHEN t.typtype = 'd' THEN t.typname ELSE '' END, "
    "coalesce((SELECT string_agg(k.conname, ',' ORDER BY k.conname) FROM pg_constraint AS k "
    "WHERE k.contypid = t.oid), ''), "
    "has_column_privilege(a.attrelid, a.attnum, 'INSERT'), "
    "EXISTS (SELECT 1 FROM pg_index AS i WHERE i.indrelid = a.attrelid "
    "AND a.attnum = ANY (i.indkey)) "
    "FROM pg_attribute AS a JOIN pg_type AS t ON t.oid = a.atttypid "
    "LEFT JOIN pg_type AS b ON t.typtype = 'd' AND b.oid = t.typbasetype "
    "LEFT JOIN pg_attrdef AS d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
    "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped",
    "SELECT k.conname, coalesce(a.attname, ''), pg_get_constraintdef(k.oid) "
    "FROM pg_constraint AS k LEFT JOIN pg_attribute AS a ON a.attrelid = k.conrelid "
    "AND cardinality(k.conkey) = 1 AND a.attnum = k.conkey[1] "
    "WHERE k.conrelid = to_regclass($1) AND k.contype = 'c'",
};

// A name as the server reads it in a statement, spelled exactly: in double
// quotes, the quotes inside doubled.
std::string DoubleQuoted(std::string_view name) { return rules::Delimited(name, '"'); }

int32_t ChangedRows(const PGresult* result) {
  const char* tuples = PQcmdTuples(const_cast<PGresult*>(result));
  int64_t n = 0;
  if (tuples != nullptr) std::from_chars(tuples, tuples + std::strlen(tuples), n);
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

// The target without the library's own option tessaly_statements=named or
// =unnamed (a URI's parameter or a key=value pair), which libpq would refuse;
// *named is set as it says.
std::string WithoutStatementsOption(const std::string& target, bool* named) {
  constexpr std::string_view kOption = "tessaly_statements=";
  const bool uri = target.starts_with("postgres");
  size_t at = target.find(kOption);
  // The option starts a parameter or a pair, not the middle of another's value.
  while (at != std::string::npos && at != 0 &&
         std::string_view(uri ? "?&" : " \t").find(target[at - 1]) == std::string_view::npos) {
    at = target.find(kOption, at + 1);
  }
  if (at == std::string::npos) return target;
  size_t end = target.find(uri ? '&' : ' ', at);
  if (end == std::string::npos) end = target.size();
  const std::string_view value =
      std::string_view(target).substr(at + kOption.size(), end - at - kOption.size());
  if (value != "named" && value != "unnamed") {
    throw Error(errnum::kFail, "Could not open the attendance database on the server: "
                               "tessaly_statements must be named or unnamed, not \"" +
                                   std::string(value) + "\".");
  }
  *named = value == "named";
  std::string rest = target;
  // With the separator before it (or, for a first parameter, after it).
  if (at != 0 && target[at - 1] != '?') {
    rest.erase(at - 1, end - at + 1);
  } else {
    rest.erase(at, end == target.size() ? end - at : end - at + 1);
  }
  if (rest.ends_with('?')) rest.pop_back();
  return rest;
}

}  // namespace

void PgBackend::PqFree::operator()(pg_result* result) const noexcept { PQclear(result); }
void PgBackend::PqFree::operator()(pg_conn* conn) const noexcept { PQfinish(conn); }
void PgBackend::PqFree::operator()(pg_cancel* cancel) const noexcept { PQfreeCancel(cancel); }

PgBackend::PgBackend(const std::string& target, rules::Region region)
    : dialect_(PgDialect(*this, region)) {
  conninfo_ = WithoutStatementsOption(target, &named_);
  conn_.reset(PQconnectdb(conninfo_.c_str()));
  if (conn_ == nullptr) throw Error(errnum::kFail, "Out of memory opening the database server.");
  if (PQstatus(conn_.get()) != CONNECTION_OK) {
    // libpq names what failed: the server, the database, the user or the
    // password (never the password itself).
    throw Error(errnum::kFail, "Could not open the attendance database on the server: " +
                                   Trimmed(PQerrorMessage(conn_.get())));
  }
  Setup();
  cancel_.reset(PQgetCancel(conn_.get()));
}

PgBackend::~PgBackend() = default;

// PQcancel with a cancel object made beforehand is safe from another thread
// and in a signal handler; the server stops the statement, which fails with
// 57014. A request that finds no statement running is ignored.
void PgBackend::Interrupt() noexcept {
  if (cancel_ == nullptr) return;
  char why[256];
  PQcancel(cancel_.get(), why, sizeof why);
  if (pg_cancel* walk = side_cancel_.load()) PQcancel(walk, why, sizeof why);
}

// The session's settings are the parameters the server reports to the client
// (a pooler in transaction mode keeps them for its client and sets them again
// on whichever server session serves its next transaction) and
// client_min_messages, which only spares sending notices nobody reads.
void PgBackend::Setup() {
  PQsetNoticeProcessor(
      conn_.get(), [](void*, const char*) {}, nullptr);
  // Where the text type lives, whether this session's search path finds it
  // and the Yes/No and Byte domains, and whether public is on that path.
  const std::string found_sql =
      std::string(kSessionSettings) +
      "; SELECT coalesce((SELECT quote_ident(n.nspname) FROM pg_extension e JOIN pg_namespace n "
      "ON n.oid = e.extnamespace WHERE e.extname = 'citext'), ''), "
      "to_regtype('citext') IS NOT NULL, "
      "to_regtype('yesno') IS NOT NULL AND to_regtype('tinyint') IS NOT NULL, " +
      InstalledSql() + ", to_regtype('" + kJetSchema +
      ".jet_variant')::oid, 'public' = ANY (current_schemas(false)), "
      "current_setting('search_path')";
  Result found = Exec(found_sql.c_str());
  if (*PQgetvalue(found.get(), 0, 0) == '\0') {
    MakeTextType(PQgetvalue(found.get(), 0, 5)[0] == 't');
    found = Exec(found_sql.c_str());
  }
  const std::string types_schema = PQgetvalue(found.get(), 0, 0);
  // The server finds a type's operators only on the search path: beside a
  // text type it cannot see, a text column would compare as a plain text,
  // with regard to case. Such a session is refused, not let run.
  if (PQgetvalue(found.get(), 0, 1)[0] != 't') {
    throw Error(errnum::kFail,
                "The attendance database's text type (the citext extension) is in schema " +
                    types_schema + ", which the search path of user " + PQuser(conn_.get()) + " (" +
                    PQgetvalue(found.get(), 0, 6) +
                    ") does not name: add it to that search path (ALTER ROLE ... SET "
                    "search_path), else texts would compare with regard to case.");
  }
  // Jet's Yes/No field holds -1 and 0 as numbers do, and reads as True and
  // False: a domain tells its columns from the other 16-bit numbers. Jet's
  // Byte, 0 to 255, has no type of the server's: a domain holds it and is
  // read as a Byte. They live beside the text type, for the same reason. A
  // session that may not make them still reads the database, and only a new
  // Yes/No or Byte field then fails.
  if (PQgetvalue(found.get(), 0, 2)[0] != 't') {
    const auto domain = [&](const char* name, const char* definition) {
      return "DO $$ BEGIN CREATE DOMAIN " + types_schema + '.' + name + ' ' + definition +
             "; EXCEPTION WHEN duplicate_object THEN NULL; END $$; ";
    };
    Result made(PQexec(conn_.get(), (domain("yesno", "AS smallint") +
                                     domain("tinyint",
                                            "AS smallint CONSTRAINT ck_range_byte CHECK "
                                            "(VALUE BETWEEN 0 AND 255)"))
                                        .c_str()));
  }
  if (!Current(Installed(PQgetvalue(found.get(), 0, 3)))) {
    InstallFunctions();
    found =
        Exec(("SELECT 0, 0, 0, 0, to_regtype('" + std::string(kJetSchema) + ".jet_variant')::oid")
                 .c_str());
  }
  variant_oid_ = static_cast<unsigned>(std::strtoul(PQgetvalue(found.get(), 0, 4), nullptr, 10));
}

// The text type is the database's, made once, in public where this session's
// search path names it: every site's default path does, and dropping one
// site's schema never takes the type, and with it every other site's text
// columns, away. Only a session whose path lacks public, or that may not
// create in public, makes it in the first schema of its path. Sessions
// opening side by side may race to make it, and the loser finds it made.
void PgBackend::MakeTextType(bool public_on_path) {
  Result made;
  if (public_on_path) {
    made.reset(PQexec(conn_.get(), "CREATE EXTENSION IF NOT EXISTS citext SCHEMA public"));
    if (PQresultStatus(made.get()) == PGRES_COMMAND_OK) return;
  }
  made.reset(PQexec(conn_.get(), "CREATE EXTENSION IF NOT EXISTS citext"));
  if (PQresultStatus(made.get()) == PGRES_COMMAND_OK) return;
  Result found(PQexec(conn_.get(), "SELECT 1 FROM pg_extension WHERE extname = 'citext'"));
  if (PQntuples(found.get()) == 0) Fail(made.get());
}

// What the database records of its Jet functions: "version digest" in the
// comment of their schema, "" when it has none.
std::string PgBackend::InstalledSql() {
  return std::string("(SELECT obj_description(oid, 'pg_namespace') FROM pg_namespace "
                     "WHERE nspname = '") +
         kJetSchema + "')";
}

PgBackend::Installation PgBackend::Installed(std::string_view recorded) {
  Installation installed;
  const size_t space = recorded.find(' ');
  if (space == std::string_view::npos) return installed;
  std::from_chars(recorded.data(), recorded.data() + space, installed.version);
  installed.digest = recorded.substr(space + 1);
  return installed;
}

// Up to date: this library's version and text. A newer version is refused;
// the session goes no further.
bool PgBackend::Current(const Installation& installed) {
  if (installed.version > kJetFunctionsVersion) {
    throw Error(errnum::kFail,
                "The attendance database's Jet functions (schema " + std::string(kJetSchema) +
                    ") are of version " + std::to_string(installed.version) +
                    ", newer than this library's (" + std::to_string(kJetFunctionsVersion) +
                    "): open it with a library of that version or later.");
  }
  return installed.version == kJetFunctionsVersion && installed.digest == JetFunctionsDigest();
}

// Installs this library's functions over an older version, or none, in one
// transaction. Sessions opening side by side take turns under a lock of the
// transaction's: each reads the version again once it holds the lock, and
// only the first installs. A user who may not create the schema or its
// functions cannot open a database that has none of this version; one that
// differs only by its text (another build of the same version) is used as it
// stands.
void PgBackend::InstallFunctions() {
  Exec(("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kInstallLock) + ')').c_str());
  try {
    const Installation installed = Installed(
        PQgetvalue(Exec(("SELECT coalesce(" + InstalledSql() + ", '')").c_str()).get(), 0, 0));
    if (!Current(installed)) {
      const std::string schema = kJetSchema;
      Result made(PQexec(conn_.get(), ("CREATE SCHEMA IF NOT EXISTS " + schema).c_str()));
      if (PQresultStatus(made.get()) == PGRES_COMMAND_OK) {
        made.reset(PQexec(conn_.get(), JetFunctionsSql().c_str()));
      }
      if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
        if (Field(made.get(), PG_DIAG_SQLSTATE) != "42501") Fail(made.get());
        if (installed.version == kJetFunctionsVersion) {
          Exec("ROLLBACK");
          return;
        }
        throw Error(errnum::kFail,
                    "The attendance database lacks the Jet functions of version " +
                        std::to_string(kJetFunctionsVersion) + " (schema " + schema +
                        "), and user " + PQuser(conn_.get()) +
                        " may not install them: open it once as a user who may create schemas "
                        "in it (tessaly init does it).");
      }
      Exec(("COMMENT ON SCHEMA " + schema + " IS '" + std::to_string(kJetFunctionsVersion) + ' ' +
            JetFunctionsDigest() + "'; GRANT USAGE ON SCHEMA " + schema + " TO PUBLIC")
               .c_str());
    }
    Exec("COMMIT");
  } catch (...) {
    Result undone(PQexec(conn_.get(), "ROLLBACK"));
    throw;
  }
}

void PgBackend::LoadTypes() {
  Result columns = Exec(
      "SELECT a.attrelid, a.attnum, t.typname = 'yesno' FROM pg_attribute a "
      "JOIN pg_type t ON t.oid = a.atttypid "
      "WHERE t.typname IN ('tinyint', 'yesno') AND t.typtype = 'd' AND a.attnum > 0");
  domains_.clear();
  for (int r = 0; r < PQntuples(columns.get()); ++r) {
    domains_.emplace(
        std::pair(static_cast<unsigned>(std::strtoul(PQgetvalue(columns.get(), r, 0), nullptr, 10)),
                  std::atoi(PQgetvalue(columns.get(), r, 1))),
        PQgetvalue(columns.get(), r, 2)[0] == 't' ? Kind::kYesNo : Kind::kByte);
  }
  domains_stale_ = false;
}

uint64_t PgBackend::NextGeneration() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

void PgBackend::SchemaChanged() {
  generation_ = NextGeneration();
  ForgetRules();
  domains_stale_ = true;
  spellings_stale_ = true;
  objects_.clear();
}

const std::string* PgBackend::Spelling(const std::string& lowered) {
  if (spellings_stale_) {
    generation_ = NextGeneration();
    // Tables, saved queries and indexes first: a column spelled otherwise
    // than a table of the same name leaves the table's spelling standing.
    Result names = Execute(
        "SELECT c.relname, 0 FROM pg_class AS c JOIN pg_namespace AS n ON n.oid = c.relnamespace "
        "WHERE n.nspname = ANY (current_schemas(false)) AND c.relkind IN ('r', 'v', 'm', 'p', 'i') "
        "UNION SELECT a.attname, 1 FROM pg_attribute AS a JOIN pg_class AS c "
        "ON c.oid = a.attrelid JOIN pg_namespace AS n ON n.oid = c.relnamespace "
        "WHERE n.nspname = ANY (current_schemas(false)) AND c.relkind IN ('r', 'v', 'm', 'p') "
        "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY 2",
        {});
    spellings_.clear();
    std::unordered_set<std::string> relations;
    for (int r = 0; r < PQntuples(names.get()); ++r) {
      std::string name = PQgetvalue(names.get(), r, 0);
      std::string lowered = rules::LoweredAscii(name);
      const bool relation = PQgetvalue(names.get(), r, 1)[0] == '0';
      const auto [at, added] = spellings_.try_emplace(lowered, name);
      if (added && relation) relations.insert(std::move(lowered));
      if (!added && at->second != name && (relation || !relations.contains(at->first))) {
        at->second.clear();
      }
    }
    // A session whose transaction failed reads nothing; it asks again later.
    spellings_stale_ = PQresultStatus(names.get()) != PGRES_TUPLES_OK;
  }
  const auto found = spellings_.find(lowered);
  return found == spellings_.end() || found->second.empty() ? nullptr : &found->second;
}

// Jet's name of a table or saved query as the text to_regclass() reads: the
// catalog's spelling of it, quoted.
Parameter PgBackend::RegclassText(std::string_view name) {
  return Parameter::Text(DoubleQuoted(CatalogSpelling(name, this)));
}

const jet::NamedObject& PgBackend::Find(std::string_view name) {
  const std::string key(name);
  if (auto known = objects_.find(key); known != objects_.end()) return known->second;
  const Parameter parameters[] = {RegclassText(name)};
  Result result = Execute(
      "SELECT c.relkind IN ('v', 'm'), a.attname FROM pg_class c "
      "LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
      "WHERE c.oid = to_regclass($1) ORDER BY a.attnum",
      parameters);
  jet::NamedObject object;
  for (int r = 0; r < PQntuples(result.get()); ++r) {
    object.found = true;
    object.saved_query = PQgetvalue(result.get(), r, 0)[0] == 't';
    if (!PQgetisnull(result.get(), r, 1))
      object.columns.emplace_back(PQgetvalue(result.get(), r, 1));
  }
  return objects_.insert_or_assign(key, std::move(object)).first->second;
}

const jet::Dialect& PgBackend::dialect() const { return *dialect_; }

void PgBackend::Fail(const PGresult* result) {
  const Error error = Mapped(result, conn_.get() != nullptr ? PQerrorMessage(conn_.get()) : "");
  throw error;
}

PgBackend::Result PgBackend::Checked(Result result) {
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
  Fail(result.get());
}

PgBackend::Result PgBackend::Exec(const char* sql) {
  if (IsLost(conn_.get())) throw Lost(conn_.get() ? PQerrorMessage(conn_.get()) : "");
  return Checked(Result(PQexec(conn_.get(), sql)));
}

std::string* PgBackend::Prepared(const std::string& sql, const Bound& bound, bool* fresh) {
  *fresh = false;
  if (!named_) return nullptr;
  // The key is the text and the parameters' types (none without parameters).
  // A host sends a few statements many times over (a class adding rows,
  // whose numbers are now whole, now not): those found last are compared
  // before a key is made and looked up.
  const std::string_view types(reinterpret_cast<const char*>(bound.types()),
                               static_cast<size_t>(bound.size()) * sizeof(Oid));
  auto named = [](std::string& name) { return name.empty() ? nullptr : &name; };
  for (auto*& last : last_prepared_) {
    if (last != nullptr && last->first.size() == sql.size() + types.size() &&
        std::string_view(last->first).substr(sql.size()) == types &&
        last->first.compare(0, sql.size(), sql) == 0) {
      std::swap(last, last_prepared_.front());
      return named(last_prepared_.front()->second);
    }
  }
  std::string key;
  key.reserve(sql.size() + types.size());
  key.append(sql).append(types);
  auto found = prepared_.find(key);
  if (found == prepared_.end()) {
    if (prepared_.size() == kPreparedStatements) return nullptr;
    *fresh = true;
    found =
        prepared_.emplace(std::move(key), "tessaly_" + std::to_string(prepared_.size() + 1)).first;
  }
  std::rotate(last_prepared_.begin(), last_prepared_.end() - 1, last_prepared_.end());
  last_prepared_.front() = &*found;
  return named(found->second);
}

// A statement whose preparing failed (or was cut short with its session)
// is sent unnamed from now on, as one that went stale is, and its name is
// never given to another: a pooler keeping track of prepared statements
// takes the name at the Parse it passes on, whether or not the server makes
// the statement, and would end the session at a second Parse of it. It lets
// go of a name only at the protocol's Close, which libpq sends from version
// 17 on (it does not follow a DEALLOCATE).
void PgBackend::Unname(std::string& name) { name.clear(); }

// Jet moved a counter past a number a row was written with; the server's
// sequence stays where it was, so a number it gives later may already be a
// row's. Such an insert is refused as a duplicate; the counter is then moved
// past the table's numbers and the insert, which changed nothing, runs again.
// Moving the sequence at every insert that writes its own number would cost
// each of them a statement; this costs only the insert that meets one.
//
// The server reports a number too large for a Single field in the words of
// arithmetic beyond a Double's range (a conversion to real overflows either
// way). An insert of values alone (negated or not) does no arithmetic: there
// the number is the field's overflow, as Jet reported it.
PgBackend::Result PgBackend::Execute(const std::string& sql,
                                     std::span<const Parameter> parameters) {
  try {
    return ExecuteOnce(sql, parameters);
  } catch (const Error& e) {
    static const Error duplicate = jeterr::Duplicate();
    if (e.number() == errnum::kOverflow && InsertsValuesAlone(sql)) throw jeterr::Overflow();
    if (undone_ || IsLost(conn_.get()) || e.number() != duplicate.number() ||
        e.description() != duplicate.description() || !CounterMovedPast(sql)) {
      throw;
    }
  }
  return ExecuteOnce(sql, parameters);
}

bool PgBackend::CounterMovedPast(const std::string& insert) {
  const std::optional<std::string_view> table = InsertTarget(insert);
  if (!table) return false;
  const std::string quoted(*table);
  bool moved = false;
  for (const auto& counter :
       Texts("SELECT quote_ident(a.attname), s.seqrelid::regclass::text, s.seqincrement "
             "FROM pg_attribute AS a JOIN pg_sequence AS s "
             "ON s.seqrelid = pg_get_serial_sequence($1, a.attname)::regclass "
             "WHERE a.attrelid = to_regclass($1) AND a.attidentity <> '' AND NOT a.attisdropped",
             {quoted})) {
    const std::string& column = counter[0];
    const std::string& sequence = counter[1];
    const bool up = !counter[2].starts_with('-');
    // Behind when the number it gave last (the one the refused insert
    // took) is at or below the rows' largest (at or above their least, for
    // a counter that counts down): it then gives the number after theirs.
    const std::string past = "SELECT setval(" + rules::Delimited(sequence, '\'') +
                             ", t.n) FROM (SELECT " + (up ? "max(" : "min(") + column +
                             ") AS n FROM " + quoted + ") AS t, " + sequence + " AS s WHERE t.n " +
                             (up ? ">=" : "<=") + " s.last_value";
    if (!Texts(past).empty()) moved = true;
  }
  return moved;
}

PgBackend::Result PgBackend::ExecuteOnce(const std::string& sql,
                                         std::span<const Parameter> parameters) {
  if (IsLost(conn_.get())) throw Lost(PQerrorMessage(conn_.get()));
  if (sql.find('\0') != std::string::npos) throw jeterr::CharacterZero();
  if (!in_transaction_) return Send(sql, parameters, false, nullptr);
  if (undone_) throw Undone();
  // A unit with a savepoint of its own (RunGroup) keeps each statement's.
  KnownInsert* insert = grouped_ ? nullptr : Known(sql);
  if (insert == nullptr) return Send(sql, parameters, true, nullptr);
  Writes& writes = *insert->writes;
  if (!writes.rules) {
    if (++writes.rows < kRowsBeforeRules) return Send(sql, parameters, true, nullptr);
    const std::string table(insert->row.table);
    return Send(sql, parameters, true, &table);
  }
  if (!insert->plan) insert->plan = writes.rules->PlanOf(insert->row);
  if (!writes.rules->Admits(*insert->plan, parameters)) return Send(sql, parameters, true, nullptr);
  // The row fits its columns: it fails, if at all, as a duplicate key, which
  // ON CONFLICT turns into no row written and the host's transaction going
  // on. Anything else that stops it (a deadlock, an interrupt) aborts the
  // server's transaction, which then only rolls back.
  const bool unique = writes.rules->unique();
  Result result;
  try {
    result = Send(unique ? insert->unique_sql : sql, parameters, false, nullptr);
  } catch (const Error&) {
    undone_ = true;
    throw;
  }
  if (unique && ChangedRows(result.get()) == 0) throw jeterr::Duplicate();
  return result;
}

void PgBackend::ForgetRules() {
  rules_.clear();
  ++rules_epoch_;
}

PgBackend::KnownInsert* PgBackend::Known(const std::string& sql) {
  // The same insert again (a class adding rows) is the one found last.
  auto found = last_insert_ != inserts_.end() && last_insert_->first == sql ? last_insert_
                                                                            : inserts_.find(sql);
  if (found == inserts_.end()) {
    std::optional<RowInsert> row = ReadRowInsert(sql);
    if (!row) return nullptr;
    if (inserts_.size() >= kKnownInserts) inserts_.clear();
    found = inserts_.try_emplace(sql).first;
    // The table's name is viewed in the key, which stays where it is while
    // the entry lives.
    row->table = std::string_view(found->first).substr(
        static_cast<size_t>(row->table.data() - sql.data()), row->table.size());
    found->second.row = std::move(*row);
    found->second.unique_sql = sql + " ON CONFLICT DO NOTHING";
  }
  last_insert_ = found;
  KnownInsert& known = found->second;
  if (known.epoch != rules_epoch_) {
    known.epoch = rules_epoch_;
    known.writes = &rules_[std::string(known.row.table)];
    known.plan.reset();
  }
  return &known;
}

PgBackend::Result PgBackend::Send(const std::string& sql, std::span<const Parameter> parameters,
                                  bool guard, const std::string* describe) {
  const Bound bound(parameters);
  // Prepared by name, one statement per text and parameter types: the server
  // parses and plans a shape once, as the engine of a file compiles it once.
  // Unnamed, the server parses and plans it each time, and nothing of it
  // outlives the statement.
  bool fresh = false;
  std::string* prepared = Prepared(sql, bound, &fresh);
  // Its own copy: unnaming the statement below empties the kept name.
  const std::string name = prepared != nullptr ? *prepared : std::string();
  auto send = [&] {
    return prepared != nullptr
               ? PQsendQueryPrepared(conn_.get(), name.c_str(), bound.size(), bound.values(),
                                     bound.lengths(), bound.formats(), 0) == 1
               : PQsendQueryParams(conn_.get(), sql.c_str(), bound.size(), bound.types(),
                                   bound.values(), bound.lengths(), bound.formats(), 0) == 1;
  };
  // A prepared statement whose tables changed shape never ran: it is sent
  // unnamed from now on (it is never deallocated, see kPreparedStatements).
  auto resend = [&] {
    Unname(*prepared);
    return Send(sql, parameters, guard, describe);
  };
  if (!guard && !fresh) {
    Result result(prepared != nullptr
                      ? PQexecPrepared(conn_.get(), name.c_str(), bound.size(), bound.values(),
                                       bound.lengths(), bound.formats(), 0)
                      : PQexecParams(conn_.get(), sql.c_str(), bound.size(), bound.types(),
                                     bound.values(), bound.lengths(), bound.formats(), 0));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    if (prepared != nullptr && Stale(result.get())) return resend();
    Fail(result.get());
  }
  // In one round trip: under guard a savepoint first and its release after,
  // the statement's preparing when it is new, and the reading of a table's
  // rules after it (inside the savepoint, which undoes them all should the
  // reading fail). When the statement fails the rest is skipped, and undoing
  // to the savepoint leaves the transaction as it stood before the statement.
  const Bound none;
  const std::vector<Parameter> named = describe != nullptr
                                           ? std::vector<Parameter>{Parameter::Text(*describe)}
                                           : std::vector<Parameter>{};
  const Bound table(named);
  bool sent = PQenterPipelineMode(conn_.get()) == 1;
  if (sent && guard) sent = SendParams(conn_.get(), kSavepoint, none);
  if (sent && fresh) {
    sent = PQsendPrepare(conn_.get(), name.c_str(), sql.c_str(), bound.size(), bound.types()) == 1;
  }
  if (sent) sent = send();
  if (describe != nullptr) {
    for (const char* query : kTableRules) {
      if (sent) sent = SendParams(conn_.get(), query, table);
    }
  }
  if (sent && guard) sent = SendParams(conn_.get(), kRelease, none);
  if (sent) sent = PQpipelineSync(conn_.get()) == 1;
  if (!sent) {
    if (fresh) Unname(*prepared);
    PQexitPipelineMode(conn_.get());
    throw Lost(PQerrorMessage(conn_.get()));
  }
  std::vector<Result> results;
  for (;;) {
    Result r(PQgetResult(conn_.get()));
    if (!r) {
      if (IsLost(conn_.get())) break;
      continue;  // the end of one command's results
    }
    if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC) break;
    results.push_back(std::move(r));
  }
  PQexitPipelineMode(conn_.get());
  const size_t statement = (guard ? 1 : 0) + (fresh ? 1 : 0);
  const size_t read = describe != nullptr ? std::size(kTableRules) : 0;
  const size_t expected = statement + 1 + read + (guard ? 1 : 0);
  auto ok = [&](size_t i) {
    const ExecStatusType status = PQresultStatus(results[i].get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  };
  if (results.size() < expected || IsLost(conn_.get())) {
    if (fresh) Unname(*prepared);
    for (const Result& r : results) {
      if (PQresultStatus(r.get()) == PGRES_FATAL_ERROR) Fail(r.get());
    }
    throw Lost(PQerrorMessage(conn_.get()));
  }
  if (guard && !ok(0)) Fail(results[0].get());
  if (ok(statement)) {
    bool rules_read = true;
    for (size_t i = 1; i <= read; ++i) rules_read = rules_read && ok(statement + i);
    if (rules_read) {
      if (guard && !ok(statement + read + 1)) Fail(results[statement + read + 1].get());
      if (describe != nullptr) {
        rules_[*describe].rules = ReadRules(results[statement + 1].get(),
                                            results[statement + 2].get(),
                                            results[statement + 3].get());
      }
      return std::move(results[statement]);
    }
    // The rules could not be read: the statement is undone with them and
    // sent again alone, and the table's rows keep their savepoints.
    Result undone(PQexec(conn_.get(), kUndo));
    if (PQresultStatus(undone.get()) != PGRES_COMMAND_OK) Fail(undone.get());
    rules_[*describe].rules = RowRules(TableFacts());
    return Send(sql, parameters, guard, nullptr);
  }
  // The failure is the preparing's (then the statement was never made) or
  // the statement's own.
  const size_t failed = fresh && !ok(statement - 1) ? statement - 1 : statement;
  if (failed != statement) Unname(*prepared);
  const Error error = Mapped(results[failed].get(), PQerrorMessage(conn_.get()));
  const bool stale = prepared != nullptr && failed == statement && Stale(results[failed].get());
  if (guard) {
    Result undone(PQexec(conn_.get(), kUndo));
    if (PQresultStatus(undone.get()) != PGRES_COMMAND_OK) Fail(undone.get());
  }
  if (stale) return resend();
  throw error;
}

RowRules PgBackend::ReadRules(const PGresult* table, const PGresult* columns,
                              const PGresult* checks) {
  auto flag = [](const PGresult* result, int row, int column) {
    return PQgetvalue(result, row, column)[0] == 't';
  };
  TableFacts facts;
  if (PQntuples(table) != 1) return RowRules(facts);
  facts.plain = flag(table, 0, 0);
  facts.unique = flag(table, 0, 1);
  for (int r = 0; r < PQntuples(columns); ++r) {
    TableFacts::Column& c = facts.columns.emplace_back();
    c.name = PQgetvalue(columns, r, 0);
    c.quoted = PQgetvalue(columns, r, 1);
    c.type = PQgetvalue(columns, r, 2);
    c.modifier = std::atoi(PQgetvalue(columns, r, 3));
    c.not_null = flag(columns, r, 4);
    c.identity = flag(columns, r, 5);
    c.generated = flag(columns, r, 6);
    c.default_text = PQgetvalue(columns, r, 7);
    c.domain = PQgetvalue(columns, r, 8);
    c.domain_checks = PQgetvalue(columns, r, 9);
    c.insertable = flag(columns, r, 10);
    c.indexed = flag(columns, r, 11);
  }
  for (int r = 0; r < PQntuples(checks); ++r) {
    facts.checks.push_back(
        {PQgetvalue(checks, r, 0), PQgetvalue(checks, r, 1), PQgetvalue(checks, r, 2)});
  }
  return RowRules(facts);
}

std::vector<PgBackend::Kind> PgBackend::KindsOf(const PGresult* result) {
  const int n = PQnfields(result);
  std::vector<Kind> kinds;
  kinds.reserve(static_cast<size_t>(n));
  for (int c = 0; c < n; ++c) {
    switch (PQftype(result, c)) {
      case kBoolOid: kinds.push_back(Kind::kBool); break;
      case kInt2Oid: {
        // A column of the Byte or Yes/No domain (of a table or a saved
        // query) reports its base type, and the table and column it is.
        const unsigned table = PQftable(result, c);
        if (table == InvalidOid) {
          kinds.push_back(Kind::kInteger);
          break;
        }
        if (domains_stale_) LoadTypes();
        const auto domain = domains_.find({table, PQftablecol(result, c)});
        kinds.push_back(domain != domains_.end() ? domain->second : Kind::kInteger);
        break;
      }
      case kInt4Oid: kinds.push_back(Kind::kLong); break;
      case kInt8Oid: kinds.push_back(Kind::kWide); break;
      case kFloat4Oid: kinds.push_back(Kind::kSingle); break;
      case kFloat8Oid: kinds.push_back(Kind::kDouble); break;
      case kNumericOid: {
        // A column's numeric says its precision and scale, (19, 4) being a
        // Currency field's; an expression's none, and it is a Double.
        const int modifier = PQfmod(result, c);
        if (modifier < 0) {
          kinds.push_back(Kind::kDouble);
        } else {
          kinds.push_back(modifier - 4 == (19 << 16 | 4) ? Kind::kCurrency : Kind::kDecimal);
        }
        break;
      }
      case kByteaOid: kinds.push_back(Kind::kBytes); break;
      case kDateOid:
      case kTimestampOid:
      case kTimestampTzOid: kinds.push_back(Kind::kDate); break;
      default:
        kinds.push_back(PQftype(result, c) == variant_oid_ ? Kind::kVariant : Kind::kText);
        break;
    }
  }
  return kinds;
}

int32_t PgBackend::Run(const std::string& sql, std::span<const Parameter> parameters,
                       ResultData* out) {
  Result result = Execute(sql, parameters);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
    if (Defines(result.get())) SchemaChanged();
    if (!WritesRows(result.get())) ForgetRules();
    return ChangedRows(result.get());
  }
  if (out == nullptr) return 0;
  *out = ResultData();
  ColumnNames(result.get(), *out);
  const std::vector<Kind> kinds = KindsOf(result.get());
  out->cells.Reset(kinds.size());
  const int rows = PQntuples(result.get());
  for (int r = 0; r < rows; ++r) {
    for (size_t c = 0; c < kinds.size(); ++c) {
      out->cells.Append(ReadCell(result.get(), r, static_cast<int>(c), kinds[c], &out->cells));
    }
  }
  out->row_count = static_cast<size_t>(rows);
  return 0;
}

// An identity's sequence does not move when a row brings its own number.
void PgBackend::CountFrom(const std::string& table, const std::string& column, int64_t next) {
  std::string quoted_table, quoted_column;
  dialect_->Identifier(table, quoted_table);
  dialect_->Identifier(column, quoted_column);
  // The sequence is found by the column's name as the catalog spells it.
  std::string spelled;
  for (size_t i = 1; i + 1 < quoted_column.size(); ++i) {
    spelled += quoted_column[i];
    if (quoted_column[i] == '"') ++i;
  }
  Texts("SELECT setval(pg_get_serial_sequence($1, $2), $3::bigint, false)",
        {quoted_table, spelled, std::to_string(next)});
}

// PostgreSQL changes a table's constraints and a column's type in place;
// the statements run as one unit.
void PgBackend::AlterTable(const jet::TableEdit& edit) {
  const jet::Dialect& dialect = *dialect_;
  std::string table;
  dialect.Identifier(edit.table, table);
  if (Texts("SELECT 1 WHERE to_regclass($1) IS NOT NULL", {table}).empty()) {
    throw jeterr::NoTable(edit.table);
  }
  const std::string alter = "ALTER TABLE " + table + ' ';
  std::vector<std::string> before;  // views set aside while a column changes
  std::vector<std::string> statements;
  std::vector<std::string> after;
  if (!edit.drop.empty()) {
    // A key or reference is a constraint; an index Jet made for a unique
    // constraint, or by CREATE INDEX, is an index.
    const auto constraint = Texts(
        "SELECT conname FROM pg_constraint WHERE conrelid = to_regclass($1) "
        "AND lower(conname) = lower($2)",
        {table, edit.table + "." + edit.drop});
    if (!constraint.empty()) {
      statements.push_back(alter + "DROP CONSTRAINT " + DoubleQuoted(constraint[0][0]));
    } else {
      std::string drop = "DROP INDEX ";
      dialect.IndexName(edit.table, edit.drop, drop);
      statements.push_back(std::move(drop));
    }
  }
  if (!edit.column.empty()) {
    const auto column = Texts(
        "SELECT a.attname, (a.attnotnull AND pg_get_expr(d.adbin, d.adrelid) = '0')::int, "
        "(a.attidentity <> '')::int "
        "FROM pg_attribute AS a LEFT JOIN pg_attrdef AS d "
        "ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
        "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped "
        "AND lower(a.attname) = lower($2)",
        {table, edit.column});
    if (column.empty()) throw jeterr::UnknownName(edit.column);
    const std::string name = DoubleQuoted(column[0][0]);
    // The server keeps a view bound to the types it reads: the views over
    // the table are set aside and made again over the new type.
    for (const auto& view :
         Texts("SELECT DISTINCT v.oid::regclass::text, pg_get_viewdef(v.oid) FROM pg_depend AS d "
               "JOIN pg_rewrite AS r ON r.oid = d.objid JOIN pg_class AS v ON v.oid = r.ev_class "
               "WHERE d.refobjid = to_regclass($1) AND v.oid <> d.refobjid AND v.relkind = 'v'",
               {table})) {
      before.push_back("DROP VIEW " + view[0]);
      after.push_back("CREATE VIEW " + view[0] + " AS " + view[1]);
    }
    // The type as a new column has it: the server's type, then the checks
    // of Jet's field (and a Yes/No field's own rule), which replace the
    // column's old checks.
    std::string type;
    dialect.ColumnType(edit.column, edit.type, edit.width, false, type);
    std::string checks;
    if (const size_t at = type.find(" CONSTRAINT "); at != std::string::npos) {
      checks = type.substr(at);
      type.erase(at);
    }
    constexpr std::string_view kYesNo = " NOT NULL DEFAULT 0";
    const bool yes_no = type.ends_with(kYesNo);
    if (yes_no) type.erase(type.size() - kYesNo.size());
    std::string change = alter;
    for (const auto& check :
         Texts("SELECT c.conname FROM pg_constraint AS c JOIN pg_attribute AS a "
               "ON a.attrelid = c.conrelid AND a.attnum = c.conkey[1] "
               "WHERE c.conrelid = to_regclass($1) AND c.contype = 'c' "
               "AND cardinality(c.conkey) = 1 AND a.attname = $2",
               {table, column[0][0]})) {
      change += "DROP CONSTRAINT " + DoubleQuoted(check[0]) + ", ";
    }
    const std::string column_clause = "ALTER COLUMN " + name;
    // A counter stops numbering: the server keeps its numbering apart from
    // a default.
    change += column_clause + (column[0][2] == "1" ? " DROP IDENTITY, " : " DROP DEFAULT, ") +
              column_clause + " TYPE " + type + " USING " + edit.conversion;
    if (yes_no) {
      change += ", " + column_clause + " SET DEFAULT 0, " + column_clause + " SET NOT NULL";
    } else if (column[0][1] == "1") {
      // A Yes/No field's own rule (never Null, No by default) goes with its type.
      change += ", " + column_clause + " DROP NOT NULL";
    }
    for (size_t at = checks.find(" CONSTRAINT "); at != std::string::npos;
         at = checks.find(" CONSTRAINT ", at + 6)) {
      checks.replace(at, 1, ", ADD ");
    }
    statements.push_back(change + checks);
  }
  if (edit.key &&
      !Texts("SELECT 1 FROM pg_constraint WHERE conrelid = to_regclass($1) AND contype = 'p'",
             {table})
           .empty()) {
    throw jeterr::KeyExists();
  }
  if (!edit.required.empty()) {
    // A key, or an index that disallows Null, over a Null is refused whole.
    std::string nulls = "SELECT 1 FROM " + table + " WHERE ";
    std::string required = alter;
    for (size_t i = 0; i < edit.required.size(); ++i) {
      std::string column;
      dialect.Identifier(edit.required[i], column);
      if (i > 0) {
        nulls += " OR ";
        required += ", ";
      }
      nulls += column + " IS NULL";
      required += "ALTER COLUMN " + column + " SET NOT NULL";
    }
    if (!Texts(nulls + " LIMIT 1").empty()) throw jeterr::NullInKey();
    statements.push_back(std::move(required));
  }
  if (!edit.add.empty()) statements.push_back(alter + "ADD" + edit.add);
  if (!edit.then.empty()) statements.push_back(edit.then);
  before.insert(before.end(), statements.begin(), statements.end());
  before.insert(before.end(), after.begin(), after.end());
  RunAsOne(before);
}

void PgBackend::Begin() {
  Exec("BEGIN");
  in_transaction_ = true;
  undone_ = false;
  ForgetRules();
}

// A transaction-level advisory lock: it holds no state in the session, so a
// pooler may hand the session to another client between transactions.
void PgBackend::LockUntilEnd(uint64_t key) {
  Exec(("SELECT pg_advisory_xact_lock(" + std::to_string(static_cast<int64_t>(key)) + ")").c_str());
}

void PgBackend::Commit() {
  if (IsLost(conn_.get())) throw Lost(PQerrorMessage(conn_.get()));
  if (!in_transaction_) {
    throw Error(errnum::kFail, "CommitTrans was called without an open transaction.");
  }
  if (undone_) {
    // The server would answer COMMIT with a rollback; the host hears of it.
    Rollback();
    throw Undone();
  }
  HoldWalks();
  in_transaction_ = false;
  ForgetRules();
  Exec("COMMIT");
}

void PgBackend::Rollback() {
  if (IsLost(conn_.get())) throw Lost(PQerrorMessage(conn_.get()));
  if (!in_transaction_) {
    throw Error(errnum::kFail, "RollbackTrans was called without an open transaction.");
  }
  // The cursors of a transaction the server aborted are gone with it.
  if (undone_) {
    DropWalks();
  }
  HoldWalks();
  in_transaction_ = false;
  undone_ = false;
  // A definition undone leaves the schema as it was before it.
  SchemaChanged();
  Exec("ROLLBACK");
}

std::vector<std::string> PgBackend::SchemaStatements(
    const internal::Definitions& described) const {
  // A saved query reads; PostgreSQL would write through a view of one table,
  // which Jet's saved queries here never allowed, so the single-table ones
  // join a one-row constant, which leaves the rows and the plans as they are
  // and makes the view read-only.
  static constexpr internal::DefinitionForms kForms = {
      "CREATE OR REPLACE VIEW ", " CROSS JOIN (VALUES (0)) AS read_only (x)",
      static_cast<uint8_t>(jet::JetType::kCounter), " PRIMARY KEY"};
  return internal::DefinitionStatements(described, PgDialect(), kForms);
}

std::vector<std::string> PgBackend::ColumnsOf(std::string_view object) {
  const Parameter parameters[] = {RegclassText(object)};
  Result result = Execute(
      "SELECT attname FROM pg_attribute WHERE attrelid = to_regclass($1) AND attnum > 0 "
      "AND NOT attisdropped ORDER BY attnum",
      parameters);
  std::vector<std::string> names;
  for (int r = 0; r < PQntuples(result.get()); ++r)
    names.emplace_back(PQgetvalue(result.get(), r, 0));
  return names;
}

// Definitions are transactional in PostgreSQL: a savepoint inside a host's
// transaction, a transaction of their own outside one.
void PgBackend::RunAsOne(std::span<const std::string> statements) {
  AsOne("tessaly_schema", [&] {
    for (const std::string& sql : statements) Exec(sql.c_str());
  });
  SchemaChanged();
}

void PgBackend::AsOne(const std::string& savepoint, const std::function<void()>& body) {
  if (in_transaction_ && undone_) throw Undone();
  const bool nested = in_transaction_;
  Exec(nested ? ("SAVEPOINT " + savepoint).c_str() : "BEGIN");
  const bool grouped = grouped_;
  grouped_ = true;
  try {
    body();
    grouped_ = grouped;
  } catch (...) {
    grouped_ = grouped;
    if (!IsLost(conn_.get())) {
      const std::string undo =
          "ROLLBACK TO SAVEPOINT " + savepoint + "; RELEASE SAVEPOINT " + savepoint;
      Result undone(PQexec(conn_.get(), nested ? undo.c_str() : "ROLLBACK"));
    }
    throw;
  }
  Exec(nested ? ("RELEASE SAVEPOINT " + savepoint).c_str() : "COMMIT");
}

int32_t PgBackend::RunGroup(std::span<const std::string> before, const std::string& sql,
                            std::span<const Parameter> parameters,
                            std::span<const std::string> after) {
  int32_t count = 0;
  AsOne("tessaly_group", [&] {
    for (const std::string& statement : before) Execute(statement, {});
    count = ChangedRows(Execute(sql, parameters).get());
    for (const std::string& statement : after) Execute(statement, {});
  });
  return count;
}

}  // namespace postgres

namespace internal {

std::unique_ptr<Backend> OpenPostgres(const std::string& target, rules::Region region) {
  return std::make_unique<postgres::PgBackend>(target, region);
}

}  // namespace internal
}  // namespace tessaly::db
