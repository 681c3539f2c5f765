// The domain functions Access adds (DLookup, DCount, ...) as the subqueries
// they stand for.
//
// Access builds a domain function's criteria as a text each time it reads a
// row and hands the text to the engine. Applications nearly always build it
// with "&" from the row's fields: "ClientID=" & [ID], "Name='" & [Name] & "'",
// "D=#" & [Day] & "#". Such criteria are read once here, with a placeholder
// in each value's place, into one condition in which the value stands where
// its text stood; the subquery then reads it from the outer row. Criteria
// whose values would build a name, an operator or a whole condition have no
// such reading and are refused when the statement is translated.

#include <charconv>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "db/jet/Emitter.h"
#include "db/jet/Lexer.h"
#include "db/jet/Passes.h"
#include "db/jet/SavedQueries.h"
#include "tessaly/Error.h"

namespace tessaly::db::jet {
namespace {

// A piece of an argument joined by "&": a text written in the statement, or
// a value (a column, a parameter, any expression) that the row gives.
struct Piece {
  NodeId value = kNoNode;
  std::string text;
};

bool IsLiteral(NodeKind kind) {
  return kind == NodeKind::kNumber || kind == NodeKind::kText || kind == NodeKind::kDate ||
         kind == NodeKind::kBool || kind == NodeKind::kNull || kind == NodeKind::kParameter;
}

bool IsLogical(const Node& n) {
  if (n.kind == NodeKind::kNot) return true;
  if (n.kind != NodeKind::kBinary) return false;
  const auto op = static_cast<BinaryOp>(n.op);
  return op == BinaryOp::kAnd || op == BinaryOp::kOr || op == BinaryOp::kXor ||
         op == BinaryOp::kEqv || op == BinaryOp::kImp;
}

// A value's place in the criteria is a name in brackets that starts with
// character 1, which no name of a table or field holds.
constexpr char kMark = '\x01';

class DomainCalls {
 public:
  DomainCalls(Ast& ast, Parser& parser) : ast_(ast), parser_(parser) {}

  struct Refused {
    ParseFailure info;
  };

  // Makes the call at id its subquery, in place.
  void Rewrite(NodeId id) {
    const Node call = ast_[id];
    const auto function = static_cast<JetFunction>(call.op);
    NodeId args[3] = {kNoNode, kNoNode, kNoNode};
    size_t count = 0;
    for (NodeId arg = call.a; arg != kNoNode && count < 3; arg = ast_[arg].next) {
      args[count++] = arg;
    }

    std::string texts[2];
    for (size_t i = 0; i < 2; ++i) {
      std::vector<Piece> pieces = PiecesOf(args[i]);
      if (pieces.size() == 1 && pieces[0].value == kNoNode) {
        texts[i] = std::move(pieces[0].text);
        continue;
      }
      for (const Piece& piece : pieces) {
        // A parameter nobody gave: the statement fails for it once read.
        if (piece.value != kNoNode && ast_[piece.value].kind == NodeKind::kParameter) {
          parser_.NeedsValues();
          Replace(id, Node{});
          return;
        }
      }
      throw Refused{ParseFailure{errnum::kSyntax,
                                 "The expression and the domain of " + std::string(call.text) +
                                     " must be texts; they are read when the statement is "
                                     "translated, not from each row.",
                                 call.offset}};
    }

    SelectParts parts;
    NodeId value;
    const std::string_view expression = Parser::TrimBlanks(texts[0]);
    if (expression == "*") {
      Node star;
      star.kind = NodeKind::kStar;
      star.offset = call.offset;
      value = ast_.Add(star);
    } else {
      value = Read(ast_.Keep(std::string(expression)), call);
    }
    JetFunction aggregate = JetFunction::kDLookup;
    switch (function) {
      case JetFunction::kDAvg: aggregate = JetFunction::kAvg; break;
      case JetFunction::kDCount: aggregate = JetFunction::kCount; break;
      case JetFunction::kDFirst: aggregate = JetFunction::kFirst; break;
      case JetFunction::kDLast: aggregate = JetFunction::kLast; break;
      case JetFunction::kDMax: aggregate = JetFunction::kMax; break;
      case JetFunction::kDMin: aggregate = JetFunction::kMin; break;
      case JetFunction::kDSum: aggregate = JetFunction::kSum; break;
      default: parts.top = "1"; break;
    }
    if (aggregate != JetFunction::kDLookup) {
      Node over;
      over.kind = NodeKind::kCall;
      over.op = static_cast<uint8_t>(aggregate);
      over.offset = call.offset;
      over.text = call.text;
      over.a = value;
      value = ast_.Add(over);
    }
    Node item;
    item.kind = NodeKind::kSelectItem;
    item.offset = call.offset;
    item.a = value;
    parts.items = ast_.Add(item);
    parts.from = Domain(texts[1], call);
    if (count == 3) parts.where = Criteria(args[2], call, parts.from);
    Node subquery;
    subquery.kind = NodeKind::kSubquery;
    subquery.offset = call.offset;
    subquery.a = Select(std::move(parts), call.offset);
    Replace(id, subquery);
  }

 private:
  // Puts node in id's place, where id's list goes on after it.
  void Replace(NodeId id, Node node) {
    node.next = ast_[id].next;
    ast_[id] = node;
  }

  // The pieces of e, leftmost first, texts side by side joined.
  std::vector<Piece> PiecesOf(NodeId e) const {
    std::vector<Piece> out;
    std::vector<NodeId> pending{e};
    while (!pending.empty()) {
      const NodeId id = pending.back();
      pending.pop_back();
      const Node& n = ast_[id];
      if (n.kind == NodeKind::kBinary && static_cast<BinaryOp>(n.op) == BinaryOp::kConcat) {
        pending.push_back(n.b);
        pending.push_back(n.a);
      } else if (n.kind == NodeKind::kText) {
        std::string text = TextOfLiteral(n.text);
        if (!out.empty() && out.back().value == kNoNode) {
          out.back().text += text;
        } else {
          out.push_back(Piece{kNoNode, std::move(text)});
        }
      } else {
        out.push_back(Piece{id, {}});
      }
    }
    return out;
  }

  NodeId Read(std::string_view text, const Node& call) {
    ParseFailure failure;
    const NodeId e = parser_.Embedded(text, &failure);
    if (e == kNoNode) {
      failure.offset = call.offset;
      throw Refused{std::move(failure)};
    }
    return e;
  }

  NodeId Domain(std::string_view text, const Node& call) {
    const std::string_view kept = ast_.Keep(std::string(Parser::TrimBlanks(text)));
    std::vector<Token> tokens;
    Tokenize(kept, tokens);
    const bool name =
        tokens.size() == 2 && (tokens[0].kind == TokenKind::kBracketName ||
                               (tokens[0].kind == TokenKind::kWord && !IsReserved(tokens[0].text)));
    if (!name) {
      throw Refused{ParseFailure{errnum::kNoTable,
                                 "The database engine cannot find the input table or query '" +
                                     std::string(kept) +
                                     "'.  Make sure it exists and that its name is spelled "
                                     "correctly.",
                                 call.offset}};
    }
    Node table;
    table.kind = NodeKind::kTable;
    table.offset = call.offset;
    table.text = NameOfToken(tokens[0]);
    return ast_.Add(table);
  }

  [[noreturn]] void NoCondition(const Node& call) const {
    throw Refused{ParseFailure{
        errnum::kSyntax,
        "The criteria of " + std::string(call.text) +
            " are built from the row so that they make no one condition; each value must "
            "stand in quotes, between #s or beside an operator, in query expression '" +
            std::string(call.text2) + "'.",
        call.offset}};
  }

  // The criteria's text with a place for each value, in brackets that
  // begin with kMark and hold the value's index in values; twice counts the
  // values whose place is written twice.
  std::string WithPlaces(const std::vector<Piece>& pieces, const Node& call,
                         std::vector<NodeId>& values, size_t& twice) const {
    enum class Mode { kCode, kQuoted, kDate, kName } mode = Mode::kCode;
    char quote = 0;
    size_t opened = 0;  // where the text of the quotes or #s being read starts
    char closing = 0;   // a value stands alone between delimiters: the next text closes them
    std::string text;
    for (size_t k = 0; k < pieces.size(); ++k) {
      const Piece& piece = pieces[k];
      if (piece.value != kNoNode) {
        if (closing != 0 || mode == Mode::kName) NoCondition(call);
        const std::string mark =
            " [" + std::string(1, kMark) + std::to_string(values.size()) + "] ";
        values.push_back(piece.value);
        const char delimiter = mode == Mode::kQuoted ? quote : '#';
        const std::string* next = k + 1 < pieces.size() ? &pieces[k + 1].text : nullptr;
        const bool alone = mode != Mode::kCode && text.size() == opened && next != nullptr &&
                           !next->empty() && (*next)[0] == delimiter &&
                           (next->size() == 1 || (*next)[1] != delimiter);
        if (mode == Mode::kCode) {
          text += mark;
        } else if (alone) {
          // 'value' is the value as it is, so a text field compares as text
          // fields do; #value# is the value read as a date.
          text.pop_back();
          if (mode == Mode::kQuoted) {
            text += mark;
          } else {
            // A Null meets no row, as beside an operator.
            text += " IIf(IsNull(" + mark + "), Null, CDate(" + mark + ")) ";
            ++twice;
          }
          closing = delimiter;
        } else if (mode == Mode::kQuoted) {
          // 'abc' & value & 'def': the value's text inside the quotes.
          text += quote;
          text += " &" + mark + "& ";
          text += quote;
        } else {
          NoCondition(call);  // only the whole date may be the value
        }
        continue;
      }
      size_t i = 0;
      if (closing != 0) {
        closing = 0;
        mode = Mode::kCode;
        i = 1;
      }
      for (; i < piece.text.size(); ++i) {
        const char c = piece.text[i];
        text += c;
        switch (mode) {
          case Mode::kCode:
            if (c == '\'' || c == '"') {
              mode = Mode::kQuoted;
              quote = c;
            } else if (c == '#') {
              mode = Mode::kDate;
            } else if (c == '[') {
              mode = Mode::kName;
            }
            opened = text.size();
            break;
          case Mode::kQuoted:
            if (c == quote) mode = Mode::kCode;
            break;
          case Mode::kDate:
            if (c == '#') mode = Mode::kCode;
            break;
          case Mode::kName:
            if (c == ']') mode = Mode::kCode;
            break;
        }
      }
    }
    return text;
  }

  // The criteria as one condition over the domain, whose source list starts
  // at from. A value the row gives stands in its place; one read from
  // columns comes from a one-row table of the row's values beside the
  // domain, so that a field the domain also has is still the outer row's.
  NodeId Criteria(NodeId arg, const Node& call, NodeId from) {
    const std::vector<Piece> pieces = PiecesOf(arg);
    if (pieces.size() == 1 && pieces[0].value == kNoNode) {
      const std::string_view text = Parser::TrimBlanks(pieces[0].text);
      return text.empty() ? kNoNode : Read(ast_.Keep(std::string(text)), call);
    }
    std::vector<NodeId> values;
    size_t twice = 0;
    std::string text = WithPlaces(pieces, call, values, twice);
    const size_t first = ast_.nodes.size();
    ParseFailure failure;
    const NodeId condition = parser_.Embedded(ast_.Keep(std::move(text)), &failure);
    if (condition == kNoNode) {
      throw Refused{ParseFailure{
          errnum::kSyntax,
          "Syntax error (missing operator) in query expression '" + std::string(call.text2) + "'.",
          call.offset}};
    }
    auto mark_of = [&](NodeId id) -> size_t {
      const Node& n = ast_[id];
      if (n.kind != NodeKind::kColumn || !n.text2.empty() || n.text.empty() || n.text[0] != kMark) {
        return SIZE_MAX;
      }
      size_t index = SIZE_MAX;
      const std::string_view digits = n.text.substr(1);
      const auto read = std::from_chars(digits.data(), digits.data() + digits.size(), index);
      if (read.ec != std::errc() || read.ptr != digits.data() + digits.size()) return SIZE_MAX;
      return index < values.size() ? index : SIZE_MAX;
    };
    // A value is an operand; one that would be a condition of its own (the
    // criteria whole, a side of And or Or) has its meaning only as text.
    if (mark_of(condition) != SIZE_MAX) NoCondition(call);
    const size_t last = ast_.nodes.size();
    for (size_t id = first; id < last; ++id) {
      const Node& n = ast_[static_cast<NodeId>(id)];
      if (!IsLogical(n)) continue;
      if (mark_of(n.a) != SIZE_MAX || (n.b != kNoNode && mark_of(n.b) != SIZE_MAX)) {
        NoCondition(call);
      }
    }

    NodeId row_items = kNoNode, row_tail = kNoNode;
    std::vector<std::string_view> row_names(values.size());
    size_t placed = 0;
    for (size_t id = first; id < last; ++id) {
      const size_t index = mark_of(static_cast<NodeId>(id));
      if (index == SIZE_MAX) continue;
      ++placed;
      const NodeId value = values[index];
      if (IsLiteral(ast_[value].kind)) {
        Replace(static_cast<NodeId>(id), ast_[value]);
        continue;
      }
      if (row_names[index].empty()) {
        Node item;
        item.kind = NodeKind::kSelectItem;
        item.offset = ast_[value].offset;
        item.a = value;
        item.text = ast_.Keep("jet_value" + std::to_string(index + 1));
        item.text2 = item.text;
        const NodeId item_id = ast_.Add(item);
        (row_tail == kNoNode ? row_items : ast_[row_tail].next) = item_id;
        row_tail = item_id;
        row_names[index] = item.text2;
      }
      Node column;
      column.kind = NodeKind::kColumn;
      column.offset = ast_[value].offset;
      column.text = row_names[index];
      column.text2 = kRowName;
      Replace(static_cast<NodeId>(id), column);
    }
    // Each place as written: a name of the text that looked like a place is
    // not one.
    if (placed != values.size() + twice) NoCondition(call);
    if (row_items != kNoNode) {
      SelectParts row;
      row.items = row_items;
      Node derived;
      derived.kind = NodeKind::kDerived;
      derived.offset = call.offset;
      derived.a = Select(std::move(row), call.offset);
      derived.text2 = kRowName;
      ast_[from].next = ast_.Add(derived);
    }
    return condition;
  }

  // The one-row table of the row's values beside the domain.
  static constexpr std::string_view kRowName = "jet_row";

  // A select node of the tree over parts, which the tree keeps.
  NodeId Select(SelectParts parts, uint32_t offset) {
    ast_.selects.push_back(std::move(parts));
    Node select;
    select.kind = NodeKind::kSelect;
    select.offset = offset;
    select.a = static_cast<NodeId>(ast_.selects.size() - 1);
    return ast_.Add(select);
  }

  Ast& ast_;
  Parser& parser_;
};

}  // namespace

bool RewriteDomainCalls(Ast& ast, Parser& parser, ParseFailure* failure) {
  DomainCalls calls(ast, parser);
  try {
    // The pool grows as calls are rewritten; a call written inside another's
    // texts is met and rewritten in its turn.
    for (NodeId id = 0; id < ast.nodes.size(); ++id) {
      const Node& n = ast[id];
      if (n.kind == NodeKind::kCall && IsDomain(static_cast<JetFunction>(n.op))) {
        calls.Rewrite(id);
      }
    }
  } catch (DomainCalls::Refused& refused) {
    *failure = std::move(refused.info);
    return false;
  }
  return true;
}

}  // namespace tessaly::db::jet
