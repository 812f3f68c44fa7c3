#pragma once
#include "stores/store_backend.h"

namespace mailsift {

// The program's MS Outlook backend: personal folder files read through the MAPI library.
StoreBackend& MSOutlookBackend();

}  // namespace mailsift
