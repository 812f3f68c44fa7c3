#include "mapi-provider/node_tables.h"

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
    ChildRows(NodePtr owner, NodeKind kind, SubItemGetter getter, int count, bool addressable)
        : owner_(std::move(owner)),
          kind_(kind),
          getter_(getter),
          count_(count),
          addressable_(addressable) {}

    ULONG Count() override { return static_cast<ULONG>(count_); }

    void ReadRow(ULONG row, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) override {
        SharedItem item;
        if (FAILED(OpenChild(static_cast<int>(row), item))) {
            FillErrorRow(tags, values, MAPI_E_CORRUPT_DATA);
            return;
        }
        uint32_t id = 0;
        if (addressable_ && SUCCEEDED(ItemId(item.get(), id))) {
            owner_->store->positions.Remember(id, owner_, getter_, static_cast<int>(row));
        }
        ReadNodeRow({owner_->store.get(), item.get(), kind_, 0, row, addressable_}, tags, values,
                    parent);
    }

  private:
    HRESULT OpenChild(int row, SharedItem& item) {
        if (kind_ == NodeKind::Attachment) {
            return AttachmentItem(*owner_, row, item);
        }
        PffError error;
        libpff_item_t* raw = nullptr;
        const int found = getter_(owner_->item.get(), row, &raw, error.get());
        ItemPtr opened(raw);
        if (found != 1) {
            return MAPI_E_CORRUPT_DATA;
        }
        item = std::move(opened);
        return S_OK;
    }

    NodePtr owner_;
    NodeKind kind_;
    SubItemGetter getter_;
    int count_;
    bool addressable_;
};

class RecipientRows final : public RowSource {
  public:
    RecipientRows(NodePtr message, ItemPtr recipients)
        : message_(std::move(message)), recipients_(std::move(recipients)) {
        if (recipients_ != nullptr) {
            PffError error;
            if (libpff_item_get_number_of_record_sets(recipients_.get(), &count_, error.get()) !=
                    1 ||
                count_ < 0) {
                count_ = 0;
            }
        }
    }
    ~RecipientRows() override = default;

    ULONG Count() override { return static_cast<ULONG>(count_); }

    void ReadRow(ULONG row, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) override {
        ReadNodeRow({message_->store.get(), recipients_.get(), NodeKind::Recipient,
                     static_cast<int>(row), row, false},
                    tags, values, parent);
    }

  private:
    NodePtr message_;
    ItemPtr recipients_;
    int count_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> MakeChildRows(NodePtr owner, NodeKind kind, SubItemGetter getter,
                                         int count, bool addressable) {
    return std::make_unique<ChildRows>(std::move(owner), kind, getter, count, addressable);
}

std::unique_ptr<RowSource> MakeRecipientRows(NodePtr message, ItemPtr recipients) {
    return std::make_unique<RecipientRows>(std::move(message), std::move(recipients));
}

std::vector<ULONG> DefaultColumns() {
    return {PR_ENTRYID, PR_DISPLAY_NAME_W};
}

}  // namespace mailsift::mapi_provider
