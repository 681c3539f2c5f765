// The Jet engine's numbers and words for a failed statement, in one place
// for every engine: each backend recognises its engine's failure and reports
// it through these, so a host's error trap sees what it always saw whatever
// engine stands behind the connection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tessaly/Error.h"

namespace tessaly::db::jeterr {

std::string Quoted(std::string_view text);

// A row would repeat a key or a unique index's values.
Error Duplicate();
// A value of the wrong kind for its column or comparison.
Error TypeMismatch();
// Another connection holds the rows or the table.
Error Locked();
// A required column left Null.
Error Required(std::string_view field);
// A key, or an index that disallows Null, over a Null.
Error NullInKey();
// A second primary key for a table.
Error KeyExists();
// DROP TABLE of a table another table refers to.
Error UsedInRelationship();
// ALTER TABLE ... ADD COLUMN of a field the table has.
Error FieldExists(std::string_view field, std::string_view table);
// A relationship the rows break: a row needs a missing row of table parent.
Error RelatedRequired(std::string_view parent);
// A row other rows of table child need was deleted or changed.
Error RelatedRecords(std::string_view child);
// A text longer than its column allows.
Error TooSmall();
// A number outside its column's range.
Error Overflow();
// A text, or a statement, holding character 0: the server cannot store it and
// would cut the text short there, so every engine refuses it alike.
Error CharacterZero();
// A named check of the database refused the row: by the prefix of its name,
// ck_type_ (type mismatch), ck_size_ (too small), ck_range_ (overflow), or a
// validation rule of its own.
Error Check(std::string_view constraint);
Error NoTable(std::string_view name);
// An unknown name, which Jet read as a parameter nobody gave.
Error UnknownName(std::string_view name);
Error UndefinedFunction(std::string_view name);
Error SyntaxIn(std::string_view expression);
// A write through a saved query the engine cannot update.
Error NotUpdatable();
// A field that saved queries read cannot be dropped: queries are their names,
// each already quoted and joined with ", ".
Error ReadBySavedQueries(std::string_view field, std::string_view queries, size_t count);
Error ReadOnly();
Error Ambiguous(std::string_view field);
Error UnknownInsertField(std::string_view field);
Error ValueCountMismatch();
// A statement stopped by Connection::Interrupt before it ended.
Error Cancelled();

}  // namespace tessaly::db::jeterr
