#pragma once
// The Extended MAPI data types, result codes and flags that the MS Outlook backend and the
// MAPI provider library exchange. Written from Microsoft's published MAPI reference; only
// what the program uses is declared. Strings of the wide forms are UTF-16 (char16_t), as on
// Windows, not wchar_t.
#include <cstddef>
#include <cstdint>

namespace mapi {

using ULONG = uint32_t;
using LONG = int32_t;
using BYTE = uint8_t;
using BOOL = int32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using HRESULT = int32_t;
using SCODE = int32_t;
using ULONG_PTR = uintptr_t;
using SIZE_T = size_t;
using LPVOID = void*;
using LPBYTE = BYTE*;
using LPULONG = ULONG*;
using WCHAR = char16_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using LPGUID = GUID*;
using LPCIID = const IID*;
using REFIID = const IID&;

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

// The OLE and MAPI interfaces share the suffix C000-000000000046.
constexpr GUID MakeOleGuid(uint32_t data1) {
    return GUID{data1, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}

inline constexpr IID IID_IUnknown = MakeOleGuid(0x00000000);
inline constexpr IID IID_IStream = MakeOleGuid(0x0000000C);
inline constexpr IID IID_IMalloc = MakeOleGuid(0x00000002);
inline constexpr IID IID_IMAPISession = MakeOleGuid(0x00020300);
inline constexpr IID IID_IMAPITable = MakeOleGuid(0x00020301);
inline constexpr IID IID_IMAPIProp = MakeOleGuid(0x00020303);
inline constexpr IID IID_IMAPIContainer = MakeOleGuid(0x0002030B);
inline constexpr IID IID_IMAPIFolder = MakeOleGuid(0x0002030C);
inline constexpr IID IID_IMsgStore = MakeOleGuid(0x00020306);
inline constexpr IID IID_IMessage = MakeOleGuid(0x00020307);
inline constexpr IID IID_IAttachment = MakeOleGuid(0x00020308);
inline constexpr IID IID_IProfAdmin = MakeOleGuid(0x0002031C);
inline constexpr IID IID_IMsgServiceAdmin = MakeOleGuid(0x0002031D);
inline constexpr CLSID CLSID_MailMessage = MakeOleGuid(0x00020D0B);

// The property sets that name maps refer to by number rather than by GUID.
inline constexpr GUID PS_MAPI = MakeOleGuid(0x00020328);
inline constexpr GUID PS_PUBLIC_STRINGS = MakeOleGuid(0x00020329);

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};

union CURRENCY {
    struct {
        ULONG Lo;
        LONG Hi;
    } s;
    LONGLONG int64;
};

struct MAPIUID {
    BYTE ab[16];
};
using LPMAPIUID = MAPIUID*;

// An entry identifier: four flag bytes, then provider-defined bytes (a flexible tail, as in
// the documentation's one-element array).
struct ENTRYID {
    BYTE abFlags[4];
    BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

struct SBinary {
    ULONG cb;
    LPBYTE lpb;
};

struct SShortArray {
    ULONG cValues;
    short* lpi;
};
struct SLongArray {
    ULONG cValues;
    LONG* lpl;
};
struct SRealArray {
    ULONG cValues;
    float* lpflt;
};
struct SDoubleArray {
    ULONG cValues;
    double* lpdbl;
};
struct SCurrencyArray {
    ULONG cValues;
    CURRENCY* lpcur;
};
struct SAppTimeArray {
    ULONG cValues;
    double* lpat;
};
struct SDateTimeArray {
    ULONG cValues;
    FILETIME* lpft;
};
struct SBinaryArray {
    ULONG cValues;
    SBinary* lpbin;
};
struct SLPSTRArray {
    ULONG cValues;
    LPSTR* lppszA;
};
struct SWStringArray {
    ULONG cValues;
    LPWSTR* lppszW;
};
struct SGuidArray {
    ULONG cValues;
    GUID* lpguid;
};
struct SLargeIntegerArray {
    ULONG cValues;
    LARGE_INTEGER* lpli;
};

union PV {
    short i;
    LONG l;
    ULONG ul;
    float flt;
    double dbl;
    unsigned short b;
    CURRENCY cur;
    double at;
    FILETIME ft;
    LPSTR lpszA;
    SBinary bin;
    LPWSTR lpszW;
    LPGUID lpguid;
    LARGE_INTEGER li;
    SShortArray MVi;
    SLongArray MVl;
    SRealArray MVflt;
    SDoubleArray MVdbl;
    SCurrencyArray MVcur;
    SAppTimeArray MVat;
    SDateTimeArray MVft;
    SBinaryArray MVbin;
    SLPSTRArray MVszA;
    SWStringArray MVszW;
    SGuidArray MVguid;
    SLargeIntegerArray MVli;
    SCODE err;
    LONG x;
};

struct SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    PV Value;
};
using LPSPropValue = SPropValue*;

struct SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;

// Bytes needed for a tag array of n tags (the documented CbNewSPropTagArray).
constexpr size_t CbNewSPropTagArray(ULONG count) {
    return offsetof(SPropTagArray, aulPropTag) + sizeof(ULONG) * count;
}

// A tag array of a fixed count laid out like SPropTagArray, for tags known at compile time
// (the documented SizedSPropTagArray).
template <ULONG N>
struct SizedSPropTagArray {
    ULONG cValues = N;
    ULONG aulPropTag[N];

    LPSPropTagArray get() { return reinterpret_cast<LPSPropTagArray>(this); }
};

struct SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
};
struct SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[1];
};
using LPSPropProblemArray = SPropProblemArray*;

struct SRow {
    ULONG ulAdrEntryPad;
    ULONG cValues;
    LPSPropValue lpProps;
};
using LPSRow = SRow*;

struct SRowSet {
    ULONG cRows;
    SRow aRow[1];
};
using LPSRowSet = SRowSet*;

constexpr size_t CbNewSRowSet(ULONG rows) {
    return offsetof(SRowSet, aRow) + sizeof(SRow) * rows;
}

// A recipient list has the row layout (ADRENTRY matches SRow).
using ADRENTRY = SRow;
using ADRLIST = SRowSet;
using LPADRLIST = ADRLIST*;

constexpr size_t CbNewADRLIST(ULONG entries) {
    return CbNewSRowSet(entries);
}

// The name of a named property: a number or a string within a property set.
inline constexpr ULONG MNID_ID = 0;
inline constexpr ULONG MNID_STRING = 1;
struct MAPINAMEID {
    LPGUID lpguid;
    ULONG ulKind;
    union {
        LONG lID;
        LPWSTR lpwstrName;
    } Kind;
};
using LPMAPINAMEID = MAPINAMEID*;

// Restrictions and sort orders are passed through as opaque pointers: the program only ever
// passes none.
struct SRestriction;
using LPSRestriction = SRestriction*;
struct SSortOrderSet;
using LPSSortOrderSet = SSortOrderSet*;

using BOOKMARK = ULONG;
inline constexpr BOOKMARK BOOKMARK_BEGINNING = 0;
inline constexpr BOOKMARK BOOKMARK_CURRENT = 1;
inline constexpr BOOKMARK BOOKMARK_END = 2;

// Result codes.
constexpr HRESULT MakeScode(uint32_t value) {
    return static_cast<HRESULT>(value);
}
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT MAPI_E_CALL_FAILED = MakeScode(0x80004005);
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = MakeScode(0x8007000E);
inline constexpr HRESULT MAPI_E_INVALID_PARAMETER = MakeScode(0x80070057);
inline constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = MakeScode(0x80004002);
inline constexpr HRESULT MAPI_E_NO_ACCESS = MakeScode(0x80070005);
inline constexpr HRESULT MAPI_E_NO_SUPPORT = MakeScode(0x80040102);
inline constexpr HRESULT MAPI_E_NOT_FOUND = MakeScode(0x8004010F);
inline constexpr HRESULT MAPI_E_CORRUPT_DATA = MakeScode(0x8004011B);
inline constexpr HRESULT MAPI_E_INVALID_ENTRYID = MakeScode(0x80040107);
inline constexpr HRESULT MAPI_E_INVALID_OBJECT = MakeScode(0x80040108);
inline constexpr HRESULT MAPI_E_LOGON_FAILED = MakeScode(0x80040111);
inline constexpr HRESULT MAPI_E_NOT_INITIALIZED = MakeScode(0x80040605);
inline constexpr HRESULT MAPI_E_BAD_CHARWIDTH = MakeScode(0x80040103);
inline constexpr HRESULT MAPI_E_INVALID_TYPE = MakeScode(0x80040302);
inline constexpr HRESULT MAPI_E_UNCONFIGURED = MakeScode(0x8004011C);
inline constexpr HRESULT MAPI_E_COLLISION = MakeScode(0x80040604);
inline constexpr HRESULT MAPI_E_TOO_COMPLEX = MakeScode(0x80040117);
inline constexpr HRESULT MAPI_E_TABLE_TOO_BIG = MakeScode(0x80040403);
inline constexpr HRESULT MAPI_W_ERRORS_RETURNED = MakeScode(0x00040380);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = MakeScode(0x80030001);
inline constexpr HRESULT STG_E_ACCESSDENIED = MakeScode(0x80030005);

constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}

// Flags.
inline constexpr ULONG MAPI_MODIFY = 0x00000001;
inline constexpr ULONG MAPI_CREATE = 0x00000002;
inline constexpr ULONG MAPI_DEFERRED_ERRORS = 0x00000008;
inline constexpr ULONG MAPI_BEST_ACCESS = 0x00000010;
inline constexpr ULONG MAPI_UNICODE = 0x80000000;
inline constexpr ULONG MAPI_LOGON_UI = 0x00000001;
inline constexpr ULONG MAPI_NEW_SESSION = 0x00000002;
inline constexpr ULONG MAPI_EXTENDED = 0x00000020;
inline constexpr ULONG MAPI_NO_MAIL = 0x00008000;
inline constexpr ULONG MDB_NO_MAIL = 0x00000080;
inline constexpr ULONG SERVICE_UI_ALLOWED = 0x00000010;
inline constexpr ULONG TBL_BATCH = 0x00000002;
inline constexpr ULONG KEEP_OPEN_READONLY = 0x00000001;
inline constexpr ULONG KEEP_OPEN_READWRITE = 0x00000002;
inline constexpr ULONG FORCE_SAVE = 0x00000004;
inline constexpr ULONG MODRECIP_ADD = 0x00000002;
inline constexpr ULONG MODRECIP_MODIFY = 0x00000004;
inline constexpr ULONG MODRECIP_REMOVE = 0x00000008;
inline constexpr ULONG STREAM_SEEK_SET = 0;
inline constexpr ULONG STREAM_SEEK_CUR = 1;
inline constexpr ULONG STREAM_SEEK_END = 2;

// Object types (PR_OBJECT_TYPE).
inline constexpr ULONG MAPI_STORE = 0x00000001;
inline constexpr ULONG MAPI_ADDRBOOK = 0x00000002;
inline constexpr ULONG MAPI_FOLDER = 0x00000003;
inline constexpr ULONG MAPI_ABCONT = 0x00000004;
inline constexpr ULONG MAPI_MESSAGE = 0x00000005;
inline constexpr ULONG MAPI_MAILUSER = 0x00000006;
inline constexpr ULONG MAPI_ATTACH = 0x00000007;
inline constexpr ULONG MAPI_DISTLIST = 0x00000008;
inline constexpr ULONG MAPI_PROFSECT = 0x00000009;
inline constexpr ULONG MAPI_STATUS = 0x0000000A;
inline constexpr ULONG MAPI_SESSION = 0x0000000B;

// PR_ATTACH_METHOD values.
inline constexpr LONG NO_ATTACHMENT = 0;
inline constexpr LONG ATTACH_BY_VALUE = 1;
inline constexpr LONG ATTACH_BY_REFERENCE = 2;
inline constexpr LONG ATTACH_BY_REF_RESOLVE = 3;
inline constexpr LONG ATTACH_BY_REF_ONLY = 4;
inline constexpr LONG ATTACH_EMBEDDED_MSG = 5;
inline constexpr LONG ATTACH_OLE = 6;

}  // namespace mapi
