// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stdio stream for one chip's output when several chips run at once: every
// line written to it reaches the shared stream whole, prefixed with the
// chip's device number, so that the chips' lines never mix inside a line.

#include <cstdio>
#include <mutex>
#include <string>

namespace corvane::cli {

class PrefixedStream {
public:
    // Lines go to to with prefix in front; lock is shared by every stream
    // that writes to to.
    PrefixedStream(std::FILE* to, std::string prefix, std::mutex& lock);
    ~PrefixedStream(); // a last line without its line end is written too
    PrefixedStream(const PrefixedStream&) = delete;
    PrefixedStream& operator=(const PrefixedStream&) = delete;

    std::FILE* file() const { return file_; }

private:
    static ssize_t writeCookie(void* cookie, const char* data, std::size_t size);
    void emitLine(const std::string& line);

    std::FILE* to_;
    std::string prefix_;
    std::mutex& lock_;
    std::string pending_; // the line begun, without its end
    std::FILE* file_ = nullptr;
};

} // namespace corvane::cli
