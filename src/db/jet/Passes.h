// Rewrite passes: the steps from the tree the parser reads to the tree the
// emitter writes, each over the whole statement. The translator runs them
// in order between reading a statement and checking it (Parser::Check).
#pragma once

#include "db/jet/Ast.h"
#include "db/jet/Parser.h"

namespace tessaly::db::jet {

class Catalog;
class Dialect;

// Makes each domain function (DLookup, DCount, ...) the subquery its
// arguments describe: the aggregate of the expression over the domain's
// rows that meet the criteria (DLookup the first such row's value). The
// expression and the domain are texts; the criteria may be built with "&"
// from texts and values of the row, each value standing in a place of its
// own: inside quotes (the value's text), between #s (the value as a date),
// or beside an operator (the value itself). A value read from a column is
// taken from the outer row, never from a field of the domain so named.
// False with *failure filled when a call cannot be made a subquery.
bool RewriteDomainCalls(Ast& ast, Parser& parser, ParseFailure* failure);

// Rewrites each select of the statement at root for the engine (see
// SelectParts::ties and distinct_tables): the sort keys of TOP with ties,
// the names ORDER BY sorts by spelled as the result columns it names, the
// columns that WHERE, GROUP BY and HAVING read under a select alias's name
// over one table qualified with it, and the tables DISTINCTROW keeps rows
// of, and each column that reads a select alias where the engine reads
// none given the alias's expression (see WithAliases). Runs once
// Parser::Check has taken the statement; names as for Translate. False,
// with *refusal filled, for aliases that read each other without end.
bool RewriteSelects(Ast& ast, NodeId root, const Dialect& dialect, Catalog* names,
                    ParseFailure* refusal);

// Makes an UPDATE or DELETE over joined tables (root) the statements that
// do it on the engine, each changing one table's rows by their identity:
// an UPDATE of each changed table whose rows take their values from one of
// their rows of the join (where the engine's writes read one snapshot, all
// in one statement that answers the joined rows' count; else from the
// joined rows captured first in a table of the connection's own), a DELETE
// of the table's rows the join keeps. Any other statement is left as it
// is. False, with *refusal filled, for an UPDATE whose changed tables
// cannot be told or written.
bool RewriteJoinedWrites(Ast& ast, NodeId& root, const Dialect& dialect, ParseFailure* refusal);

// The name a select item gives its column: its alias, else the field it
// reads; empty for an expression without an alias.
std::string_view ItemName(const Ast& ast, const Node& item);
// The result column of select that name (in any letter case) sorts by,
// spelled as the select names it; name itself when none is.
std::string_view ResultName(const Ast& ast, const SelectParts& select, std::string_view name);

// In a SELECT ... INTO over joined tables (root), makes each * and t.* of
// the select list the columns it stands for, as the catalog names them, so
// that the new table's fields are named as the select list's own are (a
// field two tables hold, with its table). The list stays as it is where a
// source is no table the catalog knows.
void ExpandStarsInto(Ast& ast, NodeId root, Catalog* names);

}  // namespace tessaly::db::jet
