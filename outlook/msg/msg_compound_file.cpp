#include "outlook/msg/msg_compound_file.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "outlook/msg/compound_directory.h"

namespace mailsift {

namespace {

constexpr size_t kPiece = 64 * 1024;

void InitializeGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

std::string ReasonOf(GsfOutput* output) {
    const GError* error = output != nullptr ? gsf_output_error(output) : nullptr;
    return error != nullptr && error->message != nullptr ? error->message : "write failed";
}

}  // namespace

// The sink and the open storages, innermost last; each holds one reference.
struct MsgCompoundFile::State {
    std::FILE* file = nullptr;
    GsfOutput* sink = nullptr;
    std::vector<GsfOutfile*> storages;
    bool closed = false;

    GsfOutfile* current() const { return storages.back(); }
};

MsgCompoundFile::MsgCompoundFile(std::FILE* file, const std::string& name)
    : state_(std::make_unique<State>()), name_(name) {
    InitializeGsf();
    state_->file = file;
    state_->sink = gsf_output_stdio_new_FILE(name.c_str(), file, TRUE);
    if (state_->sink == nullptr) {
        Fail("cannot write");
        return;
    }
    GsfOutfile* root = gsf_outfile_msole_new(state_->sink);
    if (root == nullptr) {
        Fail("cannot start a compound file");
        return;
    }
    state_->storages.push_back(root);
}

MsgCompoundFile::~MsgCompoundFile() {
    // Whatever is still open is closed so that the library lets go of it; the caller throws
    // the file away.
    while (!state_->storages.empty()) {
        GsfOutfile* storage = state_->storages.back();
        state_->storages.pop_back();
        gsf_output_close(GSF_OUTPUT(storage));
        g_object_unref(storage);
    }
    if (state_->sink != nullptr) {
        if (!gsf_output_is_closed(state_->sink)) gsf_output_close(state_->sink);
        g_object_unref(state_->sink);
    }
}

bool MsgCompoundFile::Fail(const std::string& what) {
    error_ = name_ + ": " + what;
    return false;
}

bool MsgCompoundFile::SetRootClass(const uint8_t* clsid) {
    if (state_->storages.empty()) return Fail("no compound file");
    auto* root = reinterpret_cast<GsfOutfileMSOle*>(state_->storages.front());
    return gsf_outfile_msole_set_class_id(root, clsid) ? true : Fail("cannot set the class");
}

bool MsgCompoundFile::BeginStorage(const std::string& name) {
    if (state_->storages.empty()) return Fail("no compound file");
    GsfOutput* child = gsf_outfile_new_child(state_->current(), name.c_str(), TRUE);
    if (child == nullptr) return Fail("cannot create storage " + name);
    state_->storages.push_back(reinterpret_cast<GsfOutfile*>(child));
    return true;
}

bool MsgCompoundFile::EndStorage() {
    if (state_->storages.size() < 2) return Fail("no storage open");
    GsfOutfile* storage = state_->current();
    state_->storages.pop_back();
    const bool closed = gsf_output_close(GSF_OUTPUT(storage));
    const std::string reason = closed ? std::string() : ReasonOf(GSF_OUTPUT(storage));
    g_object_unref(storage);
    return closed ? true : Fail(reason);
}

bool MsgCompoundFile::WriteStream(const std::string& name, std::string_view bytes) {
    return WriteStream(name, bytes.size(), [bytes](uint64_t offset, void* buffer, size_t count) {
        std::copy_n(bytes.data() + offset, count, static_cast<char*>(buffer));
        return true;
    });
}

bool MsgCompoundFile::WriteStream(const std::string& name, uint64_t size, const Source& source) {
    if (state_->storages.empty()) return Fail("no compound file");
    GsfOutput* stream = gsf_outfile_new_child(state_->current(), name.c_str(), FALSE);
    if (stream == nullptr) return Fail("cannot create stream " + name);
    std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(size, kPiece)));
    std::string failure;
    for (uint64_t done = 0; done < size && failure.empty();) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(kPiece, size - done));
        if (!source(done, piece.data(), count)) {
            failure = "cannot read the content of " + name;
        } else if (!gsf_output_write(stream, count, piece.data())) {
            failure = ReasonOf(stream);
        }
        done += count;
    }
    if (!gsf_output_close(stream) && failure.empty()) failure = ReasonOf(stream);
    g_object_unref(stream);
    return failure.empty() ? true : Fail(failure);
}

bool MsgCompoundFile::Close() {
    if (state_->storages.empty()) return Fail("no compound file");
    while (state_->storages.size() > 1) {
        if (!EndStorage()) return false;
    }
    GsfOutfile* root = state_->storages.back();
    state_->storages.pop_back();
    bool written = gsf_output_close(GSF_OUTPUT(root));
    std::string reason = written ? std::string() : ReasonOf(GSF_OUTPUT(root));
    g_object_unref(root);
    // The root closes the sink itself, unless it failed first.
    if (!gsf_output_is_closed(state_->sink) && !gsf_output_close(state_->sink) && written) {
        written = false;
        reason = ReasonOf(state_->sink);
    }
    // The library chains each storage's entries into one long list, which readers that recurse
    // per entry cannot follow when a message has thousands of them.
    if (written && !BalanceDirectoryTrees(state_->file, reason)) written = false;
    return written ? true : Fail(reason);
}

}  // namespace mailsift
