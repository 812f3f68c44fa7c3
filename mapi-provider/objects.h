#pragma once
// The MAPI objects of an opened personal folder file: store, folders, messages, attachments,
// recipients, attachment streams and tables, all read-only views of libpff items.
#include <atomic>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "mapi-provider/pff.h"
#include "mapi/mapi_interfaces.h"

namespace mailsift::mapi_provider {

// COM-style reference counting shared by every object handed out; an object starts with one
// reference, owned by whoever receives it.
template <class Iface>
class ComObject : public Iface {
  public:
    mapi::HRESULT QueryInterface(mapi::REFIID riid, mapi::LPVOID* object) override {
        if (object == nullptr) {
            return mapi::MAPI_E_INVALID_PARAMETER;
        }
        if (riid == mapi::IID_IUnknown || Supports(riid)) {
            AddRef();
            *object = static_cast<Iface*>(this);
            return mapi::S_OK;
        }
        *object = nullptr;
        return mapi::MAPI_E_INTERFACE_NOT_SUPPORTED;
    }
    mapi::ULONG AddRef() override { return ++references_; }
    mapi::ULONG Release() override {
        mapi::ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    virtual bool Supports(mapi::REFIID riid) const = 0;

  private:
    std::atomic<mapi::ULONG> references_{1};
};

// Hands `object` (holding one reference) to the caller as `riid`, or as itself when no
// interface is named; the reference is dropped when the interface is not supported.
template <class Iface>
mapi::HRESULT HandOut(Iface* object, mapi::LPCIID riid, mapi::LPUNKNOWN* out) {
    if (riid == nullptr) {
        *out = object;
        return mapi::S_OK;
    }
    mapi::LPVOID cast = nullptr;
    mapi::HRESULT hr = object->QueryInterface(*riid, &cast);
    object->Release();
    *out = static_cast<mapi::LPUNKNOWN>(cast);
    return hr;
}

// The rows behind a table, read one at a time with whatever columns are set.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual mapi::ULONG Count() = 0;
    // Fills values[i] for tags[i]; a cell without a value holds PT_ERROR and the reason.
    virtual void ReadRow(mapi::ULONG row, const std::vector<mapi::ULONG>& tags,
                         mapi::SPropValue* values, void* parent) = 0;
};

mapi::LPMAPITABLE NewTable(std::unique_ptr<RowSource> rows, std::vector<mapi::ULONG> columns);

// Rows whose values are known in advance (service and store tables). A string is stored once
// as UTF-8 and served in either string form.
struct FixedValue {
    mapi::ULONG tag;
    std::variant<mapi::ULONG, std::string, std::vector<mapi::BYTE>> value;
};
using FixedRow = std::vector<FixedValue>;
std::unique_ptr<RowSource> MakeFixedRows(std::vector<FixedRow> rows);
// Copies one fixed value into `out` as the type `tag` asks for.
mapi::HRESULT ReadFixedValue(const FixedValue& value, mapi::ULONG tag, mapi::SPropValue& out,
                             void* parent);

// Opens the personal folder file at `path` as a message store whose own entry identifier is
// `entryId`.
mapi::HRESULT OpenStore(const std::string& path, std::vector<mapi::BYTE> entryId,
                        mapi::LPMDB* store);

// An error cell: the tag's type becomes PT_ERROR and the value the reason.
void SetErrorValue(mapi::SPropValue& value, mapi::ULONG tag, mapi::HRESULT reason);

}  // namespace mailsift::mapi_provider
