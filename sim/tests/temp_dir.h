// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh state folder for a bench, removed with everything in it.

#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace corvane::sim {

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / ("corvane-bench-test-" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name) << text;
    }

private:
    std::filesystem::path path_;
};

} // namespace corvane::sim
