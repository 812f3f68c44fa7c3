#pragma once
// Ownership of one reference to a MAPI interface.
namespace mapi {

// Releases the interface when it goes out of scope; out() hands its slot to a call that
// returns a new reference.
template <class T>
class InterfaceRef {
  public:
    InterfaceRef() = default;
    InterfaceRef(const InterfaceRef&) = delete;
    InterfaceRef& operator=(const InterfaceRef&) = delete;
    ~InterfaceRef() { reset(); }
    void reset() {
        if (object_ != nullptr) {
            object_->Release();
            object_ = nullptr;
        }
    }
    T** out() {
        reset();
        return &object_;
    }
    T* get() const { return object_; }
    T* detach() {
        T* object = object_;
        object_ = nullptr;
        return object;
    }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

  private:
    T* object_ = nullptr;
};

}  // namespace mapi
