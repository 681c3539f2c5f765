// The run of an import: stage, file in chunks, log. How a run stays whole
// when it is stopped, and why the rows look as they do, is docs/IMPORT.md.
#include "tessaly/import/PunchImport.h"

#include <algorithm>
#include <optional>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "db/Parameter.h"
#include "import/PunchLines.h"
#include "migrate/RowWriter.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/SqlText.h"

namespace tessaly {

namespace {

using import::Folded;
using import::Punch;

constexpr std::string_view kReasonTexts[kRejectReasons] = {
    "unreadable line",
    "impossible date or time",
    "before the floor date",
    "later than now plus the skew",
    "outside the period",
    "repeated in the file",
    "unknown card",
    "unknown terminal",
    "double punch within the window",
};

// Short names of the reasons in the log's note, which has 100 characters.
constexpr std::string_view kReasonNotes[kRejectReasons] = {
    "unread", "time", "floor", "ahead", "period", "repeat", "card", "term", "tap",
};
// ... and their letters, where the names do not fit.
constexpr char kReasonLetters[kRejectReasons] = {'u', 'i', 'f', 'n', 'p', 'r', 'c', 't', 'd'};
constexpr size_t kNoteWidth = 100;  // T_Log.F_Note

std::string Q(std::string_view text) { return sql::Quoted(text); }
std::string Q(std::string_view text, size_t width) { return sql::Quoted(vb::LeftChars(text, width)); }
std::string N(int64_t n) { return std::to_string(n); }

std::string Text(const db::Recordset& rs, int32_t field) {
  return rs.Fields().Item(field).Value().ToText();
}

// The run's key: what makes two runs the same run. The lines and every option
// that decides a line's fate, but not "now": a run started again after a stop
// must find the lines its first attempt staged.
std::string RunKey(std::span<const std::string_view> lines, const ImportOptions& o) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](std::string_view s) {
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0xff) * 1099511628211ull;
  };
  mix(N(static_cast<int>(o.format)));
  mix(o.terminal);
  for (const auto& [field, header] : o.map) {
    mix(field);
    mix(header);
  }
  mix(o.from);
  mix(o.to);
  mix(o.floor);
  mix(N(o.skew_minutes));
  mix(N(o.double_tap_seconds));
  for (std::string_view line : lines) mix(line);
  char key[24];
  std::snprintf(key, sizeof key, "imp%016llx", static_cast<unsigned long long>(h));
  return key;
}

std::string ClockNow() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Values of a row as the engine takes them bound, never as literals in a
// statement's text: one prepared INSERT a table on SQLite, COPY on the
// server (migrate::RowWriter).
db::Parameter T(std::string_view text) { return db::Parameter::Text(std::string(text)); }
db::Parameter T(std::string_view text, size_t width) { return T(vb::LeftChars(text, width)); }
db::Parameter I(int64_t n) {
  db::Parameter p;
  p.integer = n;
  return p;
}

using Row = std::vector<db::Parameter>;
using Columns = std::vector<migrate::RowWriter::Column>;
constexpr auto kText = db::Parameter::Kind::kText;
constexpr auto kInt = db::Parameter::Kind::kInteger;

const Columns kStagedColumns = {{"F_WorkNo", kText}, {"F_KQDate", kText}, {"F_KQTime", kText},
                                {"F_DcuID", kText},  {"F_Door", kText},   {"F_Flag", kText}};
const Columns kPunchColumns = {{"F_Date", kText},   {"F_Time", kText},  {"F_CardID", kText},
                               {"F_DCuID", kText},  {"F_Door", kText},  {"F_EmpID", kText},
                               {"F_Name", kText},   {"F_Dept", kText},  {"F_Flag", kInt},
                               {"F_IsEnter", kInt}, {"F_IsExit", kInt}, {"F_IsKQ", kInt}};
const Columns kRejectedColumns = {
    {"F_LoadDate", kText}, {"F_ErrMsg", kText}, {"F_CardID", kText}, {"F_Year", kInt},
    {"F_Month", kInt},     {"F_Day", kInt},     {"F_Hour", kInt},    {"F_Minute", kInt},
    {"F_Date", kText},     {"F_Time", kText},   {"F_EmpID", kText},  {"F_Name", kText},
    {"F_Dept", kText},     {"F_Flag", kInt},    {"F_DCuID", kText},  {"F_Door", kText},
    {"F_IsEnter", kInt},   {"F_IsExit", kInt},  {"F_IsKQ", kInt}};

// Writes rows into a table in one go. On the server that is one COPY, which
// holds the connection until it ends: nothing else may run meanwhile.
void WriteRows(db::Connection& c, const char* table, const Columns& columns, std::vector<Row>& rows) {
  if (rows.empty()) return;
  const std::vector<uint8_t> null(columns.size(), 0);
  migrate::RowWriter writer(c, table, columns);
  for (Row& row : rows) writer.Write(row, null);
  writer.Finish();
  rows.clear();
}

// A staged line's text in T_Collect.F_Door: what its other columns cannot
// hold of the punch as read, so a run started again files it as the first
// attempt would have. The line's number, its direction and the reason the
// file alone gives, then what is cut from the card, date and time by the
// widths of F_WorkNo, F_KQDate and F_KQTime (each as its length, ':' and the
// text), then an unreadable line's text. Most lines need some 15 bytes.
void AppendRest(std::string& s, std::string_view text, size_t kept) {
  const std::string_view rest = text.substr(kept);
  s += N(static_cast<int64_t>(rest.size()));
  s += ':';
  s += rest;
}

std::string StagedText(const Punch& p, std::string_view work, std::string_view date,
                       std::string_view time) {
  std::string s = N(p.line);
  s += '\t';
  s += static_cast<char>('0' + p.direction);
  s += p.verdict ? static_cast<char>('a' + static_cast<int>(*p.verdict)) : '-';
  s += '\t';
  AppendRest(s, p.card, work.size());
  AppendRest(s, p.date, date.size());
  AppendRest(s, p.time, time.size());
  // Only an unreadable line needs its text again (in its rejected row).
  if (p.verdict == RejectReason::kUnreadable) s += p.raw;
  return s;
}

// A staged line's F_Flag: the run's key, ':' and the line's place in filing
// order, nine digits, so a chunk's lines are one range of it.
std::string StagedFlag(const std::string& key, int64_t position) {
  char text[16];
  std::snprintf(text, sizeof text, ":%09lld", static_cast<long long>(position));
  return key + text;
}

Punch StagedPunch(std::string work, std::string date, std::string time, std::string terminal,
                  std::string_view door, std::string_view flag) {
  auto damaged = [] { return std::runtime_error("a staged line is damaged"); };
  auto rest = [&](std::string& into) {
    const size_t colon = door.find(':');
    if (colon == std::string_view::npos) throw damaged();
    const size_t size = std::stoul(std::string(door.substr(0, colon)));
    if (colon + 1 + size > door.size()) throw damaged();
    into.append(door.substr(colon + 1, size));
    door.remove_prefix(colon + 1 + size);
  };
  Punch p;
  const size_t tab = door.find('\t');
  if (tab == std::string_view::npos || tab + 3 >= door.size() || door[tab + 3] != '\t') throw damaged();
  p.line = std::stoll(std::string(door.substr(0, tab)));
  p.direction = static_cast<int8_t>(door[tab + 1] - '0');
  if (door[tab + 2] != '-') p.verdict = static_cast<RejectReason>(door[tab + 2] - 'a');
  door.remove_prefix(tab + 4);
  p.card = std::move(work);
  p.date = std::move(date);
  p.time = std::move(time);
  rest(p.card);
  rest(p.date);
  rest(p.time);
  p.raw = door;
  p.terminal = std::move(terminal);
  const size_t colon = flag.rfind(':');
  if (colon == std::string_view::npos) throw damaged();
  p.position = std::stoll(std::string(flag.substr(colon + 1)));
  p.work = import::WorkOf(p.card);
  if (const auto s = import::MomentOf(p.date, p.time)) p.seconds = *s;
  return p;
}

// The run's own row in T_Collect: its stamp and its counts so far, rewritten
// in the transaction of every chunk so that they always match what is filed.
struct RunState {
  std::string stamp;
  ImportCounts counts;
  int64_t handled = 0;
};

std::string StateText(const RunState& s) {
  std::string t = s.stamp;
  for (int64_t n : {s.counts.lines, s.counts.added, s.counts.skipped, s.handled}) t += '\t' + N(n);
  for (int64_t n : s.counts.rejected_by) t += '\t' + N(n);
  return t;
}

RunState StateOf(std::string_view text) {
  std::vector<int64_t> n;
  RunState s;
  const size_t tab = text.find('\t');
  s.stamp = text.substr(0, tab);
  for (size_t at = tab; at != std::string_view::npos;) {
    const size_t next = text.find('\t', at + 1);
    n.push_back(std::stoll(std::string(text.substr(at + 1, next - at - 1))));
    at = next;
  }
  if (n.size() != 4 + kRejectReasons) throw std::runtime_error("the run's staged state is damaged");
  s.counts.lines = n[0];
  s.counts.added = n[1];
  s.counts.skipped = n[2];
  s.handled = n[3];
  std::copy(n.begin() + 4, n.end(), s.counts.rejected_by.begin());
  return s;
}

struct Employee {
  std::string id, name, dept;
};

struct Terminal {
  std::string address, name;
};

// How an address is looked up: as the database compares texts, and an
// address of digits by its number, since terminals write "1" for the
// terminal registered as "001".
std::string AddressKey(std::string_view address) {
  if (!address.empty() && address.find_first_not_of("0123456789") == std::string_view::npos) {
    const size_t digit = address.find_first_not_of('0');
    return std::string(digit == std::string_view::npos ? "0" : address.substr(digit));
  }
  return Folded(address);
}

// What filing a line asks of the database, read once per run: employees by
// card, terminals by address, the punches and rejected punches stored, and
// the kept punches of each card in time order for the double taps. Each write
// adds to it, so it always equals what a fresh read would give.
class Ledger {
 public:
  // What the ledger holds of one card, looked up once for its run of lines.
  struct Card {
    const Employee* employee = nullptr;
    // The moments of the punches stored under the card's first ten
    // characters (as T_Trans.F_CardID holds it), of the usual shape: a line
    // read is always of it, so no other stored text can be its repeat.
    std::unordered_set<int64_t>* stored = nullptr;
    std::vector<int64_t>* kept = nullptr;  // the card's kept punches, in time order
  };

  Ledger(const std::shared_ptr<db::Connection>& owner, const std::vector<Punch>& punches,
         const ImportOptions& o)
      : window_(o.double_tap_seconds) {
    std::unordered_set<std::string> cards;
    int64_t low = INT64_MAX, high = INT64_MIN;
    for (const Punch& p : punches) {
      cards.insert(Folded(p.card));
      if (!p.verdict) {
        low = std::min(low, p.seconds);
        high = std::max(high, p.seconds);
      }
    }
    db::Recordset rs;
    rs.Open("SELECT F_CardID, F_EmpID, F_Name, F_Dept FROM T_Emp ORDER BY F_EmpID", owner);
    for (; !rs.IsEOF(); rs.MoveNext()) {
      std::string card = Folded(Text(rs, 0));
      if (card.empty() || !cards.contains(card)) continue;
      employees_.try_emplace(std::move(card), Employee{Text(rs, 1), Text(rs, 2), Text(rs, 3)});
    }
    rs.Close();
    rs.Open("SELECT F_Address, F_Name FROM T_KQJ ORDER BY F_Name", owner);
    for (; !rs.IsEOF(); rs.MoveNext()) {
      terminals_.try_emplace(AddressKey(Text(rs, 0)), Terminal{Text(rs, 0), Text(rs, 1)});
    }
    rs.Close();
    if (low <= high) {
      // A day either side: a double tap may cross midnight.
      const std::string first = import::MomentText(low - 86400).substr(0, 10);
      const std::string last = import::MomentText(high + 86400).substr(0, 10);
      rs.Open("SELECT F_CardID, F_Date, F_Time FROM T_Trans WHERE F_Date>=" + Q(first) +
                  " AND F_Date<=" + Q(last),
              owner);
      for (; !rs.IsEOF(); rs.MoveNext()) {
        std::string card = Folded(Text(rs, 0));
        if (!cards.contains(card)) continue;
        const std::string date = Text(rs, 1), time = Text(rs, 2);
        if (const auto at = import::MomentOf(date, time)) stored_[card].insert(*at);
        // A time entered by hand as hh:mm is that minute's start.
        if (const auto at = import::MomentOf(date, time.size() == 5 ? time + ":00" : time)) {
          kept_[std::move(card)].push_back(*at);
        }
      }
      rs.Close();
      for (auto& [card, times] : kept_) std::sort(times.begin(), times.end());
    }
    rs.Open("SELECT F_CardID, F_Date, F_Time, F_ErrMsg FROM T_TransLost", owner);
    for (; !rs.IsEOF(); rs.MoveNext()) {
      rejected_.insert(Folded(Text(rs, 0)) + '\x1f' + Text(rs, 1) + '\x1f' + Text(rs, 2) + '\x1f' +
                       Text(rs, 3));
    }
  }

  Card CardOf(std::string_view card) {
    Card c;
    const std::string folded = Folded(card);
    if (auto it = employees_.find(folded); it != employees_.end()) c.employee = &it->second;
    c.stored = &stored_[Folded(vb::LeftChars(card, 10))];
    c.kept = &kept_[folded];
    return c;
  }
  const Terminal* TerminalOf(std::string_view address) const {
    auto it = terminals_.find(AddressKey(address));
    return it == terminals_.end() ? nullptr : &it->second;
  }
  bool DoubleTap(const Card& c, const Punch& p) const {
    if (window_ <= 0) return false;
    auto at = std::lower_bound(c.kept->begin(), c.kept->end(), p.seconds - window_ + 1);
    return at != c.kept->end() && *at < p.seconds + window_;
  }
  static void Keep(const Card& c, const Punch& p) {
    c.stored->insert(p.seconds);
    c.kept->insert(std::upper_bound(c.kept->begin(), c.kept->end(), p.seconds), p.seconds);
  }
  // Drops what the ledger holds of a filed card: the cards of a chunk (its
  // work numbers whole) are in no later chunk, so a run keeps in memory the
  // stored punches of the cards still to file rather than every punch it
  // added.
  void Forget(std::string_view card) {
    stored_.erase(Folded(vb::LeftChars(card, 10)));
    kept_.erase(Folded(card));
  }
  // False when the same rejected punch is stored already.
  bool Reject(const std::string& card, const std::string& date, const std::string& time,
              RejectReason reason) {
    return rejected_
        .insert(Folded(card) + '\x1f' + date + '\x1f' + time + '\x1f' +
                std::string(ReasonText(reason)))
        .second;
  }

 private:
  int32_t window_;
  std::unordered_map<std::string, Employee> employees_;
  std::unordered_map<std::string, Terminal> terminals_;
  // Keyed by the card's first ten characters, folded.
  std::unordered_map<std::string, std::unordered_set<int64_t>> stored_;
  // Keyed by the whole card, folded.
  std::unordered_map<std::string, std::vector<int64_t>> kept_;
  std::unordered_set<std::string> rejected_;
};

// Decides the fate of each punch in filing order and writes it (or only
// counts it, on a dry run).
class Filer {
 public:
  Filer(db::Connection& c, Ledger& ledger, const std::string& stamp, bool write)
      : ledger_(ledger), stamp_(stamp), write_(write), c_(c) {}

  // Ends the chunk's writing: its punches went to the engine as they were
  // decided (on the server one COPY, which the engine takes in while the
  // next are decided, and which holds the connection until it ends here);
  // its rejected punches, gathered, follow in one go.
  void Flush() {
    if (punches_) punches_->Finish();
    punches_.reset();
    WriteRows(c_, "T_TransLost", kRejectedColumns, rejected_);
  }

  void File(const Punch& p) {
    // A card's lines come one after another, and a terminal's mostly: each
    // is looked up where it changes.
    if (!card_ || p.card != *card_) {
      card_ = &p.card;
      at_ = ledger_.CardOf(p.card);
    }
    if (!address_ || p.terminal != *address_) {
      address_ = &p.terminal;
      terminal_ = ledger_.TerminalOf(p.terminal);
    }
    std::optional<RejectReason> reason = p.verdict;
    const Employee* e = at_.employee;
    const Terminal* terminal = terminal_;
    if (!reason) {
      if (e == nullptr) {
        reason = RejectReason::kUnknownCard;
      } else if (terminal == nullptr) {
        reason = RejectReason::kUnknownTerminal;
      } else if (at_.stored->contains(p.seconds)) {
        ++counts_.skipped;
        return;
      } else if (ledger_.DoubleTap(at_, p)) {
        reason = RejectReason::kDoublePunch;
      }
    }
    if (!reason) {
      Ledger::Keep(at_, p);
      ++counts_.added;
      if (write_) WritePunch(p, *e, *terminal);
      return;
    }
    // The columns of a rejected punch; an unreadable line keeps its text in
    // the time, the one column of the table wide enough for it.
    const bool unreadable = *reason == RejectReason::kUnreadable;
    if (unreadable) e = nullptr, terminal = nullptr;
    const std::string card = unreadable ? std::string() : std::string(vb::LeftChars(p.card, 10));
    const std::string date = unreadable ? std::string() : std::string(vb::LeftChars(p.date, 10));
    const std::string& time = unreadable ? p.raw : p.time;
    if (!ledger_.Reject(card, date, time, *reason)) {
      ++counts_.skipped;
      return;
    }
    ++counts_.rejected_by[static_cast<size_t>(*reason)];
    if (write_) WriteRejected(p, *reason, card, date, time, e, terminal);
  }

  const ImportCounts& counts() const { return counts_; }

 private:
  // A punch carries the terminal's address as the terminal list writes it.
  void WritePunch(const Punch& p, const Employee& e, const Terminal& terminal) {
    if (!punches_) punches_.emplace(c_, "T_Trans", kPunchColumns);
    row_ = Row{T(p.date), T(p.time), T(p.card, 10), T(terminal.address, 3), T(terminal.name, 20),
               T(e.id, 10), T(e.name, 20), T(e.dept, 50), I(0), I(p.direction == 1),
               I(p.direction == 2), I(1)};
    punches_->Write(row_, kNoNulls);
  }

  void WriteRejected(const Punch& p, RejectReason reason, const std::string& card,
                     const std::string& date, const std::string& time, const Employee* e,
                     const Terminal* terminal) {
    const bool timed = !p.verdict || *p.verdict > RejectReason::kImpossibleTime;
    auto part = [&](size_t at) { return I(timed ? std::stoi(p.date.substr(at, at == 0 ? 4 : 2)) : 0); };
    auto clock = [&](size_t at) { return I(timed ? std::stoi(p.time.substr(at, 2)) : 0); };
    rejected_.push_back(Row{
        T(stamp_), T(ReasonText(reason)), T(card), part(0), part(5), part(8), clock(0),
        clock(3), T(date), T(time), T(e ? e->id : "", 10), T(e ? e->name : "", 20),
        T(e ? e->dept : "", 50), I(0), T(card.empty() ? "" : terminal ? terminal->address : p.terminal, 3),
        T(terminal ? terminal->name : "", 20), I(p.direction == 1), I(p.direction == 2), I(1)});
  }

  Ledger& ledger_;
  const std::string* card_ = nullptr;
  Ledger::Card at_;
  const std::string* address_ = nullptr;
  const Terminal* terminal_ = nullptr;
  const std::string& stamp_;
  bool write_;
  db::Connection& c_;
  static inline const std::vector<uint8_t> kNoNulls = std::vector<uint8_t>(kPunchColumns.size(), 0);
  std::optional<migrate::RowWriter> punches_;
  Row row_;
  std::vector<Row> rejected_;
  ImportCounts counts_;
};

ImportCounts& operator+=(ImportCounts& a, const ImportCounts& b) {
  a.added += b.added;
  a.skipped += b.skipped;
  for (size_t i = 0; i < kRejectReasons; ++i) a.rejected_by[i] += b.rejected_by[i];
  return a;
}

// The connection as the shared pointer a recordset takes, without owning it.
std::shared_ptr<db::Connection> Borrowed(db::Connection& c) {
  return std::shared_ptr<db::Connection>(&c, [](db::Connection*) {});
}

// The state text of the run's own row in T_Collect, when it has one.
std::optional<std::string> RunRow(const std::shared_ptr<db::Connection>& c, const std::string& key) {
  db::Recordset rs;
  rs.Open("SELECT F_Door FROM T_Collect WHERE F_WorkNo='' AND F_Flag=" + Q(key), c);
  if (rs.IsEOF()) return std::nullopt;
  return Text(rs, 0);
}
bool HasRunRow(const std::shared_ptr<db::Connection>& c, const std::string& key) {
  return RunRow(c, key).has_value();
}

// What a copy of the run meets when another copy of the same lines and
// options got there first.
constexpr const char* kBegun = "another run of these lines has begun; run again to finish it";
constexpr const char* kFiling = "another run of these lines is filing them and finishes the run";

// Every write of a run is one transaction that holds the run's lock, so two
// copies started together take turns: on the server two transactions would
// otherwise both stage, or both file one chunk. The lock ends with the
// transaction, so a killed run leaves none behind. Committed when body
// returns, rolled back when it throws.
template <class Body>
void InRunTransaction(db::Connection& c, const std::string& key, Body&& body) {
  c.BeginTrans();
  try {
    db::internal::BackendOf(c).LockUntilEnd(std::stoull(key.substr(3), nullptr, 16));
    body();
    c.CommitTrans();
  } catch (...) {
    c.RollbackTrans();
    throw;
  }
}

// How many lines other runs left staged: the rows of T_Collect but the runs'
// own rows and this run's `own` lines. Counted so, it needs no look at each
// line's key.
int64_t ForeignStaged(const std::shared_ptr<db::Connection>& c, size_t own) {
  auto count = [&](const std::string& sql) {
    db::Recordset rs;
    rs.Open(sql, c);
    return rs.Fields().Item(0).Value().ToLong();
  };
  return count("SELECT COUNT(*) FROM T_Collect") - static_cast<int64_t>(own) -
         count("SELECT COUNT(*) FROM T_Collect WHERE F_WorkNo='' AND NOT (F_Flag LIKE '%:%')");
}

// The lines a stopped attempt left staged, in filing order.
std::vector<Punch> StagedPunches(const std::shared_ptr<db::Connection>& c, const std::string& key) {
  std::vector<Punch> punches;
  db::Recordset rs;
  rs.Open("SELECT F_WorkNo, F_KQDate, F_KQTime, F_DcuID, F_Door, F_Flag FROM T_Collect WHERE F_Flag LIKE " +
              Q(key + ":%"),
          c, db::adOpenForwardOnly, db::adLockReadOnly);
  for (; !rs.IsEOF(); rs.MoveNext()) {
    punches.push_back(StagedPunch(Text(rs, 0), Text(rs, 1), Text(rs, 2), Text(rs, 3), Text(rs, 4), Text(rs, 5)));
  }
  std::sort(punches.begin(), punches.end(),
            [](const Punch& x, const Punch& y) { return x.position < y.position; });
  return punches;
}

// Stages every line and the run's own row in one transaction: a stop before
// its end leaves nothing staged, and the next run stages again.
void Stage(db::Connection& connection, const std::shared_ptr<db::Connection>& owner,
           const std::string& key, const std::vector<Punch>& punches, const RunState& state,
           const std::function<void(int64_t)>& staged_so_far) {
  InRunTransaction(connection, key, [&] {
    // Asked again under the lock: a copy of this run that staged meanwhile
    // has committed its row by now.
    if (HasRunRow(owner, key)) throw std::runtime_error(kBegun);
    connection.Execute("INSERT INTO T_Collect (F_WorkNo,F_KQDate,F_KQTime,F_DcuID,F_Door,F_Flag) "
                       "VALUES ('','','',''," + Q(StateText(state)) + "," + Q(key) + ")");
    const std::vector<uint8_t> null(kStagedColumns.size(), 0);
    migrate::RowWriter stage(connection, "T_Collect", kStagedColumns);
    Row row(kStagedColumns.size());
    for (const Punch& p : punches) {
      const std::string_view work = vb::LeftChars(p.card, 10), date = vb::LeftChars(p.date, 10),
                             time = vb::LeftChars(p.time, 5);
      row[0] = T(work);
      row[1] = T(date);
      row[2] = T(time);
      row[3] = T(p.terminal);
      row[4] = T(StagedText(p, work, date, time));
      row[5] = T(StagedFlag(key, p.position));
      stage.Write(row, null);
      if (p.position % 10000 == 0) staged_so_far(p.position);
    }
    stage.Finish();
  });
}

// Deletes the staged lines of a chunk (punches[begin, end), contiguous in
// filing order) and returns how many were still there. The work numbers find
// them by the index; the range of places keeps out lines of other chunks the
// server's texts match as the same work number (letters of other scripts in
// another case).
int64_t DeleteStaged(db::Connection& c, const std::string& key, const std::vector<Punch>& punches,
                     size_t begin, size_t end) {
  const std::string places = " AND F_Flag>=" + Q(StagedFlag(key, punches[begin].position)) +
                             " AND F_Flag<=" + Q(StagedFlag(key, punches[end - 1].position));
  std::set<std::string_view> works;
  for (size_t i = begin; i < end; ++i) works.insert(vb::LeftChars(punches[i].card, 10));
  int64_t gone = 0;
  // A hundred work numbers a statement keeps its text short.
  for (auto it = works.begin(); it != works.end();) {
    std::string in;
    for (int n = 0; n < 100 && it != works.end(); ++n, ++it) (in += in.empty() ? "" : ",") += Q(*it);
    gone += c.Execute("DELETE FROM T_Collect WHERE F_WorkNo IN (" + in + ")" + places);
  }
  return gone;
}

}  // namespace

std::string_view ReasonText(RejectReason reason) {
  return kReasonTexts[static_cast<size_t>(reason)];
}

int64_t ImportCounts::rejected() const {
  int64_t n = 0;
  for (int64_t r : rejected_by) n += r;
  return n;
}

std::string LogNote(const ImportCounts& c) {
  std::string note = "added " + N(c.added) + " skipped " + N(c.skipped) + " rejected " +
                     N(c.rejected());
  // Only the reasons that occurred, without commas, to fit the column.
  std::string sep = ": ";
  for (size_t i = 0; i < kRejectReasons; ++i) {
    if (c.rejected_by[i] == 0) continue;
    note += sep + std::string(kReasonNotes[i]) + " " + N(c.rejected_by[i]);
    sep = " ";
  }
  if (note.size() <= kNoteWidth) return note;
  // Too long: a letter a count, and no total of the rejected (the log row's
  // F_RecCnt less the added and skipped). Under ten million lines this
  // always fits: at most nine of its eleven counts have seven digits.
  note = "a" + N(c.added) + " s" + N(c.skipped) + ":";
  for (size_t i = 0; i < kRejectReasons; ++i) {
    if (c.rejected_by[i] != 0) note += std::string(" ") + kReasonLetters[i] + N(c.rejected_by[i]);
  }
  return std::string(vb::LeftChars(note, kNoteWidth));
}

ImportResult ImportPunches(db::Connection& connection, std::span<const std::string_view> lines,
                           const ImportOptions& options,
                           const std::function<void(const ImportProgress&)>& progress) {
  if (options.skew_minutes < 0 || options.double_tap_seconds < 0) {
    throw std::invalid_argument("the skew and the double-tap window cannot be negative");
  }
  auto report = [&](ImportProgress::Phase phase, int64_t staged, int64_t handled,
                    const ImportCounts& counts) {
    if (progress) progress(ImportProgress{phase, staged, handled, counts});
  };
  const std::shared_ptr<db::Connection> owner = Borrowed(connection);
  const std::string key = RunKey(lines, options);

  ImportResult result;
  RunState state;
  std::vector<Punch> punches;
  if (const std::optional<std::string> row = RunRow(owner, key)) {
    // A stopped attempt staged every line: file what it left (a dry run
    // counts what that would do, from the counts the attempt reached).
    state = StateOf(*row);
    result.resumed = true;
    punches = StagedPunches(owner, key);
    result.foreign_staged = ForeignStaged(owner, punches.size());
  } else {
    state.stamp = options.now.empty() ? ClockNow() : options.now;
    const auto now = import::MomentOf(std::string_view(state.stamp).substr(0, 10),
                                      state.stamp.size() > 11 ? std::string_view(state.stamp).substr(11) : "");
    if (!now) throw std::invalid_argument("'" + state.stamp + "' is no moment (yyyy-mm-dd hh:mm:ss)");
    punches = import::ReadPunches(lines, options, *now + int64_t{options.skew_minutes} * 60);
    state.counts.lines = static_cast<int64_t>(punches.size());
    result.foreign_staged = ForeignStaged(owner, 0);
    // Staged in filing order, the work-number index of T_Collect grows at
    // its end instead of everywhere: far fewer pages written.
    if (!options.dry_run) {
      Stage(connection, owner, key, punches, state, [&](int64_t staged) {
        report(ImportProgress::Phase::kStaging, staged, 0, state.counts);
      });
    }
  }

  Ledger ledger(owner, punches, options);
  report(ImportProgress::Phase::kFiling, state.counts.lines, state.handled, state.counts);
  for (size_t begin = 0; begin < punches.size();) {
    // A chunk ends where a work number does.
    size_t end = std::min(punches.size(), begin + std::max<size_t>(1, options.chunk_lines));
    while (end < punches.size() && punches[end].work == punches[end - 1].work) ++end;
    Filer filer(connection, ledger, state.stamp, !options.dry_run);
    RunState next = state;
    if (options.dry_run) {
      for (size_t i = begin; i < end; ++i) filer.File(punches[i]);
    } else {
      InRunTransaction(connection, key, [&] {
        // Under the run's lock, the run's row and the chunk's staged lines
        // tell whether another copy of the run filed them meanwhile; the
        // counts go on from the row's.
        const std::optional<std::string> row = RunRow(owner, key);
        if (!row) throw std::runtime_error(kFiling);
        next = StateOf(*row);
        for (size_t i = begin; i < end; ++i) filer.File(punches[i]);
        filer.Flush();
        if (DeleteStaged(connection, key, punches, begin, end) != static_cast<int64_t>(end - begin)) {
          throw std::runtime_error(kFiling);
        }
        next.counts += filer.counts();
        next.handled += static_cast<int64_t>(end - begin);
        connection.Execute("UPDATE T_Collect SET F_Door=" + Q(StateText(next)) +
                           " WHERE F_WorkNo='' AND F_Flag=" + Q(key));
      });
    }
    for (size_t i = begin; i < end; ++i) {
      if (i == begin || punches[i].card != punches[i - 1].card) ledger.Forget(punches[i].card);
    }
    if (options.dry_run) {
      next.counts += filer.counts();
      next.handled += static_cast<int64_t>(end - begin);
    }
    state = next;
    begin = end;
    report(ImportProgress::Phase::kFiling, state.counts.lines, state.handled, state.counts);
  }

  if (!options.dry_run) {
    // The log row and the end of the run's own row, together: a stop before
    // this leaves the run to be finished by the next, which logs it once.
    InRunTransaction(connection, key, [&] {
      if (connection.Execute("DELETE FROM T_Collect WHERE F_WorkNo='' AND F_Flag=" + Q(key)) != 1) {
        throw std::runtime_error(kFiling);
      }
      connection.Execute("INSERT INTO T_Log (F_Date,F_Time,F_RecCnt,F_Operator,F_Note) VALUES (" +
                         Q(state.stamp.substr(0, 10)) + "," + Q(state.stamp.substr(11, 8)) + "," +
                         N(std::min<int64_t>(state.counts.lines, INT32_MAX)) + "," +
                         Q(options.operator_name, 10) + "," + Q(LogNote(state.counts)) + ")");
    });
  }
  result.counts = state.counts;
  result.stamp = state.stamp;
  report(ImportProgress::Phase::kDone, state.counts.lines, state.handled, state.counts);
  return result;
}

std::vector<RejectedLine> RejectedOfRun(db::Connection& connection, const std::string& stamp,
                                        std::span<const std::string_view> lines,
                                        const ImportOptions& options) {
  std::vector<RejectedLine> filed;
  db::Recordset rs;
  rs.Open("SELECT F_CardID, F_Date, F_Time, F_DcuID, F_IsEnter, F_IsExit, F_ErrMsg FROM T_TransLost "
          "WHERE F_LoadDate=" + Q(stamp) + " ORDER BY F_ID",
          Borrowed(connection), db::adOpenForwardOnly, db::adLockReadOnly);
  for (; !rs.IsEOF(); rs.MoveNext()) {
    RejectedLine r;
    r.reason = Text(rs, 6);
    const bool unreadable = r.reason == ReasonText(RejectReason::kUnreadable);
    r.person = Text(rs, 0);
    r.date = Text(rs, 1);
    (unreadable ? r.line : r.time) = Text(rs, 2);
    r.terminal = Text(rs, 3);
    r.direction = rs.Fields().Item(4).Value().ToLong() != 0   ? "in"
                  : rs.Fields().Item(5).Value().ToLong() != 0 ? "out"
                                                                : "";
    filed.push_back(std::move(r));
  }
  rs.Close();

  // The rows are filed by card; the lines they came from give the order. A
  // rejected row is the line's of the same reason, card, date and time (an
  // unreadable line's: of the same text), and of several such lines the
  // first, since each card's lines are filed in time and line order and the
  // later ones are then skipped as the same rejected punch.
  auto key = [](std::string_view reason, std::string_view card, std::string_view date,
                std::string_view time) {
    std::string k(reason);
    for (std::string_view part : {card, date, time}) (k += '\x1f') += part;
    return k;
  };
  std::unordered_map<std::string, std::vector<size_t>> waiting;
  for (size_t i = filed.size(); i-- > 0;) {
    const RejectedLine& r = filed[i];
    waiting[key(r.reason, Folded(r.person), r.date, r.line.empty() ? r.time : r.line)].push_back(i);
  }
  const auto now = import::MomentOf(std::string_view(stamp).substr(0, 10),
                                    stamp.size() > 11 ? std::string_view(stamp).substr(11) : "");
  std::vector<Punch> punches =
      now ? import::ReadPunches(lines, options, *now + int64_t{options.skew_minutes} * 60)
          : std::vector<Punch>();
  std::sort(punches.begin(), punches.end(), [](const Punch& x, const Punch& y) { return x.line < y.line; });
  std::vector<RejectedLine> out;
  std::vector<uint8_t> taken(filed.size(), 0);
  for (const Punch& p : punches) {
    static constexpr RejectReason kByDatabase[] = {RejectReason::kUnknownCard, RejectReason::kUnknownTerminal,
                                                   RejectReason::kDoublePunch};
    const std::span<const RejectReason> reasons =
        p.verdict ? std::span<const RejectReason>(&*p.verdict, 1) : std::span<const RejectReason>(kByDatabase);
    for (RejectReason reason : reasons) {
      const bool unreadable = reason == RejectReason::kUnreadable;
      auto it = waiting.find(unreadable ? key(ReasonText(reason), "", "", p.raw)
                                        : key(ReasonText(reason), Folded(vb::LeftChars(p.card, 10)),
                                              vb::LeftChars(p.date, 10), p.time));
      if (it == waiting.end() || it->second.empty()) continue;
      taken[it->second.back()] = 1;
      out.push_back(std::move(filed[it->second.back()]));
      it->second.pop_back();
      break;
    }
  }
  // Rows no line accounts for (the lines given are not the run's) keep the
  // order they were filed in, after the rest.
  for (size_t i = 0; i < filed.size(); ++i) {
    if (!taken[i]) out.push_back(std::move(filed[i]));
  }
  return out;
}

std::string RejectedCsv(std::span<const RejectedLine> rejected) {
  std::string csv = "person,date,time,terminal,direction,reason,line\r\n";
  for (const RejectedLine& r : rejected) {
    for (const std::string* f : {&r.person, &r.date, &r.time, &r.terminal, &r.direction, &r.reason}) {
      csv += import::CsvField(*f);
      csv += ',';
    }
    csv += import::CsvField(r.line);
    csv += "\r\n";
  }
  return csv;
}

}  // namespace tessaly
