// The interface every record class implements, in its published slot order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tessaly/db/Handles.h"
#include "tessaly/interfaces/eRESULT.h"

namespace tessaly {

// The 23 members a host uses to add, change, delete, search and walk the rows
// of any table in the same way. Rev and ExtraParam choose a mode (0 is the
// plain form); ErrStr receives a message when an operation fails and is never
// written on success.
class ClsBase {
 public:
  virtual ~ClsBase() = default;

  // 1-5: the text builders of the statements (no error trap).
  virtual std::string GetValueFields(int32_t Rev = 0) = 0;
  virtual std::string GetSelString(int32_t Rev = 0) = 0;
  virtual std::string GetBodyString(int32_t Rev = 0) = 0;
  virtual std::string GetValuesString(int32_t Rev = 0) = 0;
  virtual std::string GetWhereString(int32_t Rev = 0) = 0;
  // 6-10: the recordset and connection the object works on.
  virtual void HRecordset(std::shared_ptr<db::Recordset> value) = 0;
  virtual std::shared_ptr<db::Recordset> HRecordset() const = 0;
  virtual int32_t HRecordCount() const = 0;
  virtual void HConnect(std::shared_ptr<db::Connection> value) = 0;
  virtual std::shared_ptr<db::Connection> HConnect() const = 0;
  // 11-12.
  virtual eRESULT DoSearch(std::string& ErrStr, int32_t ExtraParam = 0) = 0;
  virtual eRESULT LoadFieldValue(std::string& ErrStr, int32_t ExtraParam = 0) = 0;
  // 13-16: True when the object now stands on a row, whose values it loaded.
  virtual bool MovePrevious() = 0;
  virtual bool MoveLast() = 0;
  virtual bool MoveFirst() = 0;
  virtual bool MoveNext() = 0;
  // 17-20.
  virtual std::string GetClipString() = 0;
  virtual bool IsNothing() = 0;
  virtual bool ISEOF() = 0;
  virtual bool ISBOF() = 0;
  // 21-23.
  virtual eRESULT Update(std::string& ErrStr, int32_t ExtraParam = 0) = 0;
  virtual eRESULT Delete(std::string& ErrStr, int32_t ExtraParam = 0) = 0;
  virtual eRESULT Add(std::string& ErrStr, int32_t ExtraParam = 0) = 0;
};

}  // namespace tessaly
