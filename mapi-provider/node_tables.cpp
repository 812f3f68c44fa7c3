#include "mapi-provider/node_tables.h"

#include <algorithm>

#include "mapi-provider/node_properties.h"
#include "mapi-provider/property_values.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

void FillErrorRow(const std::vector<ULONG>& tags, SPropValue* values, HRESULT reason) {
    for (size_t i = 0; i < tags.size(); ++i) {
        SetErrorValue(values[i], tags[i], reason);
    }
}

// Sub-folders, messages and attachments of one item, opened row by row.
class ChildRows final : public RowSource {
  public:
    ChildRows(NodePtr owner, NodeKind kind, std::vector<uint32_t> ids)
        : owner_(std::move(owner)), kind_(kind), ids_(std::move(ids)) {}

    ULONG Count() override {
        return static_cast<ULONG>(kind_ == NodeKind::Attachment ? owner_->item->attachments.size()
                                                                : ids_.size());
    }

    void ReadRow(ULONG row, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) override {
        // The export lists a folder by entry identifier only and opens each message after;
        // reading the message for its row as well would read every message twice.
        if (kind_ != NodeKind::Attachment &&
            std::all_of(tags.begin(), tags.end(), [](ULONG tag) { return tag == PR_ENTRYID; })) {
            for (size_t i = 0; i < tags.size(); ++i) {
                const HRESULT hr = EntryIdValue(*owner_->store, ids_.at(row), values[i], parent);
                if (FAILED(hr)) SetErrorValue(values[i], tags[i], hr);
            }
            return;
        }
        SharedItem item;
        const HRESULT hr = kind_ == NodeKind::Attachment
                               ? AttachmentItem(*owner_, static_cast<int>(row), item)
                               : owner_->store->file->ItemById(ids_.at(row), item);
        if (FAILED(hr)) {
            FillErrorRow(tags, values, MAPI_E_CORRUPT_DATA);
            return;
        }
        ReadNodeRow({owner_->store.get(), item.get(), kind_, 0, row, kind_ != NodeKind::Attachment},
                    tags, values, parent);
    }

  private:
    NodePtr owner_;
    NodeKind kind_;
    std::vector<uint32_t> ids_;
};

class RecipientRows final : public RowSource {
  public:
    RecipientRows(NodePtr message, SharedItem recipients)
        : message_(std::move(message)), recipients_(std::move(recipients)) {}

    ULONG Count() override { return static_cast<ULONG>(recipients_->records.size()); }

    void ReadRow(ULONG row, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) override {
        ReadNodeRow({message_->store.get(), recipients_.get(), NodeKind::Recipient,
                     static_cast<int>(row), row, false},
                    tags, values, parent);
    }

  private:
    NodePtr message_;
    SharedItem recipients_;
};

}  // namespace

std::unique_ptr<RowSource> MakeChildRows(NodePtr owner, NodeKind kind, std::vector<uint32_t> ids) {
    return std::make_unique<ChildRows>(std::move(owner), kind, std::move(ids));
}

std::unique_ptr<RowSource> MakeAttachmentRows(NodePtr owner) {
    return std::make_unique<ChildRows>(std::move(owner), NodeKind::Attachment,
                                       std::vector<uint32_t>{});
}

std::unique_ptr<RowSource> MakeRecipientRows(NodePtr message, SharedItem recipients) {
    return std::make_unique<RecipientRows>(std::move(message), std::move(recipients));
}

std::vector<ULONG> DefaultColumns() {
    return {PR_ENTRYID, PR_DISPLAY_NAME_W};
}

}  // namespace mailsift::mapi_provider
