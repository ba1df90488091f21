// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ends the body of a window operation with its result; the operation frame
// catches it and shows the message.

#include "shell/window_requests.h"

#include <exception>
#include <string>

namespace corvane {

class WindowFailure : public std::exception {
public:
    explicit WindowFailure(ShownResult result)
        : result_(std::move(result)), what_(result_.message.toStdString()) {}
    const ShownResult& result() const { return result_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    ShownResult result_;
    std::string what_;
};

} // namespace corvane
