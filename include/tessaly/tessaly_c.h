/* Tessaly's C boundary: the published classes for hosts that are not C++
   (a C program, a script through a foreign-function interface).

   A host creates a class by its programmatic name ("Tessaly.clsKQ") or its
   class identifier, finds a member's dispatch id by name (letter case does
   not matter) and invokes it with variants, as a late-binding host of the
   old server did. Every function answers an HRESULT: TESSALY_S_OK, or one of
   the failure codes below; none of them throws or aborts on bad input.

   Handles are opaque. An object starts with one reference; tessaly_add_ref
   and tessaly_release count them, and the last release destroys it. A null
   handle answers TESSALY_E_POINTER, a released or unknown one
   TESSALY_E_HANDLE. An object answers only on the thread that created it
   (apartment threading); a call from another thread answers
   TESSALY_RPC_E_WRONG_THREAD. Adding and releasing references works from
   any thread.

   Texts are UTF-8. A text in a variant is owned by the variant: set it with
   tessaly_variant_set_text (which copies) and free it with
   tessaly_variant_clear, which also releases an object the variant holds.
   The library replaces by-reference arguments in place, clearing what they
   held. Arguments are given in the member's parameter order (not reversed). */
#ifndef TESSALY_TESSALY_C_H
#define TESSALY_TESSALY_C_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t tessaly_hresult;

/* The results a late-binding host of the old server saw. */
#define TESSALY_S_OK ((tessaly_hresult)0)
#define TESSALY_S_FALSE ((tessaly_hresult)1)
#define TESSALY_E_NOTIMPL ((tessaly_hresult)0x80004001)
#define TESSALY_E_NOINTERFACE ((tessaly_hresult)0x80004002)
#define TESSALY_E_POINTER ((tessaly_hresult)0x80004003)
#define TESSALY_E_FAIL ((tessaly_hresult)0x80004005)
#define TESSALY_E_UNEXPECTED ((tessaly_hresult)0x8000FFFF)
#define TESSALY_E_HANDLE ((tessaly_hresult)0x80070006)
#define TESSALY_E_OUTOFMEMORY ((tessaly_hresult)0x8007000E)
#define TESSALY_E_INVALIDARG ((tessaly_hresult)0x80070057)
#define TESSALY_DISP_E_MEMBERNOTFOUND ((tessaly_hresult)0x80020003)
#define TESSALY_DISP_E_TYPEMISMATCH ((tessaly_hresult)0x80020005)
#define TESSALY_DISP_E_UNKNOWNNAME ((tessaly_hresult)0x80020006)
#define TESSALY_DISP_E_BADVARTYPE ((tessaly_hresult)0x80020008)
#define TESSALY_DISP_E_EXCEPTION ((tessaly_hresult)0x80020009)
#define TESSALY_DISP_E_OVERFLOW ((tessaly_hresult)0x8002000A)
#define TESSALY_DISP_E_PARAMNOTFOUND ((tessaly_hresult)0x80020004)
#define TESSALY_DISP_E_BADPARAMCOUNT ((tessaly_hresult)0x8002000E)
#define TESSALY_DISP_E_PARAMNOTOPTIONAL ((tessaly_hresult)0x8002000F)
#define TESSALY_CLASS_E_NOAGGREGATION ((tessaly_hresult)0x80040110)
#define TESSALY_CLASS_E_CLASSNOTAVAILABLE ((tessaly_hresult)0x80040111)
#define TESSALY_REGDB_E_CLASSNOTREG ((tessaly_hresult)0x80040154)
#define TESSALY_SELFREG_E_CLASS ((tessaly_hresult)0x80040201)
#define TESSALY_RPC_E_WRONG_THREAD ((tessaly_hresult)0x8001010E)

/* How a member is invoked; a property's get may also be asked as a method. */
#define TESSALY_DISPATCH_METHOD 1
#define TESSALY_DISPATCH_PROPERTYGET 2
#define TESSALY_DISPATCH_PROPERTYPUT 4
#define TESSALY_DISPATCH_PROPERTYPUTREF 8

/* Variant kinds, numbered as the old variant types were. */
#define TESSALY_VT_EMPTY 0
#define TESSALY_VT_NULL 1
#define TESSALY_VT_I2 2       /* Integer, 16-bit */
#define TESSALY_VT_I4 3       /* Long, 32-bit */
#define TESSALY_VT_R4 4       /* Single */
#define TESSALY_VT_R8 5       /* Double */
#define TESSALY_VT_BSTR 8     /* text */
#define TESSALY_VT_DISPATCH 9 /* an object; a null handle is Nothing */
#define TESSALY_VT_ERROR 10   /* scode TESSALY_DISP_E_PARAMNOTFOUND: left out */
#define TESSALY_VT_BOOL 11
#define TESSALY_VT_UI1 17 /* Byte */

typedef struct tessaly_object tessaly_object;

typedef struct tessaly_variant {
  uint16_t vt;
  union {
    int16_t i2;
    int32_t i4;
    float r4;
    double r8;
    char* text; /* owned by the variant; NULL reads as "" */
    tessaly_object* object;
    int32_t scode;
    int16_t boolean; /* 0 False, anything else True (the library writes -1) */
    uint8_t ui1;
  } u;
} tessaly_variant;

/* What an error escaping a member was: DISP_E_EXCEPTION fills it, and so
   does a connection that cannot be opened (tessaly_connection_open_ex).
   number is the error's own number (a provider's negative code, or the
   runtime's: 13 "Type mismatch", ...); scode its HRESULT form; source the
   class that raised it ("Tessaly.clsKQ", "Connection"). Only a failure
   writes it, over whatever it held: free what an earlier one left with
   tessaly_excepinfo_clear before it is given again. */
typedef struct tessaly_excepinfo {
  int32_t number;
  tessaly_hresult scode;
  char* source;
  char* description;
} tessaly_excepinfo;

typedef struct tessaly_guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
} tessaly_guid;

/* ---- variants ---------------------------------------------------------- */
void tessaly_variant_init(tessaly_variant* v);
void tessaly_variant_clear(tessaly_variant* v);
tessaly_hresult tessaly_variant_set_text(tessaly_variant* v, const char* utf8);
/* Takes a reference of its own to the object. */
tessaly_hresult tessaly_variant_set_object(tessaly_variant* v, tessaly_object* object);
/* An argument left out (optional parameters take their default). */
void tessaly_variant_set_missing(tessaly_variant* v);
void tessaly_excepinfo_clear(tessaly_excepinfo* info);

/* ---- objects ----------------------------------------------------------- */
tessaly_hresult tessaly_create(const char* progid, tessaly_object** out);
tessaly_hresult tessaly_create_by_clsid(const tessaly_guid* clsid, tessaly_object** out);
/* The database connection a class's HConnect takes: a SQLite file (created
   when missing), ":memory:" or a PostgreSQL server target. Its members are
   Execute(Sql), CreateSchema, BeginTrans, CommitTrans, RollbackTrans.
   A target that cannot be opened answers TESSALY_E_FAIL, with *out NULL;
   tessaly_connection_open_ex then also fills info (when not NULL) with
   Jet's number and description of the reason, as a host opening the
   database saw them: a folder that does not exist, for one, is
   -2147467259 "Could not find file '...'.". */
tessaly_hresult tessaly_connection_open(const char* target, tessaly_object** out);
tessaly_hresult tessaly_connection_open_ex(const char* target, tessaly_object** out,
                                           tessaly_excepinfo* info);
/* The reference count after the call; 0 for a null or unknown handle. */
uint32_t tessaly_add_ref(tessaly_object* object);
uint32_t tessaly_release(tessaly_object* object);
/* The class name of an object ("clsKQ", "Connection", "Recordset"), valid as
   long as the library is loaded. */
tessaly_hresult tessaly_class_name(tessaly_object* object, const char** name);

tessaly_hresult tessaly_get_dispid(tessaly_object* object, const char* name, int32_t* dispid);
/* args[0..argc) in parameter order; result, info and arg_err may be NULL.
   On a type mismatch, a missing argument or an overflow *arg_err is the
   index of the argument at fault. */
tessaly_hresult tessaly_invoke(tessaly_object* object, int32_t dispid, uint16_t flags,
                               tessaly_variant* args, uint32_t argc, tessaly_variant* result,
                               tessaly_excepinfo* info, uint32_t* arg_err);
tessaly_hresult tessaly_invoke_by_name(tessaly_object* object, const char* name, uint16_t flags,
                                       tessaly_variant* args, uint32_t argc,
                                       tessaly_variant* result, tessaly_excepinfo* info,
                                       uint32_t* arg_err);

/* ---- the type library -------------------------------------------------- */
/* Texts returned here belong to the library and stay valid while it is
   loaded. Types are named as the type library names them ("String", "Long",
   "eRESULT", "Recordset", "SQLField()"). */
#define TESSALY_MEMBER_METHOD 0
#define TESSALY_MEMBER_PROPERTY 1     /* a let and a get */
#define TESSALY_MEMBER_PROPERTYGET 2  /* read only */
#define TESSALY_MEMBER_PROPERTYLET 3  /* write only */

typedef struct tessaly_typelib_info {
  const char* name;
  uint16_t major;
  uint16_t minor;
  uint32_t lcid;
  tessaly_guid libid;
  uint32_t class_count;
  uint32_t enum_count;
} tessaly_typelib_info;

typedef struct tessaly_class_info {
  const char* name;        /* clsKQ */
  const char* progid;      /* Tessaly.clsKQ */
  const char* interface;   /* _clsKQ */
  tessaly_guid clsid;
  tessaly_guid iid;
  int32_t implements_clsbase;
  uint32_t member_count;   /* the default interface's members */
} tessaly_class_info;

typedef struct tessaly_member_info {
  const char* name;
  int32_t dispid;
  int32_t kind;       /* TESSALY_MEMBER_... */
  const char* type;   /* the result's or the property's type; "" for none */
  uint32_t param_count;
} tessaly_member_info;

typedef struct tessaly_param_info {
  const char* name;
  const char* type;
  int32_t by_ref;
  int32_t optional;
  const char* default_value; /* an optional one's: "\"\"" or "0"; "" when required */
} tessaly_param_info;

tessaly_hresult tessaly_typelib(tessaly_typelib_info* info);
tessaly_hresult tessaly_typelib_class(uint32_t index, tessaly_class_info* info);
/* class_index TESSALY_CLSBASE_INTERFACE reads the interface ClsBase. */
#define TESSALY_CLSBASE_INTERFACE 0xFFFFFFFFu
tessaly_hresult tessaly_typelib_member(uint32_t class_index, uint32_t member_index,
                                       tessaly_member_info* info);
tessaly_hresult tessaly_typelib_param(uint32_t class_index, uint32_t member_index,
                                      uint32_t param_index, tessaly_param_info* info);
tessaly_hresult tessaly_typelib_enum(uint32_t index, const char** name, uint32_t* member_count);
tessaly_hresult tessaly_typelib_enum_member(uint32_t index, uint32_t member_index,
                                            const char** name, int32_t* value);
/* Reads "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"; writes 39 bytes with the NUL. */
tessaly_hresult tessaly_guid_parse(const char* text, tessaly_guid* out);
void tessaly_guid_format(const tessaly_guid* guid, char out[39]);

/* ---- the server functions ---------------------------------------------- */
/* A class factory is a handle too (released with tessaly_release). riid is
   the factory interface asked for: IUnknown or IClassFactory. */
extern const tessaly_guid TESSALY_IID_IUnknown;
extern const tessaly_guid TESSALY_IID_IClassFactory;
tessaly_hresult DllGetClassObject(const tessaly_guid* rclsid, const tessaly_guid* riid,
                                  void** ppv);
tessaly_hresult tessaly_factory_create_instance(tessaly_object* factory, tessaly_object** out);
tessaly_hresult tessaly_factory_lock_server(tessaly_object* factory, int32_t lock);
/* TESSALY_S_OK when no object of any class, no factory and no lock is alive;
   TESSALY_S_FALSE otherwise. */
tessaly_hresult DllCanUnloadNow(void);
/* Registration writes, per user, the entries the old server registered, under
   the directory $TESSALY_REGISTRY, else $XDG_CONFIG_HOME/tessaly/registry,
   else $HOME/.config/tessaly/registry: one directory per key, its values in
   the key's file ".values" as name=value lines ("@" the default value):
     CLSID/{clsid}                    @=Tessaly.clsKQ
     CLSID/{clsid}/InprocServer32     @=<library path>, ThreadingModel=Apartment
     CLSID/{clsid}/ProgID             @=Tessaly.clsKQ
     CLSID/{clsid}/TypeLib            @={libid}
     CLSID/{clsid}/VERSION            @=46.0
     Tessaly.clsKQ/Clsid              @={clsid}
     Interface/{iid}                  @=_clsKQ
     Interface/{iid}/TypeLib          @={libid}, Version=46.0
     TypeLib/{libid}/46.0             @=Tessaly
     TypeLib/{libid}/46.0/409/linux64 @=<library path>
   Unregistering removes exactly these keys (and the ones of ClsBase). */
tessaly_hresult DllRegisterServer(void);
tessaly_hresult DllUnregisterServer(void);

#ifdef __cplusplus
}
#endif

#endif /* TESSALY_TESSALY_C_H */
