#pragma once
#include <optional>
#include <string>

namespace mailsift::test {

// Sets (or with nullopt unsets) an environment variable and restores the old state on exit.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace mailsift::test
