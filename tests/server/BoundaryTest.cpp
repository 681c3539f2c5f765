// The C boundary's rules that a C host cannot easily show: apartment
// threading, reference counts with the server's unloading, bad handles and
// pointers, and exactly what registration writes and removes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "support/TestDb.h"
#include "tessaly/db/Connection.h"
#include "tessaly/server/Dispatch.h"
#include "tessaly/server/TypeLib.h"
#include "tessaly/tessaly_c.h"

namespace {

namespace fs = std::filesystem;
using tessaly::testing::FileText;

tessaly_object* Create(const char* progid) {
  tessaly_object* o = nullptr;
  EXPECT_EQ(tessaly_create(progid, &o), TESSALY_S_OK);
  return o;
}

TEST(BoundaryTest, AnObjectAnswersOnlyOnTheThreadThatCreatedIt) {
  tessaly_object* kq = Create("Tessaly.clsKQ");
  tessaly_hresult by_name = 0, invoked = 0;
  uint32_t added = 0;
  std::thread other([&] {
    int32_t dispid = 0;
    by_name = tessaly_get_dispid(kq, "FEmpID", &dispid);
    invoked = tessaly_invoke(kq, tessaly::server::kClsBaseDispid, TESSALY_DISPATCH_METHOD,
                             nullptr, 0, nullptr, nullptr, nullptr);
    added = tessaly_add_ref(kq);  // counting references works from any thread
  });
  other.join();
  EXPECT_EQ(by_name, TESSALY_RPC_E_WRONG_THREAD);
  EXPECT_EQ(invoked, TESSALY_RPC_E_WRONG_THREAD);
  EXPECT_EQ(added, 2u);
  tessaly_variant v;
  tessaly_variant_init(&v);
  EXPECT_EQ(tessaly_invoke_by_name(kq, "FEmpID", TESSALY_DISPATCH_PROPERTYGET, nullptr, 0, &v,
                                   nullptr, nullptr),
            TESSALY_S_OK);
  tessaly_variant_clear(&v);
  EXPECT_EQ(tessaly_release(kq), 1u);
  EXPECT_EQ(tessaly_release(kq), 0u);

  // An object made on another thread belongs to that one.
  std::shared_ptr<tessaly::server::Object> made;
  std::thread maker([&] { tessaly::server::Object::Create("Tessaly.clsTrans", made); });
  maker.join();
  int32_t dispid = 0;
  EXPECT_EQ(made->GetIDOfName("FDate", dispid), TESSALY_RPC_E_WRONG_THREAD);
}

TEST(BoundaryTest, ReferencesObjectsAndLocksDecideWhetherTheServerMayUnload) {
  ASSERT_EQ(DllCanUnloadNow(), TESSALY_S_OK);
  tessaly_object* kq = Create("Tessaly.clsKQ");
  EXPECT_EQ(tessaly_add_ref(kq), 2u);
  EXPECT_EQ(tessaly_release(kq), 1u);
  EXPECT_EQ(DllCanUnloadNow(), TESSALY_S_FALSE);

  // A recordset handed out lives on after the object that made it.
  tessaly_object* conn = nullptr;
  ASSERT_EQ(tessaly_connection_open(":memory:", &conn), TESSALY_S_OK);
  ASSERT_EQ(tessaly_invoke_by_name(conn, "CreateSchema", TESSALY_DISPATCH_METHOD, nullptr, 0,
                                   nullptr, nullptr, nullptr),
            TESSALY_S_OK);
  tessaly_variant arg;
  tessaly_variant_init(&arg);
  ASSERT_EQ(tessaly_variant_set_object(&arg, conn), TESSALY_S_OK);
  ASSERT_EQ(tessaly_invoke_by_name(kq, "HConnect", TESSALY_DISPATCH_PROPERTYPUTREF, &arg, 1,
                                   nullptr, nullptr, nullptr),
            TESSALY_S_OK);
  tessaly_variant_clear(&arg);
  EXPECT_EQ(tessaly_release(conn), 0u);  // the class keeps the connection itself
  tessaly_variant_set_text(&arg, " 1=1");
  tessaly_variant rs;
  ASSERT_EQ(tessaly_invoke_by_name(kq, "ExeSearchWithRecord", TESSALY_DISPATCH_METHOD, &arg, 1,
                                   &rs, nullptr, nullptr),
            TESSALY_S_OK);
  tessaly_variant_clear(&arg);
  EXPECT_EQ(rs.vt, TESSALY_VT_DISPATCH);
  EXPECT_EQ(rs.u.object, nullptr);  // nothing found: Nothing
  for (const char* let : {"FEmpID", "FDate"}) {
    tessaly_variant_set_text(&arg, std::string(let) == "FDate" ? "2003-05-01" : "0001");
    ASSERT_EQ(tessaly_invoke_by_name(kq, let, TESSALY_DISPATCH_PROPERTYPUT, &arg, 1, nullptr,
                                     nullptr, nullptr),
              TESSALY_S_OK);
  }
  tessaly_variant_clear(&arg);
  ASSERT_EQ(tessaly_invoke_by_name(kq, "Add", TESSALY_DISPATCH_METHOD, nullptr, 0, nullptr,
                                   nullptr, nullptr),
            TESSALY_S_OK);
  tessaly_variant_set_text(&arg, " 1=1");
  ASSERT_EQ(tessaly_invoke_by_name(kq, "ExeSearchWithRecord", TESSALY_DISPATCH_METHOD, &arg, 1,
                                   &rs, nullptr, nullptr),
            TESSALY_S_OK);
  tessaly_variant_clear(&arg);
  ASSERT_NE(rs.u.object, nullptr);
  EXPECT_EQ(tessaly_release(kq), 0u);
  EXPECT_EQ(DllCanUnloadNow(), TESSALY_S_FALSE);
  tessaly_variant state;
  EXPECT_EQ(tessaly_invoke_by_name(rs.u.object, "RecordCount", TESSALY_DISPATCH_PROPERTYGET,
                                   nullptr, 0, &state, nullptr, nullptr),
            TESSALY_S_OK);
  EXPECT_EQ(state.u.i4, 1);
  tessaly_variant_clear(&rs);
  EXPECT_EQ(DllCanUnloadNow(), TESSALY_S_OK);
}

TEST(BoundaryTest, BadHandlesAndPointersGetResultsNotCrashes) {
  tessaly_object* kq = Create("Tessaly.clsKQ");
  int32_t dispid = 0;
  tessaly_variant v;
  tessaly_variant_init(&v);
  EXPECT_EQ(tessaly_get_dispid(kq, nullptr, &dispid), TESSALY_E_POINTER);
  EXPECT_EQ(tessaly_get_dispid(kq, "Add", nullptr), TESSALY_E_POINTER);
  EXPECT_EQ(tessaly_get_dispid(kq, "", &dispid), TESSALY_DISP_E_UNKNOWNNAME);
  EXPECT_EQ(tessaly_invoke(kq, 12345, TESSALY_DISPATCH_METHOD, nullptr, 0, &v, nullptr, nullptr),
            TESSALY_DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(tessaly_invoke(reinterpret_cast<tessaly_object*>(0x7777), 1, 1, nullptr, 0, &v,
                           nullptr, nullptr),
            TESSALY_E_HANDLE);
  EXPECT_EQ(tessaly_create_by_clsid(nullptr, &kq), TESSALY_E_POINTER);
  const char* name = nullptr;
  EXPECT_EQ(tessaly_class_name(kq, &name), TESSALY_S_OK);
  EXPECT_STREQ(name, "clsKQ");
  tessaly_guid g;
  EXPECT_EQ(tessaly_guid_parse("{not a guid}", &g), TESSALY_E_INVALIDARG);
  tessaly_class_info info;
  EXPECT_EQ(tessaly_typelib_class(22, &info), TESSALY_E_INVALIDARG);
  tessaly_member_info member;
  EXPECT_EQ(tessaly_typelib_member(0, 10000, &member), TESSALY_E_INVALIDARG);
  EXPECT_EQ(tessaly_typelib_member(TESSALY_CLSBASE_INTERFACE, 20, &member), TESSALY_S_OK);
  EXPECT_STREQ(member.name, "Add");
  EXPECT_STREQ(member.type, "eRESULT");

  // A factory is no object, and an object no factory.
  void* factory = nullptr;
  ASSERT_EQ(tessaly_typelib_class(0, &info), TESSALY_S_OK);
  ASSERT_EQ(DllGetClassObject(&info.clsid, &TESSALY_IID_IClassFactory, &factory), TESSALY_S_OK);
  auto* f = static_cast<tessaly_object*>(factory);
  EXPECT_EQ(tessaly_get_dispid(f, "Add", &dispid), TESSALY_E_HANDLE);
  tessaly_object* made = nullptr;
  EXPECT_EQ(tessaly_factory_create_instance(kq, &made), TESSALY_E_HANDLE);
  EXPECT_EQ(tessaly_factory_lock_server(nullptr, 1), TESSALY_E_POINTER);
  EXPECT_EQ(tessaly_release(f), 0u);
  EXPECT_EQ(tessaly_release(kq), 0u);
  tessaly_variant_clear(nullptr);
  tessaly_excepinfo_clear(nullptr);
}

// Every member of every class, unconnected and connected, called with no
// arguments, with texts that are no numbers and with Empty ones: each call
// answers one of the documented results, and nothing crashes or leaks.
TEST(BoundaryTest, EveryMemberAnswersBadCallsWithAResult) {
  using tessaly::server::Object;
  using tessaly::server::Value;
  const std::set<int32_t> answers = {
      TESSALY_S_OK,          TESSALY_DISP_E_TYPEMISMATCH,    TESSALY_DISP_E_OVERFLOW,
      TESSALY_DISP_E_EXCEPTION, TESSALY_DISP_E_PARAMNOTOPTIONAL, TESSALY_DISP_E_BADPARAMCOUNT,
      TESSALY_DISP_E_MEMBERNOTFOUND};
  for (const auto& cls : tessaly::server::Library().classes) {
    for (bool connected : {false, true}) {
      std::shared_ptr<Object> object = Object::Create(cls);
      if (connected) {
        std::vector<Value> conn{Value::Of(Object::OfConnection(
            tessaly::db::Connection::Open(":memory:")))};
        ASSERT_EQ(object->Invoke("HConnect", TESSALY_DISPATCH_PROPERTYPUTREF, conn, nullptr),
                  TESSALY_S_OK);
      }
      for (const auto& m : object->Members()) {
        const size_t n = m.kind == tessaly::server::MemberKind::kMethod ? m.params.size() : 1;
        for (int form = 0; form < 3; ++form) {
          std::vector<Value> args(form == 0 ? 0 : n);
          for (Value& a : args) a = form == 1 ? Value(tessaly::db::Variant("x")) : Value();
          const uint16_t flags =
              m.kind == tessaly::server::MemberKind::kPropertyLet || (form > 0 && m.kind != tessaly::server::MemberKind::kMethod)
                  ? TESSALY_DISPATCH_PROPERTYPUTREF
                  : TESSALY_DISPATCH_METHOD | TESSALY_DISPATCH_PROPERTYGET;
          Value result;
          const int32_t hr = object->Invoke(m.dispid, flags, args, &result);
          EXPECT_TRUE(answers.contains(hr))
              << cls.name << "." << m.name << " form " << form << ": " << std::hex << hr;
        }
      }
    }
  }
}

TEST(BoundaryTest, RegistrationWritesTheServersKeysAndRemovesOnlyThem) {
  const fs::path root = fs::temp_directory_path() /
                        ("tessaly_registry_" + std::to_string(::getpid()));
  fs::remove_all(root);
  // Another server's class beside ours survives unregistering.
  fs::create_directories(root / "CLSID" / "{00000000-1111-2222-3333-444444444444}");
  ::setenv("TESSALY_REGISTRY", root.c_str(), 1);
  ASSERT_EQ(DllRegisterServer(), TESSALY_S_OK);

  const auto& lib = tessaly::server::Library();
  const auto& kq = *lib.FindClass("clsKQ");
  const fs::path clsid = root / "CLSID" / kq.clsid.Text();
  EXPECT_EQ(FileText(clsid / ".values"), "@=Tessaly.clsKQ\n");
  const std::string server = FileText(clsid / "InprocServer32" / ".values");
  EXPECT_NE(server.find("\nThreadingModel=Apartment\n"), std::string::npos) << server;
  EXPECT_TRUE(server.starts_with("@=/")) << server;  // an absolute path
  EXPECT_EQ(FileText(clsid / "ProgID" / ".values"), "@=Tessaly.clsKQ\n");
  EXPECT_EQ(FileText(clsid / "TypeLib" / ".values"), "@=" + lib.libid.Text() + "\n");
  EXPECT_EQ(FileText(root / "Tessaly.clsKQ" / "Clsid" / ".values"), "@=" + kq.clsid.Text() + "\n");
  EXPECT_EQ(FileText(root / "Interface" / kq.default_interface.iid.Text() / ".values"),
            "@=_clsKQ\n");
  EXPECT_EQ(FileText(root / "TypeLib" / lib.libid.Text() / "46.0" / ".values"), "@=Tessaly\n");
  size_t classes = 0;
  for (const auto& e : fs::directory_iterator(root / "CLSID")) classes += e.is_directory();
  EXPECT_EQ(classes, 23u);

  ASSERT_EQ(DllUnregisterServer(), TESSALY_S_OK);
  EXPECT_FALSE(fs::exists(clsid));
  EXPECT_FALSE(fs::exists(root / "Tessaly.clsPBSet"));
  EXPECT_FALSE(fs::exists(root / "TypeLib" / lib.libid.Text()));
  EXPECT_TRUE(fs::exists(root / "CLSID" / "{00000000-1111-2222-3333-444444444444}"));
  EXPECT_EQ(DllUnregisterServer(), TESSALY_S_OK);  // twice is no error
  ::unsetenv("TESSALY_REGISTRY");
  fs::remove_all(root);
}

}  // namespace
