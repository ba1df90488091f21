#pragma once
// A simulated chip on the bench, the link over it and the operations with a
// recording front end, set up as the window is after start-up.

// The bench first: it has a member named like a Qt keyword macro.
#include "sim/bench.h"

#include "image/memory_images.h"
#include "link/usb.h"
#include "ops/operations.h"
#include "ops/tests/recording_view.h"

#include <cstdio>
#include <string>
#include <vector>

namespace corvane::opstest {

// One request the chip received, in a short form:
//   DESC, "R a,ii" read command, "W a,ii=vv" write command, ERASE,
//   "START m,aaaa", "DISP s aaaa-bbbb", "PROG s aaaa-bbbb", DN0 (empty download),
//   ST status, "UP n" upload, CLR clear status.
inline std::string describe(const sim::LoggedRequest& r) {
    char buf[64];
    if (r.kind == sim::LoggedRequest::Kind::Descriptor)
        return "DESC";
    if (r.kind == sim::LoggedRequest::Kind::Standard)
        return "STD";
    switch (r.bRequest) {
    case DFU_DNLOAD: {
        if (r.wLength == 0)
            return "DN0";
        const auto& d = r.data;
        if (d.size() < 6)
            return "DN?";
        switch (d[0]) {
        case READ_COMMAND:
            std::snprintf(buf, sizeof buf, "R %X,%02X", d[1], d[2]);
            return buf;
        case WRITE_COMMAND:
            if (d[1] == 0 && d[2] == 0xFF)
                return "ERASE";
            if (d[1] == 3) {
                std::snprintf(buf, sizeof buf, "START %d,%02X%02X", d[2], d[3], d[4]);
                return buf;
            }
            std::snprintf(buf, sizeof buf, "W %X,%02X=%02X", d[1], d[2], d[3]);
            return buf;
        case DISPLAY_DATA:
        case PROGRAM_DATA:
            std::snprintf(buf, sizeof buf, "%s %d %02X%02X-%02X%02X", d[0] == DISPLAY_DATA ? "DISP" : "PROG",
                          d[1], d[2], d[3], d[4], d[5]);
            return buf;
        default:
            return "DN?";
        }
    }
    case DFU_GETSTATUS:
        return "ST";
    case DFU_UPLOAD:
        return "UP " + std::to_string(r.wLength);
    case DFU_CLRSTATUS:
        return "CLR";
    default:
        return "REQ " + std::to_string(r.bRequest);
    }
}

struct Rig {
    sim::SimBench bench;
    sim::SimLink link{bench};
    MemoryImages images;
    TUsb usb{link, images};
    RecordingView view;
    TOperations ops{usb, images, view};
    sim::SimChip* chip = nullptr;
    OpsControls& controls = ops.Controls;

    explicit Rig(sim::ChipConfig config = {}) {
        chip = &bench.insert(0, config);
        const bool small = config.controller == sim::Controller::AT89C5130;
        for (std::size_t i = 0; i < chip->flash().size(); ++i)
            chip->flash()[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        for (std::size_t i = 0; i < chip->eeprom().size(); ++i)
            chip->eeprom()[i] = static_cast<std::uint8_t>(i * 3 + 1);
        view.usb = &usb;
        view.images = &images;
        // As after start-up with default settings.
        images.renew(small ? 1 : 0);
        ops.ClearDeviceInfo();
        ops.EnableControls(true);
        for (Ctl c : {Ctl::chkFlash, Ctl::chkEEP, Ctl::chkFuses})
            controls.setChecked(c, true);
        controls.setIndex(Ctl::cbDevice, 0);
        controls.setIndex(Ctl::cbController, small ? 1 : 0);
        forgetHistory();
    }

    // Starts the request log, the fault plan's count and the view's records afresh.
    void forgetHistory() {
        chip->clearLog();
        chip->faults().clear();
        view = RecordingView{};
        view.usb = &usb;
        view.images = &images;
    }

    std::vector<std::string> requests() const {
        std::vector<std::string> out;
        for (const auto& r : chip->log())
            out.push_back(describe(r));
        return out;
    }
    // The commands alone, without status requests, uploads and clears.
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        for (const auto& s : requests())
            if (s != "ST" && s.rfind("UP", 0) != 0 && s != "CLR")
                out.push_back(s);
        return out;
    }

    bool idle() const {
        for (Ctl c :
             {Ctl::ButRead, Ctl::ButErase, Ctl::ButWrite, Ctl::chkFlash, Ctl::chkEEP, Ctl::chkAutoErase,
              Ctl::chkFlashAll, Ctl::chkFuses, Ctl::ButRun, Ctl::chkReset, Ctl::cbDevice, Ctl::cbController})
            if (!controls.enabled(c))
                return false;
        return !usb.isOpen() && !ops.busy() && view.status.isEmpty() &&
               controls.enabled(Ctl::EdStart) == !controls.checked(Ctl::chkReset);
    }
};

} // namespace corvane::opstest
