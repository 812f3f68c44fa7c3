// Renames the decorated exports of the finished provider library in place: each dynamic
// symbol "Name_N" listed below becomes "Name@N" (same length), and the ELF hash table is
// rebuilt for the new names. Linkers cannot produce such names themselves, since they read
// "@" as a symbol version.
#include <elf.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr const char* kRenamed[] = {"MAPIGetDefaultMalloc_0", "HrQueryAllRows_24", "FreeProws_4",
                                    "HrGetOneProp_12"};

uint32_t ElfHash(const char* name) {
    uint32_t h = 0;
    for (const auto* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        h = (h << 4) + *p;
        const uint32_t g = h & 0xF0000000u;
        if (g != 0) {
            h ^= g >> 24;
        }
        h &= ~g;
    }
    return h;
}

template <class T>
bool Fits(const std::vector<char>& image, uint64_t offset, uint64_t count = 1) {
    return offset <= image.size() && count <= (image.size() - offset) / sizeof(T);
}

int Fail(const std::string& message) {
    std::cerr << "mapi_export_names: " << message << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return Fail("usage: mapi_export_names LIBRARY");
    }
    std::vector<char> image;
    {
        std::ifstream in(argv[1], std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!Fits<Elf64_Ehdr>(image, 0) || std::memcmp(image.data(), ELFMAG, SELFMAG) != 0 ||
        image[EI_CLASS] != ELFCLASS64) {
        return Fail("not a 64-bit ELF file");
    }
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    if (!Fits<Elf64_Shdr>(image, header.e_shoff, header.e_shnum)) {
        return Fail("bad section table");
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), image.data() + header.e_shoff,
                sizeof(Elf64_Shdr) * header.e_shnum);
    const Elf64_Shdr* dynsym = nullptr;
    const Elf64_Shdr* hash = nullptr;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type == SHT_DYNSYM) {
            dynsym = &section;
        } else if (section.sh_type == SHT_HASH) {
            hash = &section;
        } else if (section.sh_type == SHT_GNU_HASH) {
            return Fail("link with --hash-style=sysv");
        }
    }
    if (dynsym == nullptr || hash == nullptr || dynsym->sh_link >= sections.size()) {
        return Fail("no dynamic symbols or no hash table");
    }
    const Elf64_Shdr& dynstr = sections[dynsym->sh_link];
    const uint64_t symbolCount = dynsym->sh_size / sizeof(Elf64_Sym);
    if (!Fits<Elf64_Sym>(image, dynsym->sh_offset, symbolCount) ||
        !Fits<char>(image, dynstr.sh_offset, dynstr.sh_size) ||
        !Fits<uint32_t>(image, hash->sh_offset, 2)) {
        return Fail("bad dynamic sections");
    }
    auto* symbols = reinterpret_cast<Elf64_Sym*>(image.data() + dynsym->sh_offset);
    char* strings = image.data() + dynstr.sh_offset;
    auto nameOf = [&](const Elf64_Sym& symbol) -> char* {
        if (symbol.st_name >= dynstr.sh_size ||
            std::memchr(strings + symbol.st_name, 0, dynstr.sh_size - symbol.st_name) == nullptr) {
            return nullptr;
        }
        return strings + symbol.st_name;
    };

    int renamed = 0;
    for (uint64_t i = 0; i < symbolCount; ++i) {
        char* name = nameOf(symbols[i]);
        for (const char* wanted : kRenamed) {
            if (name != nullptr && std::strcmp(name, wanted) == 0) {
                *std::strrchr(name, '_') = '@';
                ++renamed;
            }
        }
    }
    if (renamed != static_cast<int>(std::size(kRenamed))) {
        // Already renamed by an earlier run counts as done.
        int present = 0;
        for (uint64_t i = 0; i < symbolCount; ++i) {
            const char* name = nameOf(symbols[i]);
            for (const char* wanted : kRenamed) {
                std::string decorated(wanted);
                decorated[decorated.rfind('_')] = '@';
                if (name != nullptr && decorated == name) {
                    ++present;
                }
            }
        }
        if (present != static_cast<int>(std::size(kRenamed))) {
            return Fail("expected exports not found");
        }
    }

    uint32_t counts[2];
    std::memcpy(counts, image.data() + hash->sh_offset, sizeof counts);
    const uint32_t buckets = counts[0];
    const uint32_t chains = counts[1];
    if (buckets == 0 || chains != symbolCount ||
        !Fits<uint32_t>(image, hash->sh_offset, 2ull + buckets + chains)) {
        return Fail("bad hash table");
    }
    std::vector<uint32_t> bucket(buckets, 0);
    std::vector<uint32_t> chain(chains, 0);
    for (uint32_t i = 1; i < chains; ++i) {
        const char* name = nameOf(symbols[i]);
        const uint32_t slot = ElfHash(name != nullptr ? name : "") % buckets;
        chain[i] = bucket[slot];
        bucket[slot] = i;
    }
    char* table = image.data() + hash->sh_offset + 2 * sizeof(uint32_t);
    std::memcpy(table, bucket.data(), bucket.size() * sizeof(uint32_t));
    std::memcpy(table + bucket.size() * sizeof(uint32_t), chain.data(),
                chain.size() * sizeof(uint32_t));

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    return out ? 0 : Fail("cannot write the library");
}
