#pragma once
// A process-wide service that tests may replace: the program runs with Default, a test installs
// a recording one and puts the previous one back.
#include <memory>

namespace mailsift::ui {

template <class Interface, class Default>
class ReplaceableService {
  public:
    static Interface& Current() { return *Installed(); }
    // Installs service (none puts Default back) and returns the one that was in force.
    static std::unique_ptr<Interface> Install(std::unique_ptr<Interface> service) {
        if (!service) service = std::make_unique<Default>();
        Installed().swap(service);
        return service;
    }

  private:
    static std::unique_ptr<Interface>& Installed() {
        static std::unique_ptr<Interface> service = std::make_unique<Default>();
        return service;
    }
};

}  // namespace mailsift::ui
