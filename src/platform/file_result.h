#pragma once
// How a platform call fails: the host's error number and the path the call was about, held in
// the value the call returns. The reason travels with the failure, so nothing a later call does
// can overwrite it before the caller reads it.
//
// Both result types test like the std::optional and bool they stand in for: `if (!DeleteFile(p))`
// and `if (auto entry = QueryEntry(p))` read as before, and Error() tells why when it is asked.

#include <cerrno>
#include <optional>
#include <string>
#include <utility>

#include "platform/platform_error.h"

namespace vlm {

// A failed call: errno and the path as the caller named it (a drive path for the file services,
// a host path for the host's own files; empty for a call about an open file without a name).
struct FileError {
    int code = 0;
    std::string path;

    // The host's text for the code, e.g. "No space left on device"; "" for no error.
    std::string Text() const { return code == 0 ? std::string() : PlatformErrorText(code); }
};

// The end of a call that returns nothing else: success, or the error.
class FileStatus {
public:
    FileStatus() = default;  // success
    // A failure. A code of 0 (a host call that failed without saying why) becomes EIO, so a
    // failure never reads as success.
    FileStatus(FileError error) : error_(std::move(error)) {
        if (error_.code == 0)
            error_.code = EIO;
    }

    explicit operator bool() const { return error_.code == 0; }
    // Why the call failed; code 0 when it did not.
    const FileError& Error() const { return error_; }

private:
    FileError error_;
};

// The end of a call that returns a value: the value, or the error.
template <class T>
class FileResult {
public:
    FileResult(T value) : value_(std::move(value)) {}
    FileResult(FileError error) : error_(std::move(error)) {
        if (error_.code == 0)
            error_.code = EIO;
    }
    // The failure of a call this one stands on. Only for a failed status.
    FileResult(const FileStatus& failed) : FileResult(failed.Error()) {}

    explicit operator bool() const { return value_.has_value(); }
    bool has_value() const { return value_.has_value(); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T&& operator*() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    template <class U>
    T value_or(U&& fallback) const& {
        return value_.value_or(std::forward<U>(fallback));
    }
    template <class U>
    T value_or(U&& fallback) && {
        return std::move(value_).value_or(std::forward<U>(fallback));
    }
    // The value as an optional, for a caller that keeps it without the reason.
    operator std::optional<T>() const& { return value_; }
    operator std::optional<T>() && { return std::move(value_); }
    // Why the call failed; code 0 when it did not.
    const FileError& Error() const { return error_; }
    // The status of the call, without its value.
    FileStatus Status() const { return value_ ? FileStatus() : FileStatus(error_); }

    // Compared by value alone, as the optional it stands in for.
    friend bool operator==(const FileResult& result, const std::optional<T>& value) {
        return result.value_ == value;
    }
    friend bool operator==(const FileResult& result, std::nullopt_t) { return !result.value_; }

private:
    std::optional<T> value_;
    FileError error_;
};

}  // namespace vlm
