// Reading speed of the message reader with attachments decoded into files, over a generated
// corpus: plain messages, multipart/alternative messages, and messages with base64
// attachments of 100 KB to 5 MB.
//   bench_mime_read [--write-corpus DIR]
// With --write-corpus the corpus is also left in DIR as .eml files, so other readers can be
// timed on the same mail.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mime/base64.h"
#include "mime/message.h"

namespace {

using mailsift::AppendBase64Lines;
using mailsift::TIdMessage;

std::string Words(std::mt19937& random, size_t lines) {
    static const char* kWords[] = {"salvage", "mailbox",  "message", "the",  "of",      "report",
                                   "meeting", "attached", "please",  "find", "regards", "and"};
    std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
    std::string text;
    for (size_t line = 0; line < lines; ++line) {
        for (int word = 0; word < 11; ++word) {
            text += kWords[pick(random)];
            text += ' ';
        }
        text += "\r\n";
    }
    return text;
}

std::string Headers(size_t n, const std::string& contentType) {
    return "From: \"Sender " + std::to_string(n) + "\" <sender" + std::to_string(n) +
           "@example.com>\r\nTo: a@example.com, \"B, Person\" <b@example.com>\r\n"
           "Subject: =?utf-8?q?Message_n=C2=B0" +
           std::to_string(n) + "?=\r\nDate: Tue, 08 Dec 2026 10:00:00 +0100\r\nMessage-ID: <" +
           std::to_string(n) +
           "@example.com>\r\nMIME-Version: 1.0\r\nContent-Type: " + contentType + "\r\n\r\n";
}

std::vector<std::string> Corpus() {
    std::mt19937 random(20261208);
    std::vector<std::string> corpus;
    for (size_t n = 0; n < 400; ++n) {
        corpus.push_back(Headers(n, "text/plain; charset=utf-8") + Words(random, 40));
    }
    for (size_t n = 0; n < 400; ++n) {
        std::string text = Headers(n, "multipart/alternative; boundary=\"alt\"");
        const std::string body = Words(random, 40);
        text += "--alt\r\nContent-Type: text/plain\r\n\r\n" + body;
        text +=
            "--alt\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: "
            "quoted-printable\r\n\r\n<p>" +
            body + "</p>\r\n--alt--\r\n";
        corpus.push_back(std::move(text));
    }
    std::uniform_int_distribution<size_t> size(100 * 1024, 5 * 1024 * 1024);
    std::uniform_int_distribution<int> byte(0, 255);
    for (size_t n = 0; n < 60; ++n) {
        std::string data(size(random), '\0');
        for (char& c : data) c = static_cast<char>(byte(random));
        std::string text = Headers(n, "multipart/mixed; boundary=\"mix\"");
        text += "--mix\r\nContent-Type: text/plain\r\n\r\n" + Words(random, 5);
        text +=
            "--mix\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
            "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
            "filename=\"data.bin\"\r\n\r\n";
        AppendBase64Lines(data, text);
        text += "--mix--\r\n";
        corpus.push_back(std::move(text));
    }
    return corpus;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> corpus = Corpus();
    size_t total = 0;
    for (const std::string& text : corpus) total += text.size();

    if (argc == 3 && std::string(argv[1]) == "--write-corpus") {
        std::filesystem::create_directories(argv[2]);
        for (size_t i = 0; i < corpus.size(); ++i) {
            std::ofstream(std::filesystem::path(argv[2]) / (std::to_string(i) + ".eml"),
                          std::ios::binary)
                << corpus[i];
        }
    }

    const auto folder = std::filesystem::temp_directory_path() / "mailsift-bench-mime";
    std::filesystem::create_directories(folder);
    double best = 1e30;
    size_t parts = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        parts = 0;
        for (const std::string& text : corpus) {
            TIdMessage message;
            message.AttachmentTempDirectory = folder.string();
            std::istringstream input(text);
            message.ReadFromStream(input);
            parts += message.MessageParts.size();
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    std::filesystem::remove_all(folder);
    std::printf("messages %zu, parts %zu, %.1f MB in %.3f s: %.0f MB/s\n", corpus.size(), parts,
                static_cast<double>(total) / 1e6, best, static_cast<double>(total) / 1e6 / best);
    return 0;
}
