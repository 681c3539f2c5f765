// An INSERT ... VALUES handed to the translator with its literals already
// read: what a record class adding a row writes, without writing its values
// as text only for the translator to read them back.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/Parameter.h"

namespace tessaly::db::jet {

// The writer appends the statement's bytes outside its literals to
// `between`, and at each literal's place calls the function of its kind with
// the literal's value. Each reads the value as the lexer and the translator
// read the same literal written into the statement; a value that would not
// read as one literal of its kind (a signed number, a date Jet cannot read)
// leaves the statement not lifted (ok() false), and it is then written out
// and translated as text.
//
// The bytes on either side of a literal are the writer's: a literal must be
// followed by a blank, a comma or a closing parenthesis, which the
// translator checks, as it checks the whole of `between` against the
// statements of the same shape it translated from their text.
class LiftedInsert {
 public:
  std::string between;
  // The engine's statement, once translated (TranslateLifted).
  std::string sql;

  // The text between the apostrophes of 'value', apostrophes not doubled.
  void Text(std::string_view value);
  // The text between the #s of #value#.
  void Date(std::string_view value);
  // A number as the statement writes it.
  void Number(std::string_view written);
  void Number(int32_t value);

  bool ok() const { return ok_; }
  // Where each literal stands in `between`, in order, and its value.
  const std::vector<uint32_t>& at() const { return at_; }
  std::span<const Parameter> literals() const { return {literals_.data(), count_}; }

  // Empty, for the next statement (keeping the room made).
  void Clear() {
    between.clear();
    at_.clear();
    count_ = 0;
    ok_ = true;
    frame_ = nullptr;
    framed_ = false;
    matched.outline = 0;
  }

  // Starts the next statement of a writer whose bytes around the literals
  // are the same each time it writes into `table` (a class adding rows):
  // frame is any address of its own that names them. True when the
  // statement before was written whole under the same frame and table: its
  // bytes and places stand, and only the literals are written (the writer
  // must then write no byte of `between`). Otherwise the statement starts
  // empty, and Framed() marks it written whole once it is.
  bool Start(const void* frame, std::string_view table) {
    if (framed_ && ok_ && frame == frame_ && table == table_) {
      count_ = 0;
      reusing_ = true;
      return true;
    }
    Clear();
    frame_ = frame;
    table_.assign(table);
    reusing_ = false;
    return false;
  }
  void Framed() { framed_ = ok_ && frame_ != nullptr; }
  // Whether the bytes and places are the statement before's.
  bool reusing() const { return reusing_; }

  // The translator's: the outline the statement before matched (0: none)
  // and its literals' classes, whose translation `sql` holds. Good only
  // while the bytes stand (reusing()).
  struct Match {
    uint64_t outline = 0;
    std::string classes;
  } matched;

 private:
  // The next literal's place. The places of the statement before are
  // written over, so a text keeps the room its string made.
  Parameter& Next() {
    if (!reusing_) at_.push_back(static_cast<uint32_t>(between.size()));
    if (count_ == literals_.size()) literals_.emplace_back();
    return literals_[count_++];
  }
  std::vector<uint32_t> at_;
  std::vector<Parameter> literals_;
  size_t count_ = 0;  // the statement's literals, the first of literals_
  bool ok_ = true;
  // The frame of the statement's bytes: whose they are, and whether they
  // were written whole; reusing_ while a statement writes its literals alone.
  const void* frame_ = nullptr;
  std::string table_;
  bool framed_ = false;
  bool reusing_ = false;
};

}  // namespace tessaly::db::jet
