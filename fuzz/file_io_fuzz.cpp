// SPDX-License-Identifier: GPL-3.0-or-later
// A file's content through the file module. The first input byte picks the
// extension (.hex or .bin) and the memory; the rest is the file. A load that
// fails leaves the image as it was; a load that succeeds saves as Intel HEX
// and as binary, and each saved file loads back into the same image.

#include "fuzz_support.h"
#include "image/file_io.h"

namespace {

using namespace corvane;

class Host : public FileHost, public MessagePresenter {
public:
    MemoryImages Images;
    int FilterIndex = 1;
    int Boxes = 0;

    TBuffer& image(MemKind kind) override { return Images.image(kind); }
    void setFileNameField(MemKind, const QString&) override {}
    void refreshView(MemKind) override {}
    void focusView(MemKind) override {}
    TBuffer viewData(MemKind kind) const override { return Images.image(kind); }
    int saveFilterIndex() const override { return FilterIndex; }
    void setSaveFileName(const QString&) override {}
    int showMessageBox(const QString&, const QString&, MessageKind, MessageButtons, bool) override {
        ++Boxes;
        return MessageResult::Abort;
    }
};

// Loads name into a fresh host's image of that kind; the image, or an abort.
TBuffer loadBack(const QString& name, MemKind kind) {
    Host host;
    TFileIo files(host, host);
    fuzz::require(files.LoadFile(name, kind), "a saved file loads");
    return host.Images.image(kind);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool hex = (data[0] & 1) != 0;
    const MemKind kind = (data[0] & 2) != 0 ? MEM_EEPROM : MEM_FLASH;
    const QString input = fuzz::scratchFile(hex ? QStringLiteral("in.hex") : QStringLiteral("in.bin"));
    fuzz::writeFileOrAbort(input, QByteArray(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1)));

    Host host;
    // Something other than the erased state, to see that a failed load keeps it.
    for (std::size_t a = 0; a < host.Images.image(kind).size(); ++a)
        host.Images.image(kind)[a] = std::uint8_t(a * 7);
    const TBuffer before = host.Images.image(kind);
    TFileIo files(host, host);
    if (!files.LoadFile(input, kind)) {
        fuzz::require(host.Boxes == 1, "a failed load shows one message");
        fuzz::require(host.Images.image(kind) == before, "a failed load keeps the image");
        return 0;
    }
    fuzz::require(host.Boxes == 0, "a load that succeeds shows no message");
    const TBuffer loaded = host.Images.image(kind);
    fuzz::require(loaded.size() == before.size(), "a load keeps the image's length");

    const QString asHex = fuzz::scratchFile(QStringLiteral("out.hex"));
    const QString asBin = fuzz::scratchFile(QStringLiteral("out.bin"));
    fuzz::require(files.SaveFile(asHex, kind), "saving as Intel HEX");
    fuzz::require(files.SaveFile(asBin, kind), "saving as binary");
    fuzz::require(loadBack(asHex, kind) == loaded, "Intel HEX round trip");
    fuzz::require(loadBack(asBin, kind) == loaded, "binary round trip");
    return 0;
}
