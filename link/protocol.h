// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names of what goes over the wire between the programmer and the chip's DFU
// bootloader: request codes, setup fields, status and state codes, and the
// bootloader's command frames. Both the link and the simulated chip use these
// names; each side implements its own behaviour. Which byte a read or write
// command names (its area and index) is the chip table's (core/chip_table.h).

#include <cstddef>
#include <cstdint>

namespace corvane {

// DFU class request codes (bRequest).
enum DfuRequest : std::uint8_t {
    DFU_DETACH = 0,
    DFU_DNLOAD = 1,
    DFU_UPLOAD = 2,
    DFU_GETSTATUS = 3,
    DFU_CLRSTATUS = 4,
    DFU_GETSTATE = 5,
    DFU_ABORT = 6,
};

// Status codes of a DFU status answer (byte 0).
enum DfuStatus : std::uint8_t {
    OK = 0x00,
    errTARGET = 0x01,
    errFILE = 0x02,
    errWRITE = 0x03,
    errERASE = 0x04,
    errCHECK_ERASED = 0x05,
    errPROG = 0x06,
    errVERIFY = 0x07,
    errADDRESS = 0x08,
    errNOTDONE = 0x09,
    errFIRMWARE = 0x0A,
    errVENDOR = 0x0B,
    errUSBR = 0x0C,
    errPOR = 0x0D,
    errUNKNOWN = 0x0E,
    errSTALLEDPKT = 0x0F,
};

// Device states of a DFU status answer (byte 4) and of a state answer.
enum DfuState : std::uint8_t {
    appIDLE = 0,
    appDETACH = 1,
    dfuIDLE = 2,
    dfuDNLOAD_SYNC = 3,
    dfuDNBUSY = 4,
    dfuDNLOAD_IDLE = 5,
    dfuMANIFEST_SYNC = 6,
    dfuMANIFEST = 7,
    dfuMANIFEST_WAIT_RESET = 8,
    dfuUPLOAD_IDLE = 9,
    dfuERROR = 10,
};

// Command codes of the bootloader frames (byte 0).
enum BootCommand : std::uint8_t {
    PROGRAM_DATA = 0x01,
    DISPLAY_DATA = 0x03,
    WRITE_COMMAND = 0x04,
    READ_COMMAND = 0x05,
};

namespace wire {

// Setup fields every class request of the programmer carries.
constexpr std::uint8_t kTypeClass = 1;          // RequestType: class request
constexpr std::uint8_t kRecipientInterface = 1; // Recipient: an interface
constexpr std::uint16_t kRequestValue = 0;      // wValue
constexpr std::uint16_t kRequestIndex = 4;      // wIndex
// bmRequestType of a class request to an interface, by direction.
constexpr std::uint8_t kClassOut = 0x21;
constexpr std::uint8_t kClassIn = 0xA1;

// Answer length of a status request.
constexpr std::size_t kStatusAnswer = 6;

// Frame geometry (the most data bytes one program or display command takes
// is the chip table's kMaxFrame).
constexpr std::size_t kFrame = 32;           // a command frame as the programmer sends it
constexpr std::size_t kProgramSuffix = 16;   // bytes after a program command's data
constexpr std::size_t kProgramData = kFrame; // offset of a program command's data
// The bytes a command uses; a shorter frame is read as padded with zeros.
constexpr std::size_t kReadWriteBytes = 3; // read and write commands
constexpr std::size_t kStartBytes = 5;     // write command, start application
constexpr std::size_t kRangeBytes = 6;     // display and program headers

// Memory selectors (byte 1 of display and program commands).
constexpr std::uint8_t kSelectFlash = 0x00;
constexpr std::uint8_t kSelectBlankCheck = 0x01; // display command: blank check of FLASH
constexpr std::uint8_t kSelectEeprom = 0x02;

// Areas (byte 1) of the write command that are no configuration byte's
// (the configuration bytes' areas and indexes are in core/chip_table.h).
constexpr std::uint8_t kWriteErase = 0x00; // index: 0xFF chip erase, else a FLASH block
constexpr std::uint8_t kWriteStart = 0x03; // index: 0 reset, 1 jump; bytes 3-4 the address
constexpr std::uint8_t kChipErase = 0xFF;
constexpr std::uint8_t kStartReset = 0x00;
constexpr std::uint8_t kStartJump = 0x01;

} // namespace wire

} // namespace corvane
