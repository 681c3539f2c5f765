// The saved queries a database keeps by name, as Access kept them: their Jet
// text in a table of the library's own, written into a statement that names
// one (a select query read in FROM) and run by EXECUTE with its values.
//
// The table, made on the first save:
//   tessaly_saved_queries (name_key TEXT PRIMARY KEY, name TEXT NOT NULL,
//                          jet_sql TEXT NOT NULL)
// name is the name as given, name_key the same in the letter case names are
// looked up by (Jet's names ignore ASCII case), jet_sql the text exactly as
// saved, translatable or not. It is an ordinary table of the database, so it
// takes part in a host's transaction like any other write.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/jet/SavedQueries.h"
#include "db/jet/Translator.h"

namespace tessaly::db::internal {

class Backend;

class SavedQueries {
 public:
  explicit SavedQueries(Backend& backend) : backend_(backend) {}

  // Keeps jet_sql under name, replacing a query of that name.
  void Save(std::string_view name, std::string_view jet_sql);

  // CREATE PROCEDURE / VIEW and DROP PROCEDURE / VIEW: true when sql is one
  // of them (static: without looking anything up), and running it.
  static bool IsDefinition(std::string_view sql);
  void Define(std::string_view sql);

  // The statement with the saved queries it names written in: EXECUTE name
  // values becomes the query's text with the values in its parameters' places,
  // and a saved query read as a source becomes "(its text) AS name". Returns
  // sql itself when it names none, else a view of *storage. *first_change is
  // the byte offset of sql from which the text was changed. Throws
  // tessaly::Error for an unknown query run by EXECUTE, values of the wrong
  // number or kind, a query with parameters read without values, and a query
  // that reads itself.
  std::string_view Expand(std::string_view sql, std::string& storage, size_t* first_change);

  // t failed to translate sql with its saved queries written in (Expand).
  // A statement the parser refuses on its own gets that refusal in t, place
  // and all; else throws the translator's error of the first saved query,
  // outermost first, whose own text fails alone, as a statement using it
  // fails for it; else keeps t's place of failure only where it lies in
  // sql's own text, before first_change.
  void Blame(std::string_view sql, bool ansi89, size_t first_change, jet::Translation& t);

  // A host's rollback may have undone saves: the texts are read again when
  // next needed.
  void Forget() {
    loaded_ = false;
    texts_.clear();
  }

 private:
  struct Kept {
    std::string name;
    std::string jet_sql;
  };
  const Kept* Find(std::string_view name);
  void Load();
  void MakeTable();
  void Remove(std::string_view name);
  std::string Expanded(std::string_view sql, std::vector<std::string>& open, size_t* first_change,
                       std::vector<std::string>* named);
  std::string Bound(const jet::ExecuteCall& call);
  std::vector<std::string> ColumnsOfSource(std::string_view name, int depth);
  std::vector<std::string> OutputNames(const std::vector<jet::Token>& tokens, int depth);
  std::vector<std::string> UnknownNames(const std::vector<jet::Token>& tokens, int depth);

  Backend& backend_;
  bool loaded_ = false;
  bool table_ = false;                           // the table is there (as of the last Load or save)
  std::unordered_map<std::string, Kept> texts_;  // by name_key
};

}  // namespace tessaly::db::internal
