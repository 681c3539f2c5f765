#include "db/JetErrors.h"

namespace tessaly::db::jeterr {

std::string Quoted(std::string_view text) { return '\'' + std::string(text) + '\''; }

Error Duplicate() {
  return Error(errnum::kFail,
               "The changes you requested to the table were not successful because they would "
               "create duplicate values in the index, primary key, or relationship.  Change the "
               "data in the field or fields that contain duplicate data, remove the index, or "
               "redefine the index to permit duplicate entries and try again.");
}

Error TypeMismatch() {
  return Error(errnum::kTypeMismatch, "Data type mismatch in criteria expression.");
}

Error Locked() { return Error(errnum::kFail, "Could not update; currently locked."); }

Error Required(std::string_view field) {
  return Error(errnum::kFail, "The field " + Quoted(field) +
                                  " cannot contain a Null value because the Required property "
                                  "for this field is set to True.  Enter a value in this field.");
}

Error NullInKey() {
  return Error(errnum::kFail, "Index or primary key cannot contain a Null value.");
}

Error KeyExists() { return Error(errnum::kFail, "Primary key already exists."); }

Error UsedInRelationship() {
  return Error(errnum::kFail,
               "Cannot delete this index or table.  It is either the current index or is used in "
               "a relationship.");
}

Error FieldExists(std::string_view field, std::string_view table) {
  return Error(errnum::kSyntax,
               "Field " + Quoted(field) + " already exists in table " + Quoted(table) + ".");
}

Error RelatedRequired(std::string_view parent) {
  return Error(errnum::kFail,
               "You cannot add or change a record because a related record is required in "
               "table " +
                   Quoted(parent) + ".");
}

Error RelatedRecords(std::string_view child) {
  return Error(errnum::kFail, "The record cannot be deleted or changed because table " +
                                  Quoted(child) + " includes related records.");
}

Error TooSmall() {
  return Error(errnum::kFail,
               "The field is too small to accept the amount of data you attempted to add.  Try "
               "inserting or pasting less data.");
}

Error Overflow() { return Error(errnum::kFail, "Numeric field overflow."); }

Error CharacterZero() { return Error::Runtime(errnum::kInvalidCall); }

Error Check(std::string_view name) {
  if (name.starts_with("ck_type_")) return TypeMismatch();
  if (name.starts_with("ck_size_")) return TooSmall();
  if (name.starts_with("ck_range_")) return Overflow();
  return Error(errnum::kFail, "One or more values are prohibited by the validation rule " +
                                  Quoted(name) +
                                  ".  Enter a value that the expression for this field can "
                                  "accept.");
}

Error NoTable(std::string_view name) {
  return Error(errnum::kNoTable, "The database engine cannot find the input table or query " +
                                     Quoted(name) +
                                     ".  Make sure it exists and that its name is spelled "
                                     "correctly.");
}

Error UnknownName(std::string_view name) {
  return Error(errnum::kNoValue,
               "No value given for one or more required parameters.  Unknown "
               "name " +
                   Quoted(name) + ".");
}

Error UndefinedFunction(std::string_view name) {
  return Error(errnum::kSyntax, "Undefined function " + Quoted(name) + " in expression.");
}

Error SyntaxIn(std::string_view expression) {
  return Error(errnum::kSyntax, "Syntax error in query expression " + Quoted(expression) + ".");
}

Error NotUpdatable() { return Error(errnum::kFail, "Operation must use an updateable query."); }

Error ReadBySavedQueries(std::string_view field, std::string_view queries, size_t count) {
  return Error(errnum::kFail, "The field " + Quoted(field) + " cannot be deleted: " +
                                  (count == 1 ? "the saved query " : "the saved queries ") +
                                  std::string(queries) + (count == 1 ? " reads it." : " read it.") +
                                  "  Change the saved query first.");
}

Error ReadOnly() {
  return Error(errnum::kFail, "Cannot update.  Database or object is read-only.");
}

Error Ambiguous(std::string_view field) {
  return Error(errnum::kSyntax, "The specified field " + Quoted(field) +
                                    " could refer to more than one table listed in the FROM "
                                    "clause of your SQL statement.");
}

Error UnknownInsertField(std::string_view field) {
  return Error(
      errnum::kSyntax,
      "The INSERT INTO statement contains the following unknown field name: " + Quoted(field) +
          ".  Make sure you have typed the name correctly, and try the operation again.");
}

Error ValueCountMismatch() {
  return Error(errnum::kSyntax, "Number of query values and destination fields are not the same.");
}

Error Cancelled() { return Error::Runtime(errnum::kOperationCancelled); }

}  // namespace tessaly::db::jeterr
