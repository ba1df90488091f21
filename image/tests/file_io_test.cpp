// The file module's dispatch, messages, error numbers and texts, save names,
// the safety of replaced files and the guard against a second file command.

#include "file_test_support.h"
#include "image/intel_hex.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

const QByteArray kSmallHex = ":0300000002000 3F8\r\n:00000001FF\r\n";
const QByteArray kGoodHex = ":03000000020003F8\r\n:00000001FF\r\n";

class FileIoTest : public ::testing::Test {
protected:
    ScratchDir dir;
    RecordingHost host;
    RecordingPresenter presenter;
    TFileIo io{host, presenter};

    // The one box shown, as "caption|text".
    QString onlyBox() const {
        if (presenter.boxes.size() != 1)
            return QStringLiteral("%1 boxes").arg(presenter.boxes.size());
        const ShownBox& box = presenter.boxes.front();
        EXPECT_EQ(box.kind, MessageKind::Error);
        EXPECT_EQ(box.buttons, MessageButton::Abort);
        EXPECT_TRUE(box.beep);
        return box.caption + QLatin1Char('|') + box.text;
    }
};

} // namespace

// ------------------------------------------------------------- dispatch

TEST_F(FileIoTest, ChoosesTheFormatByExtensionInAnyLetterCase) {
    dir.write("PROG.HEX", kGoodHex);
    ASSERT_TRUE(io.LoadFile(dir.path("PROG.HEX"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage[2], 0x03);

    dir.write("prog.Bin", kGoodHex); // read as raw bytes: the text itself
    ASSERT_TRUE(io.LoadFile(dir.path("prog.Bin"), MEM_EEPROM));
    EXPECT_EQ(host.images.EepromImage[0], ':');
    EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(FileIoTest, RefusesOtherExtensionsOfExistingFiles) {
    for (const char* name : {"prog.txt", "prog.b", "prog.", "prog", "prog.hex.bak"}) {
        presenter.boxes.clear();
        dir.write(name, kGoodHex);
        EXPECT_FALSE(io.LoadFile(dir.path(name), MEM_FLASH)) << name;
        EXPECT_EQ(onlyBox(), "File-Error|File: " + dir.path(name) + "\rUnknown file extension!") << name;
    }
    // A dot in a folder name is no extension.
    QDir(dir.path("")).mkdir("fw.hex");
    dir.write("fw.hex/plain", kGoodHex);
    presenter.boxes.clear();
    EXPECT_FALSE(io.LoadFile(dir.path("fw.hex/plain"), MEM_FLASH));
    EXPECT_TRUE(onlyBox().endsWith("Unknown file extension!"));
}

TEST_F(FileIoTest, MissingFileIsReportedBeforeItsExtensionIsLookedAt) {
    for (const char* name : {"gone.hex", "gone.bin", "gone.txt"}) {
        presenter.boxes.clear();
        EXPECT_FALSE(io.LoadFile(dir.path(name), MEM_FLASH));
        EXPECT_EQ(onlyBox(), "File-Error|File: " + dir.path(name) + "\rError #2\rFile not found");
    }
    // A folder is no file either.
    QDir(dir.path("")).mkdir("folder.hex");
    presenter.boxes.clear();
    EXPECT_FALSE(io.LoadFile(dir.path("folder.hex"), MEM_FLASH));
    EXPECT_EQ(onlyBox(), "File-Error|File: " + dir.path("folder.hex") + "\rError #2\rFile not found");
}

TEST_F(FileIoTest, SuccessfulLoadReplacesTheImageAndTellsTheWindow) {
    host.images.FlashImage.assign(0x8000, 0x00);
    dir.write("a.hex", kGoodHex);
    ASSERT_TRUE(io.LoadFile(dir.path("a.hex"), MEM_FLASH));
    TBuffer expected(0x8000, kErased);
    expected[0] = 0x02;
    expected[1] = 0x00;
    expected[2] = 0x03;
    EXPECT_EQ(host.images.FlashImage, expected);
    EXPECT_EQ(host.flashName, dir.path("a.hex"));
    EXPECT_EQ(host.calls, (QStringList{"refresh 0", "focus 0"}));
    EXPECT_TRUE(io.FileBuffer.empty());
    EXPECT_FALSE(io.HexFileOpen);
}

TEST_F(FileIoTest, DataBeyondTheImageIsDroppedSilently) {
    dir.write("high.hex", ":014000007748\r\n:014000008837\r\n:017FFF00552C\r\n:00000001FF\r\n");
    host.images.FlashImage.assign(0x4000, kErased); // AT89C5130
    ASSERT_TRUE(io.LoadFile(dir.path("high.hex"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x4000, kErased));
    EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(FileIoTest, BadHexLineGivesOneFileErrorAndChangesNothing) {
    host.images.FlashImage.assign(0x8000, 0x33);
    host.flashName = "old.hex";
    dir.write("bad.hex", ":0100000011EE\r\n; note\r\n:0100000011EF\r\n");
    EXPECT_FALSE(io.LoadFile(dir.path("bad.hex"), MEM_FLASH));
    EXPECT_EQ(onlyBox(),
              "File-Error|File: " + dir.path("bad.hex") + "\rWrong Checksum - line #3\r:0100000011EF");
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x8000, 0x33));
    EXPECT_EQ(host.flashName, "old.hex");
    EXPECT_TRUE(host.calls.isEmpty());
    EXPECT_TRUE(io.FileBuffer.empty());
    EXPECT_FALSE(io.HexFileOpen);
    EXPECT_EQ(io.LineNumber, 3);
    EXPECT_EQ(io.CurrentLine, ":0100000011EF");

    presenter.boxes.clear();
    dir.write("blank.hex", kSmallHex);
    EXPECT_FALSE(io.LoadFile(dir.path("blank.hex"), MEM_FLASH));
    EXPECT_TRUE(onlyBox().contains("\rWrong length - line #1\r"));
}

// ------------------------------------------------------- I/O errors

TEST(IoErrorTexts, SystemCodesMapOntoTheTableMeanings) {
    EXPECT_EQ(EFileIoError::fromErrno(ENOENT).number(), 2);
    EXPECT_EQ(EFileIoError::fromErrno(ENAMETOOLONG).number(), 3);
    EXPECT_EQ(EFileIoError::fromErrno(EMFILE).number(), 4);
    EXPECT_EQ(EFileIoError::fromErrno(ENFILE).number(), 4);
    for (int code : {EACCES, EPERM, EROFS, EISDIR})
        EXPECT_EQ(EFileIoError::fromErrno(code).number(), 5) << code;
    EXPECT_EQ(EFileIoError::fromErrno(ENOSPC).text(), "Zu wenig Speicherplatz");
    EXPECT_EQ(EFileIoError::fromErrno(ENOENT).message(), "Error #2\rDatei nicht gefunden");
    // A code without a table meaning keeps its number and the generic text,
    // even where the number is also in the table (EIO is 5 on Linux).
    EXPECT_EQ(EFileIoError::fromErrno(EIO).message(), QStringLiteral("Error #%1\rE/A-Fehler %1").arg(EIO));
    EXPECT_EQ(EFileIoError::fromErrno(EFBIG).text(), QStringLiteral("E/A-Fehler %1").arg(EFBIG));
}

TEST_F(FileIoTest, SaveFailuresShowTheIoErrorWithNumberAndText) {
    host.filterIndex = 1;
    struct Case {
        QString name;
        QString expected;
    };
    QDir(dir.path("")).mkdir("taken.hex");
    // A full disk: a name that leads to /dev/full (the bare name would get an extension).
    QFile::link("/dev/full", dir.path("full.hex"));
    const Case cases[] = {
        {dir.path("no/such/folder/x.hex"), "Error #2\rDatei nicht gefunden"},
        {dir.path("taken.hex"), "Error #5\rDateizugriff verweigert"},
        {dir.path("full.hex"), "Error #101\rZu wenig Speicherplatz"},
        {dir.path(QString(300, 'n') + ".hex"), "Error #3\rUngültiger Dateiname"},
    };
    for (const Case& c : cases) {
        presenter.boxes.clear();
        host.flashView = patternImage(0x8000, 9);
        EXPECT_FALSE(io.SaveFile(c.name, MEM_FLASH)) << c.name.toStdString();
        EXPECT_EQ(onlyBox(), "IO-Error|File: " + c.name + "\r" + c.expected);
        EXPECT_FALSE(io.HexFileOpen);
    }
    EXPECT_EQ(dir.entries(), (QStringList{"full.hex", "taken.hex"})) << "no temporary file is left behind";
}

TEST_F(FileIoTest, LoadOfANonPlainFileIsRefused) {
    presenter.boxes.clear();
    EXPECT_FALSE(io.LoadFile("/dev/null.bin", MEM_FLASH));
    EXPECT_EQ(onlyBox(), "File-Error|File: /dev/null.bin\rError #2\rFile not found");
    // Renamed device nodes are not at hand; a symbolic link named .bin to one is.
    QFile::link("/dev/zero", dir.path("zero.bin"));
    presenter.boxes.clear();
    EXPECT_FALSE(io.LoadFile(dir.path("zero.bin"), MEM_FLASH));
    EXPECT_EQ(onlyBox(), "IO-Error|File: " + dir.path("zero.bin") + "\rError #5\rDateizugriff verweigert");
}

// A write that the system stops half-way (a file size limit) must leave the
// old file as it was: the new content goes to a temporary file first.
TEST_F(FileIoTest, FailedSaveLeavesTheOldFileIntact) {
    const QByteArray old = "old content that must survive";
    dir.write("keep.bin", old);
    host.filterIndex = 2;
    host.flashView = patternImage(0x8000, 5);

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
    EXPECT_EQ(onlyBox(), "IO-Error|File: " + dir.path("keep.bin") +
                             QStringLiteral("\rError #%1\rE/A-Fehler %1").arg(EFBIG));
    EXPECT_EQ(dir.read("keep.bin"), old);
    EXPECT_EQ(dir.entries(), QStringList{"keep.bin"});
}

TEST_F(FileIoTest, SaveReplacesAnExistingFileAndKeepsItsPermissions) {
    dir.write("old.hex", QByteArray(5000, 'x'));
    QFile::setPermissions(dir.path("old.hex"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    host.flashView.assign(0x8000, kErased);
    host.flashView[0] = 0x02;
    host.flashView[2] = 0x03;
    host.flashView[1] = 0x00;
    ASSERT_TRUE(io.SaveFile(dir.path("old.hex"), MEM_FLASH));
    EXPECT_EQ(dir.read("old.hex"), kGoodHex);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.path("old.hex")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(FileIoTest, SaveThroughASymbolicLinkWritesTheFileItNames) {
    dir.write("real.hex", "x");
    QFile::link(dir.path("real.hex"), dir.path("link.hex"));
    ASSERT_TRUE(io.SaveFile(dir.path("link.hex"), MEM_EEPROM));
    EXPECT_TRUE(QFileInfo(dir.path("link.hex")).isSymLink());
    EXPECT_EQ(dir.read("real.hex"), ":00000001FF\r\n");
}

// ---------------------------------------------------------- save names

TEST(SaveNames, DefaultExtensionIsAddedOnlyWithoutADotInTheLastComponent) {
    EXPECT_EQ(completeSaveName("/w/flash", 1), "/w/flash.hex");
    EXPECT_EQ(completeSaveName("/w/flash", 2), "/w/flash.bin");
    EXPECT_EQ(completeSaveName("/w.d/flash", 2), "/w.d/flash.bin");
    EXPECT_EQ(completeSaveName("/w/flash.txt", 2), "/w/flash.txt");
    EXPECT_EQ(completeSaveName("/w/flash.", 1), "/w/flash.");
}

TEST_F(FileIoTest, SaveCompletesTheNameAndHandsItBackToTheDialog) {
    host.filterIndex = 2;
    host.flashView.assign(0x8000, kErased);
    ASSERT_TRUE(io.SaveFile(dir.path("flash"), MEM_FLASH));
    EXPECT_EQ(host.saveDialogName, dir.path("flash.bin"));
    EXPECT_EQ(dir.read("flash.bin").size(), 0x8000);

    host.filterIndex = 1;
    ASSERT_TRUE(io.SaveFile(dir.path("flash.txt"), MEM_FLASH));
    EXPECT_EQ(host.saveDialogName, dir.path("flash.txt"));
    EXPECT_EQ(dir.read("flash.txt"), ":00000001FF\r\n");

    ASSERT_TRUE(io.SaveFile(dir.path("again.bin"), MEM_FLASH)); // Hex-Files chosen, .bin typed
    EXPECT_EQ(dir.read("again.bin").size(), 0x8000);
}

TEST_F(FileIoTest, HexRoundTripThroughFilesKeepsTheView) {
    const TBuffer pattern = patternImage(0x8000, 11);
    host.flashView = pattern;
    ASSERT_TRUE(io.SaveFile(dir.path("round.hex"), MEM_FLASH));
    host.flashView.assign(0x8000, 0);
    ASSERT_TRUE(io.LoadFile(dir.path("round.hex"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, pattern);
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
    EXPECT_TRUE(presenter.boxes.empty());
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
    EXPECT_TRUE(presenter.boxes.empty());
}
