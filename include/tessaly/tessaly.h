// Tessaly: the data-access library of a time-and-attendance system.
// Everything a host uses is declared through this header.
#pragma once

#include "tessaly/Error.h"
#include "tessaly/attendance/clsKQ.h"
#include "tessaly/attendance/clsMTJ.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Date.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Schema.h"
#include "tessaly/db/Variant.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/Record.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"
#include "tessaly/interfaces/BaseObject.h"
#include "tessaly/interfaces/ClsBase.h"
#include "tessaly/interfaces/SQLField.h"
#include "tessaly/interfaces/eRESULT.h"
