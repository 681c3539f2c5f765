#include "db/jet/Translator.h"

#include <vector>

#include "db/jet/Ast.h"
#include "db/jet/Emitter.h"
#include "db/jet/Lexer.h"
#include "db/jet/Parser.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {

Translation Translate(std::string_view jet_sql, const Dialect& dialect, bool lift_literals,
                      bool ansi89_wildcards, const std::vector<PivotValue>* pivot_values,
                      Catalog* names) {
  // Every INSERT of the record classes passes through here: the token and
  // node buffers are kept per thread so a call allocates only its result.
  thread_local std::vector<Token> tokens;
  thread_local Ast ast;

  Translation result;
  Tokenize(jet_sql, tokens);
  Parser parser(jet_sql, tokens, ast);
  ParseFailure failure;
  const NodeId root = parser.Parse(&failure);
  if (root == kNoNode) {
    result.error_number = failure.number;
    result.error_description = std::move(failure.description);
    result.error_offset = failure.offset;
    return result;
  }
  result.sql.reserve(jet_sql.size() + jet_sql.size() / 4 + 32);
  if (lift_literals) {
    // Mostly one parameter for each literal: room for them at once rather
    // than growing (and moving) the list as an INSERT's values are written.
    size_t literals = 0;
    for (const Token& token : tokens) {
      literals += token.kind == TokenKind::kText || token.kind == TokenKind::kNumber ||
                  token.kind == TokenKind::kDateLit;
    }
    result.parameters.reserve(literals);
  }
  try {
    Emitter emitter(ast, dialect, lift_literals ? &result.parameters : nullptr, ansi89_wildcards,
                    pivot_values, names);
    emitter.Statement(root, result.sql);
    result.needs_pivot_values = emitter.wrote_pivot_query();
    result.edit = std::move(emitter.edit());
    result.before = std::move(emitter.before());
    result.after = std::move(emitter.after());
    result.answers_count = emitter.answers_count();
  } catch (const Emitter::TooComplex&) {
    result.sql.clear();
    result.parameters.clear();
    result.error_number = errnum::kFail;
    result.error_description = "Query is too complex.";
    return result;
  } catch (const Emitter::Refused& refused) {
    result.sql.clear();
    result.parameters.clear();
    result.error_number = refused.number;
    result.error_description = refused.description;
    return result;
  }
  result.ok = true;
  const Node& top = ast[root];
  if (top.kind == NodeKind::kSelect && !ast.selects[top.a].into.empty()) {
    result.make_table = ast.selects[top.a].into;
  } else {
    result.returns_rows = top.kind == NodeKind::kSelect || top.kind == NodeKind::kUnion ||
                          top.kind == NodeKind::kTransform;
  }
  return result;
}

}  // namespace tessaly::db::jet
