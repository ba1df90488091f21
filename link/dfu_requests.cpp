// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/dfu_requests.h"

#include <array>

namespace corvane::dfu {

namespace {

Transfer issue(DeviceLink& link, const TClassRequest& setup, std::uint8_t* data, std::size_t length) {
    if (!link.isOpen())
        return Transfer::Failed;
    if (link.classRequest(setup, data, static_cast<std::uint16_t>(length)))
        return Transfer::Done;
    switch (link.lastRequestFailure()) {
    case RequestFailure::Refused:
        return Transfer::Refused;
    case RequestFailure::TimedOut:
        return Transfer::TimedOut;
    case RequestFailure::Gone:
        return Transfer::Gone;
    case RequestFailure::None: // a backend that does not say why
    case RequestFailure::Other:
        break;
    }
    return Transfer::Failed;
}

} // namespace

TClassRequest setupFor(DfuRequest request) {
    const bool toHost = request == DFU_UPLOAD || request == DFU_GETSTATUS || request == DFU_GETSTATE;
    TClassRequest setup;
    setup.Direction = toHost ? 1 : 0;
    setup.RequestType = wire::kTypeClass;
    setup.Recipient = wire::kRecipientInterface;
    setup.RequestTypeReserved = 0;
    setup.Request = request;
    setup.Filler = 0;
    setup.Value = wire::kRequestValue;
    setup.Index = wire::kRequestIndex;
    return setup;
}

Status decodeStatus(std::span<const std::uint8_t, wire::kStatusAnswer> answer) {
    Status s;
    s.status = answer[0];
    s.pollTimeout = static_cast<std::uint32_t>(answer[1] | (answer[2] << 8) | (answer[3] << 16));
    s.state = answer[4];
    s.iString = answer[5];
    return s;
}

Transfer download(DeviceLink& link, std::span<const std::uint8_t> data) {
    if (data.size() > 0xFFFF)
        return Transfer::Failed;
    // The link only reads the buffer of a host-to-device request.
    auto* bytes = const_cast<std::uint8_t*>(data.data());
    return issue(link, setupFor(DFU_DNLOAD), bytes, data.size());
}

Transfer upload(DeviceLink& link, std::span<std::uint8_t> into) {
    if (into.size() > 0xFFFF)
        return Transfer::Failed;
    return issue(link, setupFor(DFU_UPLOAD), into.data(), into.size());
}

StatusReply getStatus(DeviceLink& link) {
    std::array<std::uint8_t, wire::kStatusAnswer> answer{};
    StatusReply reply;
    reply.transfer = issue(link, setupFor(DFU_GETSTATUS), answer.data(), answer.size());
    if (reply.ok())
        reply.answer = decodeStatus(answer);
    return reply;
}

Transfer clearStatus(DeviceLink& link) {
    return issue(link, setupFor(DFU_CLRSTATUS), nullptr, 0);
}

} // namespace corvane::dfu
