// UPDATE and DELETE over one table, and the statements an UPDATE or DELETE
// over joined tables is rewritten as (see RewriteJoinedWrites).

#include "db/jet/Emitter.h"

#include <string>

#include "tessaly/Error.h"

namespace tessaly::db::jet {

// Over one table; over joined ones, RewriteJoinedWrites has made it the
// statements JoinedWrite writes.
void Emitter::Update(const Node& n, std::string& out) {
  out += "UPDATE ";
  Source(n.a, out);
  out += " SET ";
  for (NodeId s = n.b; s != kNoNode; s = ast_[s].next) {
    if (s != n.b) out += ", ";
    // SQL names the assigned column without a table qualifier.
    dialect_.Identifier(ast_[ast_[s].a].text, out);
    out += " = ";
    Value(ast_[s].b, out);
  }
  if (n.c != kNoNode) {
    out += " WHERE ";
    Filter(n.c, out);
  }
}

void Emitter::JoinedWrite(const Node& n, std::string& out) {
  switch (n.kind) {
    case NodeKind::kRowUpdate: {
      out += "UPDATE ";
      dialect_.Identifier(n.text, out);
      out += " AS ";
      out += n.text2;
      out += " SET ";
      for (NodeId s = n.a; s != kNoNode; s = ast_[s].next) {
        if (s != n.a) out += ", ";
        const Node& setting = ast_[s];
        if (setting.kind == NodeKind::kAssign) {
          dialect_.Identifier(ast_[setting.a].text, out);
          out += " = ";
          Value(setting.b, out);
          continue;
        }
        // Several columns from one row: (a, b) = (SELECT x, y ...).
        const bool several = ast_[setting.a].next != kNoNode;
        if (several) out += '(';
        for (NodeId v = setting.a; v != kNoNode; v = ast_[v].next) {
          if (v != setting.a) out += ", ";
          dialect_.Identifier(ast_[ast_[v].a].text, out);
        }
        out += several ? ") = (SELECT " : " = (SELECT ";
        for (NodeId v = setting.a; v != kNoNode; v = ast_[v].next) {
          if (v != setting.a) out += ", ";
          Held(ast_[v].b, out);
        }
        JoinedRows(ast_[setting.b], out);
        out += ')';
      }
      out += " WHERE ";
      RowIn(ast_[n.b], out);
      return;
    }
    case NodeKind::kRowDelete:
      out += "DELETE FROM ";
      dialect_.Identifier(n.text, out);
      out += " WHERE ";
      RowIn(ast_[n.a], out);
      return;
    case NodeKind::kEachUpdate: {
      out += "WITH ";
      size_t k = 0;
      for (NodeId w = n.a; w != kNoNode; w = ast_[w].next) {
        if (w != n.a) out += ", ";
        out += "jet_write" + std::to_string(++k) + " AS (";
        JoinedWrite(ast_[w], out);
        out += ')';
      }
      out += " SELECT count(*)";
      JoinedRows(ast_[n.b], out);
      answers_count_ = true;
      return;
    }
    case NodeKind::kCapture:
      out += "INSERT INTO ";
      out += n.text;
      out += " SELECT ";
      for (NodeId c = n.a; c != kNoNode; c = ast_[c].next) {
        if (c != n.a) out += ", ";
        Held(ast_[c].b, out);
      }
      JoinedRows(ast_[n.b], out);
      return;
    case NodeKind::kCreateCapture: {
      const Node& capture = ast_[n.a];
      out += "CREATE TEMP TABLE IF NOT EXISTS ";
      out += capture.text;
      out += " (";
      for (NodeId c = capture.a; c != kNoNode; c = ast_[c].next) {
        if (c != capture.a) out += ", ";
        out += ast_[ast_[c].a].text;
      }
      out += ')';
      return;
    }
    case NodeKind::kClearCapture:
      out += "DELETE FROM ";
      out += n.text;
      return;
    case NodeKind::kPlan:
      for (NodeId s = n.a; s != kNoNode; s = ast_[s].next) {
        std::string statement;
        JoinedWrite(ast_[s], statement);
        before_.push_back(std::move(statement));
      }
      JoinedWrite(ast_[n.b], out);
      for (NodeId s = n.c; s != kNoNode; s = ast_[s].next) {
        std::string statement;
        JoinedWrite(ast_[s], statement);
        after_.push_back(std::move(statement));
      }
      return;
    default: return;
  }
}

void Emitter::JoinedRows(const Node& rows, std::string& out) {
  if (rows.a != kNoNode) {
    Sources(rows.a, out);
  } else {
    out += " FROM ";
    out += rows.text;
  }
  if (rows.c == kNoNode) {
    if (rows.b != kNoNode) {
      out += " WHERE ";
      Filter(rows.b, out);
    }
    return;
  }
  out += " WHERE ";
  if (rows.b != kNoNode) {
    out += '(';
    Filter(rows.b, out);
    out += ") AND ";
  }
  Held(rows.c, out);
  out += " = ";
  RowIdentity(rows.text2, out);
  out += " LIMIT 1";
}

void Emitter::RowIn(const Node& in, std::string& out) {
  RowIdentity(in.text, out);
  out += " IN (SELECT ";
  Held(in.a, out);
  JoinedRows(ast_[in.b], out);
  out += ')';
}

void Emitter::Held(NodeId id, std::string& out) {
  const Node& n = ast_[id];
  switch (n.kind) {
    case NodeKind::kRowIdentity: RowIdentity(n.text, out); return;
    case NodeKind::kMadeName: out += n.text; return;
    default: Value(id, out);
  }
}

void Emitter::RowIdentity(std::string_view table, std::string& out) {
  std::string identity;
  if (!dialect_.RowIdentity(table, identity)) {
    throw Refused{errnum::kFail, "Operation must use an updateable query."};
  }
  out += identity;
}

void Emitter::Delete(const Node& n, std::string& out) {
  out += "DELETE FROM ";
  Source(n.a, out);
  if (n.c != kNoNode) {
    out += " WHERE ";
    Filter(n.c, out);
  }
}

}  // namespace tessaly::db::jet
