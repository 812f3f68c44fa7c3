#include "mapi-provider/property_values.h"

#include "mapi-provider/stored_props.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

using namespace mapi;

void SetErrorValue(SPropValue& value, ULONG tag, HRESULT reason) {
    value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
    value.Value.err = reason;
}

HRESULT CopyBinary(const std::vector<BYTE>& bytes, SPropValue& out, void* parent) {
    out.Value.bin.cb = static_cast<ULONG>(bytes.size());
    out.Value.bin.lpb = CopyBytes(bytes.data(), bytes.size(), parent);
    return out.Value.bin.lpb != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

}  // namespace mailsift::mapi_provider
