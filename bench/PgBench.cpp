// The PostgreSQL engine against raw libpq on the same work, on the server
// TESSALY_PG_TARGET (or the first argument) names:
//  - clsKQ::Add in a host transaction and in autocommit, with statements sent
//    unnamed (the default) and prepared by name (tessaly_statements=named),
//    against a raw loop of one INSERT prepared once with the values bound,
//    into the library's own table (emptied before each side's turn: two
//    tables made alike still cost the server differently from run to run),
//    the values sent as text and, as a second raw loop, in the
//    binary forms of the columns' own types (the library sends numbers and
//    dates in binary); and against PQexec of the statements translated once,
//    up front, with their values inline; in a host transaction also against
//    the raw loop's INSERT with ON CONFLICT DO NOTHING, the form a row that
//    fits its columns takes there, which the server inserts speculatively;
//  - clsKQ::ExeSearch over 100,000 daily rows, against PQexec of the
//    translated SELECT and writing the same tab-separated text by hand.
// Through a pooler (TESSALY_PG_POOLED=1) the same, for the ratio of pooled
// to direct times: unnamed, and named too where the pooler keeps track
// of prepared statements (TESSALY_PG_POOLED_STATEMENTS=named, as
// scripts/pg-test-server.sh prints for one).
// Each table is emptied by TRUNCATE before a turn, so no turn inserts beside
// the dead rows of the one before.
// Each side takes turns with the other and keeps its fastest turn. The adds
// are timed by processor time, the client's and its server session's
// together (the server runs on this machine; a busy machine disturbs
// processor time less than the clock), and by the clock; the listing by the
// clock. Printed as library / raw time.
#include <libpq-fe.h>
#include <sched.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "KqRows.h"
#include "ServerSchema.h"
#include "db/Backend.h"
#include "db/jet/Translator.h"
#include "db/postgres/PgBackend.h"
#include "db/postgres/PgDialect.h"
#include "tessaly/tessaly.h"

namespace {

using tessaly::clsKQ;

constexpr int kAdds = 4000;
constexpr int kListedRows = 100000;
constexpr int kTurns = 9;

// The target as libpq reads it: without the library's own option
// tessaly_statements=..., which the library's side may be given to compare.
PGconn* RawOpen(std::string target) {
  if (const size_t at = target.find("tessaly_statements="); at != std::string::npos) {
    const size_t end = target.find_first_of("& ", at);
    target.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
  }
  PGconn* raw = PQconnectdb(target.c_str());
  if (PQstatus(raw) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(raw));
  return raw;
}

void RawExec(PGconn* raw, const std::string& sql) {
  PGresult* r = PQexec(raw, sql.c_str());
  const ExecStatusType status = PQresultStatus(r);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    std::string message = PQresultErrorMessage(r);
    PQclear(r);
    throw std::runtime_error(message + " in " + sql);
  }
  PQclear(r);
}

// A value in the binary form of the server's type for its parameter, as a
// hand-written loop that knows its columns sends it; a text as it is.
std::string BinaryForm(Oid type, const tessaly::db::Parameter& p) {
  using Kind = tessaly::db::Parameter::Kind;
  if (p.kind == Kind::kText) return p.text;
  const double number = p.kind == Kind::kReal ? p.real : static_cast<double>(p.integer);
  uint64_t bits = 0;
  int bytes = 8;
  switch (type) {
    case 21: bits = static_cast<uint16_t>(static_cast<int16_t>(p.integer)), bytes = 2; break;
    case 23: bits = static_cast<uint32_t>(static_cast<int32_t>(p.integer)), bytes = 4; break;
    case 20: bits = static_cast<uint64_t>(p.integer); break;
    case 700: bits = std::bit_cast<uint32_t>(static_cast<float>(number)), bytes = 4; break;
    case 701: bits = std::bit_cast<uint64_t>(number); break;
    case 1114: {
      const tessaly::db::Date& d = p.date;
      std::tm tm{};
      tm.tm_year = d.year - 1900;
      tm.tm_mon = d.month - 1;
      tm.tm_mday = d.day;
      tm.tm_hour = d.hour;
      tm.tm_min = d.minute;
      tm.tm_sec = d.second;
      bits = static_cast<uint64_t>((static_cast<int64_t>(timegm(&tm)) - 946684800) * 1000000);
      break;
    }
    default: throw std::runtime_error("a parameter of type " + std::to_string(type));
  }
  std::string out(static_cast<size_t>(bytes), '\0');
  for (int i = bytes - 1; i >= 0; --i, bits >>= 8)
    out[static_cast<size_t>(i)] = static_cast<char>(bits);
  return out;
}

// Milliseconds of processor time: the process's, and that of the server
// process serving a session (0 when it is not on this machine, as behind a
// pooler).
double CpuMs(clockid_t clock) {
  timespec t{};
  if (clock_gettime(clock, &t) != 0) return 0;
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}
// PG_BENCH_CPU=N keeps this process and every server session it times on
// processor N. Client and server then take turns on one processor instead of
// waking each other across two, and the times vary far less between runs
// than when the scheduler moves them about; but they also share that
// processor's caches, so the client's work costs the server too. With
// PG_BENCH_SERVER_CPU=M as well, the server sessions keep to processor M,
// as a server on a machine of its own keeps its caches.
void Pin(pid_t process) {
  const char* server = process != 0 ? std::getenv("PG_BENCH_SERVER_CPU") : nullptr;
  const char* cpu = server != nullptr ? server : std::getenv("PG_BENCH_CPU");
  if (cpu == nullptr || *cpu == '\0') return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(std::atoi(cpu), &set);
  if (sched_setaffinity(process, sizeof set, &set) != 0) {
    throw std::runtime_error("PG_BENCH_CPU: a process cannot be kept on that processor");
  }
}
clockid_t ServerClock(PGconn* session) {
  clockid_t clock{};
  if (Pooled() || clock_getcpuclockid(PQbackendPID(session), &clock) != 0) return CLOCK_REALTIME;
  Pin(PQbackendPID(session));
  return clock;
}

// One turn's times: the clock, and processor time of client and server.
struct Times {
  double wall = 1e300, cpu = 1e300;
  double client = 0, server = 0;  // of the turn of least processor time
  // Keeps the faster of this and one run of f, whose server session is
  // session.
  template <class F>
  void Fastest(PGconn* session, F&& f) {
    const clockid_t server = ServerClock(session);
    const bool server_known = server != CLOCK_REALTIME;
    const double server_start = server_known ? CpuMs(server) : 0;
    const double client_start = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const auto start = std::chrono::steady_clock::now();
    f();
    const double took =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double client = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - client_start;
    const double served = server_known ? CpuMs(server) - server_start : 0;
    wall = std::min(wall, took);
    if (client + served < cpu) {
      cpu = client + served;
      this->client = client;
      this->server = served;
    }
  }
};

template <class F>
double WallMs(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// The raw way to the listing's text: every cell as the listing writes it
// (whole numbers with halves to even and zeros empty, the flag as 是).
std::string RawListing(PGconn* raw, const std::string& sql) {
  PGresult* r = PQexec(raw, sql.c_str());
  int index[24];
  for (int c = 0; c < 24; ++c) {
    index[c] = -1;
    for (int k = 0; k < PQnfields(r); ++k) {
      if (strcasecmp(PQfname(r, k), kListedColumns[c]) == 0) index[c] = k;
    }
  }
  std::string text;
  const int rows = PQntuples(r);
  for (int row = 0; row < rows; ++row) {
    for (int c = 0; c < 24; ++c) {
      if (c > 0) text += '\t';
      const int k = index[c];
      if (PQgetisnull(r, row, k)) continue;
      const char* value = PQgetvalue(r, row, k);
      if (c == 14) {
        if (std::strtod(value, nullptr) != 0) text += "是";
      } else if (c >= 15 && c <= 21) {
        const long whole = std::lrint(std::strtod(value, nullptr));
        if (whole != 0) text += std::to_string(whole);
      } else if (c == 4) {
        text.append(value, std::min<size_t>(10, PQgetlength(r, row, k)));  // the date alone
      } else {
        text.append(value, PQgetlength(r, row, k));
      }
    }
    text += '\r';
  }
  PQclear(r);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("TESSALY_PG_TARGET");
  const std::string target = argc > 1 ? argv[1] : env != nullptr ? env : "";
  if (target.empty()) {
    std::fprintf(stderr, "usage: pg_bench TARGET [adds] (or set TESSALY_PG_TARGET)\n");
    return 2;
  }
  try {
    Pin(0);
    // --- adds ---------------------------------------------------------------
    const std::string schema_target = WithSchema(target, "tessaly_bench_add");
    auto conn = FreshSchema(target, "tessaly_bench_add");
    PGconn* raw = RawOpen(schema_target);
    std::vector<clsKQ> rows(kAdds);
    std::vector<std::string> inline_texts;
    // The same statements with their values lifted out: one text, prepared
    // once, the values sent as text (and, for the binary raw loop below, in
    // the binary forms the library sends).
    std::vector<std::vector<std::string>> lifted_values;
    std::vector<std::vector<tessaly::db::Parameter>> lifted_parameters;
    std::string lifted_text;
    for (int i = 0; i < kAdds; ++i) {
      Fill(rows[i], i);
      const tessaly::db::jet::Translation t = tessaly::db::jet::Translate(
          tessaly::mdlConst::InsertText("T_KQ", rows[i].GetValueFields(),
                                        rows[i].GetValuesString()),
          tessaly::db::postgres::PgDialect(), true);
      lifted_text = t.sql;
      lifted_parameters.push_back(t.parameters);
      std::vector<std::string>& values = lifted_values.emplace_back();
      for (const tessaly::db::Parameter& p : t.parameters) {
        switch (p.kind) {
          case tessaly::db::Parameter::Kind::kInteger:
            values.push_back(std::to_string(p.integer));
            break;
          case tessaly::db::Parameter::Kind::kReal: values.push_back(std::to_string(p.real)); break;
          case tessaly::db::Parameter::Kind::kText: values.push_back(p.text); break;
          case tessaly::db::Parameter::Kind::kDate: values.push_back(p.date.ToStored()); break;
          default: throw std::runtime_error("a value of an unexpected kind");
        }
      }
    }
    for (const auto& [name, text] : {std::pair<const char*, std::string>{"raw_add", lifted_text},
                                     {"raw_add_unique", lifted_text + " ON CONFLICT DO NOTHING"}}) {
      PGresult* prepared = PQprepare(raw, name, text.c_str(), 0, nullptr);
      if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
        throw std::runtime_error(PQresultErrorMessage(prepared));
      PQclear(prepared);
    }
    // The binary raw loop's values, in the types the server gives the
    // statement's parameters (its columns' types).
    std::vector<std::vector<std::string>> binary_values;
    std::vector<std::vector<int>> binary_lengths, binary_formats;
    {
      PGresult* described = PQdescribePrepared(raw, "raw_add");
      for (const auto& row : lifted_parameters) {
        auto& values = binary_values.emplace_back();
        auto& lengths = binary_lengths.emplace_back();
        auto& formats = binary_formats.emplace_back();
        for (size_t k = 0; k < row.size(); ++k) {
          values.push_back(BinaryForm(PQparamtype(described, static_cast<int>(k)), row[k]));
          const bool text = row[k].kind == tessaly::db::Parameter::Kind::kText;
          lengths.push_back(static_cast<int>(values.back().size()));
          formats.push_back(text ? 0 : 1);
        }
      }
      PQclear(described);
    }
    for (int i = 0; i < kAdds; ++i) {
      inline_texts.push_back(conn->Translate(tessaly::mdlConst::InsertText(
          "T_KQ", rows[i].GetValueFields(), rows[i].GetValuesString())));
    }
    // The library's sessions: statements unnamed, and (on a direct session,
    // or through a pooler that keeps track of them) prepared by name.
    struct Form {
      const char* name;
      std::shared_ptr<tessaly::db::Connection> conn;
    };
    std::vector<Form> forms = {{"unnamed", conn}};
    const char* pooled_statements = std::getenv("TESSALY_PG_POOLED_STATEMENTS");
    if (!Pooled() || (pooled_statements != nullptr && std::string(pooled_statements) == "named")) {
      forms.push_back({"named", tessaly::db::Connection::Open(
                                    schema_target + (schema_target.starts_with("postgres")
                                                         ? "&tessaly_statements=named"
                                                         : " tessaly_statements=named"))});
    }
    auto session_of = [](tessaly::db::Connection& c) {
      return static_cast<tessaly::db::postgres::PgBackend&>(tessaly::db::internal::BackendOf(c))
          .handle();
    };
    for (const bool transaction : {true, false}) {
      const char* question = transaction ? "AddInTransaction" : "AddAutocommit";
      Times direct, direct_prepared, direct_binary, direct_unique;
      std::vector<Times> library(forms.size());
      for (int turn = 0; turn < kTurns; ++turn) {
        auto raw_loop = [&](const char* statement, bool binary = false) {
          if (transaction) RawExec(raw, "BEGIN");
          std::vector<const char*> pointers;
          const auto& rows = binary ? binary_values : lifted_values;
          for (size_t i = 0; i < rows.size(); ++i) {
            pointers.clear();
            for (const std::string& v : rows[i]) pointers.push_back(v.c_str());
            PGresult* r =
                PQexecPrepared(raw, statement, static_cast<int>(pointers.size()), pointers.data(),
                               binary ? binary_lengths[i].data() : nullptr,
                               binary ? binary_formats[i].data() : nullptr, 0);
            if (PQresultStatus(r) != PGRES_COMMAND_OK) {
              const std::string message = PQresultErrorMessage(r);
              PQclear(r);
              throw std::runtime_error(message);
            }
            PQclear(r);
          }
          if (transaction) RawExec(raw, "COMMIT");
        };
        RawExec(raw, "TRUNCATE \"T_KQ\"");
        direct_prepared.Fastest(raw, [&] { raw_loop("raw_add"); });
        RawExec(raw, "TRUNCATE \"T_KQ\"");
        direct_binary.Fastest(raw, [&] { raw_loop("raw_add", true); });
        if (transaction) {
          RawExec(raw, "TRUNCATE \"T_KQ\"");
          direct_unique.Fastest(raw, [&] { raw_loop("raw_add_unique"); });
        }
        for (size_t f = 0; f < forms.size(); ++f) {
          tessaly::db::Connection& c = *forms[f].conn;
          tessaly::db::internal::BackendOf(c).Run("TRUNCATE \"T_KQ\"", nullptr);
          for (clsKQ& kq : rows) kq.HConnect(forms[f].conn);
          library[f].Fastest(session_of(c), [&] {
            std::string err;
            if (transaction) c.BeginTrans();
            for (clsKQ& kq : rows) {
              if (kq.Add(err) != tessaly::RES_ADDOK) throw std::runtime_error(err);
            }
            if (transaction) c.CommitTrans();
          });
        }
        RawExec(raw, "TRUNCATE \"T_KQ\"");
        direct.Fastest(raw, [&] {
          if (transaction) RawExec(raw, "BEGIN");
          for (const std::string& sql : inline_texts) RawExec(raw, sql);
          if (transaction) RawExec(raw, "COMMIT");
        });
      }
      std::printf("%s, %d adds, fastest of %d turns; processor time of client and server:\n",
                  question, kAdds, kTurns);
      auto line = [](const char* side, const Times& t) {
        std::printf("  %-28s %7.1f ms cpu (client %6.1f, server %6.1f) %7.1f ms wall\n", side,
                    t.cpu, t.client, t.server, t.wall);
      };
      line("raw libpq prepared once", direct_prepared);
      line("raw, values in binary", direct_binary);
      if (transaction) line("raw, ON CONFLICT DO NOTHING", direct_unique);
      line("raw libpq inline texts", direct);
      for (size_t f = 0; f < forms.size(); ++f) {
        line((std::string("library, ") + forms[f].name).c_str(), library[f]);
      }
      for (size_t f = 0; f < forms.size(); ++f) {
        std::printf("%-18s %-7s library/raw-prepared time = %.2f (cpu), %.2f (wall); "
                    "library/raw time = %.2f (cpu)\n",
                    question, forms[f].name, library[f].cpu / direct_prepared.cpu,
                    library[f].wall / direct_prepared.wall, library[f].cpu / direct.cpu);
        std::printf("%-18s %-7s library/raw-binary time = %.2f (cpu)\n", question, forms[f].name,
                    library[f].cpu / direct_binary.cpu);
        if (transaction) {
          std::printf("%-18s %-7s library/raw-ON-CONFLICT time = %.2f (cpu)\n", question,
                      forms[f].name, library[f].cpu / direct_unique.cpu);
        }
      }
    }
    PQfinish(raw);
    // "adds" after the target: the adds alone, for runs taken in turns.
    if (argc > 2 && std::string(argv[2]) == "adds") {
      tessaly::db::internal::BackendOf(*conn).Run("DROP SCHEMA tessaly_bench_add CASCADE",
                                                  nullptr);
      return 0;
    }

    // --- listing --------------------------------------------------------------
    auto listed = FreshSchema(target, "tessaly_bench_list");
    {
      clsKQ kq;
      listed->BeginTrans();
      for (int i = 0; i < kListedRows; ++i) {
        Fill(kq, i);
        listed->Execute(
            tessaly::mdlConst::InsertText("T_KQ", kq.GetValueFields(), kq.GetValuesString()));
      }
      listed->CommitTrans();
    }
    raw = RawOpen(WithSchema(target, "tessaly_bench_list"));
    RawExec(raw, "ANALYZE");
    const std::string select =
        listed->Translate("select *  from Q_KQ where 1=1 Order by F_Dept,F_EmpID,F_Date");
    clsKQ kq;
    kq.HConnect(listed);
    int32_t count = 0;
    if (kq.ExeSearch("1=1", count) != RawListing(raw, select) || count != kListedRows) {
      throw std::runtime_error("the raw listing differs from the library's");
    }
    double library = 1e300, direct = 1e300;
    for (int turn = 0; turn < kTurns; ++turn) {
      library = std::min(library, WallMs([&] {
                           int32_t n = 0;
                           const std::string text = kq.ExeSearch("1=1", n);
                           if (text.empty()) throw std::runtime_error("empty listing");
                         }));
      direct = std::min(direct, WallMs([&] {
                          const std::string text = RawListing(raw, select);
                          if (text.empty()) throw std::runtime_error("empty listing");
                        }));
    }
    std::printf("%-18s library %7.1f ms, raw libpq %7.1f ms (%d rows): library/raw time = %.2f\n",
                "ExeSearch100k", library, direct, kListedRows, library / direct);
    PQfinish(raw);
    auto admin = tessaly::db::Connection::Open(target);
    for (const char* schema : {"tessaly_bench_add", "tessaly_bench_list"}) {
      tessaly::db::internal::BackendOf(*admin).Run(
          std::string("DROP SCHEMA ") + schema + " CASCADE", nullptr);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pg_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
