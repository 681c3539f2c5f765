// The pass that writes out the * of a SELECT ... INTO over joined tables.
//
// The new table's fields must differ in name, and Jet names a field that two
// of the joined tables hold with its table ("Customers.ID" beside
// "Products.ID"). The emitter names the fields so when the select list names
// them one by one; the engine's own * carries no table with each of its
// columns, so here each * becomes the list of the columns it stands for, read
// from the database's catalog, in the order of the sources and their fields.

#include <string>
#include <utility>
#include <vector>

#include "db/Rules.h"
#include "db/jet/Passes.h"
#include "db/jet/Translator.h"

namespace tessaly::db::jet {

namespace {

struct Source {
  std::string_view qualifier;  // the alias, or the table's name
  std::vector<std::string> columns;
};

// The tables of the FROM list, leftmost first, with their columns; false
// when one of them is no table the catalog knows (a subquery, a missing
// table), whose * is then left to the engine.
bool ReadSources(const Ast& ast, NodeId from, Catalog& names, std::vector<Source>& sources) {
  return !AnySource(ast, from, [&](const Node& n, NodeId) {
    if (n.kind != NodeKind::kTable) return true;
    const NamedObject& object = names.Find(n.text);
    if (!object.found || object.columns.empty()) return true;
    sources.push_back({n.text2.empty() ? n.text : n.text2, object.columns});
    return false;
  });
}

// A column item reading column of the source qualified so.
NodeId ColumnItem(Ast& ast, const Node& star, std::string_view qualifier,
                  const std::string& column) {
  Node e;
  e.kind = NodeKind::kColumn;
  e.offset = star.offset;
  e.text = ast.Keep(column);
  e.text2 = qualifier;
  Node item;
  item.kind = NodeKind::kSelectItem;
  item.offset = star.offset;
  item.a = ast.Add(e);
  item.text = ast[item.a].text;
  return ast.Add(item);
}

}  // namespace

void ExpandStarsInto(Ast& ast, NodeId root, Catalog* names) {
  if (root == kNoNode || ast[root].kind != NodeKind::kSelect) return;
  const SelectParts& select = ast.selects[ast[root].a];
  if (select.into.empty() || select.from == kNoNode) return;
  const Node& first = ast[select.from];
  if (first.kind != NodeKind::kJoin && first.next == kNoNode) return;  // one table
  bool star = false;
  for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
    star = star || ast[ast[i].a].kind == NodeKind::kStar;
  }
  if (!star) return;
  std::vector<Source> sources;
  if (names == nullptr || !ReadSources(ast, select.from, *names, sources)) return;
  // A t.* of no source is the engine's to refuse.
  for (NodeId i = select.items; i != kNoNode; i = ast[i].next) {
    const Node& e = ast[ast[i].a];
    if (e.kind != NodeKind::kStar || e.text2.empty()) continue;
    bool known = false;
    for (const Source& source : sources) {
      known = known || rules::EqualsNoCase(e.text2, source.qualifier);
    }
    if (!known) return;
  }
  // The list again, each * (or t.*) as the columns it stands for.
  NodeId head = kNoNode, tail = kNoNode;
  auto append = [&](NodeId item) {
    if (tail == kNoNode) {
      head = item;
    } else {
      ast[tail].next = item;
    }
    tail = item;
  };
  for (NodeId i = ast.selects[ast[root].a].items; i != kNoNode;) {
    const NodeId next = ast[i].next;
    const Node star_node = ast[ast[i].a];
    if (star_node.kind != NodeKind::kStar) {
      ast[i].next = kNoNode;
      append(i);
      i = next;
      continue;
    }
    for (const Source& source : sources) {
      if (!star_node.text2.empty() && !rules::EqualsNoCase(star_node.text2, source.qualifier)) {
        continue;
      }
      for (const std::string& column : source.columns) {
        append(ColumnItem(ast, star_node, source.qualifier, column));
      }
    }
    i = next;
  }
  ast.selects[ast[root].a].items = head;
}

}  // namespace tessaly::db::jet
