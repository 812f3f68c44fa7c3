#pragma once
#include <string>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace mailsift::test {

// A throwaway program folder seeded with the shipped configuration, with the start-up
// settings read, so that key files, language lookups and the report log work as in the program.
// The home folder moves into it too: defaults that point into the documents folder (the storage
// folder, the address file) never reach the real one.
class TestProgramFolder {
  public:
    TestProgramFolder();
    const TempDir& dir() const { return dir_; }
    // The report log's contents so far ("" when there is none).
    std::string ReportLog() const;

  private:
    TempDir dir_;
    ScopedEnv programFolder_;
    ScopedEnv home_;
};

}  // namespace mailsift::test
