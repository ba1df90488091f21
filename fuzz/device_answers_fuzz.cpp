// SPDX-License-Identifier: GPL-3.0-or-later
// A device that answers from the fuzz input: the descriptor, every upload and
// whether each request succeeds come from the input's bytes, so the link and
// the operations meet answers no chip gives. Whatever comes back, each
// operation ends with the channel closed, and a failure with its message.

#include "fuzz_support.h"
#include "shell/window_ops.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace corvane;

class InputLink : public DeviceLink {
public:
    InputLink(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool open(int) override {
        open_ = take() != 0xEE; // now and then the device is not there
        return open_;
    }
    bool isOpen() const override { return open_; }
    bool getDeviceDescriptor(DeviceDescriptor& out) override {
        if (take() == 0xEE)
            return false;
        // Mostly the bootloader's identifiers, so that the operations get past them.
        out = {18, 1, 0x10, 0x01, 0, 0, 0, 32, 0xEB, 0x03, 0xFD, 0x2F, 0, 0x10, 0, 0, 0, 1};
        if (take() & 1)
            fill(out.data(), out.size());
        return true;
    }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        if (!open_ || pos_ >= size_)
            return false; // a device that has said all it had to say is gone
        const std::uint8_t how = take();
        if (how == 0xEE)
            return false;
        if (setup.Direction == 1 && length > 0) {
            if (how & 1)
                std::memset(data, 0, length); // the common good answer: status OK
            else
                fill(data, length);
        }
        return true;
    }
    void close() override { open_ = false; }
    // The erase polling and the watch after a start end at once for a device
    // that is gone, instead of asking again until their time is up.
    RequestFailure lastRequestFailure() const override {
        return pos_ >= size_ ? RequestFailure::Gone : RequestFailure::Other;
    }

private:
    std::uint8_t take() { return pos_ < size_ ? data_[pos_++] : 0; }
    void fill(std::uint8_t* out, std::size_t n) {
        const std::size_t got = std::min(n, size_ - pos_);
        std::memcpy(out, data_ + pos_, got);
        std::memset(out + got, 0, n - got);
        pos_ += got;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool open_ = false;
};

class QuietView : public OpsView, public MessagePresenter {
public:
    void setStatusText(const QString&) override {}
    void processMessages() override {}
    void pause(int) override {}
    void progressChanged(const ProgressModel&) override {}
    void takeViewIntoImage(MemKind) override {}
    void refreshView(MemKind) override {}
    void addHexLine(std::int32_t) override {}
    MessagePresenter& messagePresenter() override { return *this; }
    int showMessageBox(const QString&, const QString&, MessageKind, MessageButtons, bool) override {
        return MessageResult::Abort;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t plan = data[0];
    InputLink link(data + 1, size - 1);
    MemoryImages images;
    images.renew((plan >> 7) & 1);
    images.FlashImage[0] = 0x02; // something to write
    images.EepromImage[5] = 0x5A;
    QuietView view;
    TOperations ops(link, images, view);
    ops.Hr.Enabled = false; // no real waits between erase polls
    ops.EnableControls(true);

    OpsControls& c = ops.Controls;
    c.setChecked(Ctl::chkFlash, (plan & 0x01) != 0);
    c.setChecked(Ctl::chkEEP, (plan & 0x02) != 0);
    c.setChecked(Ctl::chkFuses, (plan & 0x04) != 0);
    c.setChecked(Ctl::chkAutoErase, (plan & 0x08) != 0);
    c.setChecked(Ctl::chkReset, (plan & 0x10) != 0);
    ShownResult (TOperations::*const clicks[])() = {&TOperations::ButReadClick, &TOperations::ButWriteClick,
                                                    &TOperations::ButEraseClick, &TOperations::ButRunClick};
    const int first = (plan >> 5) & 3;
    for (int i = 0; i < 4; ++i) {
        const ShownResult result = (ops.*clicks[(first + i) % 4])();
        fuzz::require(result.ok() || !result.message.isEmpty(), "a failure says what failed");
        fuzz::require(!ops.busy(), "an operation ends");
        fuzz::require(!ops.channelOpen(), "an operation closes the channel");
    }
    return 0;
}
