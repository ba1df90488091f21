// SPDX-License-Identifier: GPL-3.0-or-later
// The typed loader and saver of programs without a window: formats by
// extension or as named, the addresses each format defines, and streams
// (descriptors, FIFOs, devices) written as they are.

#include "file_test_support.h"
#include "image/image_file.h"
#include "image/intel_hex.h"
#include "image/stream_names.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

// Everything the descriptor gives until its end.
QByteArray drain(int fd) {
    QByteArray all;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
        all.append(chunk, qsizetype(n));
    return all;
}

TBuffer smallImage() {
    TBuffer image(0x400, kErased);
    for (std::size_t a = 0x10; a < 0x30; ++a)
        image[a] = std::uint8_t(a);
    image[0x3FF] = 0x42;
    return image;
}

class ImageFileTest : public ::testing::Test {
protected:
    ScratchDir dir;
    TBuffer image = TBuffer(0x400, kErased);
    Ranges defined;

    FileResult load(const QString& name, LoadOptions options = {}) {
        return loadImageFile(dir.path(name), image, options, &defined);
    }
};

} // namespace

TEST(ImageFormats, TheExtensionTellsTheFormatInAnyLetterCase) {
    const std::pair<const char*, std::optional<ImageFormat>> cases[] = {
        {"main.IHX", ImageFormat::IntelHex}, {"d.S19", ImageFormat::SRecord}, {"g.mot", ImageFormat::SRecord},
        {"h.bin", ImageFormat::Binary},      {"i.txt", std::nullopt},         {"hex", std::nullopt},
        {"dir.s19/file", std::nullopt}};
    for (const auto& [name, format] : cases)
        EXPECT_EQ(formatForExtension(QString::fromLatin1(name)), format) << name;
}

struct DefinedCase {
    const char* name;
    QByteArray content;
    Ranges defined;
};

class DefinedBytes : public ImageFileTest, public ::testing::WithParamInterface<DefinedCase> {};

TEST_P(DefinedBytes, AreTheAddressesTheFileGivesInsideTheImage) {
    dir.write(GetParam().name, GetParam().content);
    const FileResult r = load(GetParam().name, {.truncate = true, .format = {}});
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(defined, GetParam().defined);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DefinedBytes,
    ::testing::Values(
        // A binary file gives its first bytes, up to the image's length.
        DefinedCase{"short.bin", QByteArray(16, '\x5a'), {{0, 16}}},
        DefinedCase{"long.bin", QByteArray(2000, '\x5a'), {{0, 0x400}}},
        // Intel HEX and S-records: their data records, 0xFF included,
        // joined where they touch, cut at the image's end.
        DefinedCase{"two.ihx",
                    ":020010001122BB\n:02001200FFFFEE\n:02002000334467\n:00000001FF\n",
                    {{0x10, 4}, {0x20, 2}}},
        DefinedCase{"end.hex", ":0403FE0001020304F1\n:00000001FF\n", {{0x3FE, 2}}},
        DefinedCase{"two.s19",
                    "S00600004844521B\nS10500101122B7\nS1050012FFFFEA\nS1050020334463\nS9030000FC\n",
                    {{0x10, 4}, {0x20, 2}}},
        DefinedCase{"header.mot", "S0030000FC\nS9030000FC\n", {}}));

TEST_F(ImageFileTest, SavedIntelHexAndSRecordsLoadBackAlikeAndDefineTheSameBytes) {
    const TBuffer original = patternImage(0x400, 7);
    Ranges fromHex;
    for (const char* name : {"p.ihx", "p.srec", "p.bin"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(saveImageFile(dir.path(name), original).ok());
        image.assign(0x400, 0);
        ASSERT_TRUE(load(name).ok());
        EXPECT_EQ(image, original);
        if (fromHex.empty())
            fromHex = defined;
        else if (QByteArray(name).endsWith(".srec"))
            EXPECT_EQ(defined, fromHex);
        else
            EXPECT_EQ(defined, (Ranges{{0, 0x400}}));
    }
    EXPECT_TRUE(dir.read("p.srec").startsWith("S0030000FC\r\nS1"));
}

TEST_F(ImageFileTest, ANamedFormatOverridesTheExtensionAndKeepsTheNameAsItIs) {
    dir.write("prog.txt", "S10500101122B7\n");
    const FileResult unknown = load("prog.txt");
    EXPECT_EQ(unknown.problem, FileResult::Problem::Content);
    EXPECT_TRUE(unknown.message.endsWith(": Unknown file extension!")) << unknown.message.toStdString();
    ASSERT_TRUE(load("prog.txt", {.format = ImageFormat::SRecord}).ok());
    EXPECT_EQ(image[0x11], 0x22);
    // The named format, not the extension, is what is read.
    EXPECT_EQ(load("prog.txt", {.format = ImageFormat::IntelHex}).message,
              dir.path("prog.txt") + ": No Intel HEX records");

    const FileResult saved = saveImageFile(dir.path("out"), smallImage(), {ImageFormat::SRecord});
    EXPECT_EQ(saved.name, dir.path("out"));
    EXPECT_TRUE(dir.read("out").startsWith("S0030000FC\r\n"));
    EXPECT_EQ(saveImageFile(dir.path("plain"), smallImage()).name, dir.path("plain.hex"));
    EXPECT_EQ(dir.entries(), (QStringList{"out", "plain.hex", "prog.txt"}));
}

TEST_F(ImageFileTest, BadRecordsAreBadContentNamingTheLineAndChangeNothing) {
    image = smallImage();
    dir.write("bad.s19", "S0030000FC\nS10500101122B8\n");
    const FileResult r = load("bad.s19");
    EXPECT_EQ(r.problem, FileResult::Problem::Content);
    EXPECT_EQ(r.message, dir.path("bad.s19") + ": Wrong Checksum - line #2: S10500101122B8");
    EXPECT_EQ(image, smallImage());
    dir.write("far.s37", "S3060008000011E0\n");
    EXPECT_EQ(load("far.s37", {.truncate = true, .format = {}}).message,
              dir.path("far.s37") +
                  ": Data does not fit into the memory: address 80000 lies beyond its end (03FF)");
    EXPECT_EQ(load("missing.srec").problem, FileResult::Problem::Access);
}

TEST(StreamNames, TheProgramsDescriptorsAreKnownByTheirNamesAndLinksToThem) {
    ScratchDir dir;
    ASSERT_EQ(::symlink("/dev/stdout", QFile::encodeName(dir.path("out")).constData()), 0);
    EXPECT_EQ(descriptorNamed("/dev/stdout"), 1);
    EXPECT_EQ(descriptorNamed("/dev/stdin"), 0);
    EXPECT_EQ(descriptorNamed("/dev/fd/5"), 5);
    EXPECT_EQ(descriptorNamed("/proc/self/fd/7"), 7);
    EXPECT_EQ(descriptorNamed(dir.path("out")), 1);
    for (const char* other : {"-", "out.hex", "/dev/null", "/proc/self/fd", "/proc/1/fd/1", ""})
        EXPECT_FALSE(descriptorNamed(QString::fromLatin1(other))) << other;
    EXPECT_EQ(descriptorNamed("/dev/stderr"), 2);
}

TEST_F(ImageFileTest, AFifoIsWrittenAsAStreamAndStaysAFifo) {
    const QByteArray fifo = QFile::encodeName(dir.path("pipe"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const FileResult r = saveImageFile(dir.path("pipe"), smallImage(), {ImageFormat::SRecord});
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.name, dir.path("pipe"));
    ::fcntl(reader, F_SETFL, 0);
    const QByteArray text = drain(reader);
    ::close(reader);
    EXPECT_TRUE(text.startsWith("S0030000FC\r\nS1130010")) << text.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(fifo.constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // No extension is added to a stream's name, and no temporary file is left.
    EXPECT_TRUE(saveImageFile("/dev/null", smallImage()).ok());
    EXPECT_EQ(saveImageFile("/dev/null", smallImage()).name, "/dev/null");
    EXPECT_EQ(
        QDir(dir.path("")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList{"pipe"});
}

TEST_F(ImageFileTest, ADescriptorsNameIsWrittenAndReadThroughTheDescriptor) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const QString writeEnd = QStringLiteral("/dev/fd/%1").arg(ends[1]);
    ASSERT_TRUE(saveImageFile(writeEnd, smallImage(), {ImageFormat::SRecord}).ok());
    ::close(ends[1]);
    const QByteArray text = drain(ends[0]);
    ::close(ends[0]);
    EXPECT_TRUE(text.startsWith("S0030000FC\r\n"));

    // Behind the descriptor a regular file keeps what it holds: appended to, not replaced.
    dir.write("log", "head\n");
    const QByteArray log = QFile::encodeName(dir.path("log"));
    struct stat before {};
    ASSERT_EQ(::stat(log.constData(), &before), 0);
    const int appending = ::open(log.constData(), O_WRONLY | O_APPEND);
    ASSERT_GE(appending, 0);
    const FileResult saved = saveImageFile(QStringLiteral("/proc/self/fd/%1").arg(appending), smallImage());
    ::close(appending);
    ASSERT_TRUE(saved.ok()) << saved.message.toStdString();
    struct stat after {};
    ASSERT_EQ(::stat(log.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(dir.read("log"), "head\n" + WriteIntelHex(smallImage()));

    // And read from one, the format as named.
    ASSERT_EQ(::pipe(ends), 0);
    const QByteArray records = "S10500101122B7\n";
    ASSERT_EQ(::write(ends[1], records.constData(), std::size_t(records.size())), records.size());
    ::close(ends[1]);
    const FileResult r = loadImageFile(QStringLiteral("/dev/fd/%1").arg(ends[0]), image,
                                       {.format = ImageFormat::SRecord}, &defined);
    ::close(ends[0]);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(defined, (Ranges{{0x10, 2}}));
    EXPECT_EQ(saveImageFile("/dev/fd/999", smallImage()).problem, FileResult::Problem::Access);
}
