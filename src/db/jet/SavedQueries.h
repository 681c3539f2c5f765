// Saved queries in Jet statements, read from the statement's tokens: where a
// statement names one as a source, the EXECUTE that runs one with its
// values, the PARAMETERS clause a saved text declares its values in, and the
// ANSI-92 statements that define and drop one. What the names stand for is
// the connection's business (db/SavedQueries.h); nothing here looks them up.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/jet/Token.h"

namespace tessaly::db::jet {

// A name read from a name token: a word as written, a [name] without its
// brackets.
std::string_view NameOfToken(const Token& token);

// A place in a statement where a table or saved query is read from: the
// name token of a FROM list or a JOIN's side (not a qualifier, not a
// subquery). aliased: an alias follows it (AS x, or a bare name).
struct SourceName {
  size_t token = 0;  // index into the tokens
  bool aliased = false;
};
std::vector<SourceName> SourceNames(const std::vector<Token>& tokens);

// PARAMETERS name type [, ...]; at the head of a statement: the names in
// order with their type words, and the offset just past its ";" (0 when the
// statement has no such clause or it cannot be read; the translator then
// says what is wrong with it).
struct DeclaredParameter {
  std::string_view name;
  std::string_view type;
};
struct ParametersClause {
  std::vector<DeclaredParameter> names;
  size_t end = 0;
};
ParametersClause ReadParametersClause(const std::vector<Token>& tokens);

// The tokens where a declared name is used as a value: alone, neither
// qualified (t.name) nor qualifying (name.c), nor a function's name.
std::vector<size_t> ParameterUses(const std::vector<Token>& tokens,
                                  const std::vector<DeclaredParameter>& names, size_t from);

// EXECUTE name [value [, value] ...]: Jet's ANSI-92 call of a saved query.
// The values are constants: a text, a number with its sign, a #date#, True,
// False or Null.
struct Argument {
  enum class Kind { kText, kNumber, kDate, kTrue, kFalse, kNull };
  Kind kind = Kind::kNull;
  std::string text;  // a text without its quotes, a number as written, a date between its #s
};
struct ExecuteCall {
  std::string name;
  std::vector<Argument> arguments;
};
// Null when the statement is no EXECUTE (EXEC); malformed is set when it is
// one whose name or values cannot be read.
std::optional<ExecuteCall> ReadExecute(const std::vector<Token>& tokens, bool* malformed);

// CREATE PROCEDURE name [(name type, ...)] AS statement, CREATE VIEW name AS
// select, DROP PROCEDURE name, DROP VIEW name. text is what is kept: the
// statement, after "PARAMETERS ...;" when the procedure declares values.
struct QueryDefinition {
  bool drop = false;
  bool view = false;
  std::string name;
  std::string text;
};
// Null when sql is none of these; malformed is set when it begins as one of
// them but cannot be read.
std::optional<QueryDefinition> ReadQueryDefinition(std::string_view sql, bool* malformed);

}  // namespace tessaly::db::jet
