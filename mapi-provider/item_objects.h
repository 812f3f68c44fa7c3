#pragma once
// The folders, messages and attachments of an opened personal folder file as MAPI objects,
// read-only views of its items.
#include <cstdint>
#include <vector>

#include "mapi-provider/attachment_data.h"
#include "mapi-provider/node.h"
#include "mapi-provider/node_tables.h"
#include "mapi-provider/prop_object.h"

namespace mailsift::mapi_provider {

class Folder final : public NodeObject<mapi::IMAPIFolder> {
  public:
    using NodeObject::NodeObject;

    mapi::HRESULT GetContentsTable(mapi::ULONG, mapi::LPMAPITABLE* table) override;
    mapi::HRESULT GetHierarchyTable(mapi::ULONG, mapi::LPMAPITABLE* table) override;
    mapi::HRESULT OpenEntry(mapi::ULONG size, mapi::LPENTRYID entry, mapi::LPCIID riid, mapi::ULONG,
                            mapi::ULONG* objectType, mapi::LPUNKNOWN* result) override;
    mapi::HRESULT OpenProperty(mapi::ULONG tag, mapi::LPCIID riid, mapi::ULONG, mapi::ULONG flags,
                               mapi::LPUNKNOWN* result) override;

  private:
    bool Supports(mapi::REFIID riid) const override {
        return riid == mapi::IID_IMAPIProp || riid == mapi::IID_IMAPIContainer ||
               riid == mapi::IID_IMAPIFolder;
    }

    mapi::HRESULT OpenChildTable(NodeKind kind, mapi::LPMAPITABLE* table);
};

class Attach final : public NodeObject<mapi::IAttach> {
  public:
    using NodeObject::NodeObject;

    mapi::HRESULT OpenProperty(mapi::ULONG tag, mapi::LPCIID riid, mapi::ULONG, mapi::ULONG flags,
                               mapi::LPUNKNOWN* result) override;

  private:
    bool Supports(mapi::REFIID riid) const override {
        return riid == mapi::IID_IMAPIProp || riid == mapi::IID_IAttachment;
    }
};

class Message final : public NodeObject<mapi::IMessage> {
  public:
    using NodeObject::NodeObject;

    mapi::HRESULT GetAttachmentTable(mapi::ULONG, mapi::LPMAPITABLE* table) override;
    mapi::HRESULT OpenAttach(mapi::ULONG number, mapi::LPCIID riid, mapi::ULONG flags,
                             mapi::LPATTACH* result) override;
    mapi::HRESULT CreateAttach(mapi::LPCIID, mapi::ULONG, mapi::ULONG*,
                               mapi::LPATTACH* result) override;
    mapi::HRESULT DeleteAttach(mapi::ULONG, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                               mapi::ULONG) override {
        return mapi::MAPI_E_NO_ACCESS;
    }
    mapi::HRESULT GetRecipientTable(mapi::ULONG, mapi::LPMAPITABLE* table) override;
    mapi::HRESULT ModifyRecipients(mapi::ULONG, mapi::LPADRLIST) override {
        return mapi::MAPI_E_NO_ACCESS;
    }
    mapi::HRESULT OpenProperty(mapi::ULONG tag, mapi::LPCIID riid, mapi::ULONG, mapi::ULONG flags,
                               mapi::LPUNKNOWN* result) override;
    mapi::HRESULT CopyTo(mapi::ULONG excludedInterfaces, mapi::LPCIID interfaces,
                         mapi::LPSPropTagArray excluded, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS,
                         mapi::LPCIID riid, mapi::LPVOID destination, mapi::ULONG,
                         mapi::LPSPropProblemArray* problems) override;

  private:
    // Where the messages a copy is inside of are kept, outermost first: an embedded message
    // found among them would lead the copy round in a circle.
    using Ancestors = std::vector<uint64_t>;
    class CopyOutcome;

    bool Supports(mapi::REFIID riid) const override {
        return riid == mapi::IID_IMAPIProp || riid == mapi::IID_IMessage;
    }

    mapi::HRESULT AttachmentNode(mapi::ULONG number, NodePtr& attachment);

    void CopyInto(mapi::IMessage* destination, const std::vector<mapi::ULONG>& excludedIds,
                  Ancestors& ancestors, CopyOutcome& outcome);
    void CopyRecipients(mapi::IMessage* destination, CopyOutcome& outcome);
    mapi::HRESULT CopyAttachment(mapi::IMessage* destination, mapi::ULONG index,
                                 Ancestors& ancestors);
    mapi::HRESULT CopyAttachmentContent(mapi::IAttach* target, const NodePtr& source,
                                        Ancestors& ancestors);
    static mapi::HRESULT CopyAttachmentData(mapi::IAttach* target, const Node& source);
    static mapi::HRESULT StreamAttachmentData(mapi::IStream* stream, const Node& source,
                                              AttachmentData& data);
};

// The message embedded in `attachment`, holding one reference for the caller.
mapi::HRESULT NewEmbeddedMessage(const NodePtr& attachment, Message** message);

}  // namespace mailsift::mapi_provider
