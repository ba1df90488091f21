// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A short name for each request a simulated chip received, for tests that
// check what a program sent: DESC, "R a,ii" read command, "W a,ii=vv" write
// command, ERASE, "START m,aaaa", "DISP s aaaa-bbbb", "PROG s aaaa-bbbb",
// DN0 (empty download), ST status, "UP n" upload, CLR.

#include "sim/bench.h"

#include <cstdio>
#include <string>
#include <vector>

namespace corvane::sim {

inline std::string describe(const LoggedRequest& r) {
    if (r.kind != LoggedRequest::Kind::Class)
        return r.kind == LoggedRequest::Kind::Descriptor ? "DESC" : "STD";
    if (r.bRequest == DFU_GETSTATUS)
        return "ST";
    if (r.bRequest == DFU_CLRSTATUS)
        return "CLR";
    if (r.bRequest == DFU_UPLOAD)
        return "UP " + std::to_string(r.wLength);
    if (r.bRequest != DFU_DNLOAD)
        return "REQ " + std::to_string(r.bRequest);
    if (r.wLength == 0)
        return "DN0";
    const auto& d = r.data;
    char buf[64] = "DN?";
    if (d.size() < 3)
        return buf;
    if (d[0] == READ_COMMAND)
        std::snprintf(buf, sizeof buf, "R %X,%02X", d[1], d[2]);
    else if (d[0] == WRITE_COMMAND && d[1] == 0 && d[2] == 0xFF)
        return "ERASE";
    else if (d[0] == WRITE_COMMAND && d[1] == 3)
        std::snprintf(buf, sizeof buf, "START %d,%02X%02X", d[2], d.size() > 3 ? d[3] : 0,
                      d.size() > 4 ? d[4] : 0);
    else if (d[0] == WRITE_COMMAND && d.size() > 3)
        std::snprintf(buf, sizeof buf, "W %X,%02X=%02X", d[1], d[2], d[3]);
    else if ((d[0] == DISPLAY_DATA || d[0] == PROGRAM_DATA) && d.size() >= 6)
        std::snprintf(buf, sizeof buf, "%s %d %02X%02X-%02X%02X", d[0] == DISPLAY_DATA ? "DISP" : "PROG",
                      d[1], d[2], d[3], d[4], d[5]);
    return buf;
}

// Every request the chip received, by its short name.
inline std::vector<std::string> describeLog(const SimChip& chip) {
    std::vector<std::string> out;
    for (const LoggedRequest& r : chip.log())
        out.push_back(describe(r));
    return out;
}

} // namespace corvane::sim
