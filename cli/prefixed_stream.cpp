// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/prefixed_stream.h"

#include <stdexcept>

namespace corvane::cli {

PrefixedStream::PrefixedStream(std::FILE* to, std::string prefix, std::mutex& lock)
    : to_(to), prefix_(std::move(prefix)), lock_(lock) {
    cookie_io_functions_t io{};
    io.write = &PrefixedStream::writeCookie;
    file_ = fopencookie(this, "w", io);
    if (!file_)
        throw std::runtime_error("cannot open an output stream");
    setvbuf(file_, nullptr, _IONBF, 0);
}

PrefixedStream::~PrefixedStream() {
    std::fclose(file_);
    if (!pending_.empty())
        emitLine(pending_ + '\n');
}

ssize_t PrefixedStream::writeCookie(void* cookie, const char* data, std::size_t size) {
    auto* self = static_cast<PrefixedStream*>(cookie);
    for (std::size_t i = 0; i < size; ++i) {
        self->pending_.push_back(data[i]);
        if (data[i] == '\n') {
            self->emitLine(self->pending_);
            self->pending_.clear();
        }
    }
    return static_cast<ssize_t>(size);
}

void PrefixedStream::emitLine(const std::string& line) {
    std::lock_guard guard(lock_);
    std::fputs(prefix_.c_str(), to_);
    std::fputs(line.c_str(), to_);
    std::fflush(to_);
}

} // namespace corvane::cli
