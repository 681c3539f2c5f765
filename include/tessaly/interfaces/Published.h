// How an enumeration states its members once, so that the C++ enumeration
// and the type library read the same lines: NAME(X) with X(Member, Value)
// lines, expanded into the enumeration with TESSALY_ENUMERATOR.
#pragma once

#define TESSALY_ENUMERATOR(Member, Value) Member = Value,
