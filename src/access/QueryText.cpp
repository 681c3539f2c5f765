#include "access/QueryText.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "db/Rules.h"
#include "tessaly/Error.h"

namespace tessaly::access {
namespace {

// What a row of the query table holds, by its Attribute.
enum Attribute : int32_t {
  kBegin = 0,      // opens the query's rows
  kKind = 1,       // Flag: the kind; Name1: an INTO target or a pass-through's connection;
                   // Name2: the database an INTO target lives in; Expression: the text of
                   // a data-definition or pass-through query
  kParameter = 2,  // Name1: the name; Flag: the type
  kFlags = 3,      // Flag: the bits below; Name1 (or Expression): TOP's number
  kDatabase = 4,   // Name1: the database the inputs live in
  kInput = 5,      // Name1: a table or query, Name2: its alias; Expression: a union's part
  kColumn = 6,     // Expression [AS Name1]; Name2: the field it sets (update, append)
  kJoin = 7,       // Name1 JOIN Name2 ON Expression; Flag: the join's kind
  kWhere = 8,      // Expression
  kGroupBy = 9,    // Expression
  kHaving = 10,    // Expression
  kOrderBy = 11,   // Expression; Name1 "D": descending
  kEnd = 255,      // closes the query's rows
};

enum Kind : int32_t {
  kSelect = 1,
  kMakeTable = 2,
  kAppend = 3,
  kUpdate = 4,
  kDelete = 5,
  kCrosstab = 6,
  kDataDefinition = 7,
  kPassThrough = 8,
  kUnion = 9,
};

// The bits of the kFlags row. In a union the first says UNION ALL, unless
// the distinct bit is set too.
constexpr int32_t kAllFields = 1;
constexpr int32_t kUnionAll = 1;
constexpr int32_t kDistinct = 2;
constexpr int32_t kOwnerAccess = 4;
constexpr int32_t kDistinctRow = 8;
constexpr int32_t kTop = 16;
constexpr int32_t kPercent = 32;

// A crosstab's columns (kColumn) and groups (kGroupBy) say by their Flag
// which part of it they are.
constexpr int32_t kCrosstabValue = 0;
constexpr int32_t kCrosstabPivot = 1;
constexpr int32_t kCrosstabRowHeading = 2;

// Access writes one clause a line, each line ended as its editor ends them.
constexpr std::string_view kLine = "\r\n";

[[noreturn]] void Refuse(std::string_view query, const std::string& why) {
  throw Error(errnum::kFail,
              "The saved query '" + std::string(query) + "' cannot be rebuilt: " + why + ".");
}

// A name as Access writes it in a statement: bracketed unless it is a plain
// word (letters, digits and "_", not starting with a digit).
std::string NameText(std::string_view name) {
  bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (!(u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          c == '_')) {
      plain = false;
    }
  }
  if (plain) return std::string(name);
  return "[" + std::string(name) + "]";
}

// Jet's names of the parameter types, at the data type number a parameter
// row's Flag holds; null for a number Jet does not know.
const char* ParameterType(int32_t flag) {
  static constexpr const char* kNames[] = {
      "Value",      "Bit",      "Byte",   "Short", "Long",       "Currency", "IEEESingle",
      "IEEEDouble", "DateTime", "Binary", "Text",  "LongBinary", "Memo",     nullptr,
      nullptr,      "Guid",     nullptr,  nullptr, nullptr,      nullptr,    "Decimal"};
  return flag >= 0 && flag < static_cast<int32_t>(std::size(kNames)) ? kNames[flag] : nullptr;
}

// The rows of one query, read into the clauses they make.
class Rebuilder {
 public:
  Rebuilder(std::string_view name, std::span<const QueryRow> rows) : name_(name) {
    // Rows of one attribute keep the order the file gives them (or its Order
    // column's, where the file fills it): columns, inputs and joins are
    // written in that order.
    sorted_.reserve(rows.size());
    for (const QueryRow& row : rows) sorted_.push_back(&row);
    std::stable_sort(sorted_.begin(), sorted_.end(), [](const QueryRow* a, const QueryRow* b) {
      if (a->attribute != b->attribute) return a->attribute < b->attribute;
      return a->order < b->order;
    });
  }

  std::string Text() {
    const QueryRow* kind_row = nullptr;
    for (const QueryRow* row : sorted_) {
      switch (row->attribute) {
        case kBegin:
        case kEnd: break;
        case kKind:
          if (kind_row) Refuse(name_, "it has two kind rows");
          kind_row = row;
          break;
        case kFlags: flags_ = row; break;
        case kDatabase: database_ = row; break;
        case kParameter:
        case kInput:
        case kColumn:
        case kJoin:
        case kWhere:
        case kGroupBy:
        case kHaving:
        case kOrderBy: by_attribute_[row->attribute].push_back(row); break;
        default:
          Refuse(name_, "it has a row of the unknown attribute " + std::to_string(row->attribute));
      }
    }
    if (!kind_row) Refuse(name_, "it has no row saying its kind");
    kind_ = kind_row;
    std::string out;
    switch (kind_->flag) {
      case kDataDefinition:
      case kPassThrough: return TypedText();
      case kUnion: out = Union(); break;
      case kSelect:
      case kMakeTable: out = Parameters() + Select(); break;
      case kAppend: out = Parameters() + Append(); break;
      case kUpdate: out = Parameters() + Update(); break;
      case kDelete: out = Parameters() + Delete(); break;
      case kCrosstab: out = Parameters() + Crosstab(); break;
      default: Refuse(name_, "its kind " + std::to_string(kind_->flag) + " is unknown");
    }
    if (Flags() & kOwnerAccess) {
      out += kLine;
      out += "WITH OWNERACCESS OPTION";
    }
    out += ';';
    return out;
  }

 private:
  const std::vector<const QueryRow*>& Rows(Attribute attribute) const {
    return by_attribute_[attribute];
  }
  int32_t Flags() const { return flags_ ? flags_->flag : 0; }

  const std::string& Expression(const QueryRow* row, const char* what) const {
    if (!row->expression || row->expression->empty()) {
      Refuse(name_, std::string("it has ") + what + " without its expression");
    }
    return *row->expression;
  }

  // A data-definition or pass-through query keeps its text as it was typed;
  // the file ends it with character 0, which no statement holds.
  std::string TypedText() const {
    std::string text = Expression(kind_, "a data-definition or pass-through kind row");
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }

  std::string Parameters() const {
    const auto& rows = Rows(kParameter);
    if (rows.empty()) return {};
    std::string out = "PARAMETERS ";
    for (size_t i = 0; i < rows.size(); ++i) {
      if (!rows[i]->name1 || rows[i]->name1->empty())
        Refuse(name_, "it has a parameter without a name");
      const char* type = ParameterType(rows[i]->flag);
      if (!type) {
        Refuse(name_, "its parameter '" + *rows[i]->name1 + "' has the unknown type " +
                          std::to_string(rows[i]->flag));
      }
      if (i) out += ", ";
      // Access shows the names as they were declared, without brackets.
      out += *rows[i]->name1;
      out += ' ';
      out += type;
    }
    out += ';';
    out += kLine;
    return out;
  }

  // SELECT's words before the columns: DISTINCT, DISTINCTROW, TOP n [PERCENT].
  std::string Predicates() const {
    std::string out;
    const int32_t flags = Flags();
    if (flags & kDistinct) out += "DISTINCT ";
    if (flags & kDistinctRow) out += "DISTINCTROW ";
    if (flags & kTop) {
      const std::optional<std::string>& n =
          flags_->name1 && !flags_->name1->empty() ? flags_->name1 : flags_->expression;
      if (!n || n->empty()) Refuse(name_, "it has TOP without its number");
      out += "TOP " + *n + ' ';
      if (flags & kPercent) out += "PERCENT ";
    }
    return out;
  }

  // The output columns (those of a crosstab whose Flag is `part`, any for
  // another kind), each "expression [AS alias]".
  std::string Columns(bool crosstab, int32_t part) const {
    std::string out;
    if (!crosstab && (Flags() & kAllFields)) out += '*';
    for (const QueryRow* row : Rows(kColumn)) {
      if (crosstab && row->flag != part) continue;
      if (!out.empty()) out += ", ";
      out += Expression(row, "an output column");
      if (row->name1 && !row->name1->empty()) out += " AS " + NameText(*row->name1);
    }
    return out;
  }

  // "FROM ..." with the inputs joined as the join rows say, or empty for a
  // query that reads no table.
  std::string From(std::string_view word) const {
    std::string sources = Sources();
    if (sources.empty()) return {};
    std::string out(kLine);
    out += word;
    out += sources;
    if (database_) out += " IN '" + database_->name1.value_or("") + "'";
    return out;
  }

  // The inputs, each joined one to the joins that name it. Joins between the
  // same two inputs are one join whose conditions are all of theirs.
  std::string Sources() const {
    struct Source {
      std::string text;
      std::vector<std::string> keys;  // the names (or aliases) it holds, folded
      bool joined = false;
    };
    std::vector<Source> sources;
    for (const QueryRow* row : Rows(kInput)) {
      Source& s = sources.emplace_back();
      const bool named = row->name1 && !row->name1->empty();
      const bool aliased = row->name2 && !row->name2->empty();
      if (named) {
        s.text = NameText(*row->name1);
      } else if (row->expression && !row->expression->empty()) {
        if (!aliased) Refuse(name_, "it reads a subquery without its alias");
        s.text = "(" + *row->expression + ")";
      } else {
        Refuse(name_, "it has an input naming no table");
      }
      if (aliased) s.text += " AS " + NameText(*row->name2);
      s.keys.push_back(db::rules::LoweredAscii(aliased ? *row->name2 : *row->name1));
    }

    struct Join {
      std::string left, right;  // folded
      std::string left_name, right_name;
      int32_t kind = 0;
      std::vector<const std::string*> conditions;
    };
    std::vector<Join> joins;
    for (const QueryRow* row : Rows(kJoin)) {
      if (!row->name1 || row->name1->empty() || !row->name2 || row->name2->empty()) {
        Refuse(name_, "it has a join naming no table");
      }
      const std::string& condition = Expression(row, "a join");
      const std::string left = db::rules::LoweredAscii(*row->name1);
      const std::string right = db::rules::LoweredAscii(*row->name2);
      auto same = std::find_if(joins.begin(), joins.end(), [&](const Join& j) {
        return j.left == left && j.right == right && j.kind == row->flag;
      });
      if (same == joins.end()) {
        joins.push_back(Join{left, right, *row->name1, *row->name2, row->flag, {}});
        same = joins.end() - 1;
      }
      same->conditions.push_back(&condition);
    }

    auto find = [&](const std::string& key, const std::string& shown) {
      for (size_t i = 0; i < sources.size(); ++i) {
        if (std::find(sources[i].keys.begin(), sources[i].keys.end(), key) !=
            sources[i].keys.end()) {
          return i;
        }
      }
      Refuse(name_, "it joins '" + shown + "', which it does not read");
    };
    for (const Join& join : joins) {
      const char* word = join.kind == 1   ? " INNER JOIN "
                         : join.kind == 2 ? " LEFT JOIN "
                         : join.kind == 3 ? " RIGHT JOIN "
                                          : nullptr;
      if (!word) Refuse(name_, "it has a join of the unknown kind " + std::to_string(join.kind));
      const size_t l = find(join.left, join.left_name);
      const size_t r = find(join.right, join.right_name);
      if (l == r) {
        Refuse(name_, "its joins of '" + join.left_name + "' and '" + join.right_name +
                          "' close a circle");
      }
      auto side = [](const Source& s) { return s.joined ? "(" + s.text + ")" : s.text; };
      std::string text = side(sources[l]) + word + side(sources[r]) + " ON ";
      // Access shows the last condition saved first, each in parentheses
      // when there are several.
      if (join.conditions.size() == 1) {
        text += *join.conditions[0];
      } else {
        for (size_t i = join.conditions.size(); i-- > 0;) {
          text += "(" + *join.conditions[i] + ")";
          if (i) text += " AND ";
        }
      }
      sources[l].text = std::move(text);
      sources[l].joined = true;
      sources[l].keys.insert(sources[l].keys.end(), sources[r].keys.begin(), sources[r].keys.end());
      sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(r));
    }
    std::string out;
    for (const Source& s : sources) {
      if (!out.empty()) out += ", ";
      out += s.text;
    }
    return out;
  }

  // One clause of a condition (WHERE, HAVING): the row's expression.
  std::string Condition(Attribute attribute, std::string_view word) const {
    const auto& rows = Rows(attribute);
    if (rows.empty()) return {};
    if (rows.size() > 1) Refuse(name_, "it has two " + std::string(word) + "conditions");
    std::string out(kLine);
    out += word;
    out += Expression(rows[0], "a condition");
    return out;
  }

  // GROUP BY (in a crosstab, the row headings' groups only).
  std::string GroupBy(bool crosstab) const {
    std::string list;
    for (const QueryRow* row : Rows(kGroupBy)) {
      if (crosstab && row->flag != kCrosstabRowHeading) continue;
      if (!list.empty()) list += ", ";
      list += Expression(row, "a group");
    }
    if (list.empty()) return {};
    return std::string(kLine) + "GROUP BY " + list;
  }

  std::string OrderBy() const {
    std::string list;
    for (const QueryRow* row : Rows(kOrderBy)) {
      if (!list.empty()) list += ", ";
      list += Expression(row, "an ordering");
      if (row->name1 && !row->name1->empty() &&
          (row->name1->front() == 'D' || row->name1->front() == 'd')) {
        list += " DESC";
      }
    }
    if (list.empty()) return {};
    return std::string(kLine) + "ORDER BY " + list;
  }

  // WHERE, GROUP BY, HAVING and ORDER BY after the FROM clause.
  std::string Clauses(bool crosstab = false) const {
    return Condition(kWhere, "WHERE ") + GroupBy(crosstab) + Condition(kHaving, "HAVING ") +
           OrderBy();
  }

  std::string Select() const {
    std::string out = "SELECT " + Predicates() + Columns(false, 0);
    if (kind_->flag == kMakeTable) {
      if (!kind_->name1 || kind_->name1->empty())
        Refuse(name_, "it makes a table without its name");
      out += " INTO " + NameText(*kind_->name1);
      if (kind_->name2 && !kind_->name2->empty()) out += " IN '" + *kind_->name2 + "'";
    }
    return out + From("FROM ") + Clauses();
  }

  std::string Append() const {
    if (!kind_->name1 || kind_->name1->empty()) Refuse(name_, "it appends to no table");
    std::string out = "INSERT INTO " + NameText(*kind_->name1);
    if (kind_->name2 && !kind_->name2->empty()) out += " IN '" + *kind_->name2 + "'";
    std::string fields;
    for (const QueryRow* row : Rows(kColumn)) {
      if (!row->name2 || row->name2->empty()) continue;
      if (!fields.empty()) fields += ", ";
      fields += *row->name2;
    }
    if (!fields.empty()) out += " (" + fields + ")";
    out += kLine;
    const std::string from = From("FROM ");
    // Values alone, from no table, are a VALUES list.
    if (from.empty() && Rows(kWhere).empty()) return out + "VALUES (" + Columns(false, 0) + ")";
    return out + "SELECT " + Predicates() + Columns(false, 0) + from + Clauses();
  }

  std::string Update() const {
    std::string sources = Sources();
    if (sources.empty()) Refuse(name_, "it updates no table");
    std::string set;
    for (const QueryRow* row : Rows(kColumn)) {
      if (!row->name2 || row->name2->empty()) Refuse(name_, "it sets a value to no field");
      if (!set.empty()) set += ", ";
      set += *row->name2 + " = " + Expression(row, "a value to set");
    }
    if (set.empty()) Refuse(name_, "it sets no field");
    return "UPDATE " + sources + std::string(kLine) + "SET " + set + Clauses();
  }

  std::string Delete() const {
    std::string columns = Columns(false, 0);
    if (columns.empty()) columns = "*";
    std::string from = From("FROM ");
    if (from.empty()) Refuse(name_, "it deletes from no table");
    return "DELETE " + columns + from + Clauses();
  }

  std::string Crosstab() const {
    std::string value, pivot;
    for (const QueryRow* row : Rows(kColumn)) {
      if (row->flag != kCrosstabValue && row->flag != kCrosstabPivot) continue;
      std::string& part = row->flag == kCrosstabValue ? value : pivot;
      if (!part.empty()) Refuse(name_, "its crosstab has two values or two pivots");
      part = Expression(row, "a crosstab column");
      if (row->flag == kCrosstabValue && row->name1 && !row->name1->empty()) {
        part += " AS " + NameText(*row->name1);
      }
    }
    if (value.empty()) Refuse(name_, "its crosstab has no value");
    if (pivot.empty()) Refuse(name_, "its crosstab has no pivot");
    return "TRANSFORM " + value + std::string(kLine) + "SELECT " + Predicates() +
           Columns(true, kCrosstabRowHeading) + From("FROM ") + Clauses(true) + std::string(kLine) +
           "PIVOT " + pivot;
  }

  // The parts of a union are texts of their own, each joined to the one
  // before by UNION (ALL).
  std::string Union() const {
    std::string out;
    for (const QueryRow* row : Rows(kInput)) {
      const std::string& part = Expression(row, "a union part");
      if (!out.empty()) {
        const char last = out.back();
        if (last != '\n' && last != ' ' && last != '\r') out += kLine;
        // The first bit says ALL, unless the distinct bit says otherwise.
        const bool all = (Flags() & kUnionAll) && !(Flags() & kDistinct);
        out += all ? "UNION ALL " : "UNION ";
      }
      out += part;
    }
    if (out.empty()) Refuse(name_, "its union has no parts");
    return out + OrderBy();
  }

  std::string_view name_;
  std::vector<const QueryRow*> sorted_;
  std::vector<const QueryRow*> by_attribute_[kOrderBy + 1];
  const QueryRow* kind_ = nullptr;
  const QueryRow* flags_ = nullptr;
  const QueryRow* database_ = nullptr;
};

}  // namespace

std::string RebuildQuery(std::string_view name, std::span<const QueryRow> rows) {
  return Rebuilder(name, rows).Text();
}

}  // namespace tessaly::access
