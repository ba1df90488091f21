// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// System facts for the About box, read from the running machine.

#include <QString>
#include <optional>

namespace corvane {

// "MemTotal:" of a /proc/meminfo text, in KB.
std::optional<quint64> memTotalKB(const QString& meminfo);

struct CpuInfo {
    int count = 0; // logical processors
    QString model; // processor type
};

// Processors and their type from a /proc/cpuinfo text ("model name", or on
// other architectures "Processor", "cpu model", "Hardware", "cpu").
CpuInfo parseCpuInfo(const QString& cpuinfo);

// The two lines of the About box: "<n> KB" and "Linux <arch>, <n> x <type>"
// (falling back to the processor count and the architecture when /proc is not
// readable).
QString availableMemoryText();
QString platformCpuText();

} // namespace corvane
