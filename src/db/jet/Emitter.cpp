// The statement the emitter writes, by kind, and the FROM it reads.

#include "db/jet/Emitter.h"

#include <charconv>
#include <cstdlib>

#include "db/jet/Passes.h"

namespace tessaly::db::jet {

void AssignTextOfLiteral(std::string_view literal, std::string& value) {
  // Mostly no delimiter is doubled inside: the body is copied whole.
  const std::string_view body = literal.substr(1, literal.size() - 2);
  if (body.find(literal.front()) == std::string_view::npos) {
    value.assign(body);
    return;
  }
  value.clear();
  value.reserve(body.size());
  for (size_t i = 1; i + 1 < literal.size(); ++i) {
    value += literal[i];
    if (literal[i] == literal.front()) ++i;  // a doubled delimiter
  }
}

std::string TextOfLiteral(std::string_view literal) {
  std::string value;
  AssignTextOfLiteral(literal, value);
  return value;
}

bool NumberParameter(std::string_view text, Parameter& p) {
  const char* end = text.data() + text.size();
  if (rules::IsDigits(text)) {
    auto [ptr, ec] = std::from_chars(text.data(), end, p.integer);
    p.kind = Parameter::Kind::kInteger;
    return ec == std::errc() && ptr == end;  // beyond 64 bits: left to the engine
  }
  // Rounded to the nearest double, as strtod rounds, read in place; one
  // past a double's range is read by strtod, as infinity or zero.
  p.kind = Parameter::Kind::kReal;
  if (auto [ptr, ec] = std::from_chars(text.data(), end, p.real);
      ec != std::errc::result_out_of_range) {
    return ec == std::errc() && ptr == end;
  }
  const std::string copy(text);  // strtod wants a terminated text
  char* stop = nullptr;
  p.real = std::strtod(copy.c_str(), &stop);
  return stop == copy.c_str() + copy.size();
}

std::string Emitter::TextOf(const Node& text) { return TextOfLiteral(text.text); }

void Emitter::Statement(NodeId root, std::string& out) {
  const Node& n = ast_[root];
  switch (n.kind) {
    case NodeKind::kSelect:
    case NodeKind::kUnion: Query(root, out); return;
    case NodeKind::kInsert: {
      out += "INSERT INTO ";
      dialect_.Identifier(ast_[n.a].text, out);
      if (n.b != kNoNode) {
        out += " (";
        for (NodeId c = n.b; c != kNoNode; c = ast_[c].next) {
          if (c != n.b) out += ", ";
          dialect_.Identifier(ast_[c].text, out);
        }
        out += ')';
      }
      if (ast_[n.c].kind == NodeKind::kSelect || ast_[n.c].kind == NodeKind::kUnion) {
        out += ' ';
        Query(n.c, out);
        return;
      }
      out += " VALUES (";
      for (NodeId v = n.c; v != kNoNode; v = ast_[v].next) {
        if (v != n.c) out += ", ";
        Value(v, out);
      }
      out += ')';
      return;
    }
    case NodeKind::kPivotValues: PivotValues(n, out); return;
    case NodeKind::kUpdate: Update(n, out); return;
    case NodeKind::kDelete: Delete(n, out); return;
    case NodeKind::kRowUpdate:
    case NodeKind::kRowDelete:
    case NodeKind::kEachUpdate:
    case NodeKind::kPlan: JoinedWrite(n, out); return;
    default: Definition(n, out); return;
  }
}

void Emitter::Query(NodeId id, std::string& out) {
  const Node& n = ast_[id];
  if (n.kind == NodeKind::kSelect) {
    Select(ast_.selects[n.a], out);
    return;
  }
  UnionMember(n.a, out);
  out += n.flag ? " UNION ALL " : " UNION ";
  UnionMember(n.b, out);
  if (n.c == kNoNode) return;
  // The sort of a union names the columns of its result: a qualified column
  // is the result column of that name.
  out += " ORDER BY ";
  for (NodeId t = n.c; t != kNoNode; t = ast_[t].next) {
    if (t != n.c) out += ", ";
    const Node& term = ast_[t];
    const Node& e = ast_[term.a];
    if (e.kind == NodeKind::kColumn) {
      NodeId first = id;
      while (ast_[first].kind == NodeKind::kUnion) first = ast_[first].a;
      dialect_.Identifier(ResultName(ast_, ast_.selects[ast_[first].a], e.text), out);
    } else if (e.kind == NodeKind::kNumber) {
      out += e.text;
    } else {
      Expression(term.a, false, out);
    }
    if (term.flag) out += " DESC";
    dialect_.SortNulls(term.flag, out);
  }
}

// A SELECT of a union that sorts or limits its own rows stands as a table,
// since a member of a compound select may do neither.
void Emitter::UnionMember(NodeId id, std::string& out) {
  const Node& n = ast_[id];
  if (n.kind == NodeKind::kUnion) {
    Query(id, out);
    return;
  }
  const SelectParts& select = ast_.selects[n.a];
  if (select.top.empty() && select.order_by == kNoNode) {
    Select(select, out);
    return;
  }
  out += "SELECT * FROM (";
  Select(select, out);
  out += ')';
}

void Emitter::Sources(NodeId first, std::string& out) {
  out += " FROM ";
  for (NodeId s = first; s != kNoNode; s = ast_[s].next) {
    if (s != first) out += ", ";
    Source(s, out);
  }
}

void Emitter::Source(NodeId id, std::string& out) {
  Deeper deeper(*this);
  const Node& n = ast_[id];
  switch (n.kind) {
    case NodeKind::kTable: dialect_.Identifier(n.text, out); break;
    case NodeKind::kDerived:
      out += '(';
      Query(n.a, out);
      out += ')';
      if (n.text2.empty()) dialect_.UnnamedSubquery(++unnamed_subqueries_, out);
      break;
    case NodeKind::kJoin: {
      // Jet nests joins in parentheses; a chain that grows on the left reads
      // the same without them, a join nested on the right keeps them.
      Source(n.a, out);
      const auto kind = static_cast<JoinKind>(n.op);
      out += kind == JoinKind::kInner  ? " INNER JOIN "
             : kind == JoinKind::kLeft ? " LEFT JOIN "
                                       : " RIGHT JOIN ";
      const bool nested = ast_[n.b].kind == NodeKind::kJoin;
      if (nested) out += '(';
      Source(n.b, out);
      if (nested) out += ')';
      out += " ON ";
      Filter(n.c, out);
      return;
    }
    default: return;
  }
  if (!n.text2.empty()) {
    out += " AS ";
    dialect_.Qualifier(n.text2, out);
  }
}

}  // namespace tessaly::db::jet
