#pragma once
// The reference counting and interface lookup shared by every MAPI object this program
// implements, and the hand-over of a new object to a caller that names the interface it wants.
#include <atomic>

#include "mapi/mapi_interfaces.h"

namespace mapi {

// COM-style reference counting shared by every object handed out; an object starts with one
// reference, owned by whoever receives it.
template <class Iface>
class ComObject : public Iface {
  public:
    HRESULT QueryInterface(REFIID riid, LPVOID* object) override {
        if (object == nullptr) {
            return MAPI_E_INVALID_PARAMETER;
        }
        if (riid == IID_IUnknown || Supports(riid)) {
            AddRef();
            *object = static_cast<Iface*>(this);
            return S_OK;
        }
        *object = nullptr;
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    virtual bool Supports(REFIID riid) const = 0;

  private:
    std::atomic<ULONG> references_{1};
};

// Hands `object` (holding one reference) to the caller as `riid`, or as itself when no
// interface is named; the reference is dropped when the interface is not supported. `out` is
// whatever slot the caller's method offers: LPVOID, LPUNKNOWN or the interface itself.
template <class Iface, class Out>
HRESULT HandOut(Iface* object, LPCIID riid, Out** out) {
    if (riid == nullptr) {
        *out = object;
        return S_OK;
    }
    LPVOID cast = nullptr;
    const HRESULT hr = object->QueryInterface(*riid, &cast);
    object->Release();
    *out = static_cast<Out*>(cast);
    return hr;
}

}  // namespace mapi
