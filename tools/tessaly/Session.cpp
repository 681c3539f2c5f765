#include "Session.h"

#include <editline/readline.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "Script.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"

namespace tessaly::tool {
namespace {

// A query prints rows; every other statement writes. Jet has no SELECT INTO,
// so the first word tells them apart.
bool IsQuery(std::string_view statement) {
  size_t i = statement.find_first_not_of(" \t\r\n(");
  if (i == std::string_view::npos) return false;
  auto starts = [&](std::string_view word) {
    if (statement.size() - i < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
      char c = statement[i + k];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != word[k]) return false;
    }
    return true;
  };
  return starts("select") || starts("transform");
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

// The history file: $TESSALY_HISTORY, else ~/.tessaly_history, else none.
std::string HistoryPath() {
  if (const char* path = std::getenv("TESSALY_HISTORY")) return path;
  if (const char* home = std::getenv("HOME")) return std::string(home) + "/.tessaly_history";
  return {};
}

}  // namespace

void RequireUtf8(std::string_view text, std::string_view what) {
  if (const std::optional<size_t> at = FirstInvalidUtf8(text)) {
    throw Refusal{kUsage, std::string(what) + " is not valid UTF-8: byte offset " +
                              std::to_string(*at)};
  }
}

void Session::Run(std::string_view statement) {
  if (IsQuery(statement)) {
    db::Recordset rs;
    rs.Open(statement, connection_, db::adOpenForwardOnly, db::adLockReadOnly);
    if (rs.State() != 0) PrintRows(rs, {}, *printer_.writer);
    printer_.sink.Flush();
    return;
  }
  const int32_t changed = connection_->Execute(statement);
  printer_.sink.Flush();  // what came before the message shows before it
  if (!quiet_) std::cerr << changed << (changed == 1 ? " row changed" : " rows changed") << std::endl;
}

int Session::RunScript(std::string_view text, std::string_view source) {
  std::vector<Statement> statements;
  StatementSplitter splitter;
  splitter.Feed(text, statements);
  if (std::optional<Statement> last = splitter.Finish()) statements.push_back(std::move(*last));
  for (const Statement& s : statements) {
    try {
      Run(s.text);
    } catch (const Error& e) {
      printer_.sink.Flush();
      Report(e, std::string(source) + ":" + std::to_string(s.line) + ": ", s.text);
      return kFailure;
    }
  }
  return kSuccess;
}

int Session::RunInteractive() {
  const std::string history = HistoryPath();
  using_history();
  stifle_history(1000);
  if (!history.empty()) read_history(history.c_str());
  // The prompt belongs on the terminal even when the rows go to a file.
  rl_outstream = isatty(STDOUT_FILENO) ? stdout : stderr;
  std::fprintf(rl_outstream, "tessaly: statements end with ';'; Ctrl-D leaves.\n");

  StatementSplitter splitter;
  std::vector<Statement> ready;
  while (char* read = readline(splitter.Pending() ? "   ...> " : "tessaly> ")) {
    std::string line(read);
    std::free(read);
    try {
      RequireUtf8(line, "the line");
    } catch (const Refusal& r) {
      std::cerr << "error: " << r.message << std::endl;
      continue;
    }
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    line += '\n';
    splitter.Feed(line, ready);
    for (const Statement& s : ready) {
      try {
        Run(s.text);
      } catch (const Error& e) {
        printer_.sink.Flush();
        Report(e, "", s.text);
      }
    }
    ready.clear();
  }
  std::fputc('\n', rl_outstream);
  if (!history.empty()) write_history(history.c_str());
  return kSuccess;
}

}  // namespace tessaly::tool
