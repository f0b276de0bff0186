#pragma once
// What the reliability tests share: a Dialogs that answers every question the same way and
// keeps what was shown, snapshots of real trees (path → bytes), and the checks that say a tree
// lost nothing.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/temp_drives.h"
#include "util/dialogs.h"

namespace vlm::test {

// Answers every question with one fixed answer, shows nothing and records every box. Unlike the
// scripted dialogs it does not know beforehand which questions a failure will bring.
class AnsweringDialogs : public Dialogs {
public:
    explicit AnsweringDialogs(Answer answer = Answer::No) : answer_(answer) { SetDialogs(this); }
    ~AnsweringDialogs() override { SetDialogs(nullptr); }
    AnsweringDialogs(const AnsweringDialogs&) = delete;
    AnsweringDialogs& operator=(const AnsweringDialogs&) = delete;

    Answer Show(BoxType, Buttons buttons, const std::string& text) override {
        texts.push_back(text);
        return buttons == Buttons::Ok ? Answer::Ok : answer_;
    }
    std::optional<std::string> Input(const std::string&, const std::string&,
                                     const std::string&) override {
        return std::nullopt;
    }
    void Beep() override {}

    std::vector<std::string> texts;

private:
    Answer answer_;
};

// The bytes of a file as a snapshot keeps them: short files as they are, longer ones as their
// size and an FNV-1a hash, so that a failure message stays readable.
inline std::string Fingerprint(const std::string& bytes) {
    if (bytes.size() <= 64)
        return bytes;
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    char text[64];
    std::snprintf(text, sizeof text, "<%zu bytes, fnv %016llx>", bytes.size(),
                  static_cast<unsigned long long>(hash));
    return text;
}

// Every file below `hostRoot` with its fingerprint; folders as entries with the value "<dir>".
// Links are not followed.
inline std::map<std::string, std::string> Snapshot(const std::string& hostRoot) {
    std::map<std::string, std::string> files;
    if (!std::filesystem::exists(hostRoot))
        return files;
    for (auto it = std::filesystem::recursive_directory_iterator(hostRoot);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        const std::string relative =
            std::filesystem::relative(it->path(), hostRoot).generic_string();
        if (it->is_symlink())
            files[relative] = "<link>";
        else if (it->is_directory())
            files[relative] = "<dir>";
        else
            files[relative] = Fingerprint(ReadFile(it->path().string()));
    }
    return files;
}

// The places where two snapshots differ, for a failure message.
inline std::string Differences(const std::map<std::string, std::string>& actual,
                               const std::map<std::string, std::string>& expected) {
    std::string text;
    for (const auto& [path, bytes] : actual) {
        auto it = expected.find(path);
        if (it == expected.end())
            text += "\n  extra: " + path + " = " + bytes;
        else if (it->second != bytes)
            text += "\n  differs: " + path + " = " + bytes + ", expected " + it->second;
    }
    for (const auto& [path, bytes] : expected)
        if (actual.find(path) == actual.end())
            text += "\n  missing: " + path + " = " + bytes;
    return text;
}

// Names of temporary files (of the safe writer) anywhere below `hostRoot`.
inline std::vector<std::string> TemporaryFilesBelow(const std::string& hostRoot) {
    std::vector<std::string> found;
    if (!std::filesystem::exists(hostRoot))
        return found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(hostRoot))
        if (IsTemporaryFileName(entry.path().filename().string()))
            found.push_back(entry.path().string());
    return found;
}

// The tree as a mirror compares it: names, kinds, sizes, contents and file times to the 2-second
// stamp. Attributes are not copied, so the read-only bit does not count.
inline std::vector<TreeEntry> MirrorView(const std::string& root) {
    auto tree = ReadTree(root);
    for (auto& entry : tree) {
        entry.mtime -= entry.mtime % 2;
        entry.readOnly = false;
    }
    return tree;
}

// Every file of `now` is, byte for byte, either the one of `before` or the one of `source` at
// the same place. Returns the first file that is neither, or nothing.
inline std::optional<std::string> FileNeitherOldNorNew(
    const std::map<std::string, std::string>& now, const std::map<std::string, std::string>& before,
    const std::map<std::string, std::string>& source) {
    for (const auto& [path, bytes] : now) {
        if (bytes == "<dir>")
            continue;
        auto old = before.find(path);
        auto fresh = source.find(path);
        const bool isOld = old != before.end() && old->second == bytes;
        const bool isNew = fresh != source.end() && fresh->second == bytes;
        if (!isOld && !isNew)
            return path + " (" + std::to_string(bytes.size()) + " bytes)";
    }
    return std::nullopt;
}

}  // namespace vlm::test
