#pragma once
// What the objects with properties share: read-only property access over values an object
// reads itself, or, for the objects over the file's items, the properties of their node.
#include <algorithm>
#include <vector>

#include "mapi-provider/allocator.h"
#include "mapi-provider/name_map.h"
#include "mapi-provider/node.h"
#include "mapi-provider/node_properties.h"
#include "mapi-provider/property_values.h"
#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

template <class Iface>
class PropObject : public mapi::ComObject<Iface> {
  public:
    mapi::HRESULT SaveChanges(mapi::ULONG) override { return mapi::MAPI_E_NO_ACCESS; }

    mapi::HRESULT GetProps(mapi::LPSPropTagArray tags, mapi::ULONG, mapi::ULONG* count,
                           mapi::LPSPropValue* values) override {
        if (count == nullptr || values == nullptr) {
            return mapi::MAPI_E_INVALID_PARAMETER;
        }
        *count = 0;
        *values = nullptr;
        return mapi::Guarded([&] {
            std::vector<mapi::ULONG> wanted =
                tags != nullptr
                    ? std::vector<mapi::ULONG>(tags->aulPropTag, tags->aulPropTag + tags->cValues)
                    : PropTags();
            BufferPtr<mapi::SPropValue> array(
                AllocateRoot<mapi::SPropValue>(std::max<size_t>(wanted.size(), 1)));
            if (array == nullptr) {
                return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
            }
            bool missing = false;
            for (size_t i = 0; i < wanted.size(); ++i) {
                mapi::HRESULT hr = ReadProp(wanted[i], array.get()[i], array.get());
                if (mapi::FAILED(hr)) {
                    SetErrorValue(array.get()[i], wanted[i], hr);
                    missing = true;
                }
            }
            *count = static_cast<mapi::ULONG>(wanted.size());
            *values = array.release();
            return missing ? mapi::MAPI_W_ERRORS_RETURNED : mapi::S_OK;
        });
    }

    mapi::HRESULT GetPropList(mapi::ULONG, mapi::LPSPropTagArray* result) override {
        if (result == nullptr) {
            return mapi::MAPI_E_INVALID_PARAMETER;
        }
        *result = nullptr;
        return mapi::Guarded([&] {
            std::vector<mapi::ULONG> tags = PropTags();
            mapi::LPVOID raw = nullptr;
            if (AllocateBuffer(static_cast<mapi::ULONG>(
                                   mapi::CbNewSPropTagArray(static_cast<mapi::ULONG>(tags.size()))),
                               &raw) != mapi::S_OK) {
                return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
            }
            auto* array = static_cast<mapi::LPSPropTagArray>(raw);
            array->cValues = static_cast<mapi::ULONG>(tags.size());
            std::copy(tags.begin(), tags.end(), array->aulPropTag);
            *result = array;
            return mapi::S_OK;
        });
    }

    mapi::HRESULT OpenProperty(mapi::ULONG, mapi::LPCIID, mapi::ULONG, mapi::ULONG,
                               mapi::LPUNKNOWN* result) override {
        if (result != nullptr) {
            *result = nullptr;
        }
        return mapi::MAPI_E_NO_SUPPORT;
    }

    mapi::HRESULT SetProps(mapi::ULONG, mapi::LPSPropValue,
                           mapi::LPSPropProblemArray* problems) override {
        if (problems != nullptr) {
            *problems = nullptr;
        }
        return mapi::MAPI_E_NO_ACCESS;
    }

    mapi::HRESULT CopyTo(mapi::ULONG, mapi::LPCIID, mapi::LPSPropTagArray, mapi::ULONG_PTR,
                         mapi::LPMAPIPROGRESS, mapi::LPCIID, mapi::LPVOID, mapi::ULONG,
                         mapi::LPSPropProblemArray* problems) override {
        if (problems != nullptr) {
            *problems = nullptr;
        }
        return mapi::MAPI_E_NO_SUPPORT;
    }

    mapi::HRESULT GetNamesFromIDs(mapi::LPSPropTagArray* tags, mapi::LPGUID set, mapi::ULONG,
                                  mapi::ULONG* count, mapi::LPMAPINAMEID** names) override {
        if (count != nullptr) {
            *count = 0;
        }
        if (names != nullptr) {
            *names = nullptr;
        }
        return mapi::Guarded([&] {
            const NameMap* map = Names();
            return map != nullptr ? NamesFromIds(*map, tags, set, count, names)
                                  : mapi::MAPI_E_NO_SUPPORT;
        });
    }

    mapi::HRESULT GetIDsFromNames(mapi::ULONG count, mapi::LPMAPINAMEID* names, mapi::ULONG,
                                  mapi::LPSPropTagArray* tags) override {
        if (tags != nullptr) {
            *tags = nullptr;
        }
        return mapi::Guarded([&] {
            const NameMap* map = Names();
            return map != nullptr ? IdsFromNames(*map, count, names, tags)
                                  : mapi::MAPI_E_NO_SUPPORT;
        });
    }

  protected:
    // The names of the store's named properties, read on first use (it may throw
    // std::bad_alloc); null for an object outside a store.
    virtual const NameMap* Names() { return nullptr; }
    virtual mapi::HRESULT ReadProp(mapi::ULONG tag, mapi::SPropValue& out, void* parent) = 0;
    virtual std::vector<mapi::ULONG> PropTags() = 0;
};

template <class Iface>
class NodeObject : public PropObject<Iface> {
  public:
    explicit NodeObject(NodePtr node) : node_(std::move(node)) {}
    const NodePtr& node() const { return node_; }

  protected:
    mapi::HRESULT ReadProp(mapi::ULONG tag, mapi::SPropValue& out, void* parent) override {
        return ReadNodeProp(node_->view(), tag, out, parent);
    }
    std::vector<mapi::ULONG> PropTags() override { return NodeTags(node_->view()); }
    const NameMap* Names() override { return &NamesOf(*node_->store); }

    NodePtr node_;
};

}  // namespace mailsift::mapi_provider
