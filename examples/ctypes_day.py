#!/usr/bin/env python3
"""A day of attendance from Python, through Tessaly's C boundary with ctypes
alone: create Tessaly.clsKQ by name, connect it to a new database, add a day,
list it, and read the error results of bad calls.

    python3 examples/ctypes_day.py [path/to/libtessaly.so]

The library is the one named as the argument, else by TESSALY_LIBRARY, else
the installed one (libtessaly.so.0 through the system's loader), else the one
built in build/ of the repository this script lives in. Exits non-zero when
it finds none or anything is not as expected.
"""
import ctypes
import os
import sys
import tempfile

S_OK = 0
E_FAIL = 0x80004005
DISP_E_TYPEMISMATCH = 0x80020005
DISP_E_UNKNOWNNAME = 0x80020006
DISP_E_EXCEPTION = 0x80020009
DISP_E_PARAMNOTOPTIONAL = 0x8002000F
DISP_E_PARAMNOTFOUND = 0x80020004

METHOD, GET, PUT, PUTREF = 1, 2, 4, 8
VT_EMPTY, VT_I2, VT_I4, VT_BSTR, VT_DISPATCH, VT_ERROR, VT_BOOL = 0, 2, 3, 8, 9, 10, 11


class _Value(ctypes.Union):
    _fields_ = [("i2", ctypes.c_int16), ("i4", ctypes.c_int32), ("r4", ctypes.c_float),
                ("r8", ctypes.c_double), ("text", ctypes.c_void_p), ("object", ctypes.c_void_p),
                ("scode", ctypes.c_int32), ("boolean", ctypes.c_int16), ("ui1", ctypes.c_uint8)]


class Variant(ctypes.Structure):
    _fields_ = [("vt", ctypes.c_uint16), ("u", _Value)]


class ExcepInfo(ctypes.Structure):
    _fields_ = [("number", ctypes.c_int32), ("scode", ctypes.c_int32),
                ("source", ctypes.c_char_p), ("description", ctypes.c_char_p)]


class Tessaly:
    def __init__(self, lib):
        hr = ctypes.c_int32
        obj = ctypes.c_void_p
        lib.tessaly_create.argtypes = [ctypes.c_char_p, ctypes.POINTER(obj)]
        lib.tessaly_create.restype = hr
        lib.tessaly_connection_open.argtypes = [ctypes.c_char_p, ctypes.POINTER(obj)]
        lib.tessaly_connection_open.restype = hr
        lib.tessaly_connection_open_ex.argtypes = [ctypes.c_char_p, ctypes.POINTER(obj),
                                                   ctypes.POINTER(ExcepInfo)]
        lib.tessaly_connection_open_ex.restype = hr
        lib.tessaly_release.argtypes = [obj]
        lib.tessaly_release.restype = ctypes.c_uint32
        lib.tessaly_invoke_by_name.argtypes = [
            obj, ctypes.c_char_p, ctypes.c_uint16, ctypes.POINTER(Variant), ctypes.c_uint32,
            ctypes.POINTER(Variant), ctypes.POINTER(ExcepInfo), ctypes.POINTER(ctypes.c_uint32)]
        lib.tessaly_invoke_by_name.restype = hr
        lib.tessaly_variant_set_text.argtypes = [ctypes.POINTER(Variant), ctypes.c_char_p]
        lib.tessaly_variant_set_object.argtypes = [ctypes.POINTER(Variant), obj]
        lib.tessaly_variant_clear.argtypes = [ctypes.POINTER(Variant)]
        lib.tessaly_excepinfo_clear.argtypes = [ctypes.POINTER(ExcepInfo)]
        lib.DllCanUnloadNow.restype = hr
        self.lib = lib

    def variant(self, value):
        v = Variant()
        if value is None:
            v.vt = VT_ERROR
            v.u.scode = ctypes.c_int32(DISP_E_PARAMNOTFOUND).value  # left out
        elif isinstance(value, bool):
            v.vt, v.u.boolean = VT_BOOL, -1 if value else 0
        elif isinstance(value, int):
            v.vt, v.u.i4 = VT_I4, value
        elif isinstance(value, str):
            self.lib.tessaly_variant_set_text(ctypes.byref(v), value.encode())
        else:  # an object handle
            self.lib.tessaly_variant_set_object(ctypes.byref(v), value)
        return v

    def value(self, v):
        if v.vt == VT_BSTR:
            return ctypes.string_at(v.u.text).decode() if v.u.text else ""
        if v.vt == VT_I4:
            return v.u.i4
        if v.vt == VT_I2:
            return v.u.i2
        if v.vt == VT_BOOL:
            return v.u.boolean != 0
        if v.vt == VT_EMPTY:
            return None
        raise AssertionError("unexpected variant kind %d" % v.vt)

    def call(self, obj, name, flags, *args):
        """(hresult, result, by-reference arguments as left, exception info)."""
        array = (Variant * max(len(args), 1))(*[self.variant(a) for a in args])
        result, info, bad = Variant(), ExcepInfo(), ctypes.c_uint32(0)
        hr = self.lib.tessaly_invoke_by_name(obj, name.encode(), flags, array, len(args),
                                             ctypes.byref(result), ctypes.byref(info),
                                             ctypes.byref(bad))
        hr &= 0xFFFFFFFF
        out = self.value(result) if hr == S_OK else None
        left = [self.value(array[i]) if array[i].vt != VT_DISPATCH else None
                for i in range(len(args))]
        for i in range(len(args)):
            self.lib.tessaly_variant_clear(ctypes.byref(array[i]))
        self.lib.tessaly_variant_clear(ctypes.byref(result))
        exc = (info.number, (info.description or b"").decode()) if hr == DISP_E_EXCEPTION else None
        self.lib.tessaly_excepinfo_clear(ctypes.byref(info))  # its texts are the library's
        return hr, out, left, exc


def expect(what, got, wanted):
    if got != wanted:
        raise AssertionError("%s: got %r, wanted %r" % (what, got, wanted))


SONAME = "libtessaly.so.0"


def load_library(argv):
    """The library as the module docstring says, or None with the reason."""
    named = argv[1] if len(argv) > 1 else os.environ.get("TESSALY_LIBRARY")
    if named:
        try:
            return ctypes.CDLL(named), None
        except OSError as e:
            return None, "cannot load %s: %s" % (named, e)
    try:
        return ctypes.CDLL(SONAME), None
    except OSError:
        pass
    repository = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    built = os.path.join(repository, "build", SONAME)
    try:
        return ctypes.CDLL(built), None
    except OSError:
        return None, ("%s is not installed and %s does not load; build the library, "
                      "or name it as the argument or in TESSALY_LIBRARY" % (SONAME, built))


def main():
    lib, reason = load_library(sys.argv)
    if lib is None:
        print("%s: %s" % (os.path.basename(sys.argv[0]), reason), file=sys.stderr)
        return 2
    t = Tessaly(lib)
    with tempfile.TemporaryDirectory() as scratch:
        conn, kq = ctypes.c_void_p(), ctypes.c_void_p()
        expect("open", t.lib.tessaly_connection_open(os.path.join(scratch, "att.db").encode(),
                                                     ctypes.byref(conn)), S_OK)
        expect("schema", t.call(conn, "CreateSchema", METHOD)[0], S_OK)

        # A database that cannot be opened: the result, and Jet's reason.
        bad, info = ctypes.c_void_p(), ExcepInfo()
        missing = os.path.join(scratch, "no folder", "att.db")
        hr = t.lib.tessaly_connection_open_ex(missing.encode(), ctypes.byref(bad),
                                              ctypes.byref(info))
        reason = (info.number, (info.description or b"").decode())
        t.lib.tessaly_excepinfo_clear(ctypes.byref(info))
        expect("open in a missing folder", (hr & 0xFFFFFFFF, bad.value), (E_FAIL, None))
        expect("its reason", reason, (-2147467259, "Could not find file '%s'." % missing))
        expect("create", t.lib.tessaly_create(b"Tessaly.clsKQ", ctypes.byref(kq)), S_OK)

        expect("HConnect", t.call(kq, "HConnect", PUTREF, conn)[0], S_OK)
        for name, value in [("FEmpID", "0001"), ("FName", "张三"), ("FDate", "2003-05-01"),
                            ("FKQType", "正常"), ("FIn1", "08:02"), ("fout1", "17:31")]:
            expect("let " + name, t.call(kq, name, PUT, value)[0], S_OK)
        expect("FCDNum from a text", t.call(kq, "FCDNum", PUT, "2")[0], S_OK)

        hr, result, left, _ = t.call(kq, "Add", METHOD, "")
        expect("Add", (hr, result), (S_OK, 17))  # RES_ADDOK

        # The day, found by employee and date (KQ_BYEMPIDANDDATE = 3).
        expect("let FIn1", t.call(kq, "FIn1", PUT, "")[0], S_OK)
        hr, result, left, _ = t.call(kq, "DoSearch", METHOD, "", 3)
        expect("DoSearch", (hr, result), (S_OK, 65))  # RES_FOUND
        expect("FIn1 loaded", t.call(kq, "FIn1", GET)[1], "08:02")
        expect("FName loaded", t.call(kq, "FName", GET)[1], "张三")
        expect("FCDNum loaded", t.call(kq, "FCDNum", GET)[1], 2)

        # The listing of the month; RetRow comes back by reference.
        hr, text, left, _ = t.call(kq, "ExeSearch", METHOD, " F_EmpID='0001'", 0)
        expect("ExeSearch", hr, S_OK)
        expect("rows listed", left[1], 1)
        if "张三" not in text or "08:02" not in text:
            raise AssertionError("the listing lacks the day: %r" % text)

        # Error results.
        expect("unknown member", t.call(kq, "NoSuchMember", METHOD)[0], DISP_E_UNKNOWNNAME)
        expect("a text that is no number", t.call(kq, "FCDNum", PUT, "many")[0],
               DISP_E_TYPEMISMATCH)
        expect("missing argument", t.call(kq, "ExeSearch", METHOD)[0], DISP_E_PARAMNOTOPTIONAL)
        hr, _, _, exc = t.call(conn, "Execute", METHOD, "SELEC nonsense")
        expect("a statement the database refuses", hr, DISP_E_EXCEPTION)
        expect("its number", exc[0], -2147217900)
        if not exc[1]:
            raise AssertionError("the exception has no description")

        expect("release clsKQ", t.lib.tessaly_release(kq), 0)
        expect("release connection", t.lib.tessaly_release(conn), 0)
        expect("nothing alive", t.lib.DllCanUnloadNow() & 0xFFFFFFFF, S_OK)
    print("ctypes example: a day added, found, listed; error results as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
