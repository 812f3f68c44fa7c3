#include "support/file_helpers.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace mailsift::test {

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string SharedFixturesDir() {
    std::filesystem::path dir = std::filesystem::path(MAILSIFT_SHARED_DIR) / "fixtures";
    std::error_code error;
    return std::filesystem::is_directory(dir, error) ? dir.string() : std::string();
}

}  // namespace mailsift::test
