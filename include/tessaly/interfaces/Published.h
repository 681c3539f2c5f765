// How a published class states its interface and an enumeration its members,
// once, so that the C++ declarations, the type library and late binding
// (tessaly/server/) all read the same lines.
#pragma once

// An enumeration's members are one list, NAME(X) with X(Member, Value) lines,
// expanded into the C++ enumeration with TESSALY_ENUMERATOR and read by the
// type library.
#define TESSALY_ENUMERATOR(Member, Value) Member = Value,

// A class's published interface is one list, in its published order, of
// lines X(What, ...):
//   X(Props, COLUMNS)            the properties (a let and a get each) of a
//                                column list, in its declaration order
//   X(Gets, COLUMNS)             the read-only properties of a column list
//   X(Property, Name, Type)      a property with a let and a get
//   X(Get, Name, Type)           a read-only property
//   X(Let, Name, Type)           a write-only property
//   X(Method, Name, "p1", ...)   a method with its parameters' names
//   X(MethodOf, Name, Signature, "p1", ...)  the same for a name the class
//                                overloads: Signature picks the published one
// A parameter name in brackets, "[strErr]", is optional: left out, it is
// the empty text or 0. A leading "&", "&[ExtraParam]", marks a parameter
// published by reference that the C++ member takes by value (it is passed
// back unchanged). Every other parameter's kind and passing follow the C++
// signature: T& is by reference.
