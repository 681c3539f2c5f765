#include "db/jet/Translator.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <vector>

#include "db/jet/Ast.h"
#include "db/jet/Emitter.h"
#include "db/jet/Lexer.h"
#include "db/jet/LiftedInsert.h"
#include "db/jet/Parser.h"
#include "db/jet/Passes.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

namespace {

// The literals among a statement's tokens: mostly one parameter each, room
// for them at once rather than growing (and moving) the list value by value.
size_t LiteralCount(const std::vector<Token>& tokens) {
  return static_cast<size_t>(std::count_if(tokens.begin(), tokens.end(), [](const Token& t) {
    return t.kind == TokenKind::kText || t.kind == TokenKind::kNumber ||
           t.kind == TokenKind::kDateLit;
  }));
}

// A record class adds its rows with one INSERT ... VALUES of literals, the
// same statement with new values each time. Its translation depends only on
// the words around the literals and on each literal's kind, so it is kept
// by that shape: another statement of the shape is not parsed or written
// again, only its literals are read into the parameters.
class Shapes {
 public:
  // The literal classes of a key: a whole number that fits 64 bits, another
  // number strtod reads whole, a text, a date.
  enum Class : char { kWhole = 'w', kReal = 'r', kText = 't', kDate = 'd' };

  // The shape of an INSERT (false for any other statement): every token but
  // a literal as written, a literal as its class; a number of neither class
  // is written as it is. The literals are read into literals on the way;
  // *read is false when one is not (a date Jet cannot read).
  // A catalog's generation is part of the key, so nothing kept under one
  // state of the schema is read under another.
  static bool Key(const std::vector<Token>& tokens, const Dialect& dialect, bool ansi89,
                  uint64_t generation, std::string& key, std::vector<Parameter>& literals,
                  bool* read) {
    if (tokens.empty() || !tokens[0].IsWord("INSERT")) return false;
    const auto* d = reinterpret_cast<const char*>(&dialect);
    // Written into room made once: the tokens' texts are parts of the
    // statement (the last, its end, stands at its length), and each token
    // adds its kind and at most one more character.
    key.resize(sizeof d + sizeof generation + 1 + tokens.back().offset + 2 * tokens.size());
    char* out = key.data();
    out = std::copy_n(reinterpret_cast<const char*>(&d), sizeof d, out);
    out = std::copy_n(reinterpret_cast<const char*>(&generation), sizeof generation, out);
    *out++ = ansi89 ? '8' : '9';
    literals.reserve(LiteralCount(tokens));
    *read = true;
    for (const Token& t : tokens) {
      *out++ = static_cast<char>(t.kind);
      if (const std::optional<Class> c = Literal(t, literals, read)) {
        *out++ = *c;
      } else {
        out = std::copy(t.text.begin(), t.text.end(), out);
        *out++ = '\0';
      }
    }
    key.resize(static_cast<size_t>(out - key.data()));
    return true;
  }

  // The statement's literals, in order, as the writer lifts them: false when
  // one is not (a date Jet cannot read).
  static bool Literals(const std::vector<Token>& tokens, std::vector<Parameter>& out) {
    out.reserve(LiteralCount(tokens));
    bool read = true;
    for (const Token& t : tokens) Literal(t, out, &read);
    return read;
  }

  // Whether a translation is kept for its shape: an INSERT of VALUES that
  // are each one literal, every literal lifted in the order written.
  static bool Keeps(const Ast& ast, NodeId root, const std::vector<Token>& tokens,
                    const Translation& t) {
    const Node& insert = ast[root];
    if (insert.kind != NodeKind::kInsert || t.edit || !t.before.empty() || !t.after.empty()) {
      return false;
    }
    for (NodeId v = insert.c; v != kNoNode; v = ast[v].next) {
      const NodeKind kind = ast[v].kind;
      if (kind != NodeKind::kText && kind != NodeKind::kNumber && kind != NodeKind::kDate &&
          kind != NodeKind::kNull && kind != NodeKind::kBool) {
        return false;
      }
    }
    std::vector<Parameter> read;
    if (!Literals(tokens, read) || read.size() != t.parameters.size()) return false;
    for (size_t i = 0; i < read.size(); ++i) {
      if (read[i].kind != t.parameters[i].kind) return false;
    }
    return true;
  }

  // A token's class as a literal the writer lifts, read into out (*read
  // false when it cannot be); none for any other token.
  static std::optional<Class> Literal(const Token& t, std::vector<Parameter>& out, bool* read) {
    switch (t.kind) {
      case TokenKind::kText: {
        Parameter& p = out.emplace_back();
        p.kind = Parameter::Kind::kText;
        AssignTextOfLiteral(t.text, p.text);
        return kText;
      }
      case TokenKind::kDateLit: {
        const std::optional<Date> date = Date::ParseLiteral(t.text.substr(1, t.text.size() - 2));
        if (!date) {
          *read = false;
          return kDate;
        }
        Parameter& p = out.emplace_back();
        p.kind = Parameter::Kind::kDate;
        p.date = *date;
        return kDate;
      }
      case TokenKind::kNumber: {
        Parameter& p = out.emplace_back();
        if (!NumberParameter(t.text, p)) {
          out.pop_back();
          return std::nullopt;
        }
        return p.kind == Parameter::Kind::kInteger ? kWhole : kReal;
      }
      default: return std::nullopt;
    }
  }

  const std::string* Find(const std::string& key) const {
    const auto found = sql_.find(key);
    return found != sql_.end() ? &found->second : nullptr;
  }

  void Keep(const std::string& key, const std::string& sql) {
    // A handful of shapes are in use at a time; a host that writes many
    // starts the list again rather than growing it without end.
    if (sql_.size() >= 256) sql_.clear();
    sql_.emplace(key, sql);
  }

  // The shapes used last are also kept as outlines: the bytes around their
  // literals, with a translation for each run of the literals' classes met
  // (a class's rows hold a whole number of hours in one row, a fraction in
  // the next). A statement is matched against them byte for byte, the lexer
  // reading only its literals, before its tokens are read and its key made.
  // A class adding rows sends the same columns each time, and the words and
  // names around its values are most of each statement.
  bool Match(std::string_view sql, const Dialect& dialect, bool ansi89, uint64_t generation,
             Translation& result) {
    thread_local std::vector<Token> found;
    thread_local std::string classes;
    for (size_t i = 0; i < recent_.size(); ++i) {
      const Outline& o = recent_[i];
      if (!o.Of(dialect, ansi89, generation) || !o.Around(sql, found, classes)) continue;
      // No other outline has the same bytes around its literals.
      const std::string* kept = o.SqlOf(classes);
      if (kept == nullptr) return false;
      result.parameters.reserve(found.size());
      bool read = true;
      for (size_t k = 0; k < found.size(); ++k) {
        if (Literal(found[k], result.parameters, &read) != static_cast<Class>(classes[k]) ||
            !read) {
          result.parameters.clear();
          return false;
        }
      }
      result.sql = *kept;
      result.ok = true;
      std::rotate(recent_.begin(), recent_.begin() + static_cast<ptrdiff_t>(i),
                  recent_.begin() + static_cast<ptrdiff_t>(i) + 1);
      return true;
    }
    return false;
  }

  // The translation of an outline whose bytes around its literals are the
  // lifted statement's, with a literal of the same kind and class at each
  // place, into sql.
  bool MatchLifted(LiftedInsert& lifted, const Dialect& dialect, bool ansi89, uint64_t generation) {
    std::string& sql = lifted.sql;
    thread_local std::string classes;
    const std::vector<uint32_t>& at = lifted.at();
    const std::span<const Parameter> literals = lifted.literals();
    if (at.size() != literals.size()) return false;
    classes.resize(literals.size());
    for (size_t k = 0; k < literals.size(); ++k) classes[k] = ClassOf(literals[k]);
    // The same bytes as the statement before, which matched the outline
    // used last: only the classes are looked for (an outline's bytes and
    // places never change).
    LiftedInsert::Match& last = lifted.matched;
    if (lifted.reusing() && last.outline != 0 && !recent_.empty() &&
        recent_.front().id == last.outline && recent_.front().Of(dialect, ansi89, generation)) {
      if (last.classes == classes) return true;  // sql stands
      const std::string* kept = recent_.front().SqlOf(classes);
      if (kept == nullptr) return false;
      sql = *kept;
      last.classes = classes;
      return true;
    }
    last.outline = 0;
    for (size_t k = 0; k < literals.size(); ++k) {
      // The byte after a literal ends it, as it ended the literal the
      // outline was read with.
      if (at[k] >= lifted.between.size() || !EndsALiteral(lifted.between[at[k]])) return false;
    }
    for (size_t i = 0; i < recent_.size(); ++i) {
      const Outline& o = recent_[i];
      if (!o.Of(dialect, ansi89, generation) || o.slots.size() != at.size() ||
          o.between != lifted.between) {
        continue;
      }
      uint32_t from = 0;
      size_t k = 0;
      for (; k < at.size(); ++k) {
        const Outline::Slot& slot = o.slots[k];
        if (slot.before != at[k] - from || slot.kind != TokenOf(classes[k]) ||
            slot.lead != LeadOf(classes[k])) {
          break;
        }
        from = at[k];
      }
      if (k < at.size()) continue;
      // No other outline has the same bytes around literals at the same places.
      const std::string* kept = o.SqlOf(classes);
      if (kept == nullptr) return false;
      sql = *kept;
      last.outline = o.id;
      last.classes = classes;
      std::rotate(recent_.begin(), recent_.begin() + static_cast<ptrdiff_t>(i),
                  recent_.begin() + static_cast<ptrdiff_t>(i) + 1);
      return true;
    }
    return false;
  }

  // Keeps the outline of a statement of a kept shape, whose translation is sql.
  void Remember(std::string_view statement, const std::vector<Token>& tokens,
                const Dialect& dialect, bool ansi89, uint64_t generation, const std::string& sql) {
    Outline made;
    made.dialect = &dialect;
    made.generation = generation;
    made.ansi89 = ansi89;
    std::string classes;
    std::vector<Parameter> unused;
    size_t from = 0;
    for (const Token& t : tokens) {
      bool read = true;
      const std::optional<Class> c = Literal(t, unused, &read);
      if (!c) continue;
      made.slots.push_back(
          {t.offset - static_cast<uint32_t>(from), t.kind, Outline::Lead(t.text[0])});
      classes += *c;
      made.between.append(statement.substr(from, t.offset - from));
      from = t.end();
    }
    made.between.append(statement.substr(from));
    auto same = std::find_if(recent_.begin(), recent_.end(), [&](const Outline& o) {
      return o.Of(dialect, ansi89, generation) && o.slots == made.slots &&
             o.between == made.between;
    });
    if (same == recent_.end()) {
      if (recent_.size() >= kRecent) recent_.pop_back();
      made.id = ++outlines_made_;
      same = recent_.insert(recent_.begin(), std::move(made));
    }
    // Each number may be whole or not: a long row of them is not kept in
    // every combination.
    if (same->SqlOf(classes) != nullptr) return;
    if (same->shapes.size() >= kShapesOfAnOutline) same->shapes.clear();
    same->shapes.emplace_back(std::move(classes), sql);
  }

 private:
  static constexpr size_t kRecent = 16;
  static constexpr size_t kShapesOfAnOutline = 16;

  // A lifted literal's class, the token it is written as, and that token's
  // lead (Outline::Lead): a lifted number is never signed, so its text starts
  // with a digit.
  static char ClassOf(const Parameter& p) {
    switch (p.kind) {
      case Parameter::Kind::kText: return kText;
      case Parameter::Kind::kDate: return kDate;
      case Parameter::Kind::kInteger: return kWhole;
      default: return kReal;
    }
  }
  static TokenKind TokenOf(char c) {
    return c == kText ? TokenKind::kText : c == kDate ? TokenKind::kDateLit : TokenKind::kNumber;
  }
  static char LeadOf(char c) { return c == kText ? '\'' : c == kDate ? '#' : '0'; }
  static bool EndsALiteral(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ')';
  }

  struct Outline {
    // A literal's first byte as the token before it sees it: any digit
    // alike. The token before a literal ends where it does because of that
    // byte (a word would run on into a digit), so a literal of the same
    // lead leaves the bytes before it read as they were.
    static char Lead(char c) { return c >= '0' && c <= '9' ? '0' : c; }

    // The translation kept for a run of the literals' classes, or null.
    const std::string* SqlOf(std::string_view classes) const {
      for (const auto& [run, sql] : shapes) {
        if (run == classes) return &sql;
      }
      return nullptr;
    }

    bool Of(const Dialect& d, bool a, uint64_t g) const {
      return dialect == &d && ansi89 == a && generation == g;
    }

    // Whether statement's bytes are this outline's around literals of the
    // same kinds, each read by the lexer from where it starts: its literals'
    // tokens into found, their classes into classes.
    bool Around(std::string_view statement, std::vector<Token>& found, std::string& classes) const {
      found.resize(slots.size());
      classes.resize(slots.size());
      size_t at = 0;
      size_t from = 0;
      auto same = [&](size_t bytes) {
        return statement.size() - at >= bytes &&
               statement.compare(at, bytes, between, from, bytes) == 0;
      };
      for (size_t i = 0; i < slots.size(); ++i) {
        const Slot& slot = slots[i];
        if (!same(slot.before)) return false;
        at += slot.before;
        from += slot.before;
        if (at >= statement.size() || Lead(statement[at]) != slot.lead) return false;
        Token& t = found[i];
        Lexer(statement, at).Next(t);
        if (t.kind != slot.kind) return false;
        // As Literal classes it; it reads the literal once the whole
        // statement has matched.
        classes[i] = t.kind == TokenKind::kText      ? kText
                     : t.kind == TokenKind::kDateLit ? kDate
                     : rules::IsDigits(t.text)       ? kWhole
                                                     : kReal;
        at = t.end();
      }
      return statement.size() - at == between.size() - from && same(between.size() - from);
    }

    struct Slot {
      uint32_t before;  // the bytes since the literal before (or the start)
      TokenKind kind;
      char lead;
      bool operator==(const Slot&) const = default;
    };
    const Dialect* dialect = nullptr;
    uint64_t generation = 0;
    uint64_t id = 0;  // unique in the thread, never 0
    bool ansi89 = false;
    std::string between;  // the statement's bytes outside its literals
    std::vector<Slot> slots;
    // The translation for each run of the literals' classes.
    std::vector<std::pair<std::string, std::string>> shapes;
  };

  std::unordered_map<std::string, std::string> sql_;
  std::vector<Outline> recent_;
  uint64_t outlines_made_ = 0;
};

// The shapes kept for the statements of this thread.
Shapes& ThreadShapes() {
  thread_local Shapes shapes;
  return shapes;
}

// Writes the statement at root into result (which holds its parameters
// when literals are lifted): the engine's SQL and what the backend makes of
// it, or the error Jet reported. A crosstab is made the select that writes
// it with the columns of pivot_values (read by its plan's query) or of its
// IN list; when it lists none and none were read, result is its plan.
void Write(Ast& ast, NodeId root, std::string_view jet_sql, const Dialect& dialect,
           bool lift_literals, bool ansi89_wildcards, const std::vector<PivotValue>* pivot_values,
           Catalog* names, Translation& result) {
  result.sql.reserve(jet_sql.size() + jet_sql.size() / 4 + 32);
  const NodeKind kind = ast[root].kind;
  std::shared_ptr<const PivotPlan> plan;
  try {
    if (kind == NodeKind::kTransform && pivot_values == nullptr && ast[ast[root].c].b == kNoNode) {
      // The columns are the values the pivot takes in the rows the crosstab
      // reads, in order: they are asked for first. The crosstab is written
      // once on trial, without columns, so that one which cannot be written
      // is refused now, not once its values are read.
      plan = std::make_shared<const PivotPlan>(ast, root, jet_sql, dialect, lift_literals,
                                               ansi89_wildcards, names);
      std::vector<Parameter> unused;
      std::string trial;
      Emitter(ast, dialect, lift_literals ? &unused : nullptr, ansi89_wildcards, names)
          .Statement(RewriteCrosstab(ast, root, nullptr), trial);
      root = PivotValuesQuery(ast, root);
    } else if (kind == NodeKind::kTransform) {
      root = RewriteCrosstab(ast, root, pivot_values);
    }
    Emitter emitter(ast, dialect, lift_literals ? &result.parameters : nullptr, ansi89_wildcards,
                    names);
    emitter.Statement(root, result.sql);
    result.pivot = std::move(plan);
    result.edit = std::move(emitter.edit());
    result.before = std::move(emitter.before());
    result.after = std::move(emitter.after());
    result.answers_count = emitter.answers_count();
  } catch (const Emitter::TooComplex&) {
    result.sql.clear();
    result.parameters.clear();
    result.error_number = errnum::kFail;
    result.error_description = "Query is too complex.";
    return;
  } catch (const Emitter::Refused& refused) {
    result.sql.clear();
    result.parameters.clear();
    result.error_number = refused.number;
    result.error_description = refused.description;
    return;
  }
  result.ok = true;
  const Node& top = ast[root];
  if (top.kind == NodeKind::kSelect && !ast.selects[top.a].into.empty()) {
    result.make_table = ast.selects[top.a].into;
  } else if (top.kind == NodeKind::kDropTable) {
    result.drop_table = top.text;
  } else {
    result.returns_rows = top.kind == NodeKind::kSelect || top.kind == NodeKind::kUnion ||
                          top.kind == NodeKind::kPivotValues;
  }
}

}  // namespace

PivotPlan::PivotPlan(const Ast& ast, NodeId root, std::string_view jet_sql, const Dialect& dialect,
                     bool lift_literals, bool ansi89_wildcards, Catalog* names)
    : ast_(ast),
      root_(root),
      jet_sql_(jet_sql),
      dialect_(dialect),
      lift_literals_(lift_literals),
      ansi89_wildcards_(ansi89_wildcards),
      names_(names) {}

Translation PivotPlan::Write(const std::vector<PivotValue>& values) const {
  Translation result;
  Ast ast = ast_;  // the columns go into a copy: the plan may be written again
  jet::Write(ast, root_, jet_sql_, dialect_, lift_literals_, ansi89_wildcards_, &values, names_,
             result);
  return result;
}

Translation Translate(std::string_view jet_sql, const Dialect& dialect, bool lift_literals,
                      bool ansi89_wildcards, Catalog* names) {
  // Every INSERT of the record classes passes through here: the token and
  // node buffers are kept per thread so a call allocates only its result.
  thread_local std::vector<Token> tokens;
  thread_local Ast ast;

  Shapes& shapes = ThreadShapes();
  thread_local std::string key;

  Translation result;
  // The catalog the emitter reads: none for an engine that only wants the
  // columns of a * (the expanding pass reads it).
  Catalog* const resolver = names != nullptr && names->ColumnsOnly() ? nullptr : names;
  // No catalog, or one whose answers stand until its generation changes;
  // the answers of any other may change between two statements.
  const uint64_t generation = resolver != nullptr ? resolver->Generation() : 0;
  const bool keepable = lift_literals && (resolver == nullptr || generation != 0);
  if (keepable && shapes.Match(jet_sql, dialect, ansi89_wildcards, generation, result)) {
    return result;
  }
  Tokenize(jet_sql, tokens);
  bool read = false;
  const bool shaped = keepable && Shapes::Key(tokens, dialect, ansi89_wildcards, generation, key,
                                              result.parameters, &read);
  if (shaped) {
    if (const std::string* sql = shapes.Find(key); sql != nullptr && read) {
      result.sql = *sql;
      result.ok = true;
      shapes.Remember(jet_sql, tokens, dialect, ansi89_wildcards, generation, result.sql);
      return result;
    }
    result.parameters.clear();
  }
  Parser parser(jet_sql, tokens, ast);
  ParseFailure failure;
  NodeId root = parser.Parse(&failure);
  // Between reading and writing: the rewrite passes Jet's own checks read
  // (domain functions), what Jet checks of the whole statement, then the
  // rewrites for the engine.
  if (root != kNoNode) {
    const bool rewritten = !parser.domain_calls() || RewriteDomainCalls(ast, parser, &failure);
    if (rewritten) ExpandStarsInto(ast, root, names);
    if (!rewritten || !parser.Check(&failure)) root = kNoNode;
  }
  if (root != kNoNode && (!RewriteSelects(ast, root, dialect, names, &failure) ||
                         !RewriteJoinedWrites(ast, root, dialect, &failure))) {
    // Refused as the statement is written: no place where reading failed.
    result.error_number = failure.number;
    result.error_description = std::move(failure.description);
    return result;
  }
  if (root == kNoNode) {
    result.error_number = failure.number;
    result.error_description = std::move(failure.description);
    result.error_offset = failure.offset;
    return result;
  }
  if (lift_literals) {
    result.parameters.reserve(LiteralCount(tokens));
  }
  Write(ast, root, jet_sql, dialect, lift_literals, ansi89_wildcards, nullptr, resolver, result);
  // A translation that read the catalog afresh (its generation moved on)
  // is not kept: what it read may already be out of date.
  if (shaped && result.ok && (resolver == nullptr || resolver->Generation() == generation) &&
      Shapes::Keeps(ast, root, tokens, result)) {
    shapes.Keep(key, result.sql);
    shapes.Remember(jet_sql, tokens, dialect, ansi89_wildcards, generation, result.sql);
  }
  return result;
}

bool TranslateLifted(LiftedInsert& lifted, const Dialect& dialect, bool ansi89_wildcards,
                     Catalog* names) {
  if (!lifted.ok()) return false;
  // Kept under the same catalog generation as Translate keeps them.
  Catalog* const resolver = names != nullptr && names->ColumnsOnly() ? nullptr : names;
  const uint64_t generation = resolver != nullptr ? resolver->Generation() : 0;
  if (resolver != nullptr && generation == 0) return false;
  return ThreadShapes().MatchLifted(lifted, dialect, ansi89_wildcards, generation);
}

void LiftedInsert::Text(std::string_view value) {
  Parameter& p = Next();
  p.kind = Parameter::Kind::kText;
  p.text.assign(value);
}

void LiftedInsert::Date(std::string_view value) {
  // A # would end the literal early: the writer's text holds it otherwise
  // (and no date reads with it).
  const std::optional<db::Date> date =
      value.find('#') == std::string_view::npos ? db::Date::ParseLiteral(value) : std::nullopt;
  if (!date) {
    ok_ = false;
    return;
  }
  Parameter& p = Next();
  p.kind = Parameter::Kind::kDate;
  p.date = *date;
}

void LiftedInsert::Number(std::string_view written) {
  // A sign is an operator of its own in the statement, not part of the literal.
  if (written.empty() || written[0] < '0' || written[0] > '9') {
    ok_ = false;
    return;
  }
  Parameter& p = Next();
  if (!NumberParameter(written, p)) ok_ = false;
}

void LiftedInsert::Number(int32_t value) {
  if (value < 0) {
    ok_ = false;
    return;
  }
  Parameter& p = Next();
  p.kind = Parameter::Kind::kInteger;
  p.integer = value;
}

}  // namespace tessaly::db::jet
