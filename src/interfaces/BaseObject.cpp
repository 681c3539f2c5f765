#include "tessaly/interfaces/BaseObject.h"

#include "tessaly/db/Recordset.h"

namespace tessaly {

// The base object answers from the recordset it holds. A recordset the object
// no longer stands on (none, or one closed by an update or delete) has no row
// to offer, so the cursor questions answer "no row" instead of raising: a host
// that walks with `while (obj.MoveNext())` after an update simply stops.
bool BaseObject::Usable() const { return recordset_ && recordset_->State() != 0; }

bool BaseObject::OnRow() const { return Usable() && !recordset_->IsEOF() && !recordset_->IsBOF(); }

int32_t BaseObject::HRecordCount() const { return Usable() ? recordset_->RecordCount() : 0; }
bool BaseObject::ISBOF() const { return !Usable() || recordset_->IsBOF(); }
bool BaseObject::ISEOF() const { return !Usable() || recordset_->IsEOF(); }

// An empty result is one standing before its first and past its last row at
// once; its count cannot tell, since a forward-only one counts -1.
bool BaseObject::Empty() const { return recordset_->IsBOF() && recordset_->IsEOF(); }

bool BaseObject::MoveFirst() {
  if (!Usable() || Empty()) return false;
  recordset_->MoveFirst();
  return OnRow();
}

bool BaseObject::MoveLast() {
  if (!Usable() || Empty()) return false;
  recordset_->MoveLast();
  return OnRow();
}

bool BaseObject::MoveNext() {
  if (!Usable() || recordset_->IsEOF()) return false;
  recordset_->MoveNext();
  return OnRow();
}

bool BaseObject::MovePrevious() {
  if (!Usable() || recordset_->IsBOF()) return false;
  recordset_->MovePrevious();
  return OnRow();
}

std::string BaseObject::GetClipString() const {
  std::string text;
  if (!OnRow()) return text;
  const db::Fields fields = recordset_->Fields();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    if (i > 0) text += '\t';
    text += fields.Item(i).ValueRef().ToText();
  }
  return text;
}

}  // namespace tessaly
