#pragma once
#include <stdexcept>

namespace mailsift {

// Raised by the message model, its reader, its writer and its codecs; the store backends catch
// it per message and log its text.
class MimeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace mailsift
