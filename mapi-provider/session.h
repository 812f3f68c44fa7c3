#pragma once
#include "mapi/mapi_interfaces.h"

namespace mailsift::mapi_provider {

// MAPIInitialize and MAPIUninitialize nest; sessions and profile administration need at
// least one open initialization.
mapi::HRESULT Initialize();
void Uninitialize();

mapi::HRESULT AdminProfiles(mapi::LPPROFADMIN* admin);
mapi::HRESULT LogonEx(mapi::LPCSTR profileName, mapi::LPMAPISESSION* session);

}  // namespace mailsift::mapi_provider
