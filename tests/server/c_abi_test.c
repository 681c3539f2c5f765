/* A whole day through the C boundary, compiled as C: the day's punches and
   its attendance record are written, walked, flagged as tallied and removed
   through late binding alone; then the server functions. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "tessaly/tessaly_c.h"

static int failures = 0;
static int checks = 0;

#define CHECK(cond)                                                   \
  do {                                                                \
    ++checks;                                                         \
    if (!(cond)) {                                                    \
      ++failures;                                                     \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
    }                                                                 \
  } while (0)

static tessaly_variant text(const char* s) {
  tessaly_variant v;
  tessaly_variant_init(&v);
  tessaly_variant_set_text(&v, s);
  return v;
}

static tessaly_variant i4(int32_t n) {
  tessaly_variant v;
  tessaly_variant_init(&v);
  v.vt = TESSALY_VT_I4;
  v.u.i4 = n;
  return v;
}

static tessaly_hresult put(tessaly_object* o, const char* name, tessaly_variant v) {
  tessaly_hresult hr = tessaly_invoke_by_name(o, name, TESSALY_DISPATCH_PROPERTYPUT, &v, 1, NULL,
                                              NULL, NULL);
  tessaly_variant_clear(&v);
  return hr;
}

/* Calls a method whose result is a Long (eRESULT) or Boolean; -999 when the
   call itself fails. ErrStr and ExtraParam are passed as the host passes them. */
static int32_t op(tessaly_object* o, const char* name, int32_t mode) {
  tessaly_variant args[2];
  tessaly_variant result;
  int32_t answer = -999;
  args[0] = text("");
  args[1] = i4(mode);
  if (tessaly_invoke_by_name(o, name, TESSALY_DISPATCH_METHOD, args, 2, &result, NULL, NULL) ==
      TESSALY_S_OK) {
    answer = result.vt == TESSALY_VT_BOOL ? result.u.boolean : result.u.i4;
  }
  tessaly_variant_clear(&args[0]);
  tessaly_variant_clear(&args[1]);
  tessaly_variant_clear(&result);
  return answer;
}

static int32_t move(tessaly_object* o, const char* name) {
  tessaly_variant result;
  if (tessaly_invoke_by_name(o, name, TESSALY_DISPATCH_METHOD, NULL, 0, &result, NULL, NULL) !=
      TESSALY_S_OK) {
    return -999;
  }
  return result.u.boolean;
}

static char* get_text(tessaly_object* o, const char* name) {
  tessaly_variant result;
  char* copy = NULL;
  if (tessaly_invoke_by_name(o, name, TESSALY_DISPATCH_PROPERTYGET, NULL, 0, &result, NULL,
                             NULL) == TESSALY_S_OK &&
      result.vt == TESSALY_VT_BSTR) {
    copy = malloc(strlen(result.u.text) + 1);
    strcpy(copy, result.u.text);
  }
  tessaly_variant_clear(&result);
  return copy;
}

static void a_day(tessaly_object* conn) {
  static const char* punches[] = {"07:58", "12:01", "12:59", "17:35"};
  tessaly_object* trans = NULL;
  tessaly_object* kq = NULL;
  tessaly_variant c;
  size_t i;
  int rows = 0;
  int32_t moved = 0;
  char* in1;

  CHECK(tessaly_create("Tessaly.clsTrans", &trans) == TESSALY_S_OK);
  CHECK(tessaly_create("tessaly.clskq", &kq) == TESSALY_S_OK); /* names ignore case */
  tessaly_variant_init(&c);
  tessaly_variant_set_object(&c, conn);
  CHECK(tessaly_invoke_by_name(trans, "HConnect", TESSALY_DISPATCH_PROPERTYPUTREF, &c, 1, NULL,
                               NULL, NULL) == TESSALY_S_OK);
  CHECK(tessaly_invoke_by_name(kq, "HConnect", TESSALY_DISPATCH_PROPERTYPUTREF, &c, 1, NULL,
                               NULL, NULL) == TESSALY_S_OK);
  tessaly_variant_clear(&c);

  /* The day's four punches. */
  for (i = 0; i < 4; ++i) {
    CHECK(put(trans, "FDate", text("2003-05-01")) == TESSALY_S_OK);
    CHECK(put(trans, "FTime", text(punches[i])) == TESSALY_S_OK);
    CHECK(put(trans, "FCardID", text("C0001")) == TESSALY_S_OK);
    CHECK(put(trans, "FEmpID", text("0001")) == TESSALY_S_OK);
    CHECK(put(trans, "FFlag", i4((int32_t)i % 2)) == TESSALY_S_OK);
    CHECK(op(trans, "Add", 0) == 17);
  }
  /* Walked back: every untallied punch (-1), by date and card. */
  CHECK(op(trans, "DoSearch", -1) == 65);
  /* True crosses as -1 exactly, and the walk ends: a MoveNext that stayed
     True past the last row would be stopped by the bound. */
  do {
    ++rows;
    moved = move(trans, "MoveNext");
    CHECK(moved == -1 || moved == 0);
  } while (moved != 0 && rows < 10);
  CHECK(rows == 4);

  /* The day's record, then its tally flag alone (KQ_UPDTJ). */
  CHECK(put(kq, "FEmpID", text("0001")) == TESSALY_S_OK);
  CHECK(put(kq, "FDate", text("2003-05-01")) == TESSALY_S_OK);
  CHECK(put(kq, "FIn1", text("07:58")) == TESSALY_S_OK);
  CHECK(put(kq, "FOut1", text("12:01")) == TESSALY_S_OK);
  CHECK(put(kq, "FIn2", text("12:59")) == TESSALY_S_OK);
  CHECK(put(kq, "FOut2", text("17:35")) == TESSALY_S_OK);
  CHECK(op(kq, "Add", 0) == 17);
  CHECK(put(kq, "FIn1", text("")) == TESSALY_S_OK);
  CHECK(op(kq, "DoSearch", 3) == 65);
  in1 = get_text(kq, "FIn1");
  CHECK(in1 != NULL && strcmp(in1, "07:58") == 0);
  free(in1);
  CHECK(put(kq, "FIsTJ", i4(1)) == TESSALY_S_OK);
  CHECK(op(kq, "Update", 2) == 33);
  CHECK(op(kq, "Delete", 0) == 49);
  {
    /* A 16-bit property crosses as 16 bits, its sign kept. */
    tessaly_variant r;
    CHECK(put(kq, "FCDNum", i4(-3)) == TESSALY_S_OK);
    CHECK(tessaly_invoke_by_name(kq, "FCDNum", TESSALY_DISPATCH_PROPERTYGET, NULL, 0, &r, NULL,
                                 NULL) == TESSALY_S_OK);
    CHECK(r.vt == TESSALY_VT_I2 && r.u.i2 == -3);
    tessaly_variant_clear(&r);
  }
  CHECK(op(kq, "DoSearch", 3) == 71);

  CHECK(tessaly_release(trans) == 0);
  CHECK(tessaly_release(kq) == 0);
}

static void bad_input(tessaly_object* conn) {
  tessaly_object* kq = NULL;
  tessaly_object* gone = NULL;
  tessaly_guid unknown = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  int32_t dispid = 0;
  char* name = malloc(10001);
  tessaly_variant v;
  uint32_t arg_err = 99;
  (void)conn;

  CHECK(tessaly_create("Tessaly.clsNothing", &kq) == TESSALY_REGDB_E_CLASSNOTREG && kq == NULL);
  CHECK(tessaly_create_by_clsid(&unknown, &kq) == TESSALY_CLASS_E_CLASSNOTAVAILABLE);
  CHECK(tessaly_create(NULL, &kq) == TESSALY_E_POINTER);
  CHECK(tessaly_get_dispid(NULL, "Add", &dispid) == TESSALY_E_POINTER);

  CHECK(tessaly_create("Tessaly.clsKQ", &gone) == TESSALY_S_OK);
  CHECK(tessaly_release(gone) == 0);
  CHECK(tessaly_get_dispid(gone, "Add", &dispid) == TESSALY_E_HANDLE);
  CHECK(tessaly_release(gone) == 0);
  CHECK(tessaly_add_ref(gone) == 0);

  CHECK(tessaly_create("Tessaly.clsKQ", &kq) == TESSALY_S_OK);
  memset(name, 'F', 10000);
  name[10000] = '\0';
  CHECK(tessaly_get_dispid(kq, name, &dispid) == TESSALY_DISP_E_UNKNOWNNAME);
  free(name);

  tessaly_variant_init(&v);
  v.vt = 77; /* no such kind */
  CHECK(tessaly_invoke_by_name(kq, "FEmpID", TESSALY_DISPATCH_PROPERTYPUT, &v, 1, NULL, NULL,
                               &arg_err) == TESSALY_DISP_E_BADVARTYPE);
  v.vt = TESSALY_VT_DISPATCH;
  v.u.object = gone; /* a released object as an argument */
  CHECK(tessaly_invoke_by_name(kq, "HConnect", TESSALY_DISPATCH_PROPERTYPUTREF, &v, 1, NULL, NULL,
                               &arg_err) == TESSALY_E_HANDLE);
  CHECK(tessaly_invoke_by_name(kq, "Add", TESSALY_DISPATCH_METHOD, NULL, 3, NULL, NULL, NULL) ==
        TESSALY_E_POINTER);
  CHECK(tessaly_release(kq) == 0);
}

/* A database that cannot be opened tells why, as a host opening it saw. */
static void failed_open(void) {
  tessaly_object* conn = (tessaly_object*)1;
  tessaly_excepinfo info;
  memset(&info, 0, sizeof info);

  CHECK(tessaly_connection_open_ex("/nonexistent-folder/att.db", &conn, &info) == TESSALY_E_FAIL);
  CHECK(conn == NULL);
  CHECK(info.number == -2147467259 && info.scode == info.number);
  CHECK(info.source != NULL && strcmp(info.source, "Connection") == 0);
  CHECK(info.description != NULL &&
        strcmp(info.description, "Could not find file '/nonexistent-folder/att.db'.") == 0);
  tessaly_excepinfo_clear(&info);

  CHECK(tessaly_connection_open_ex("/tmp", &conn, &info) == TESSALY_E_FAIL && conn == NULL);
  CHECK(info.number == -2147467259 && info.description != NULL &&
        strstr(info.description, "It is a directory") != NULL);
  tessaly_excepinfo_clear(&info);

  /* Without a place for the reason, and with the plain call, only the result. */
  CHECK(tessaly_connection_open_ex("/tmp", &conn, NULL) == TESSALY_E_FAIL && conn == NULL);
  CHECK(tessaly_connection_open("/tmp", &conn) == TESSALY_E_FAIL && conn == NULL);
  CHECK(tessaly_connection_open_ex(NULL, &conn, &info) == TESSALY_E_POINTER);
  CHECK(tessaly_connection_open_ex(":memory:", NULL, &info) == TESSALY_E_POINTER);

  /* A success leaves the reason alone. */
  CHECK(tessaly_connection_open_ex(":memory:", &conn, &info) == TESSALY_S_OK && conn != NULL);
  CHECK(info.number == 0 && info.description == NULL);
  CHECK(tessaly_release(conn) == 0);
}

static void server_functions(void) {
  tessaly_class_info info;
  tessaly_guid unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  void* factory = NULL;
  tessaly_object* made = NULL;
  char dir[] = "/tmp/tessaly_c_abi_XXXXXX";
  char key[512];
  char libid[39];
  tessaly_typelib_info lib;

  CHECK(tessaly_typelib_class(0, &info) == TESSALY_S_OK);
  CHECK(DllGetClassObject(&unknown, &TESSALY_IID_IClassFactory, &factory) ==
        TESSALY_CLASS_E_CLASSNOTAVAILABLE && factory == NULL);
  CHECK(DllGetClassObject(&info.clsid, &info.iid, &factory) == TESSALY_E_NOINTERFACE);
  CHECK(DllGetClassObject(&info.clsid, &TESSALY_IID_IClassFactory, NULL) == TESSALY_E_POINTER);
  CHECK(DllCanUnloadNow() == TESSALY_S_OK);
  CHECK(DllGetClassObject(&info.clsid, &TESSALY_IID_IClassFactory, &factory) == TESSALY_S_OK);
  CHECK(DllCanUnloadNow() == TESSALY_S_FALSE); /* the factory is alive */
  CHECK(tessaly_factory_create_instance(factory, &made) == TESSALY_S_OK);
  CHECK(tessaly_factory_lock_server(factory, 1) == TESSALY_S_OK);
  CHECK(tessaly_release(factory) == 0);
  CHECK(tessaly_release(made) == 0);
  CHECK(DllCanUnloadNow() == TESSALY_S_FALSE); /* the lock holds it */
  CHECK(DllGetClassObject(&info.clsid, &TESSALY_IID_IUnknown, &factory) == TESSALY_S_OK);
  CHECK(tessaly_factory_lock_server(factory, 0) == TESSALY_S_OK);
  CHECK(tessaly_release(factory) == 0);
  CHECK(DllCanUnloadNow() == TESSALY_S_OK);

  /* Registration into a scratch registry. */
  CHECK(mkdtemp(dir) != NULL);
  setenv("TESSALY_REGISTRY", dir, 1);
  CHECK(DllRegisterServer() == TESSALY_S_OK);
  CHECK(tessaly_typelib(&lib) == TESSALY_S_OK);
  tessaly_guid_format(&lib.libid, libid);
  snprintf(key, sizeof key, "%s/Tessaly.clsKQ/Clsid/.values", dir);
  CHECK(access(key, R_OK) == 0);
  snprintf(key, sizeof key, "%s/TypeLib/%s/46.0/409/linux64/.values", dir, libid);
  CHECK(access(key, R_OK) == 0);
  CHECK(DllUnregisterServer() == TESSALY_S_OK);
  snprintf(key, sizeof key, "%s/Tessaly.clsKQ", dir);
  CHECK(access(key, F_OK) != 0);
  snprintf(key, sizeof key, "rm -rf '%s'", dir);
  CHECK(system(key) == 0);
}

int main(void) {
  char path[] = "/tmp/tessaly_c_abi_db_XXXXXX";
  int fd = mkstemp(path);
  tessaly_object* conn = NULL;
  if (fd >= 0) close(fd);
  unlink(path);

  CHECK(tessaly_connection_open(path, &conn) == TESSALY_S_OK);
  CHECK(tessaly_invoke_by_name(conn, "CreateSchema", TESSALY_DISPATCH_METHOD, NULL, 0, NULL, NULL,
                               NULL) == TESSALY_S_OK);
  a_day(conn);
  bad_input(conn);
  CHECK(tessaly_release(conn) == 0);
  unlink(path);
  failed_open();
  server_functions();

  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
