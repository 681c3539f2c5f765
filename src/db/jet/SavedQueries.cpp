#include "db/jet/SavedQueries.h"

#include <algorithm>
#include <utility>

#include "db/Rules.h"
#include "db/jet/Lexer.h"
#include "db/jet/Parser.h"

namespace tessaly::db::jet {
namespace {

bool IsName(const Token& t) {
  return t.kind == TokenKind::kWord || t.kind == TokenKind::kBracketName;
}

// Words beside the reserved ones that may follow a source in a FROM list
// and so are no alias of it.
bool FollowsSource(const Token& t) { return t.IsWord("WITH") || t.IsWord("PIVOT"); }

// Words that end a FROM list at the depth it was opened.
bool EndsFromList(const Token& t) {
  return t.IsWord("WHERE") || t.IsWord("GROUP") || t.IsWord("HAVING") || t.IsWord("ORDER") ||
         t.IsWord("UNION") || t.IsWord("PIVOT") || t.IsWord("WITH") || t.IsWord("SET");
}

}  // namespace

std::string_view NameOfToken(const Token& token) {
  return token.kind == TokenKind::kBracketName ? token.text.substr(1, token.text.size() - 2)
                                               : token.text;
}

// Walks the tokens keeping, for each open parenthesis, whether it belongs to
// a FROM list: a source is a name there that follows FROM, JOIN, a comma of
// the list, or a parenthesis that opens a nested join.
std::vector<SourceName> SourceNames(const std::vector<Token>& tokens) {
  std::vector<SourceName> out;
  struct Level {
    bool in_from = false;
  };
  std::vector<Level> levels(1);
  bool expect_source = false;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    Level& level = levels.back();
    switch (t.kind) {
      case TokenKind::kLParen:
        // A nested join keeps reading sources; a subquery starts its own.
        levels.push_back(Level{expect_source});
        continue;
      case TokenKind::kRParen:
        if (levels.size() > 1) levels.pop_back();
        expect_source = false;
        continue;
      case TokenKind::kComma: expect_source = level.in_from; continue;
      default: break;
    }
    if (t.IsWord("FROM")) {
      level.in_from = true;
      expect_source = true;
      continue;
    }
    if (t.IsWord("JOIN")) {
      expect_source = level.in_from;
      continue;
    }
    if (level.in_from && EndsFromList(t)) level.in_from = false;
    if (t.IsWord("SELECT")) level.in_from = false;
    if (expect_source && IsName(t) && !t.IsWord("SELECT")) {
      const Token& next = tokens[i + 1 < tokens.size() ? i + 1 : i];
      // t.column or t!column would be no source; a name followed by "(" is a
      // function.
      if (next.kind != TokenKind::kDot && next.kind != TokenKind::kBang &&
          next.kind != TokenKind::kLParen) {
        const bool aliased =
            next.IsWord("AS") || next.kind == TokenKind::kBracketName ||
            (next.kind == TokenKind::kWord && !IsReserved(next.text) && !FollowsSource(next));
        out.push_back(SourceName{i, aliased});
      }
    }
    expect_source = false;
  }
  return out;
}

ParametersClause ReadParametersClause(const std::vector<Token>& tokens) {
  ParametersClause clause;
  if (tokens.empty() || !tokens[0].IsWord("PARAMETERS")) return clause;
  size_t i = 1;
  while (true) {
    if (!IsName(tokens[i])) return {};
    JetType type;
    bool field = false;
    const size_t words = TypeWords(tokens, i + 1, true, &type, &field);
    if (words == 0) return {};
    clause.names.push_back({NameOfToken(tokens[i]), Spanning(tokens[i + 1], tokens[i + words])});
    i += 1 + words;
    if (tokens[i].kind == TokenKind::kLParen) {  // Text (255), Decimal (18, 4)
      if (tokens[i + 1].kind != TokenKind::kNumber) return {};
      i += 2;
      if (tokens[i].kind == TokenKind::kComma) {
        if (tokens[i + 1].kind != TokenKind::kNumber) return {};
        i += 2;
      }
      if (tokens[i].kind != TokenKind::kRParen) return {};
      ++i;
    }
    if (tokens[i].kind == TokenKind::kComma) {
      ++i;
      continue;
    }
    if (tokens[i].kind != TokenKind::kSemicolon) return {};
    clause.end = tokens[i].end();
    return clause;
  }
}

namespace {

// The tokens that name a table, an alias or a written column, where no
// value may stand: the sources, the table after INTO and UPDATE, the name
// after AS or after a source, an INSERT's column list and the columns SET
// writes. A parameter of such a name stands only in the value places.
std::vector<bool> NamePlaces(const std::vector<Token>& tokens) {
  std::vector<bool> place(tokens.size(), false);
  auto mark = [&](size_t i) {
    if (i < tokens.size() && IsName(tokens[i])) place[i] = true;
  };
  for (const SourceName& source : SourceNames(tokens)) {
    mark(source.token);
    if (source.aliased) mark(source.token + (tokens[source.token + 1].IsWord("AS") ? 2 : 1));
  }
  int set_depth = -1;  // the parenthesis depth of a SET list being read
  int depth = 0;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == TokenKind::kLParen) ++depth;
    if (t.kind == TokenKind::kRParen) --depth;
    if (t.IsWord("INTO") || t.IsWord("AS")) mark(i + 1);
    if (t.IsWord("UPDATE")) mark(i + (tokens[i + 1].IsWord("DISTINCTROW") ? 2 : 1));
    if (t.IsWord("SET")) set_depth = depth;
    if (t.IsWord("WHERE") && depth == set_depth) set_depth = -1;
    // SET c = ..., d = ...: each name before its "=".
    if (set_depth == depth && (t.IsWord("SET") || t.kind == TokenKind::kComma) &&
        i + 2 < tokens.size() && tokens[i + 2].kind == TokenKind::kEq) {
      mark(i + 1);
    }
    // INSERT INTO t (a, b, ...) VALUES | SELECT.
    if (t.IsWord("INSERT") && i + 3 < tokens.size() && tokens[i + 1].IsWord("INTO") &&
        tokens[i + 3].kind == TokenKind::kLParen) {
      for (size_t k = i + 4; k < tokens.size() && tokens[k].kind != TokenKind::kRParen; ++k) {
        mark(k);
      }
    }
  }
  return place;
}

}  // namespace

std::vector<size_t> ParameterUses(const std::vector<Token>& tokens,
                                  const std::vector<DeclaredParameter>& names, size_t from) {
  std::vector<size_t> uses;
  const std::vector<bool> name_places = NamePlaces(tokens);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    // A keyword is read as one even when a parameter has its name.
    if (t.offset < from || !IsName(t) || (t.kind == TokenKind::kWord && IsReserved(t.text)) ||
        name_places[i]) {
      continue;
    }
    if (i > 0 &&
        (tokens[i - 1].kind == TokenKind::kDot || tokens[i - 1].kind == TokenKind::kBang)) {
      continue;
    }
    const TokenKind next = tokens[i + 1 < tokens.size() ? i + 1 : i].kind;
    if (next == TokenKind::kDot || next == TokenKind::kBang || next == TokenKind::kLParen) continue;
    const std::string_view name = NameOfToken(t);
    if (std::any_of(names.begin(), names.end(), [&](const DeclaredParameter& p) {
          return rules::EqualsNoCase(p.name, name);
        })) {
      uses.push_back(i);
    }
  }
  return uses;
}

std::optional<ExecuteCall> ReadExecute(const std::vector<Token>& tokens, bool* malformed) {
  *malformed = false;
  if (tokens.empty() || !(tokens[0].IsWord("EXECUTE") || tokens[0].IsWord("EXEC"))) {
    return std::nullopt;
  }
  ExecuteCall call;
  if (!IsName(tokens[1])) {
    *malformed = true;
    return call;
  }
  call.name = NameOfToken(tokens[1]);
  size_t i = 2;
  auto at_end = [&] {
    return tokens[i].kind == TokenKind::kEnd ||
           (tokens[i].kind == TokenKind::kSemicolon && tokens[i + 1].kind == TokenKind::kEnd);
  };
  while (!at_end()) {
    if (!call.arguments.empty()) {
      if (tokens[i].kind != TokenKind::kComma) {
        *malformed = true;
        return call;
      }
      ++i;
    }
    Argument a;
    std::string sign;
    if (tokens[i].kind == TokenKind::kMinus || tokens[i].kind == TokenKind::kPlus) {
      if (tokens[i].kind == TokenKind::kMinus) sign = "-";
      ++i;
      if (tokens[i].kind != TokenKind::kNumber) {
        *malformed = true;
        return call;
      }
    }
    const Token& t = tokens[i];
    switch (t.kind) {
      case TokenKind::kNumber:
        a.kind = Argument::Kind::kNumber;
        a.text = sign + std::string(t.text);
        break;
      case TokenKind::kText:
        a.kind = Argument::Kind::kText;
        for (size_t c = 1; c + 1 < t.text.size(); ++c) {
          a.text += t.text[c];
          if (t.text[c] == t.text[0]) ++c;  // a doubled quote stands for one
        }
        break;
      case TokenKind::kDateLit:
        a.kind = Argument::Kind::kDate;
        a.text = t.text.substr(1, t.text.size() - 2);
        break;
      default:
        if (t.IsWord("TRUE")) {
          a.kind = Argument::Kind::kTrue;
        } else if (t.IsWord("FALSE")) {
          a.kind = Argument::Kind::kFalse;
        } else if (t.IsWord("NULL")) {
          a.kind = Argument::Kind::kNull;
        } else {
          *malformed = true;
          return call;
        }
    }
    call.arguments.push_back(std::move(a));
    ++i;
  }
  return call;
}

std::optional<QueryDefinition> ReadQueryDefinition(std::string_view sql, bool* malformed) {
  *malformed = false;
  // Only a statement that starts with CREATE or DROP is read further.
  std::string_view head = sql;
  while (!head.empty() &&
         (head[0] == ' ' || head[0] == '\t' || head[0] == '\r' || head[0] == '\n')) {
    head.remove_prefix(1);
  }
  if (!rules::StartsWithNoCase(head, 0, "CREATE") && !rules::StartsWithNoCase(head, 0, "DROP")) {
    return std::nullopt;
  }
  std::vector<Token> tokens;
  Tokenize(sql, tokens);
  QueryDefinition d;
  d.drop = tokens[0].IsWord("DROP");
  if (!d.drop && !tokens[0].IsWord("CREATE")) return std::nullopt;
  const Token& what = tokens[1];
  d.view = what.IsWord("VIEW");
  if (!d.view && !what.IsWord("PROCEDURE") && !what.IsWord("PROC")) return std::nullopt;
  if (!IsName(tokens[2])) {
    *malformed = true;
    return d;
  }
  d.name = NameOfToken(tokens[2]);
  size_t i = 3;
  if (d.drop) {
    if (tokens[i].kind == TokenKind::kSemicolon) ++i;
    if (tokens[i].kind != TokenKind::kEnd) *malformed = true;
    return d;
  }
  // CREATE PROCEDURE name (p type, ...): the values it declares, kept as
  // the PARAMETERS clause Jet keeps them in.
  std::string parameters;
  if (!d.view && tokens[i].kind == TokenKind::kLParen) {
    // Text (255) holds parentheses of its own.
    size_t close = i + 1;
    for (int depth = 1;; ++close) {
      const TokenKind kind = tokens[close].kind;
      if (kind == TokenKind::kEnd) {
        *malformed = true;
        return d;
      }
      if (kind == TokenKind::kLParen) ++depth;
      if (kind == TokenKind::kRParen && --depth == 0) break;
    }
    parameters =
        "PARAMETERS " +
        std::string(sql.substr(tokens[i + 1].offset, tokens[close].offset - tokens[i + 1].offset));
    while (!parameters.empty() && parameters.back() == ' ') parameters.pop_back();
    parameters += ";\r\n";
    i = close + 1;
  }
  if (!tokens[i].IsWord("AS") || tokens[i + 1].kind == TokenKind::kEnd) {
    *malformed = true;
    return d;
  }
  std::string_view body = sql.substr(tokens[i + 1].offset);
  d.text = parameters + std::string(body);
  return d;
}

}  // namespace tessaly::db::jet
