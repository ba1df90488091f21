#pragma once
// Helpers shared by the file tests: a scratch folder, a window stand-in that
// records what the file module asks of it, and a presenter that records boxes.

#include "image/file_io.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace corvane::testing {

struct ShownBox {
    QString caption;
    QString text;
    MessageKind kind;
    MessageButtons buttons;
    bool beep;
};

class RecordingPresenter : public MessagePresenter {
public:
    int showMessageBox(const QString& caption, const QString& text, MessageKind kind, MessageButtons buttons,
                       bool beep) override {
        boxes.push_back({caption, text, kind, buttons, beep});
        return MessageResult::Abort;
    }
    std::vector<ShownBox> boxes;
};

// Stands in for the main window: two images, two views, two name fields and
// the save dialog's file type and name.
class RecordingHost : public FileHost {
public:
    MemoryImages images;
    TBuffer flashView = TBuffer(0x8000, kErased);
    TBuffer eepromView = TBuffer(kEepromSize, kErased);
    QString flashName, eepromName;
    int filterIndex = 1;
    QString saveDialogName;
    QStringList calls; // "refresh 0", "focus 1", ...

    TBuffer& image(MemKind kind) override { return images.image(kind); }
    void setFileNameField(MemKind kind, const QString& fileName) override {
        (kind == MEM_FLASH ? flashName : eepromName) = fileName;
    }
    void refreshView(MemKind kind) override {
        calls << QStringLiteral("refresh %1").arg(int(kind));
        (kind == MEM_FLASH ? flashView : eepromView) = images.image(kind);
    }
    void focusView(MemKind kind) override { calls << QStringLiteral("focus %1").arg(int(kind)); }
    TBuffer viewData(MemKind kind) const override { return kind == MEM_FLASH ? flashView : eepromView; }
    int saveFilterIndex() const override { return filterIndex; }
    void setSaveFileName(const QString& fileName) override { saveDialogName = fileName; }
};

// A scratch folder removed after the test.
class ScratchDir {
public:
    ScratchDir();
    QString path(const QString& name) const;
    void write(const QString& name, const QByteArray& content) const;
    QByteArray read(const QString& name) const;
    QStringList entries() const;

private:
    QTemporaryDir Dir;
};

// Bytes 0..n-1 in a fixed pseudo-random pattern with erased runs of varied
// lengths, so that the hex writer has stretches, single 0xFF and gaps.
TBuffer patternImage(std::size_t size, unsigned seed);

// Runs a program; returns false when it cannot be started or fails.
bool runTool(const QString& program, const QStringList& arguments, QString* output = nullptr);

QString fixturePath(const QString& name);

} // namespace corvane::testing
