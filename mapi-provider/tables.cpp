#include "mapi-provider/tables.h"

#include <algorithm>

#include "mapi-provider/allocator.h"
#include "mapi-provider/property_values.h"
#include "mapi-provider/stored_props.h"
#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/mapi_tags.h"
#include "mapi/utf16.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

class Table final : public ComObject<IMAPITable> {
  public:
    Table(std::unique_ptr<RowSource> rows, std::vector<ULONG> columns)
        : rows_(std::move(rows)), columns_(std::move(columns)) {}

    HRESULT SetColumns(LPSPropTagArray tags, ULONG) override {
        if (tags == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        return Guarded([&] {
            columns_.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
            return S_OK;
        });
    }

    HRESULT GetRowCount(ULONG, ULONG* count) override {
        if (count == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        *count = rows_->Count();
        return S_OK;
    }

    HRESULT SeekRow(BOOKMARK origin, LONG rowCount, LONG* sought) override {
        const auto total = static_cast<int64_t>(rows_->Count());
        int64_t start = 0;
        if (origin == BOOKMARK_CURRENT) {
            start = position_;
        } else if (origin == BOOKMARK_END) {
            start = total;
        } else if (origin != BOOKMARK_BEGINNING) {
            return MAPI_E_INVALID_PARAMETER;
        }
        const int64_t target = std::clamp<int64_t>(start + rowCount, 0, total);
        if (sought != nullptr) {
            *sought = static_cast<LONG>(target - start);
        }
        position_ = static_cast<ULONG>(target);
        return S_OK;
    }

    HRESULT QueryRows(LONG rowCount, ULONG, LPSRowSet* result) override {
        if (result == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        *result = nullptr;
        if (rowCount < 0) {
            return MAPI_E_NO_SUPPORT;
        }
        return Guarded([&] {
            const ULONG total = rows_->Count();
            const ULONG first = std::min(position_, total);
            const ULONG count = std::min(total - first, static_cast<ULONG>(rowCount));
            LPVOID raw = nullptr;
            if (AllocateBuffer(static_cast<ULONG>(CbNewSRowSet(count)), &raw) != S_OK) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            std::unique_ptr<SRowSet, RowSetDeleter> set(static_cast<LPSRowSet>(raw));
            for (ULONG i = 0; i < count; ++i) {
                auto* values = AllocateRoot<SPropValue>(std::max<size_t>(columns_.size(), 1));
                if (values == nullptr) {
                    return MAPI_E_NOT_ENOUGH_MEMORY;
                }
                set->aRow[i].cValues = static_cast<ULONG>(columns_.size());
                set->aRow[i].lpProps = values;
                set->cRows = i + 1;
                rows_->ReadRow(first + i, columns_, values, values);
            }
            position_ = first + count;
            *result = set.release();
            return S_OK;
        });
    }

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IMAPITable; }

    std::unique_ptr<RowSource> rows_;
    std::vector<ULONG> columns_;
    ULONG position_ = 0;
};

class FixedRows final : public RowSource {
  public:
    explicit FixedRows(std::vector<FixedRow> rows) : rows_(std::move(rows)) {}
    ULONG Count() override { return static_cast<ULONG>(rows_.size()); }
    void ReadRow(ULONG row, const std::vector<ULONG>& tags, SPropValue* values,
                 void* parent) override {
        for (size_t i = 0; i < tags.size(); ++i) {
            SetErrorValue(values[i], tags[i], MAPI_E_NOT_FOUND);
            for (const FixedValue& value : rows_[row]) {
                if (PROP_ID(value.tag) == PROP_ID(tags[i]) &&
                    SUCCEEDED(ReadFixedValue(value, tags[i], values[i], parent))) {
                    break;
                }
            }
        }
    }

  private:
    std::vector<FixedRow> rows_;
};

}  // namespace

LPMAPITABLE NewTable(std::unique_ptr<RowSource> rows, std::vector<ULONG> columns) {
    return new Table(std::move(rows), std::move(columns));
}

void FreeRowSet(LPSRowSet set) {
    for (ULONG i = 0; i < set->cRows; ++i) {
        FreeBuffer(set->aRow[i].lpProps);
    }
    FreeBuffer(set);
}

std::unique_ptr<RowSource> MakeFixedRows(std::vector<FixedRow> rows) {
    return std::make_unique<FixedRows>(std::move(rows));
}

HRESULT ReadFixedValue(const FixedValue& value, ULONG tag, SPropValue& out, void* parent) {
    out.ulPropTag = tag;
    const ULONG type = PROP_TYPE(tag);
    if (const auto* number = std::get_if<ULONG>(&value.value)) {
        if (type != PROP_TYPE(value.tag) && type != PT_UNSPECIFIED) {
            return MAPI_E_NOT_FOUND;
        }
        out.ulPropTag = value.tag;
        out.Value.ul = *number;
        return S_OK;
    }
    if (const auto* text = std::get_if<std::string>(&value.value)) {
        if (type == PT_STRING8) {
            out.Value.lpszA = CopyString8(*text, parent);
            return out.Value.lpszA != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        if (type == PT_UNICODE || type == PT_UNSPECIFIED) {
            out.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
            out.Value.lpszW = CopyString16(Utf8ToUtf16(*text), parent);
            return out.Value.lpszW != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        return MAPI_E_NOT_FOUND;
    }
    const auto& bytes = std::get<std::vector<BYTE>>(value.value);
    if (type != PT_BINARY && type != PT_UNSPECIFIED) {
        return MAPI_E_NOT_FOUND;
    }
    out.ulPropTag = CHANGE_PROP_TYPE(tag, PT_BINARY);
    return CopyBinary(bytes, out, parent);
}

}  // namespace mailsift::mapi_provider
