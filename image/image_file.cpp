// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_file.h"

#include "core/local_text.h"
#include "image/file_io.h"

namespace corvane {

namespace {

// The file module's host without a window: the image is the data, and a
// message box is only kept.
class Host : public FileHost, public MessagePresenter {
public:
    explicit Host(TBuffer& image) : image_(image) {}

    TBuffer& image(MemKind) override { return image_; }
    void setFileNameField(MemKind, const QString&) override {}
    void refreshView(MemKind) override {}
    void focusView(MemKind) override {}
    TBuffer viewData(MemKind) const override { return image_; }
    int saveFilterIndex() const override { return 1; } // Intel HEX
    void setSaveFileName(const QString& fileName) override { savedAs = fileName; }
    int showMessageBox(const QString&, const QString&, MessageKind, MessageButtons, bool) override {
        return MessageResult::Abort;
    }

    QString savedAs;

private:
    TBuffer& image_;
};

FileResult outcome(const TFileIo& files, const QString& name) {
    FileResult r;
    r.name = name;
    if (files.LastFailure == TFileIo::Failure::None)
        return r;
    r.problem = files.LastFailure == TFileIo::Failure::Access ? FileResult::Problem::Access
                                                              : FileResult::Problem::Content;
    QString message = files.LastMessage;
    message.replace(QLatin1Char('\r'), QStringLiteral(": "));
    r.message = escapeControlChars(name) + QStringLiteral(": ") + message;
    return r;
}

} // namespace

FileResult loadImageFile(const QString& fileName, TBuffer& image, bool truncate) {
    TBuffer loaded = image;
    Host host(loaded);
    TFileIo files(host, host);
    files.RefuseDataBeyondImage = !truncate;
    const bool ok = files.LoadFile(fileName, MEM_FLASH);
    FileResult r = outcome(files, fileName);
    if (ok)
        image = std::move(loaded);
    return r;
}

FileResult saveImageFile(const QString& fileName, const TBuffer& image) {
    TBuffer data = image;
    Host host(data);
    TFileIo files(host, host);
    files.SaveFile(fileName, MEM_FLASH);
    return outcome(files, host.savedAs.isEmpty() ? fileName : host.savedAs);
}

} // namespace corvane
