#include "outlook/mapi_values.h"

#include <algorithm>
#include <string_view>

#include "mapi/mapi_tags.h"
#include "mapi/utf16.h"
#include "outlook/mapi_library.h"

namespace mailsift {

namespace {

// A value from HrGetOneProp, given back with MAPIFreeBuffer.
class OneProperty {
  public:
    OneProperty(mapi::IMAPIProp* object, mapi::ULONG tag) {
        if (mapi::FAILED(MapiEntries().HrGetOneProp(object, tag, &value_)) || value_ == nullptr ||
            value_->ulPropTag != tag) {
            reset();
        }
    }
    OneProperty(const OneProperty&) = delete;
    OneProperty& operator=(const OneProperty&) = delete;
    ~OneProperty() { reset(); }
    const mapi::SPropValue* get() const { return value_; }

  private:
    void reset() {
        if (value_ != nullptr) MapiEntries().MAPIFreeBuffer(value_);
        value_ = nullptr;
    }
    mapi::LPSPropValue value_ = nullptr;
};

// Text from a wide string of MAPI.
std::string WideToUtf8(const mapi::WCHAR* text) {
    if (text == nullptr) return {};
    return Utf16ToUtf8(text, std::char_traits<char16_t>::length(text));
}

}  // namespace

void MapiRows::reset() {
    if (rows_ != nullptr) MapiEntries().FreeProws(rows_);
    rows_ = nullptr;
}

const mapi::SPropValue* MapiRows::cell(mapi::ULONG index, mapi::ULONG column) const {
    const mapi::SRow& found = rows_->aRow[index];
    return column < found.cValues && found.lpProps != nullptr ? &found.lpProps[column] : nullptr;
}

mapi::HRESULT QueryAllRows(mapi::IMAPITable* table, const std::vector<mapi::ULONG>& columns,
                           MapiRows& rows) {
    std::vector<mapi::ULONG> tags(columns.size() + 1);
    tags[0] = static_cast<mapi::ULONG>(columns.size());
    std::copy(columns.begin(), columns.end(), tags.begin() + 1);
    const mapi::LPSPropTagArray tagArray =
        columns.empty() ? nullptr : reinterpret_cast<mapi::LPSPropTagArray>(tags.data());
    return MapiEntries().HrQueryAllRows(table, tagArray, nullptr, nullptr, 0, rows.out());
}

std::string CellText(const mapi::SPropValue* cell, mapi::ULONG tag) {
    if (cell == nullptr || cell->ulPropTag != tag) return {};
    return WideToUtf8(cell->Value.lpszW);
}

std::vector<mapi::BYTE> CellBytes(const mapi::SPropValue* cell, mapi::ULONG tag) {
    if (cell == nullptr || cell->ulPropTag != tag || cell->Value.bin.lpb == nullptr) return {};
    return {cell->Value.bin.lpb, cell->Value.bin.lpb + cell->Value.bin.cb};
}

std::string ReadTextProperty(mapi::IMAPIProp* object, mapi::ULONG tag) {
    const OneProperty value(object, tag);
    return value.get() != nullptr ? WideToUtf8(value.get()->Value.lpszW) : std::string();
}

bool ReadTimeProperty(mapi::IMAPIProp* object, mapi::ULONG tag, TDateTime& result) {
    const OneProperty value(object, tag);
    if (value.get() == nullptr) return false;
    const mapi::FILETIME& time = value.get()->Value.ft;
    result = DateTimeFromFileTime((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    return true;
}

int32_t ReadLongProperty(mapi::IMAPIProp* object, mapi::ULONG tag) {
    const OneProperty value(object, tag);
    return value.get() != nullptr ? value.get()->Value.l : 0;
}

std::vector<mapi::BYTE> ReadBinaryProperty(mapi::IMAPIProp* object, mapi::ULONG tag) {
    const OneProperty value(object, tag);
    return CellBytes(value.get(), tag);
}

}  // namespace mailsift
