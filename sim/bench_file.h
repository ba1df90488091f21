// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bench file: which chip sits in which slot, how it behaves and which
// faults it has, and the other devices on the simulated bus.

#include "sim/chip.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::sim {

// A device on the simulated bus that is not a bootloader (for the libusb
// stand-in's device list).
struct ForeignDevice {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t bus = 1;
    std::vector<std::uint8_t> ports;
};

// The bench file: one section per slot, keys in any order, '#' comments.
//
//   [slot 0]
//   controller = AT89C5131        # or AT89C5130
//   timing = fast                 # or realistic
//   erase = blocking              # or busy
//   busy-polls = 3                # fast timing, busy erase: status requests answered busy
//   leave-early = no              # yes: RUN's empty download fails, the chip starts anyway
//   vendor = 03EB                 # hexadecimal
//   product = 2FFD
//   ssb = FF                      # initial bytes: bsb sbv ssb eb hsb p1cf p3cf p4cf
//   bus = 1
//   ports = 2.1                   # port path, dot-separated
//   attached = yes                # no: the socket starts empty (bench control)
//   refuse-open = no              # yes: opening fails for lack of permission
//   kernel-driver = no            # yes: a kernel driver is bound to interface 0
//   fail-descriptor = no
//   fail-request = 5              # request numbers, comma-separated
//   timeout-request = 6           # request numbers that time out, comma-separated
//   status = 7:3                  # request 7 answers status 3
//   vanish-after = 12
//   short-upload = 9:100          # upload request 9 answers 100 bytes
//   stuck-flash = 0123, 7FF0      # FLASH cells that ignore programming
//
//   [foreign]                     # other USB devices on the bus (repeatable)
//   device = 1D6B:0002 bus=1 ports=
struct BenchConfig {
    std::map<int, ChipConfig> chips;
    std::map<int, FaultPlan> faults;
    std::vector<ForeignDevice> foreign;
    // The bench file it was read from; empty when it came from elsewhere.
    std::filesystem::path file;
};

// Parses the bench file's text. False with a message naming the line on error.
bool parseBenchConfig(const std::string& text, BenchConfig& out, std::string* error = nullptr);

// The set-up of a bench in stateDir: the bench file at file (default
// <stateDir>/bench.conf) or, when there is none, the chips stored in the
// folder (one AT89C5131 in slot 0 if none). Throws std::runtime_error naming
// the file (and the line) when a bench file that is there, or the named
// one, cannot be read or parsed, or a stored chip names an unknown type.
BenchConfig readBenchSetUp(const std::filesystem::path& stateDir,
                           const std::optional<std::filesystem::path>& file = {});

} // namespace corvane::sim
