#pragma once
// The Extended MAPI and OLE interfaces the program calls, as abstract classes with COM-style
// reference counting. Each keeps the documented relative order of its methods; methods the
// program never calls are left out, so the tables are our own, not Windows-compatible.
// Calls use the platform's ordinary calling convention.
#include "mapi/mapi_types.h"

namespace mapi {

class IMAPIProgress;
using LPMAPIPROGRESS = IMAPIProgress*;

class IUnknown {
  public:
    virtual HRESULT QueryInterface(REFIID riid, LPVOID* ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

class IMalloc : public IUnknown {
  public:
    virtual LPVOID Alloc(SIZE_T cb) = 0;
    virtual LPVOID Realloc(LPVOID pv, SIZE_T cb) = 0;
    virtual void Free(LPVOID pv) = 0;
    virtual SIZE_T GetSize(LPVOID pv) = 0;
    virtual int DidAlloc(LPVOID pv) = 0;
    virtual void HeapMinimize() = 0;

  protected:
    ~IMalloc() = default;
};
using LPMALLOC = IMalloc*;

struct STATSTG;

class IStream : public IUnknown {
  public:
    // ISequentialStream
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
    // IStream
    virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                         ULARGE_INTEGER* plibNewPosition) = 0;

  protected:
    ~IStream() = default;
};
using LPSTREAM = IStream*;

class IMAPITable : public IUnknown {
  public:
    virtual HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
    virtual HRESULT GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
    virtual HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
    virtual HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;

  protected:
    ~IMAPITable() = default;
};
using LPMAPITABLE = IMAPITable*;

class IMAPIProp : public IUnknown {
  public:
    virtual HRESULT SaveChanges(ULONG ulFlags) = 0;
    virtual HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                             LPSPropValue* lppPropArray) = 0;
    virtual HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) = 0;
    virtual HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions,
                                 ULONG ulFlags, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray,
                             LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT CopyTo(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps,
                           ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                           LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
    // The names of named properties (identifiers 0x8000 and above) and back. The answers are
    // one buffer each, freed with MAPIFreeBuffer; names and tags that cannot be given are null
    // entries and PT_ERROR tags, with MAPI_W_ERRORS_RETURNED.
    virtual HRESULT GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid,
                                    ULONG ulFlags, ULONG* lpcPropNames,
                                    LPMAPINAMEID** lpppPropNames) = 0;
    virtual HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                    LPSPropTagArray* lppPropTags) = 0;

  protected:
    ~IMAPIProp() = default;
};
using LPMAPIPROP = IMAPIProp*;

class IMAPIContainer : public IMAPIProp {
  public:
    virtual HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                              ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;

  protected:
    ~IMAPIContainer() = default;
};

class IMAPIFolder : public IMAPIContainer {
  protected:
    ~IMAPIFolder() = default;
};
using LPMAPIFOLDER = IMAPIFolder*;

class IAttach : public IMAPIProp {
  protected:
    ~IAttach() = default;
};
using LPATTACH = IAttach*;

class IMessage : public IMAPIProp {
  public:
    virtual HRESULT GetAttachmentTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT OpenAttach(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags,
                               LPATTACH* lppAttach) = 0;
    virtual HRESULT CreateAttach(LPCIID lpInterface, ULONG ulFlags, ULONG* lpulAttachmentNum,
                                 LPATTACH* lppAttach) = 0;
    virtual HRESULT DeleteAttach(ULONG ulAttachmentNum, ULONG_PTR ulUIParam,
                                 LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT GetRecipientTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods) = 0;

  protected:
    ~IMessage() = default;
};
using LPMESSAGE = IMessage*;

class IMsgStore : public IMAPIProp {
  public:
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                              ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;

  protected:
    ~IMsgStore() = default;
};
using LPMDB = IMsgStore*;

class IMAPISession : public IUnknown {
  public:
    virtual HRESULT GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT OpenMsgStore(ULONG_PTR ulUIParam, ULONG cbEntryID, LPENTRYID lpEntryID,
                                 LPCIID lpInterface, ULONG ulFlags, LPMDB* lppMDB) = 0;
    virtual HRESULT Logoff(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) = 0;

  protected:
    ~IMAPISession() = default;
};
using LPMAPISESSION = IMAPISession*;

class IMsgServiceAdmin : public IUnknown {
  public:
    virtual HRESULT GetMsgServiceTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT CreateMsgService(LPCSTR lpszService, LPCSTR lpszDisplayName,
                                     ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
    virtual HRESULT DeleteMsgService(LPMAPIUID lpUID) = 0;
    virtual HRESULT ConfigureMsgService(LPMAPIUID lpUID, ULONG_PTR ulUIParam, ULONG ulFlags,
                                        ULONG cValues, LPSPropValue lpProps) = 0;

  protected:
    ~IMsgServiceAdmin() = default;
};
using LPSERVICEADMIN = IMsgServiceAdmin*;

class IProfAdmin : public IUnknown {
  public:
    virtual HRESULT CreateProfile(LPCSTR lpszProfileName, LPCSTR lpszPassword, ULONG_PTR ulUIParam,
                                  ULONG ulFlags) = 0;
    virtual HRESULT DeleteProfile(LPCSTR lpszProfileName, ULONG ulFlags) = 0;
    virtual HRESULT AdminServices(LPCSTR lpszProfileName, LPCSTR lpszPassword, ULONG_PTR ulUIParam,
                                  ULONG ulFlags, LPSERVICEADMIN* lppServiceAdmin) = 0;

  protected:
    ~IProfAdmin() = default;
};
using LPPROFADMIN = IProfAdmin*;

}  // namespace mapi
