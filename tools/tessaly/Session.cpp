#include "Session.h"

#include <editline/readline.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "Script.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/SqlText.h"

namespace tessaly::tool {
namespace {

// --- Ctrl-C -------------------------------------------------------------------
// The handler may only touch what is safe in a signal handler: a flag, an
// atomic pointer to the connection whose statement runs (Interrupt is made
// for this), and a pipe that wakes the terminal's wait for a key.

volatile std::sig_atomic_t interrupted = 0;
std::atomic<db::Connection*> running{nullptr};
int wake[2] = {-1, -1};  // the handler writes to wake[1]
static_assert(std::atomic<db::Connection*>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  const int saved = errno;
  interrupted = 1;
  if (db::Connection* connection = running.load()) connection->Interrupt();
  if (wake[1] >= 0) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t wrote = ::write(wake[1], &byte, 1);
  }
  errno = saved;
}

void CatchInterrupts() {
  if (wake[0] < 0 && ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

// True once when Ctrl-C came since the last call; the wake pipe is emptied.
bool TakeInterrupt() {
  char bytes[64];
  while (wake[0] >= 0 && ::read(wake[0], bytes, sizeof bytes) > 0) {
  }
  const bool was = interrupted != 0;
  interrupted = 0;
  return was;
}

// The connection is interrupted by Ctrl-C while a statement of it runs.
class Running {
 public:
  explicit Running(db::Connection& connection) { running.store(&connection); }
  ~Running() { running.store(nullptr); }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
};

// --- the terminal ----------------------------------------------------------------

// Line editing's source of keys: standard input, watched together with the
// wake pipe so that Ctrl-C at a prompt ends the line at once. The line so
// ended is dropped (TakeInterrupt tells). A character is given whole (line
// editing works in characters), decoded from its UTF-8 bytes.
int ReadKey(FILE*) {
  for (;;) {
    if (interrupted) return '\n';
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {wake[0], POLLIN, 0}};
    if (::poll(watched, wake[0] >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return EOF;
    }
    if (watched[1].revents != 0) continue;  // `interrupted` is set
    unsigned char byte;
    if (::read(STDIN_FILENO, &byte, 1) != 1) {
      if (errno == EINTR) continue;
      return EOF;
    }
    if (byte == 0x03) {  // Ctrl-C as a key, where the terminal sends no signal
      interrupted = 1;
      continue;
    }
    const int more = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    int code = more == 0 ? byte : byte & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
      if (::read(STDIN_FILENO, &byte, 1) != 1 || (byte & 0xC0) != 0x80) return 0xFFFD;
      code = code << 6 | (byte & 0x3F);
    }
    return code;
  }
}

// The history file: $TESSALY_HISTORY, else ~/.tessaly_history, else none.
std::string HistoryPath() {
  if (const char* path = std::getenv("TESSALY_HISTORY")) return path;
  if (const char* home = std::getenv("HOME")) return std::string(home) + "/.tessaly_history";
  return {};
}

constexpr int kHistoryKept = 1000;
constexpr char kHistoryHeader[] = "_HiStOrY_V2_\n";

// Adds a line to the end of the history file as it is entered, so a session
// that ends any way keeps it, and sessions side by side keep each other's:
// blanks, backslashes and control characters escaped in octal, as line
// editing reads them back.
void AppendHistory(const std::string& path, std::string_view line) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;  // no history is no reason to stop
  std::string entry;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size == 0) entry = kHistoryHeader;
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      entry += "\\\\";
    } else if (byte <= ' ' || byte == 0x7F) {
      const char octal[] = {'\\', static_cast<char>('0' + (byte >> 6)),
                            static_cast<char>('0' + (byte >> 3 & 7)),
                            static_cast<char>('0' + (byte & 7))};
      entry.append(octal, sizeof octal);
    } else {
      entry += c;
    }
  }
  entry += '\n';
  [[maybe_unused]] const ssize_t wrote = ::write(fd, entry.data(), entry.size());
  ::close(fd);
}

// Reads the history, and writes it back shortened when appending has made
// the file twice as long as what is kept.
void LoadHistory(const std::string& path) {
  using_history();
  stifle_history(kHistoryKept);
  if (path.empty() || read_history(path.c_str()) != 0) return;
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return;
  int lines = 0;
  for (int c; (c = std::fgetc(file)) != EOF;) lines += c == '\n';
  std::fclose(file);
  if (lines > 2 * kHistoryKept) write_history(path.c_str());
}

// A statement the library could not read is shown from where reading failed.
void Report(const Error& e, const std::string& where, std::string_view statement) {
  std::cerr << where << "error " << e.number() << ": " << e.description() << std::endl;
  if (const std::optional<size_t> at = e.offset()) {
    size_t byte = 0;
    for (size_t chars = 0; byte < statement.size(); ++byte) {
      if ((static_cast<unsigned char>(statement[byte]) & 0xC0) == 0x80) continue;
      if (chars++ == *at) break;
    }
    const std::string_view rest = statement.substr(byte);
    std::cerr << where << "at character " << *at << " near '"
              << rest.substr(0, rest.find_first_of("\r\n")) << "'" << std::endl;
  }
}

// A parameter as a Jet literal: a text quoted, a date between #s.
std::string Literal(const db::Variant& v) {
  if (const std::string* text = v.AsString()) return sql::Quoted(*text);
  if (v.AsDate() != nullptr) return "#" + v.ToText() + "#";
  return v.ToText();
}

}  // namespace

void RequireUtf8(std::string_view text, std::string_view what) {
  if (const std::optional<size_t> at = FirstInvalidUtf8(text)) {
    throw Refusal{kUsage, std::string(what) + " is not valid UTF-8: byte offset " +
                              std::to_string(*at)};
  }
}

Session::Session(std::shared_ptr<db::Connection> connection, const OutputOptions& options,
                 bool quiet)
    : connection_(std::move(connection)), printer_(options), quiet_(quiet) {
  CatchInterrupts();
}

void Session::Run(std::string_view statement) {
  Running guard(*connection_);
  // A Ctrl-C that came before the connection could be interrupted.
  if (interrupted) throw Error::Runtime(errnum::kOperationCancelled);
  // The statement's kind decides how it runs: a query prints its rows, a
  // definition changes no rows, anything else reports its count.
  const db::Connection::Kind plan = connection_->KindOf(statement);
  if (plan.returns_rows) {
    db::Recordset rs;
    rs.Open(statement, connection_, db::adOpenForwardOnly, db::adLockReadOnly);
    // An engine that hands over the whole result at once has nothing left to
    // interrupt: the printing stops instead.
    if (rs.State() != 0) PrintRows(rs, {}, *printer_.writer, &interrupted);
    printer_.sink.Flush();
    if (interrupted) throw Error::Runtime(errnum::kOperationCancelled);
    return;
  }
  const int32_t changed = connection_->Execute(statement);
  printer_.sink.Flush();  // what came before the message shows before it
  if (quiet_ || plan.defines) return;
  std::cerr << changed << (changed == 1 ? " row changed" : " rows changed") << std::endl;
}

void Session::Explain(std::string_view statement) {
  const db::Connection::Explanation plan = connection_->Explain(statement);
  std::string text;
  if (!plan.make_table.empty()) text += "-- makes table " + plan.make_table + " of the rows of:\n";
  if (!plan.sql.empty()) text += plan.sql + "\n";
  for (const std::string& s : plan.before) text += "-- before: " + s + "\n";
  if (plan.sql != plan.prepared || !plan.before.empty() || !plan.after.empty()) {
    text += "-- prepared: " + plan.prepared + "\n";
  }
  for (const std::string& s : plan.after) text += "-- after: " + s + "\n";
  for (size_t i = 0; i < plan.parameters.size(); ++i) {
    text += "-- " + std::to_string(i + 1) + ": " + Literal(plan.parameters[i]) + "\n";
  }
  printer_.sink.Write(text);
  printer_.sink.Flush();
}

int Session::RunOne(std::string_view statement) {
  try {
    Run(statement);
  } catch (const Error& e) {
    printer_.sink.Flush();
    if (!interrupted) {
      Report(e, "", statement);
      return kFailure;
    }
  }
  if (!TakeInterrupt()) return kSuccess;
  std::cerr << "interrupted" << std::endl;
  return kInterrupted;
}

int Session::RunScript(std::string_view text, std::string_view source) {
  std::vector<Statement> statements;
  StatementSplitter splitter;
  splitter.Feed(text, statements);
  if (std::optional<Statement> last = splitter.Finish()) statements.push_back(std::move(*last));
  for (const Statement& s : statements) {
    const std::string where = std::string(source) + ":" + std::to_string(s.line) + ": ";
    try {
      Run(s.text);
    } catch (const Error& e) {
      printer_.sink.Flush();
      if (!interrupted) {
        Report(e, where, s.text);
        return kFailure;
      }
    }
    // Ctrl-C ends the script at the statement it came during: stopped by
    // the engine, that statement changed nothing; none after it runs.
    if (TakeInterrupt()) {
      std::cerr << where << "interrupted" << std::endl;
      return kInterrupted;
    }
  }
  return kSuccess;
}

int Session::RunInteractive() {
  // Ctrl-C is the session's own: line editing neither catches it nor reads
  // keys but through ReadKey. Both are read when line editing starts, which
  // the history's first use does.
  rl_catch_signals = 0;
  rl_getc_function = ReadKey;
  const std::string history = HistoryPath();
  LoadHistory(history);
  // The prompt belongs on the terminal even when the rows go to a file.
  rl_outstream = isatty(STDOUT_FILENO) ? stdout : stderr;
  std::fprintf(rl_outstream,
               "tessaly: statements end with ';'; .explain STATEMENT shows what the engine "
               "runs;\nCtrl-C stops a statement; Ctrl-D leaves.\n");

  StatementSplitter splitter;
  std::vector<Statement> ready;
  while (char* read = readline(splitter.Pending() ? "   ...> " : "tessaly> ")) {
    std::string line(read);
    std::free(read);
    if (TakeInterrupt()) {
      // Ctrl-C at a prompt: the statement begun is dropped.
      splitter = StatementSplitter();
      continue;
    }
    try {
      RequireUtf8(line, "the line");
    } catch (const Refusal& r) {
      std::cerr << "error: " << r.message << std::endl;
      continue;
    }
    if (line.find_first_not_of(" \t") != std::string::npos) {
      add_history(line.c_str());
      if (!history.empty()) AppendHistory(history, line);
    }
    if (!splitter.Pending() && (line.starts_with(".explain ") || line.starts_with(".explain\t"))) {
      try {
        Explain(std::string_view(line).substr(8));
      } catch (const Error& e) {
        Report(e, "", std::string_view(line).substr(8));
      }
      continue;
    }
    line += '\n';
    splitter.Feed(line, ready);
    for (const Statement& s : ready) {
      try {
        Run(s.text);
      } catch (const Error& e) {
        printer_.sink.Flush();
        if (!interrupted) Report(e, "", s.text);
      }
      // Ctrl-C stops the statements after it on the line as well.
      if (TakeInterrupt()) {
        std::cerr << "interrupted" << std::endl;
        break;
      }
    }
    ready.clear();
  }
  std::fputc('\n', rl_outstream);
  return kSuccess;
}

}  // namespace tessaly::tool
