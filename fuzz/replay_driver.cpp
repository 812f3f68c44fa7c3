// Replays a fuzz target's seed corpus as an ordinary program: every regular file below the
// directories (or the files) named on the command line goes through LLVMFuzzerTestOneInput once.
// A crash or a sanitizer report fails the run; an empty corpus fails it too, so a corpus that
// went missing is noticed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path root(argv[i]);
        if (std::filesystem::is_regular_file(root)) {
            ok = Replay(root) && ok;
            ++replayed;
            continue;
        }
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
            if (!entry.is_regular_file()) continue;
            ok = Replay(entry.path()) && ok;
            ++replayed;
        }
        if (error) {
            std::fprintf(stderr, "cannot list %s: %s\n", root.c_str(), error.message().c_str());
            ok = false;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "no corpus files replayed\n");
        return 1;
    }
    std::printf("replayed %zu corpus files\n", replayed);
    return ok ? 0 : 1;
}
