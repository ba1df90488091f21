// SPDX-License-Identifier: GPL-3.0-or-later
// The file module: dispatch by extension, binary sizes, messages with their
// error numbers and texts, save names, the safety of replaced files and the
// guard against a second file command.

#include "core/local_text.h"
#include "file_test_support.h"
#include "image/file_io.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

const QByteArray kGoodHex = ":03000000020003F8\r\n:00000001FF\r\n";

// Records each box as "caption|text". Every box of the file module is an
// error box with an Abort button and a beep.
class RecordingPresenter : public MessagePresenter {
public:
    int showMessageBox(const QString& caption, const QString& text, MessageKind kind, MessageButtons buttons,
                       bool beep) override {
        EXPECT_EQ(kind, MessageKind::Error);
        EXPECT_EQ(buttons, MessageButton::Abort);
        EXPECT_TRUE(beep);
        boxes << caption + QLatin1Char('|') + text;
        return MessageResult::Abort;
    }
    QStringList boxes;
};

// Stands in for the main window: two images, two views, two name fields and
// the save dialog's file type and name.
class RecordingHost : public FileHost {
public:
    MemoryImages images;
    TBuffer flashView = TBuffer(0x8000, kErased);
    TBuffer eepromView = TBuffer(kEepromSize, kErased);
    QString names[2], saveDialogName; // the name fields of FLASH and EEPROM
    int filterIndex = 1;
    QStringList calls; // "refresh 0", "focus 1", ...

    TBuffer& image(MemKind kind) override { return images.image(kind); }
    void setFileNameField(MemKind kind, const QString& name) override { names[kind] = name; }
    void refreshView(MemKind kind) override { calls << QStringLiteral("refresh %1").arg(int(kind)); }
    void focusView(MemKind kind) override { calls << QStringLiteral("focus %1").arg(int(kind)); }
    TBuffer viewData(MemKind kind) const override { return kind == MEM_FLASH ? flashView : eepromView; }
    int saveFilterIndex() const override { return filterIndex; }
    void setSaveFileName(const QString& name) override { saveDialogName = name; }
};

class FileIoTest : public ::testing::Test {
protected:
    ScratchDir dir;
    RecordingHost host;
    RecordingPresenter presenter;
    TFileIo io{host, presenter};

    // The one box shown since the last call.
    QString takeOnlyBox() {
        const QStringList boxes = std::exchange(presenter.boxes, {});
        return boxes.size() == 1 ? boxes[0] : QStringLiteral("%1 boxes").arg(boxes.size());
    }
};

} // namespace

// ------------------------------------------------------------- loading

TEST_F(FileIoTest, RefusesOtherExtensionsAndReportsMissingFilesFirst) {
    QDir(dir.path("")).mkdir("fw.hex"); // a dot in a folder name is no extension
    for (const char* name : {"prog.txt", "prog", "prog.hex.bak", "fw.hex/plain"}) {
        SCOPED_TRACE(name);
        dir.write(name, kGoodHex);
        EXPECT_FALSE(io.LoadFile(dir.path(name), MEM_FLASH));
        EXPECT_EQ(takeOnlyBox(), "File-Error|File: " + dir.path(name) + "\rUnknown file extension!");
    }
    for (const char* name : {"gone.hex", "gone.txt", "fw.hex"}) { // a folder is no file either
        SCOPED_TRACE(name);
        EXPECT_FALSE(io.LoadFile(dir.path(name), MEM_FLASH));
        EXPECT_EQ(takeOnlyBox(), "File-Error|File: " + dir.path(name) + "\rError #2\rFile not found");
    }
}

TEST_F(FileIoTest, SuccessfulLoadReplacesTheImageDroppingDataBeyondItAndTellsTheWindow) {
    host.images.FlashImage.assign(0x8000, 0x00);
    dir.write("a.HEX", ":03000000020003F8\r\n:018000007708\r\n:00000001FF\r\n");
    ASSERT_TRUE(io.LoadFile(dir.path("a.HEX"), MEM_FLASH));
    const TBuffer& image = host.images.FlashImage;
    EXPECT_EQ(TBuffer(image.begin(), image.begin() + 3), (TBuffer{0x02, 0x00, 0x03}));
    EXPECT_EQ(std::count(image.begin(), image.end(), kErased), 0x8000 - 3);
    EXPECT_EQ(host.names[MEM_FLASH], dir.path("a.HEX"));
    EXPECT_TRUE(presenter.boxes.isEmpty());
    EXPECT_EQ(host.calls, (QStringList{"refresh 0", "focus 0"}));
    EXPECT_TRUE(io.FileBuffer.empty());
    EXPECT_FALSE(io.HexFileOpen);
}

TEST_F(FileIoTest, BinaryFileFillsTheImageFromTheStartAndKeepsItsLength) {
    QByteArray content;
    for (int i = 0; i < 40000; ++i)
        content += char(i * 7 + 1);
    dir.write("long.Bin", content);
    ASSERT_TRUE(io.LoadFile(dir.path("long.Bin"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, TBuffer(content.begin(), content.begin() + 0x8000));

    host.images.EepromImage.assign(kEepromSize, 0x00); // old content must not survive
    dir.write("short.bin", content.left(100));
    ASSERT_TRUE(io.LoadFile(dir.path("short.bin"), MEM_EEPROM));
    TBuffer expected(kEepromSize, kErased);
    std::copy_n(content.begin(), 100, expected.begin());
    EXPECT_EQ(host.images.EepromImage, expected);

    host.images.FlashImage.assign(0x4000, 0x12);
    dir.write("empty.bin", QByteArray());
    ASSERT_TRUE(io.LoadFile(dir.path("empty.bin"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x4000, kErased));
    EXPECT_TRUE(presenter.boxes.isEmpty());
}

TEST_F(FileIoTest, BadHexLineGivesOneFileErrorAndChangesNothing) {
    host.images.FlashImage.assign(0x8000, 0x33);
    host.names[MEM_FLASH] = "old.hex";
    dir.write("bad.hex", ":0100000011EE\r\n; note\r\n:0100000011EF\r\n");
    EXPECT_FALSE(io.LoadFile(dir.path("bad.hex"), MEM_FLASH));
    EXPECT_EQ(takeOnlyBox(),
              "File-Error|File: " + dir.path("bad.hex") + "\rWrong Checksum - line #3\r:0100000011EF");
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x8000, 0x33));
    EXPECT_EQ(host.names[MEM_FLASH], "old.hex");
    EXPECT_TRUE(host.calls.isEmpty());
    EXPECT_TRUE(io.FileBuffer.empty());
    EXPECT_FALSE(io.HexFileOpen);
    EXPECT_EQ(io.LineNumber, 3);
    EXPECT_EQ(io.CurrentLine, ":0100000011EF");
}

// The reader's own tests go through every kind of content that is no image;
// here, that such a file reaches the user as a file error.
TEST_F(FileIoTest, HexFileWithoutAnImageIsBadContentAndChangesNothing) {
    host.images.FlashImage.assign(0x8000, 0x33);
    dir.write("empty.hex", "");
    EXPECT_FALSE(io.LoadFile(dir.path("empty.hex"), MEM_FLASH));
    EXPECT_EQ(takeOnlyBox(), "File-Error|File: " + dir.path("empty.hex") + "\rNo Intel HEX records");
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x8000, 0x33));
}

TEST_F(FileIoTest, DataBeyondTheImageIsDroppedOrWhenAskedRefusedNamingItsFirstAddress) {
    host.images.renew(1); // 16 KB of FLASH
    QByteArray bin(0x4000, '\x11');
    bin += QByteArray(0x20, '\xff') + '\x42';
    dir.write("big.bin", bin);
    dir.write("padded.bin", QByteArray(0x4000, '\x11') + QByteArray(0x4000, '\xff'));
    dir.write("high.hex", ":0100000011EE\r\n:027FF000ABCD17\r\n:00000001FF\r\n");
    dir.write("above64k.hex", ":020000040001F9\r\n:010020007768\r\n:00000001FF\r\n");

    // The window's way: what fits is loaded, the rest dropped without a word.
    ASSERT_TRUE(io.LoadFile(dir.path("big.bin"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x4000, 0x11));
    EXPECT_EQ(io.FirstAddressBeyond, std::optional<std::uint64_t>(0x4020));
    // Unless address records moved every byte past the image: that file
    // would load as an erased image, and is refused as the tool refuses it.
    EXPECT_FALSE(io.LoadFile(dir.path("above64k.hex"), MEM_FLASH));
    EXPECT_EQ(takeOnlyBox(),
              "File-Error|File: " + dir.path("above64k.hex") +
                  "\rData does not fit into the memory: address 10020 lies beyond its end (3FFF)");
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x4000, 0x11)) << "the image is kept";

    io.RefuseDataBeyondImage = true;
    host.images.renew(1);
    const struct {
        const char* name;
        const char* address;
    } refused[] = {{"big.bin", "4020"}, {"high.hex", "7FF0"}, {"above64k.hex", "10020"}};
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(io.LoadFile(dir.path(c.name), MEM_FLASH));
        EXPECT_EQ(takeOnlyBox(), "File-Error|File: " + dir.path(c.name) +
                                     "\rData does not fit into the memory: address " + c.address +
                                     " lies beyond its end (3FFF)");
        EXPECT_EQ(host.images.FlashImage, TBuffer(0x4000, kErased));
    }
    // Erased bytes beyond the end are no data: nothing is lost.
    EXPECT_TRUE(io.LoadFile(dir.path("padded.bin"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x4000, 0x11));
}

TEST_F(FileIoTest, NamesThatAreNotUtf8AreOpenedByTheirOwnBytes) {
    // "bad\xff.hex": the name as the system holds it, decoded without loss.
    const QString base = QFileInfo(dir.path("x")).path();
    const QByteArray folder = encodeFileName(base);
    const QByteArray raw = folder + "/bad\xff.hex";
    {
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, kGoodHex.constData(), std::size_t(kGoodHex.size())), kGoodHex.size());
        ::close(fd);
    }
    const QString name = decodeFileName(raw);
    ASSERT_TRUE(io.LoadFile(name, MEM_FLASH)) << takeOnlyBox().toStdString();
    EXPECT_EQ(host.images.FlashImage[2], 0x03);

    host.flashView = host.images.FlashImage;
    const QString saved = decodeFileName(folder + "/out\xfe\xc3.hex");
    ASSERT_TRUE(io.SaveFile(saved, MEM_FLASH));
    struct stat st {};
    EXPECT_EQ(::stat((folder + "/out\xfe\xc3.hex").constData(), &st), 0) << "written under its own bytes";
    EXPECT_EQ(dir.read(QStringLiteral("out\uFFFD\uFFFD.hex")), QByteArray()) << "not under a replaced name";

    EXPECT_FALSE(io.LoadFile(decodeFileName(folder + "/gone\x1b[31m\xff.hex"), MEM_FLASH));
    EXPECT_EQ(takeOnlyBox(), "File-Error|File: " + base + "/gone\\x1B[31m\\xFF.hex\rError #2\rFile not found")
        << "control characters and stray bytes of the name are shown escaped";
    // The scratch folder's own clean-up knows only UTF-8 names.
    ::unlink(raw.constData());
    ::unlink((folder + "/out\xfe\xc3.hex").constData());
}

TEST_F(FileIoTest, LoadOfANonPlainFileIsRefused) {
    EXPECT_FALSE(io.LoadFile("/dev/null.bin", MEM_FLASH));
    EXPECT_EQ(takeOnlyBox(), "File-Error|File: /dev/null.bin\rError #2\rFile not found");
    // A device (here through a symbolic link named .bin) would never end.
    QFile::link("/dev/zero", dir.path("zero.bin"));
    EXPECT_FALSE(io.LoadFile(dir.path("zero.bin"), MEM_FLASH));
    EXPECT_EQ(takeOnlyBox(),
              "IO-Error|File: " + dir.path("zero.bin") + "\rError #5\rDateizugriff verweigert");
}

// ------------------------------------------------------------- saving

TEST_F(FileIoTest, SaveWritesTheWholeViewUnderTheCompletedNameInTheFormatItNames) {
    QDir(dir.path("")).mkdir("w.d");
    host.images.FlashImage.assign(0x8000, 0x11);
    host.flashView.assign(0x4000, 0x22); // AT89C5130: 16 KB
    host.filterIndex = 2;
    ASSERT_TRUE(io.SaveFile(dir.path("w.d/flash"), MEM_FLASH));
    EXPECT_EQ(host.saveDialogName, dir.path("w.d/flash.bin"));
    EXPECT_EQ(dir.read("w.d/flash.bin"), QByteArray(0x4000, 0x22));
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x8000, 0x11));

    host.filterIndex = 1;
    ASSERT_TRUE(io.SaveFile(dir.path("eeprom.txt"), MEM_EEPROM)); // another extension stays, as Intel HEX
    EXPECT_EQ(host.saveDialogName, dir.path("eeprom.txt"));
    EXPECT_EQ(dir.read("eeprom.txt"), ":00000001FF\r\n");
    ASSERT_TRUE(io.SaveFile(dir.path("again.bin"), MEM_FLASH)); // Hex-Files chosen, .bin typed
    EXPECT_EQ(dir.read("again.bin").size(), 0x4000);

    const TBuffer pattern = patternImage(0x8000, 11);
    host.flashView = pattern;
    ASSERT_TRUE(io.SaveFile(dir.path("round.hex"), MEM_FLASH));
    ASSERT_TRUE(io.LoadFile(dir.path("round.hex"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, pattern);
}

TEST_F(FileIoTest, SaveFailuresShowTheIoErrorWithNumberAndText) {
    QDir(dir.path("")).mkdir("taken.hex");
    // A full disk: a name that leads to /dev/full (the bare name would get an extension).
    QFile::link("/dev/full", dir.path("full.hex"));
    const std::pair<QString, QString> cases[] = {
        {dir.path("no/such/folder/x.hex"), "Error #3\rUngültiger Dateiname"},
        {dir.path("taken.hex"), "Error #5\rDateizugriff verweigert"},
        {dir.path("full.hex"), "Error #101\rZu wenig Speicherplatz"},
        {dir.path(QString(300, 'n') + ".hex"), "Error #3\rUngültiger Dateiname"},
    };
    host.flashView = patternImage(0x8000, 9);
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(io.SaveFile(name, MEM_FLASH));
        EXPECT_EQ(takeOnlyBox(), "IO-Error|File: " + name + "\r" + expected);
        EXPECT_FALSE(io.HexFileOpen);
    }
    EXPECT_EQ(dir.entries(), (QStringList{"full.hex", "taken.hex"})) << "no temporary file is left behind";

    // A system code without a table meaning keeps its number and the generic
    // text, even where the number is also in the table (EIO is 5 on Linux).
    EXPECT_EQ(EFileIoError::fromErrno(EIO).message(), QStringLiteral("Error #%1\rE/A-Fehler %1").arg(EIO));
    EXPECT_EQ(EFileIoError::fromErrno(EMFILE).message(), "Error #4\rZu viele geöffnete Dateien");
}

// A write that the system stops half-way (a file size limit) must leave the
// old file as it was: the new content goes to a temporary file first.
TEST_F(FileIoTest, FailedSaveLeavesTheOldFileIntact) {
    const QByteArray old = "old content that must survive";
    dir.write("keep.bin", old);
    host.filterIndex = 2;

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool ok = io.SaveFile(dir.path("keep.bin"), MEM_FLASH);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(ok);
    EXPECT_EQ(takeOnlyBox(), "IO-Error|File: " + dir.path("keep.bin") +
                                 QStringLiteral("\rError #%1\rE/A-Fehler %1").arg(EFBIG));
    EXPECT_EQ(dir.read("keep.bin"), old);
    EXPECT_EQ(dir.entries(), QStringList{"keep.bin"});
}

TEST_F(FileIoTest, SaveReplacesAnExistingFileKeepingItsPermissionsAndSymbolicLinks) {
    dir.write("old.hex", QByteArray(5000, 'x'));
    QFile::setPermissions(dir.path("old.hex"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    host.flashView[0] = 0x02;
    host.flashView[1] = 0x00;
    host.flashView[2] = 0x03;
    ASSERT_TRUE(io.SaveFile(dir.path("old.hex"), MEM_FLASH));
    EXPECT_EQ(dir.read("old.hex"), kGoodHex);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.path("old.hex")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    QFile::link(dir.path("old.hex"), dir.path("link.hex"));
    ASSERT_TRUE(io.SaveFile(dir.path("link.hex"), MEM_EEPROM));
    EXPECT_TRUE(QFileInfo(dir.path("link.hex")).isSymLink());
    EXPECT_EQ(dir.read("old.hex"), ":00000001FF\r\n");
}

// ------------------------------------------------------------ busy

TEST_F(FileIoTest, NoOtherFileCommandStartsWhileAHexFileIsRead) {
    dir.write("slow.hex", ":0100000011EE\r\n:0100010022DC\r\n:00000001FF\r\n");
    dir.write("other.bin", "abc");
    QStringList events;
    io.BusyChanged = [&](bool busy) { events << (busy ? "busy" : "idle"); };
    int nested = 0;
    io.ProcessMessages = [&] {
        if (nested++ > 0)
            return;
        // A click on another file command arrives while lines are read.
        EXPECT_TRUE(io.isBusy());
        EXPECT_FALSE(io.LoadFile(dir.path("other.bin"), MEM_EEPROM));
        EXPECT_FALSE(io.SaveFile(dir.path("other2.bin"), MEM_EEPROM));
    };
    ASSERT_TRUE(io.LoadFile(dir.path("slow.hex"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage[1], 0x22);
    EXPECT_EQ(host.images.EepromImage[0], 0xFF);
    EXPECT_TRUE(presenter.boxes.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.path("other2.bin")));
    EXPECT_EQ(events, (QStringList{"busy", "idle"}));
    EXPECT_FALSE(io.isBusy());
}

TEST_F(FileIoTest, UnexpectedFailuresPassOnAndLeaveNoFileOpen) {
    dir.write("a.hex", kGoodHex);
    io.ProcessMessages = [] { throw std::logic_error("window gone"); };
    EXPECT_THROW(io.LoadFile(dir.path("a.hex"), MEM_FLASH), std::logic_error);
    EXPECT_FALSE(io.HexFileOpen);
    EXPECT_FALSE(io.isBusy());
    EXPECT_TRUE(presenter.boxes.isEmpty());
}
