// Running statements for the `sql` command: from the command line, a file,
// standard input or a terminal, printing rows and reporting writes alike.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Output.h"

namespace tessaly::db {
class Connection;
}

namespace tessaly::tool {

// A refusal of the tool's own (bad input, a database it cannot open) and the
// exit status it ends with.
struct Refusal {
  int status;
  std::string message;
};

enum ExitStatus : int {
  kSuccess = 0,
  kFailure = 1,
  kUsage = 2,
  kNoDatabase = 3,
  kInterrupted = 130,  // Ctrl-C, as a shell reports a command SIGINT ended
};

// Refuses (kUsage) a text that is not UTF-8, naming `what` and the offset.
void RequireUtf8(std::string_view text, std::string_view what);

// Output on standard output in one form.
struct Printer {
  explicit Printer(const OutputOptions& options)
      : options(options), writer(MakeWriter(this->options, sink)) {}
  OutputOptions options;
  Sink sink{1};
  std::unique_ptr<RowWriter> writer;
};

// Ctrl-C stops the statement running: the session's connection is
// interrupted (the statement fails and changes nothing) and the session ends
// with kInterrupted, or, at a terminal, goes back to the prompt.
class Session {
 public:
  Session(std::shared_ptr<db::Connection> connection, const OutputOptions& options, bool quiet);

  // Runs one Jet statement: a query prints its rows, a write says on standard
  // error how many rows it changed (a definition says nothing). Raises
  // tessaly::Error when it fails.
  void Run(std::string_view statement);

  // Prints on standard output the engine's statement a Jet statement
  // becomes: with its values written in, then as the engine runs it, with
  // its values as numbered parameters. Raises tessaly::Error for a statement
  // the translator cannot read.
  void Explain(std::string_view statement);

  // Runs a statement given whole (Run): kSuccess, or kInterrupted when
  // Ctrl-C came. Raises tessaly::Error when it fails otherwise.
  int RunOne(std::string_view statement);

  // Runs the statements of a script one after another, stopping at the
  // first that fails; `source` names the script in the error ("FILE:LINE:").
  int RunScript(std::string_view text, std::string_view source);

  // Reads statements from the terminal until its end (Ctrl-D), with line
  // editing and a history kept between sessions, each line added to its file
  // as it is entered. A failing statement is reported and the session goes
  // on; Ctrl-C stops the statement running, or drops the one being typed.
  // ".explain STATEMENT" prints what Explain prints.
  int RunInteractive();

 private:
  std::shared_ptr<db::Connection> connection_;
  Printer printer_;
  bool quiet_;
};

}  // namespace tessaly::tool
