#pragma once
// An in-memory message that records what is copied into it, standing in for the message
// object a .msg file is written through.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mapi/mapi_interfaces.h"
#include "mapi/property_name.h"

namespace mailsift::test {

// One property as received, detached from the caller's buffers.
struct CopiedProp {
    mapi::ULONG tag = 0;
    std::string text;  // strings, as UTF-8
    std::vector<uint8_t> bytes;
    int64_t number = 0;
};
using CopiedProps = std::vector<CopiedProp>;

const CopiedProp* FindProp(const CopiedProps& props, mapi::ULONG tag);

class FakeMessage;

// A stream created for an attachment's data; what is written lands in `data`.
class FakeStream final : public mapi::IStream {
  public:
    explicit FakeStream(std::vector<uint8_t>& data) : data_(data) {}
    mapi::HRESULT QueryInterface(mapi::REFIID, mapi::LPVOID*) override;
    mapi::ULONG AddRef() override { return ++references; }
    mapi::ULONG Release() override { return --references; }
    mapi::HRESULT Read(void*, mapi::ULONG, mapi::ULONG*) override;
    mapi::HRESULT Write(const void*, mapi::ULONG, mapi::ULONG*) override;
    mapi::HRESULT Seek(mapi::LARGE_INTEGER, mapi::DWORD, mapi::ULARGE_INTEGER*) override;

    int references = 0;
    size_t largestWrite = 0;

  private:
    std::vector<uint8_t>& data_;
};

class FakeAttach final : public mapi::IAttach {
  public:
    mapi::HRESULT QueryInterface(mapi::REFIID, mapi::LPVOID*) override;
    mapi::ULONG AddRef() override { return ++references; }
    mapi::ULONG Release() override { return --references; }
    mapi::HRESULT SaveChanges(mapi::ULONG) override;
    mapi::HRESULT GetProps(mapi::LPSPropTagArray, mapi::ULONG, mapi::ULONG*,
                           mapi::LPSPropValue*) override;
    mapi::HRESULT GetPropList(mapi::ULONG, mapi::LPSPropTagArray*) override;
    mapi::HRESULT OpenProperty(mapi::ULONG, mapi::LPCIID, mapi::ULONG, mapi::ULONG,
                               mapi::LPUNKNOWN*) override;
    mapi::HRESULT SetProps(mapi::ULONG, mapi::LPSPropValue, mapi::LPSPropProblemArray*) override;
    mapi::HRESULT CopyTo(mapi::ULONG, mapi::LPCIID, mapi::LPSPropTagArray, mapi::ULONG_PTR,
                         mapi::LPMAPIPROGRESS, mapi::LPCIID, mapi::LPVOID, mapi::ULONG,
                         mapi::LPSPropProblemArray*) override;
    mapi::HRESULT GetNamesFromIDs(mapi::LPSPropTagArray*, mapi::LPGUID, mapi::ULONG, mapi::ULONG*,
                                  mapi::LPMAPINAMEID**) override;
    // Gives each new name the next identifier from 0x8000 and records it in `names`.
    mapi::HRESULT GetIDsFromNames(mapi::ULONG, mapi::LPMAPINAMEID*, mapi::ULONG,
                                  mapi::LPSPropTagArray*) override;

    CopiedProps props;
    std::vector<mapi::PropertyName> names;
    std::unique_ptr<FakeMessage> embedded;
    // Data written through a PR_ATTACH_DATA_BIN stream, when the attachment offers one.
    bool offersStreams = true;
    std::vector<uint8_t> streamed;
    std::unique_ptr<FakeStream> stream;
    mapi::ULONG number = 0;
    int saves = 0;
    // Every reference handed out must be given back.
    int references = 0;
};

class FakeMessage final : public mapi::IMessage {
  public:
    mapi::HRESULT QueryInterface(mapi::REFIID, mapi::LPVOID*) override;
    mapi::ULONG AddRef() override { return ++references; }
    mapi::ULONG Release() override { return --references; }
    mapi::HRESULT SaveChanges(mapi::ULONG) override;
    mapi::HRESULT GetProps(mapi::LPSPropTagArray, mapi::ULONG, mapi::ULONG*,
                           mapi::LPSPropValue*) override;
    mapi::HRESULT GetPropList(mapi::ULONG, mapi::LPSPropTagArray*) override;
    mapi::HRESULT OpenProperty(mapi::ULONG, mapi::LPCIID, mapi::ULONG, mapi::ULONG,
                               mapi::LPUNKNOWN*) override;
    mapi::HRESULT SetProps(mapi::ULONG, mapi::LPSPropValue, mapi::LPSPropProblemArray*) override;
    mapi::HRESULT CopyTo(mapi::ULONG, mapi::LPCIID, mapi::LPSPropTagArray, mapi::ULONG_PTR,
                         mapi::LPMAPIPROGRESS, mapi::LPCIID, mapi::LPVOID, mapi::ULONG,
                         mapi::LPSPropProblemArray*) override;
    mapi::HRESULT GetNamesFromIDs(mapi::LPSPropTagArray*, mapi::LPGUID, mapi::ULONG, mapi::ULONG*,
                                  mapi::LPMAPINAMEID**) override;
    // Gives each new name the next identifier from 0x8000 and records it in `names`.
    mapi::HRESULT GetIDsFromNames(mapi::ULONG, mapi::LPMAPINAMEID*, mapi::ULONG,
                                  mapi::LPSPropTagArray*) override;
    mapi::HRESULT GetAttachmentTable(mapi::ULONG, mapi::LPMAPITABLE*) override;
    mapi::HRESULT OpenAttach(mapi::ULONG, mapi::LPCIID, mapi::ULONG, mapi::LPATTACH*) override;
    mapi::HRESULT CreateAttach(mapi::LPCIID, mapi::ULONG, mapi::ULONG*, mapi::LPATTACH*) override;
    mapi::HRESULT DeleteAttach(mapi::ULONG, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                               mapi::ULONG) override;
    mapi::HRESULT GetRecipientTable(mapi::ULONG, mapi::LPMAPITABLE*) override;
    mapi::HRESULT ModifyRecipients(mapi::ULONG, mapi::LPADRLIST) override;

    CopiedProps props;
    std::vector<mapi::PropertyName> names;
    std::vector<CopiedProps> recipients;
    std::vector<std::unique_ptr<FakeAttach>> attachments;
    bool attachmentsOfferStreams = true;
    mapi::ULONG nextAttachNumber = 0;
    int saves = 0;
    int references = 0;
};

}  // namespace mailsift::test
