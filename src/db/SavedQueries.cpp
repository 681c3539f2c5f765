#include "db/SavedQueries.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>
#include <utility>

#include "db/Backend.h"
#include "db/JetErrors.h"
#include "db/NumberText.h"
#include "db/Rules.h"
#include "db/jet/Ast.h"
#include "db/jet/Dialect.h"
#include "db/jet/Lexer.h"
#include "db/jet/Parser.h"
#include "tessaly/Error.h"
#include "tessaly/db/Vb.h"

namespace tessaly::db::internal {
namespace {

constexpr std::string_view kTable = "tessaly_saved_queries";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

// A saved text as it stands inside another statement: without the blanks
// and the ";" that may end it.
std::string_view Body(std::string_view text, size_t from) {
  text.remove_prefix(std::min(from, text.size()));
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == ';')) text.remove_suffix(1);
  return text;
}

bool ContainsFrom(std::string_view sql) {
  for (size_t i = 0; i + 4 <= sql.size(); ++i) {
    if (rules::StartsWithNoCase(sql, i, "FROM")) return true;
  }
  return false;
}

// How deeply saved queries that read saved queries are followed for their
// columns.
constexpr int kDeepest = 16;

// Saved queries written into one another may nest this deep, and the
// statement they make may grow this long: queries that read each other
// twice over double it at each level, and a file may hold any number. The
// file database's parser reads some fifteen queries nested in one another,
// the server's many more; both refuse a thirteenth alike, leaving the
// statement some nesting of its own.
constexpr size_t kDeepestWrittenIn = 12;
constexpr size_t kLongestWrittenIn = size_t{1} << 20;

Error TooComplex() { return Error(errnum::kFail, "Query is too complex."); }

bool IsNameToken(const jet::Token& t) {
  return t.kind == jet::TokenKind::kBracketName ||
         (t.kind == jet::TokenKind::kWord && !jet::IsReserved(t.text));
}

// Words of Jet's statements that are no names though a bare name could be
// spelt so.
bool IsClauseWord(const jet::Token& t) {
  static constexpr std::string_view kWords[] = {"ALL",         "DISTINCTROW", "PERCENT",   "WITH",
                                                "OWNERACCESS", "OPTION",      "TRANSFORM", "PIVOT"};
  return t.kind == jet::TokenKind::kWord &&
         std::any_of(std::begin(kWords), std::end(kWords),
                     [&](std::string_view w) { return t.IsWord(w); });
}

Error TooFewParameters(size_t expected) {
  return Error(errnum::kNoValue, "Too few parameters. Expected " + std::to_string(expected) + ".");
}

std::string TextLiteral(std::string_view text) { return rules::Delimited(text, '\''); }

// The literal a value given by EXECUTE stands as in its parameter's place,
// converted to the parameter's declared type as Jet converts it: a text
// that spells no number for a number, or no date for a date, is a type
// mismatch. A parameter of type Value (or Binary, Guid) takes the value as
// it is.
std::string Literal(const jet::Argument& value, std::string_view type) {
  using Kind = jet::Argument::Kind;
  if (value.kind == Kind::kNull) return "Null";
  jet::JetType jet_type = jet::JetType::kText;
  const bool typed = jet::FindJetType(type, &jet_type);
  const bool numeric =
      rules::EqualsNoCase(type, "NUMERIC") ||
      (typed && (jet_type == jet::JetType::kByte || jet_type == jet::JetType::kShort ||
                 jet_type == jet::JetType::kLong || jet_type == jet::JetType::kSingle ||
                 jet_type == jet::JetType::kDouble || jet_type == jet::JetType::kCurrency ||
                 jet_type == jet::JetType::kDecimal || jet_type == jet::JetType::kCounter));
  const bool text = typed && (jet_type == jet::JetType::kText || jet_type == jet::JetType::kMemo);
  const bool date = typed && jet_type == jet::JetType::kDateTime;
  const bool yes_no = typed && jet_type == jet::JetType::kYesNo;
  switch (value.kind) {
    case Kind::kText: {
      if (text || (!numeric && !date && !yes_no)) return TextLiteral(value.text);
      if (date) {
        if (!Date::ParseLiteral(value.text)) throw jeterr::TypeMismatch();
        return "#" + value.text + "#";
      }
      double number = 0;
      if (!vb::internal::ParseNumberText(value.text, &number)) throw jeterr::TypeMismatch();
      return vb::DoubleText(number);
    }
    case Kind::kNumber:
      if (text) return TextLiteral(value.text);
      if (date) return "CDate(" + value.text + ")";
      return value.text;
    case Kind::kDate:
      if (text) return TextLiteral(value.text);
      if (numeric || yes_no) throw jeterr::TypeMismatch();
      return "#" + value.text + "#";
    case Kind::kTrue:
    case Kind::kFalse: {
      const bool truth = value.kind == Kind::kTrue;
      if (text) return TextLiteral(truth ? "True" : "False");
      if (date) throw jeterr::TypeMismatch();
      if (numeric) return truth ? "-1" : "0";
      return truth ? "True" : "False";
    }
    case Kind::kNull: break;
  }
  return "Null";
}

}  // namespace

void SavedQueries::Load() {
  if (loaded_) return;
  texts_.clear();
  table_ = !backend_.ColumnsOf(kTable).empty();
  if (table_) {
    for (std::vector<std::string>& row :
         backend_.Texts("SELECT name_key, name, jet_sql FROM " + std::string(kTable))) {
      texts_[std::move(row[0])] = Kept{std::move(row[1]), std::move(row[2])};
    }
  }
  loaded_ = true;
}

const SavedQueries::Kept* SavedQueries::Find(std::string_view name) {
  Load();
  if (texts_.empty()) return nullptr;
  const auto found = texts_.find(rules::LoweredAscii(name));
  return found == texts_.end() ? nullptr : &found->second;
}

void SavedQueries::MakeTable() {
  if (table_) return;
  const std::string create = "CREATE TABLE IF NOT EXISTS " + std::string(kTable) +
                             " (name_key TEXT PRIMARY KEY, name TEXT NOT NULL, "
                             "jet_sql TEXT NOT NULL)";
  backend_.RunAsOne({&create, 1});
  table_ = true;
}

void SavedQueries::Save(std::string_view name, std::string_view jet_sql) {
  // The server cannot keep character 0; a text is refused whole rather than
  // kept cut short.
  if (name.find('\0') != std::string_view::npos || jet_sql.find('\0') != std::string_view::npos) {
    throw jeterr::CharacterZero();
  }
  Load();
  MakeTable();
  const jet::Dialect& d = backend_.dialect();
  std::string sql = "INSERT INTO " + std::string(kTable) + " (name_key, name, jet_sql) VALUES (";
  d.Placeholder(1, sql);
  sql += ", ";
  d.Placeholder(2, sql);
  sql += ", ";
  d.Placeholder(3, sql);
  sql += ") ON CONFLICT (name_key) DO UPDATE SET name = excluded.name, jet_sql = excluded.jet_sql";
  std::string key = rules::LoweredAscii(name);
  const Parameter values[] = {Parameter::Text(key), Parameter::Text(std::string(name)),
                              Parameter::Text(std::string(jet_sql))};
  backend_.Run(sql, values, nullptr);
  texts_[std::move(key)] = Kept{std::string(name), std::string(jet_sql)};
}

void SavedQueries::Remove(std::string_view name) {
  std::string sql = "DELETE FROM " + std::string(kTable) + " WHERE name_key = ";
  backend_.dialect().Placeholder(1, sql);
  std::string key = rules::LoweredAscii(name);
  const Parameter values[] = {Parameter::Text(key)};
  backend_.Run(sql, values, nullptr);
  texts_.erase(key);
}

bool SavedQueries::IsDefinition(std::string_view sql) {
  bool malformed = false;
  return jet::ReadQueryDefinition(sql, &malformed).has_value();
}

void SavedQueries::Define(std::string_view sql) {
  bool malformed = false;
  const std::optional<jet::QueryDefinition> d = jet::ReadQueryDefinition(sql, &malformed);
  if (!d) return;
  if (malformed) {
    throw Error(errnum::kSyntax, d->drop ? "Syntax error in DROP TABLE or DROP INDEX."
                                         : "Syntax error in CREATE TABLE statement.");
  }
  if (d->drop) {
    if (!Find(d->name)) {
      throw Error(errnum::kFail, "Table " + jeterr::Quoted(d->name) + " does not exist.");
    }
    Remove(d->name);
    return;
  }
  if (Find(d->name) || !backend_.ColumnsOf(d->name).empty()) {
    throw Error(errnum::kSyntax, "Table " + jeterr::Quoted(d->name) + " already exists.");
  }
  if (d->view && !rules::StartsWithNoCase(Body(d->text, 0), 0, "SELECT")) {
    throw Error(errnum::kSyntax, "Only simple SELECT queries are allowed in VIEWS.");
  }
  Save(d->name, d->text);
}

std::vector<std::string> SavedQueries::ColumnsOfSource(std::string_view name, int depth) {
  if (const Kept* query = Find(name)) {
    if (depth >= kDeepest) return {};
    std::vector<jet::Token> tokens;
    jet::Tokenize(query->jet_sql, tokens);
    return OutputNames(tokens, depth + 1);
  }
  return backend_.ColumnsOf(name);
}

// The names of a query's columns: each item's alias, or the column it
// names; every column of its sources for a "*". Empty when a source's
// columns cannot be known.
std::vector<std::string> SavedQueries::OutputNames(const std::vector<jet::Token>& tokens,
                                                   int depth) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i < tokens.size() && !tokens[i].IsWord("SELECT")) ++i;
  if (i == tokens.size()) return names;
  ++i;
  while (tokens[i].IsWord("DISTINCT") || tokens[i].IsWord("DISTINCTROW") || tokens[i].IsWord("ALL"))
    ++i;
  if (tokens[i].IsWord("TOP") && tokens[i + 1].kind != jet::TokenKind::kEnd) {
    i += 2;
    if (tokens[i].IsWord("PERCENT")) ++i;
  }
  int nesting = 0;
  size_t item = i;
  bool star = false;
  for (; tokens[i].kind != jet::TokenKind::kEnd; ++i) {
    const jet::Token& t = tokens[i];
    if (t.kind == jet::TokenKind::kLParen) ++nesting;
    if (t.kind == jet::TokenKind::kRParen) --nesting;
    const bool ends = nesting == 0 && (t.kind == jet::TokenKind::kComma || t.IsWord("FROM") ||
                                       t.IsWord("INTO") || t.kind == jet::TokenKind::kSemicolon);
    if (nesting == 0 && t.kind == jet::TokenKind::kStar) star = true;
    if (!ends) continue;
    if (i > item) {
      const jet::Token& last = tokens[i - 1];
      if (IsNameToken(last)) names.emplace_back(jet::NameOfToken(last));
    }
    item = i + 1;
    if (!t.IsWord("FROM") && t.kind == jet::TokenKind::kComma) continue;
    break;
  }
  if (star) {
    for (const jet::SourceName& source : jet::SourceNames(tokens)) {
      std::vector<std::string> columns =
          ColumnsOfSource(jet::NameOfToken(tokens[source.token]), depth);
      if (columns.empty()) return {};
      names.insert(names.end(), columns.begin(), columns.end());
    }
  }
  return names;
}

// The names a statement reads that are none of its sources' columns, nor a
// source, nor an alias: Jet's parameters of a query that declares none, in
// the order they first appear. Empty when a source's columns cannot be known.
std::vector<std::string> SavedQueries::UnknownNames(const std::vector<jet::Token>& tokens,
                                                    int depth) {
  std::unordered_set<std::string> known;
  auto know = [&](std::string_view name) { known.insert(rules::LoweredAscii(name)); };
  std::vector<size_t> sources;
  for (const jet::SourceName& source : jet::SourceNames(tokens)) sources.push_back(source.token);
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    const bool named = IsNameToken(tokens[i + 1]);
    if (named && (tokens[i].IsWord("INTO") || tokens[i].IsWord("UPDATE"))) sources.push_back(i + 1);
    if (named && tokens[i].IsWord("AS")) know(jet::NameOfToken(tokens[i + 1]));
  }
  for (const size_t source : sources) {
    const std::string_view name = jet::NameOfToken(tokens[source]);
    know(name);
    if (IsNameToken(tokens[source + 1])) know(jet::NameOfToken(tokens[source + 1]));  // its alias
    const std::vector<std::string> columns = ColumnsOfSource(name, depth);
    if (columns.empty()) return {};
    for (const std::string& column : columns) know(column);
  }
  std::vector<std::string> unknown;
  for (size_t i = 1; i + 1 < tokens.size(); ++i) {
    const jet::Token& t = tokens[i];
    if (!IsNameToken(t) || IsClauseWord(t)) continue;
    const jet::TokenKind before = tokens[i - 1].kind;
    const jet::TokenKind after = tokens[i + 1].kind;
    if (before == jet::TokenKind::kDot || before == jet::TokenKind::kBang ||
        after == jet::TokenKind::kDot || after == jet::TokenKind::kBang ||
        after == jet::TokenKind::kLParen) {
      continue;
    }
    std::string lowered = rules::LoweredAscii(jet::NameOfToken(t));
    if (known.contains(lowered)) continue;
    known.insert(std::move(lowered));
    unknown.emplace_back(jet::NameOfToken(t));
  }
  return unknown;
}

std::string SavedQueries::Bound(const jet::ExecuteCall& call) {
  const Kept* query = Find(call.name);
  if (!query) throw jeterr::NoTable(call.name);
  const std::string_view text = query->jet_sql;
  std::vector<jet::Token> tokens;
  jet::Tokenize(text, tokens);
  const jet::ParametersClause clause = jet::ReadParametersClause(tokens);
  // A clause the translator cannot read is its to report.
  if (clause.names.empty() && !tokens.empty() && tokens[0].IsWord("PARAMETERS")) {
    return std::string(text);
  }
  // A query that declares nothing takes its values in the places of the
  // names it reads that are no column of its sources, in their order.
  std::vector<jet::DeclaredParameter> names = clause.names;
  std::vector<std::string> unknown;
  // (A definition reads no values.)
  const bool reads_values = tokens[0].IsWord("SELECT") || tokens[0].IsWord("INSERT") ||
                            tokens[0].IsWord("UPDATE") || tokens[0].IsWord("DELETE") ||
                            tokens[0].IsWord("TRANSFORM");
  if (names.empty() && reads_values) {
    unknown = UnknownNames(tokens, 0);
    for (const std::string& name : unknown) names.push_back({name, "VALUE"});
  }
  const size_t expected = names.size();
  if (call.arguments.size() < expected) throw TooFewParameters(expected);
  if (call.arguments.size() > expected) {
    throw Error(errnum::kNoValue,
                "Too many parameters. Expected " + std::to_string(expected) + ".");
  }
  std::string out;
  size_t copied = clause.end;
  for (const size_t use : jet::ParameterUses(tokens, names, clause.end)) {
    const jet::Token& t = tokens[use];
    const std::string_view name = jet::NameOfToken(t);
    size_t which = 0;
    while (!rules::EqualsNoCase(names[which].name, name)) ++which;
    out.append(text.substr(copied, t.offset - copied));
    out += Literal(call.arguments[which], names[which].type);
    copied = t.end();
  }
  out.append(text.substr(copied));
  return std::string(Body(out, 0));
}

std::string SavedQueries::Expanded(std::string_view sql, std::vector<std::string>& open,
                                   size_t* first_change, std::vector<std::string>* named) {
  std::vector<jet::Token> tokens;
  jet::Tokenize(sql, tokens);
  if (open.empty()) {
    bool malformed = false;
    if (const std::optional<jet::ExecuteCall> call = jet::ReadExecute(tokens, &malformed)) {
      if (malformed) {
        throw Error(errnum::kSyntax,
                    "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', "
                    "or 'UPDATE'.");
      }
      *first_change = 0;
      const std::string bound = Bound(*call);
      open.push_back(rules::LoweredAscii(call->name));
      size_t inner = 0;
      std::string text = Expanded(bound, open, &inner, named);
      open.pop_back();
      return text;
    }
  }
  std::string out;
  size_t copied = 0;
  bool changed = false;
  for (const jet::SourceName& source : jet::SourceNames(tokens)) {
    const jet::Token& t = tokens[source.token];
    const std::string_view name = jet::NameOfToken(t);
    const Kept* query = Find(name);
    if (!query) continue;
    std::string key = rules::LoweredAscii(name);
    if (open.size() >= kDeepestWrittenIn) throw TooComplex();  // this one would be one more
    if (std::find(open.begin(), open.end(), key) != open.end()) {
      throw Error(errnum::kFail,
                  "Circular reference caused by " + jeterr::Quoted(query->name) + ".");
    }
    std::vector<jet::Token> own;
    jet::Tokenize(query->jet_sql, own);
    const jet::ParametersClause clause = jet::ReadParametersClause(own);
    // Read as a source, a query has no values for its parameters.
    if (!clause.names.empty()) throw TooFewParameters(clause.names.size());
    const std::string_view body = Body(query->jet_sql, clause.end);
    const size_t slot = named ? named->size() : 0;
    if (named) named->emplace_back();
    open.push_back(std::move(key));
    size_t inner_change = 0;
    std::string inner = Expanded(body, open, &inner_change, named);
    open.pop_back();
    if (!changed) *first_change = t.offset;
    changed = true;
    out.append(sql.substr(copied, t.offset - copied));
    if (out.size() + inner.size() > kLongestWrittenIn) throw TooComplex();
    out += '(';
    out += inner;
    out += ')';
    // The source keeps its name, so that its columns are read as before.
    if (!source.aliased) {
      out += " AS [";
      out += name;
      out += ']';
    }
    copied = t.end();
    if (named) (*named)[slot] = std::move(inner);
  }
  if (!changed) return std::string(sql);
  out.append(sql.substr(copied));
  return out;
}

std::string_view SavedQueries::Expand(std::string_view sql, std::string& storage,
                                      size_t* first_change) {
  Load();
  size_t start = 0;
  while (start < sql.size() && IsBlank(sql[start])) ++start;
  // Only EXECUTE has something to say about a database without saved
  // queries (that the query is not there), and only a statement with a FROM
  // reads a source: INSERT ... VALUES, the statement a record class adds
  // its rows with, is passed on untouched.
  if (!rules::StartsWithNoCase(sql, start, "EXEC") && (texts_.empty() || !ContainsFrom(sql))) {
    return sql;
  }
  std::vector<std::string> open;
  *first_change = sql.size();
  storage = Expanded(sql, open, first_change, nullptr);
  if (*first_change == sql.size() && storage == sql) return sql;
  return storage;
}

void SavedQueries::Blame(std::string_view sql, bool ansi89, size_t first_change,
                         jet::Translation& t) {
  // A statement the parser refuses before any name is looked up is refused
  // for its own text, at its own place: a source's name reads as any table's.
  if (first_change > 0) {
    jet::Translation own =
        jet::Translate(sql, backend_.dialect(), false, ansi89, backend_.names());
    if (!own.ok && own.error_offset) {
      t = std::move(own);
      return;
    }
  }
  std::vector<std::string> named;
  std::vector<std::string> open;
  size_t ignored = 0;
  Expanded(sql, open, &ignored, &named);
  for (const std::string& text : named) {
    jet::Translation own =
        jet::Translate(text, backend_.dialect(), false, ansi89, backend_.names());
    if (!own.ok) {
      throw Error(own.error_number != 0 ? own.error_number : errnum::kSyntax,
                  std::move(own.error_description));
    }
  }
  if (t.error_offset && *t.error_offset >= first_change) t.error_offset.reset();
}

}  // namespace tessaly::db::internal
