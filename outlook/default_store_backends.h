#pragma once
// Where the program's store backends meet the store facade. The facade reads Outlook Express
// and mailbox stores by itself; the MS Outlook backend sits a layer above it and is wired in
// here by each program as it starts.

namespace mailsift {

// Puts the MS Outlook, Outlook Express and mailbox backends behind the store facade.
void UseDefaultStoreBackends();

}  // namespace mailsift
