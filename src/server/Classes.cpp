// The published classes: their identifiers, their interface lists bound to
// the C++ classes, and the type library made of them.
#include <memory>
#include <string>
#include <type_traits>

#include "server/Binder.h"
#include "server/Hosts.h"
#include "server/Interfaces.h"
#include "tessaly/tessaly.h"

namespace tessaly::server {

// The library's classes in its order: class, interface list, class
// identifier, identifier of the default interface.
#define TESSALY_PUBLISHED_CLASSES(X)                                                        \
  X(clsKQ, TESSALY_CLSKQ_MEMBERS, "{82894185-D7DB-44F0-813C-605BBBDBBEA2}",                \
    "{E0133DAE-A128-4DE9-B7B0-16645E7E40C0}")                                               \
  X(clsCC, TESSALY_LEAVE_MEMBERS, "{279106D4-8DDD-4F16-BB55-8E7A931AF6F6}",                \
    "{24080D84-2361-4E29-8081-89A2D14BE558}")                                               \
  X(clsEmp, TESSALY_CLSEMP_MEMBERS, "{D4E88416-788C-4BE2-980C-6432570C7C0E}",              \
    "{378E225A-BF08-4A96-9EE9-3CD5CCD8D044}")                                               \
  X(clsJB, TESSALY_CLSJB_MEMBERS, "{E26F1F7A-2AC2-468C-830B-0B9FC1849A06}",                \
    "{3E3C92E8-C809-4E6E-9846-5E797276075A}")                                               \
  X(clsSJ, TESSALY_LEAVE_MEMBERS, "{0BF0C1E2-942B-496B-AD93-850D530B332E}",                \
    "{5B21E88D-C3AE-4C94-AF15-BD58AF90E210}")                                               \
  X(clsWQ, TESSALY_CLSWQ_MEMBERS, "{5492B57F-9659-4BB4-B25C-7A6D0D9478ED}",                \
    "{78C8D03D-8BCC-4650-8EE3-B5A79EA0106B}")                                               \
  X(clsXJ, TESSALY_LEAVE_MEMBERS, "{D13FD9AF-2F09-4D05-A2B9-7F4CA6C7B1A1}",                \
    "{9B0BD569-4D4B-419D-8E87-A935FEF4A5EB}")                                               \
  X(clsUser, TESSALY_CLSUSER_MEMBERS, "{D71CB85E-22B1-4241-9AA0-094B7F74869F}",            \
    "{CBBB4F8D-EC59-48BC-A3F2-E73C077D4826}")                                               \
  X(clsShift, TESSALY_CLSSHIFT_MEMBERS, "{DFE9BCE8-6CD2-48F1-95FF-5D2A57B23EA5}",          \
    "{1204DC24-789D-4BEB-8027-0303308097D4}")                                               \
  X(clsItem, TESSALY_CLSITEM_MEMBERS, "{2436570F-3E3F-4CD9-B2C9-CA4EF2AFE1B6}",            \
    "{8C509C6B-ADF4-428E-B1C5-C47F94BDD0FE}")                                               \
  X(clsBJ, TESSALY_LEAVE_MEMBERS, "{79A150BB-5EDD-44E9-8E2A-8D833B95C1ED}",                \
    "{23E94796-D5A0-4E56-B67A-13D772419136}")                                               \
  X(clsHoliday, TESSALY_CLSHOLIDAY_MEMBERS, "{166D7AB1-23DA-4605-B417-D4AE590ABBB0}",      \
    "{64E1C909-EDBB-4DA9-A158-371CF543D138}")                                               \
  X(clsMTJ, TESSALY_CLSMTJ_MEMBERS, "{DC7B5D4A-442F-408A-9331-B796CBF3C6F6}",              \
    "{CA1C1244-6EDA-484E-80F2-E79000BA0789}")                                               \
  X(clsKQJ, TESSALY_CLSKQJ_MEMBERS, "{CC838D0C-70DC-40B8-8A8A-41C12923FF1D}",              \
    "{F6CB279D-BF43-4630-8748-895BE3CDE888}")                                               \
  X(clsTrans, TESSALY_CLSTRANS_MEMBERS, "{B4BA2DC5-B91B-4BC5-B165-A5386A73E659}",          \
    "{8649F101-21A3-4052-98B4-69625A0E6D4E}")                                               \
  X(clsTransLost, TESSALY_CLSTRANSLOST_MEMBERS, "{E90323E2-0846-4DC5-A458-051022474475}",  \
    "{16A52FF0-466A-49F2-9F91-EDA765B75038}")                                               \
  X(clsRoster, TESSALY_CLSROSTER_MEMBERS, "{4CF8912B-1934-48CC-829E-A6FD85B44AD3}",        \
    "{848AC801-02CF-4FB7-8462-EF69349C32A0}")                                               \
  X(clsPrn, TESSALY_CLSPRN_MEMBERS, "{41D6213C-92A1-4305-8938-B5BE81FA4E90}",              \
    "{8BC0DC25-4F08-45C4-B3AE-102C85521329}")                                               \
  X(clsRpt, TESSALY_CLSRPT_MEMBERS, "{37B17ED9-148F-4FCC-9637-AD8E09F12E19}",              \
    "{C132358B-18A8-42F0-81DB-CF9025C79B6F}")                                               \
  X(clsLog, TESSALY_CLSLOG_MEMBERS, "{20D0D8F2-94B0-4801-9D7A-E05DAADBF569}",              \
    "{7EC61282-576C-418C-802F-F926D8A8A4A3}")                                               \
  X(clsCollect, TESSALY_CLSCOLLECT_MEMBERS, "{853C691F-8C25-4390-817C-926F4A967AF2}",      \
    "{D8DB4684-4D2D-42D2-828D-0B17F823A122}")                                               \
  X(clsPBSet, TESSALY_CLSPBSET_MEMBERS, "{B69DE547-15FB-41DC-A786-12576DBA4900}",          \
    "{A9A4AE70-7D91-460B-B7BC-9FE7529726E7}")

inline constexpr std::string_view kLibraryId = "{AD39E412-7EC2-43F6-8DE6-7484ED57FCB5}";
inline constexpr std::string_view kClsBaseId = "{170BE3E9-791B-4CD0-A180-824BAEA7BA17}";

// The library's enumerations in its order, then the result codes of the
// base library it imports.
#define TESSALY_PUBLISHED_ENUMERATIONS(X)          \
  X(eLOOK_KQ, TESSALY_ELOOK_KQ_MEMBERS)            \
  X(eLOOK_CC, TESSALY_ELOOK_CC_MEMBERS)            \
  X(eLOOK_SJ, TESSALY_ELOOK_SJ_MEMBERS)            \
  X(eLOOK_XJ, TESSALY_ELOOK_XJ_MEMBERS)            \
  X(eLOOK_BJ, TESSALY_ELOOK_BJ_MEMBERS)            \
  X(eLOOK_JB, TESSALY_ELOOK_JB_MEMBERS)            \
  X(eLOOK_WQ, TESSALY_ELOOK_WQ_MEMBERS)            \
  X(eLOOK_EMP, TESSALY_ELOOK_EMP_MEMBERS)          \
  X(eLOOK_USER, TESSALY_ELOOK_USER_MEMBERS)        \
  X(C_ITEM_INDEX, TESSALY_C_ITEM_INDEX_MEMBERS)    \
  X(eLOOK_MTJ, TESSALY_ELOOK_MTJ_MEMBERS)          \
  X(eLOOK_TRANS, TESSALY_ELOOK_TRANS_MEMBERS)      \
  X(eLOOK_TRANSLOST, TESSALY_ELOOK_TRANSLOST_MEMBERS) \
  X(eRESULT, TESSALY_ERESULT_MEMBERS)

#define TESSALY_SERVER_ENUM_NAME(Enum, MEMBERS) \
  template <>                                   \
  inline constexpr std::string_view kEnumName<Enum> = #Enum;
TESSALY_PUBLISHED_ENUMERATIONS(TESSALY_SERVER_ENUM_NAME)

namespace {

template <class Self>
void BindInterface(Binder<Self>& b);

#define TESSALY_SERVER_BIND_INTERFACE(Cls, MEMBERS, Clsid, Iid) \
  template <>                                                   \
  void BindInterface<Cls>(Binder<Cls> & b) {                    \
    using Self = Cls;                                           \
    MEMBERS(TESSALY_SERVER_MEMBER)                              \
  }
TESSALY_PUBLISHED_CLASSES(TESSALY_SERVER_BIND_INTERFACE)

template <class Self>
void BindClsBase(Binder<Self>& b) {
  TESSALY_CLSBASE_MEMBERS(TESSALY_SERVER_MEMBER)
}

// A class's members: its default interface, then ClsBase where it has it.
template <class Cls>
Binding BindClass(std::string_view name, size_t& default_count) {
  Binding binding;
  binding.class_name = std::string(name);
  binding.source = "Tessaly." + binding.class_name;
  binding.create = []() -> std::shared_ptr<void> { return std::make_shared<Cls>(); };
  if constexpr (std::is_base_of_v<framework::Record, Cls>) {
    binding.last_error = [](const void* instance) -> const ErrorInfo* {
      return &static_cast<const Cls*>(instance)->LastError();
    };
  }
  Binder<Cls> own(binding, kDefaultInterfaceDispid);
  BindInterface<Cls>(own);
  default_count = binding.members.size();
  if constexpr (std::is_base_of_v<ClsBase, Cls>) {
    Binder<Cls> base(binding, kClsBaseDispid);
    BindClsBase<Cls>(base);
  }
  return binding;
}

// A late-bound object of the database layer under its name, with the members
// bind gives it.
template <class Self>
Binding BindHost(const char* name, void (*bind)(Binder<Self>&)) {
  Binding binding;
  binding.class_name = binding.source = name;
  Binder<Self> b(binding, 1);
  bind(b);
  return binding;
}

void BindConnection(Binder<ConnectionHost>& b) {
  using Self = ConnectionHost;
  b.Method("Execute", &Self::Execute, {"Sql"});
  b.Method("CreateSchema", &Self::CreateSchema, {});
  b.Method("BeginTrans", &Self::BeginTrans, {});
  b.Method("CommitTrans", &Self::CommitTrans, {});
  b.Method("RollbackTrans", &Self::RollbackTrans, {});
}

void BindRecordset(Binder<RecordsetHost>& b) {
  using Self = RecordsetHost;
  b.Get<int32_t>("RecordCount", &Self::RecordCount);
  b.Get<bool>("EOF", &Self::IsEOF);
  b.Get<bool>("BOF", &Self::IsBOF);
  b.Get<int32_t>("State", &Self::State);
  b.Get<int32_t>("FieldCount", &Self::FieldCount);
  b.Method("FieldName", &Self::FieldName, {"Index"});
  b.Method("Value", &Self::Value, {"Index"});
  b.Method("MoveFirst", &Self::MoveFirst, {});
  b.Method("MoveLast", &Self::MoveLast, {});
  b.Method("MoveNext", &Self::MoveNext, {});
  b.Method("MovePrevious", &Self::MovePrevious, {});
  b.Method("Close", &Self::Close, {});
}

struct Server {
  TypeLibrary library;
  std::vector<Binding> bindings;  // beside library.classes
  Binding connection = BindHost<ConnectionHost>("Connection", BindConnection);
  Binding recordset = BindHost<RecordsetHost>("Recordset", BindRecordset);

  Server() {
    library.name = "Tessaly";
    library.major = 46;
    library.minor = 0;
    library.lcid = 0x409;
    library.libid = *Guid::Parse(kLibraryId);
#define TESSALY_SERVER_ADD_CLASS(Cls, MEMBERS, Clsid, Iid) Add<Cls>(#Cls, Clsid, Iid);
    TESSALY_PUBLISHED_CLASSES(TESSALY_SERVER_ADD_CLASS)
#define TESSALY_SERVER_ENUMERATOR(Member, Value) {#Member, Value},
#define TESSALY_SERVER_ADD_ENUM(Enum, MEMBERS) \
  library.enums.push_back({#Enum, {MEMBERS(TESSALY_SERVER_ENUMERATOR)}});
    TESSALY_PUBLISHED_ENUMERATIONS(TESSALY_SERVER_ADD_ENUM)
  }

  template <class Cls>
  void Add(std::string_view name, std::string_view clsid, std::string_view iid) {
    size_t own = 0;
    Binding binding = BindClass<Cls>(name, own);
    ClassInfo cls;
    cls.name = std::string(name);
    cls.progid = binding.source;
    cls.clsid = *Guid::Parse(clsid);
    cls.default_interface.name = "_" + cls.name;
    cls.default_interface.iid = *Guid::Parse(iid);
    cls.default_interface.members.assign(binding.members.begin(),
                                         binding.members.begin() + static_cast<ptrdiff_t>(own));
    cls.implements_clsbase = std::is_base_of_v<ClsBase, Cls>;
    if (cls.implements_clsbase && library.clsbase.members.empty()) {
      library.clsbase.name = "ClsBase";
      library.clsbase.iid = *Guid::Parse(kClsBaseId);
      library.clsbase.members.assign(binding.members.begin() + static_cast<ptrdiff_t>(own),
                                     binding.members.end());
    }
    library.classes.push_back(std::move(cls));
    bindings.push_back(std::move(binding));
  }
};

const Server& TheServer() {
  static const Server server;
  return server;
}

}  // namespace

const TypeLibrary& Library() { return TheServer().library; }

const Binding& BindingOf(const ClassInfo& cls) {
  const Server& s = TheServer();
  return s.bindings[static_cast<size_t>(&cls - s.library.classes.data())];
}
const Binding& ConnectionBinding() { return TheServer().connection; }
const Binding& RecordsetBinding() { return TheServer().recordset; }

}  // namespace tessaly::server
