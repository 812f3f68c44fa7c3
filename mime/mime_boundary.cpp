#include "mime/mime_boundary.h"

#include <random>
#include <string_view>

namespace mailsift {

namespace {

constexpr std::string_view kBoundaryCharacters =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

std::mt19937& Generator() {
    static std::mt19937 generator{std::random_device{}()};
    return generator;
}

char RandomBoundaryCharacter() {
    std::uniform_int_distribution<size_t> pick(0, kBoundaryCharacters.size() - 1);
    return kBoundaryCharacters[pick(Generator())];
}

std::string MakeBoundary() {
    std::string boundary;
    for (int i = 0; i < 34; ++i) boundary += RandomBoundaryCharacter();
    // Positions p and p + 1 counted from 1, p from 2 to 33.
    std::uniform_int_distribution<size_t> place(2, 33);
    const size_t p = place(Generator());
    boundary[p - 1] = '=';
    boundary[p] = '_';
    return boundary;
}

}  // namespace

const std::string& MimeBoundary() {
    static const std::string boundary = MakeBoundary();
    return boundary;
}

std::string NestedMimeBoundary(const std::string& parent) {
    return parent + RandomBoundaryCharacter();
}

}  // namespace mailsift
