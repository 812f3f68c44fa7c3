#include "outlook/default_store_backends.h"

#include "outlook/outlook_backend.h"
#include "stores/express_backend.h"
#include "stores/mailbox_backend.h"
#include "stores/store_backend.h"

namespace mailsift {

void UseDefaultStoreBackends() {
    ActiveStoreBackends() = {.MSOutlook = &MSOutlookBackend(),
                             .OutlookExpress = &OutlookExpressBackend(),
                             .Mailbox = &MailboxBackend()};
}

}  // namespace mailsift
