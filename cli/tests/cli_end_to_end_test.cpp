// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli run as a program on the simulated bench in a temporary state
// folder, in-process (--simulate) or through its libusb backend with the
// libusb stand-in preloaded: programming and reading back, a locked chip, the
// configuration bytes, conversions and the exit status of every kind of failure.

#include "cli/outcome.h"
#include "cli/tests/tool_rig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"' << b.toStdString() << '"';
}
QT_END_NAMESPACE

namespace corvane::cli {
namespace {

enum class Backend { Simulated, Libusb };

class CliRig : public ToolFolder {
protected:
    ToolRun cli(const QStringList& arguments, Backend backend = Backend::Simulated) const {
        // Without the stand-in the tool would reach real USB devices.
        if (backend == Backend::Libusb && !QFile::exists(CORVANE_STANDIN_PATH)) {
            ADD_FAILURE() << "libusb stand-in missing: " << CORVANE_STANDIN_PATH;
            return {};
        }
        return ToolProcess(dir.path(), arguments, backend == Backend::Libusb).finish();
    }
    void benchFile(const QByteArray& text) const { writeFile("bench.conf", text); }
    // Runs corvane-cli on the simulated bench through the shell, so that its
    // arguments may hold any bytes (a process's QString arguments are UTF-8).
    ToolRun cliBytes(const QList<QByteArray>& arguments) const {
        QByteArray script = "exec \"$0\" --simulate";
        for (const QByteArray& a : arguments) {
            script += " \"$(printf '";
            for (char c : a)
                script += '\\' + QByteArray::number(int(std::uint8_t(c)), 8).rightJustified(3, '0');
            script += "')\"";
        }
        return ToolProcess(dir.path(), "/bin/sh", {"-c", QString::fromLatin1(script), CORVANE_CLI_PATH},
                           benchEnvironment(dir.path()))
            .finish();
    }
    // A file in the state folder named by raw bytes.
    void writeRawName(const QByteArray& name, const QByteArray& bytes) const {
        QFile f;
        const int fd = ::open((QFile::encodeName(dir.path()) + '/' + name).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(f.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    bool rawNameExists(const QByteArray& name) const {
        struct stat st {};
        return ::stat((QFile::encodeName(dir.path()) + '/' + name).constData(), &st) == 0;
    }

    std::uint8_t storedByte(sim::ConfigByte b) const { return stored()->chip(0)->configByte(b); }
};

// Intel HEX text written here, independent of the tool's own writer: a record
// of up to 16 bytes for each run of bytes that are not 0xFF, then the end record.
QByteArray hexFileOf(const TBuffer& image) {
    QByteArray text;
    for (std::size_t a = 0; a < image.size();) {
        std::size_t n = 0;
        while (a + n < image.size() && n < 16 && image[a + n] != 0xFF)
            ++n;
        if (n == 0) {
            ++a;
            continue;
        }
        const char head[4] = {char(n), char(a >> 8), char(a & 0xFF), 0};
        QByteArray record(head, 4);
        record.append(reinterpret_cast<const char*>(image.data() + a), qsizetype(n));
        unsigned sum = 0;
        for (char b : record)
            sum += std::uint8_t(b);
        record.append(char(-sum & 0xFF));
        text += ':' + record.toHex().toUpper() + "\r\n";
        a += n;
    }
    return text + ":00000001FF\r\n";
}

// A FLASH image with data in four places and erased holes between them.
TBuffer imageWithHoles(std::size_t size = 0x8000) {
    TBuffer image(size, 0xFF);
    for (std::size_t i = 0; i < 16; ++i)
        image[i] = std::uint8_t(i);
    std::fill(image.begin() + 0x1234, image.begin() + 0x1244, 0xA5);
    for (std::size_t i = 0x3000; i < 0x3100; ++i)
        image[i] = std::uint8_t(i * 7 + 1) == 0xFF ? 0 : std::uint8_t(i * 7 + 1);
    image[size - 3] = 0x42;
    return image;
}

class Programming : public CliRig, public ::testing::WithParamInterface<Backend> {};

TEST_P(Programming, EraseWriteHexWithHolesAndReadBackGiveTheSameBytes) {
    const TBuffer flash = imageWithHoles();
    TBuffer eeprom(kEepromSize, 0xFF);
    for (std::size_t i = 0; i < 300; ++i)
        eeprom[i] = std::uint8_t(i ^ 0x5A);
    writeFile("prog.hex", hexFileOf(flash));
    writeFile("data.bin", bytesOf(eeprom));

    ASSERT_EQ(cli({"-q", "erase"}, GetParam()).status, ExitOk);
    const ToolRun written = cli({"write", "--flash", "prog.hex", "--eeprom", "data.bin"}, GetParam());
    ASSERT_EQ(written.status, ExitOk) << written.err.toStdString();
    const ToolRun readBack = cli({"read", "--flash", "back.bin", "--eeprom", "back.hex"}, GetParam());
    ASSERT_EQ(readBack.status, ExitOk) << readBack.err.toStdString();
    EXPECT_EQ(readFile("back.bin"), bytesOf(flash));
    // The EEPROM read back as Intel HEX and written again gives the same chip.
    ASSERT_EQ(cli({"-q", "write", "--eeprom", "back.hex"}, GetParam()).status, ExitOk);
    const auto bench = stored();
    EXPECT_EQ(bench->chip(0)->flash(), flash);
    EXPECT_EQ(bench->chip(0)->eeprom(), eeprom);
}

INSTANTIATE_TEST_SUITE_P(Backends, Programming, ::testing::Values(Backend::Simulated, Backend::Libusb),
                         [](const auto& info) {
                             return std::string(info.param == Backend::Simulated ? "InProcess"
                                                                                 : "ThroughLibusb");
                         });

using LockedChip = CliRig;

TEST_F(LockedChip, RefusesWritesAndSaysTheDeviceIsLocked) {
    benchFile("[slot 0]\nssb = FE\n");
    writeFile("prog.hex", hexFileOf(imageWithHoles()));
    const ToolRun run = cli({"write", "--flash", "prog.hex"});
    EXPECT_EQ(run.status, ExitDeviceError);
    EXPECT_TRUE(
        run.err.contains("the chip is locked (security level 2): it takes no writes until it is erased"))
        << run.err.toStdString();
    EXPECT_EQ(stored()->chip(0)->flash(), TBuffer(0x8000, 0xFF));
}

TEST_F(LockedChip, ReadProtectionRefusesReadsWritingNoFileUntilErased) {
    benchFile("[slot 0]\nssb = FC\n");
    const ToolRun run = cli({"read", "--flash", "back.bin"});
    EXPECT_EQ(run.status, ExitDeviceError);
    EXPECT_TRUE(
        run.err.contains("reading FLASH at 0000 failed: the device answered errVERIFY (status 7); the "
                         "chip is locked\n"))
        << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("back.bin")));
    ASSERT_EQ(cli({"-q", "erase"}).status, ExitOk);
    EXPECT_EQ(cli({"-q", "read", "--flash", "back.bin"}).status, ExitOk);
}

TEST_F(LockedChip, ConfigurationBytesAreRefusedInsteadOfSkippedSilently) {
    benchFile("[slot 0]\nssb = FE\n");
    const ToolRun run = cli({"config", "--bsb", "00"});
    EXPECT_EQ(run.status, ExitDeviceError);
    EXPECT_TRUE(run.err.contains("the chip is locked (security level 2): it takes no configuration bytes"))
        << run.err.toStdString();
    EXPECT_EQ(storedByte(sim::ConfigByte::BSB), 0xFF);
    // Raising the security level still works on a locked chip.
    EXPECT_EQ(cli({"-q", "config", "--ssb", "isp-verify"}).status, ExitOk);
    EXPECT_EQ(storedByte(sim::ConfigByte::SSB), 0xFC);
}

using Configuration = CliRig;

TEST_F(Configuration, NamedBytesAreWrittenAndTheOthersKeepTheChipsValues) {
    // An HSB whose low bits the controls cannot show, and a BLJB that reading
    // unchecks: recomposing would change it.
    benchFile("[slot 0]\nhsb = F7\np1cf = 3C\n");
    const ToolRun run = cli({"config", "--bsb", "12", "--sbv", "$f0", "--eb", "0x5A"});
    ASSERT_EQ(run.status, ExitOk) << run.err.toStdString();
    EXPECT_EQ(storedByte(sim::ConfigByte::BSB), 0x12);
    EXPECT_EQ(storedByte(sim::ConfigByte::SBV), 0xF0);
    EXPECT_EQ(storedByte(sim::ConfigByte::EB), 0x5A);
    EXPECT_EQ(storedByte(sim::ConfigByte::HSB), 0xF7);
    EXPECT_EQ(storedByte(sim::ConfigByte::P1_CF), 0x3C);
    EXPECT_EQ(storedByte(sim::ConfigByte::SSB), 0xFF);
    EXPECT_EQ(run.out,
              "EB:                     $5A\nBSB:                    $12\nSBV:                    $F0\n")
        << run.out.toStdString(); // as read back, in the order written
}

TEST_F(Configuration, HsbOptionsComposeTheByteAndSecurityLevelsWriteTheirs) {
    // Factory HSB BB: BLJB programmed, X2 off, up to 32 MHz.
    ASSERT_EQ(cli({"-q", "config", "--x2", "on", "--osc", "16"}).status, ExitOk);
    EXPECT_EQ(storedByte(sim::ConfigByte::HSB), 0x2B);
    ASSERT_EQ(cli({"-q", "config", "--bljb", "off", "--ssb", "isp"}).status, ExitOk);
    EXPECT_EQ(storedByte(sim::ConfigByte::HSB), 0x6B);
    EXPECT_EQ(storedByte(sim::ConfigByte::SSB), 0xFE);
    const ToolRun info = cli({"info"});
    EXPECT_TRUE(info.out.contains("HSB:                    $6B\n"
                                  "  Oscillator:           up to 16 MHz\n"
                                  "  BLJB:                 off\n"
                                  "  X2:                   on\n"))
        << info.out.toStdString();
    EXPECT_TRUE(info.out.contains("Software Security Byte: $FE, level 2, ISP disabled\n"));
    EXPECT_TRUE(info.out.contains("Product Name:           31 (AT89C5131)\n")) << info.out.toStdString();
    // Lowering the level takes an erase.
    const ToolRun lower = cli({"config", "--ssb", "none"});
    EXPECT_EQ(lower.status, ExitDeviceError);
    EXPECT_TRUE(lower.err.contains("only an erase lowers it")) << lower.err.toStdString();
}

using Running = CliRig;

TEST_F(Running, JumpsToTheAddressOrResetsAndTheChipLeavesTheBus) {
    ASSERT_EQ(cli({"-q", "run", "--address", "1A2B"}).status, ExitOk);
    {
        const auto bench = stored();
        EXPECT_EQ(bench->chip(0)->startMode(), 1);
        EXPECT_EQ(bench->chip(0)->startAddress(), 0x1A2B);
        EXPECT_FALSE(bench->chip(0)->attached());
    }
    EXPECT_EQ(cli({"-q", "info"}).status, ExitNoDevice); // gone until it is reset
    stored()->chip(0)->reset();
    ASSERT_EQ(cli({"-q", "run", "--reset"}).status, ExitOk);
    EXPECT_EQ(stored()->chip(0)->startMode(), 0);
}

using Converting = CliRig;

TEST_F(Converting, RoundTripKeepsTheImageAndANameWithoutExtensionBecomesAHexFile) {
    const TBuffer image = imageWithHoles();
    writeFile("a.hex", hexFileOf(image));
    ASSERT_EQ(cli({"convert", "a.hex", "b.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("b.bin"), bytesOf(image));
    const ToolRun run = cli({"convert", "b.bin", "c"});
    ASSERT_EQ(run.status, ExitOk);
    EXPECT_TRUE(run.err.contains("saved as c.hex")) << run.err.toStdString();
    ASSERT_EQ(cli({"convert", "c.hex", "d.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("d.bin"), bytesOf(image));
    // The controller sizes the output; what lies beyond is dropped when asked.
    ASSERT_EQ(cli({"--controller", "5130", "convert", "--truncate", "a.hex", "small.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("small.bin"), bytesOf(image).left(0x4000));
}

// Input the tool must refuse rather than lose data over, and text from
// files that must not steer the terminal.
using BadInput = CliRig;

TEST_F(BadInput, AHexFileWithoutAnImageIsBadContentAndReplacesNothing) {
    const TBuffer image = imageWithHoles();
    writeFile("good.hex", hexFileOf(image));
    ASSERT_EQ(cli({"-q", "write", "--erase", "--flash", "good.hex"}).status, ExitOk);
    writeFile("junk.hex", QByteArray("\x7f"
                                     "ELF\x02\x01\x01\x1a\x00\x00garbage",
                                     16));
    const ToolRun convert = cli({"convert", "junk.hex", "good.hex"});
    EXPECT_EQ(convert.status, ExitFileContent);
    EXPECT_TRUE(convert.err.contains("corvane-cli: junk.hex: Illegal Char - line #1: "))
        << convert.err.toStdString();
    EXPECT_EQ(readFile("good.hex"), hexFileOf(image)) << "the good file stays";
    EXPECT_EQ(cli({"write", "--erase", "--flash", "junk.hex"}).status, ExitFileContent);
    EXPECT_EQ(stored()->chip(0)->flash(), image) << "the chip is not erased";
}

TEST_F(BadInput, DataBeyondTheChipIsRefusedNamingItsFirstAddressUnlessTruncated) {
    writeFile("high.hex", ":0100000011EE\r\n:027FF000ABCD17\r\n:00000001FF\r\n");
    writeFile("above64k.hex", ":0100000011EE\r\n:020000040001F9\r\n:010020007768\r\n:00000001FF\r\n");
    writeFile("big.bin", QByteArray(2000, '\x5a'));
    const struct {
        QStringList arguments;
        const char* address;
        const char* end;
    } cases[] = {
        {{"--controller", "5130", "convert", "high.hex", "out.bin"}, "7FF0", "3FFF"},
        {{"convert", "above64k.hex", "out.bin"}, "10020", "7FFF"},
        {{"write", "--eeprom", "big.bin"}, "0400", "03FF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ToolRun refused = cli(c.arguments);
        EXPECT_EQ(refused.status, ExitFileContent);
        EXPECT_TRUE(refused.err.contains(
            QStringLiteral("Data does not fit into the memory: address %1 lies beyond its end (%2)\n")
                .arg(c.address, c.end)))
            << refused.err.toStdString();
        EXPECT_EQ(cli(QStringList{"--truncate"} + c.arguments).status, ExitOk);
    }
    EXPECT_EQ(stored()->chip(0)->eeprom(), TBuffer(kEepromSize, 0x5A)) << "truncated: the first 1024 bytes";
}

TEST_F(BadInput, TextFromFilesReachesTheTerminalWithControlCharactersEscaped) {
    writeFile("evil.hex", ":01000000\x1b]0;owned\x07\x1b[2J\r\n");
    const ToolRun run = cli({"convert", "evil.hex", "out.bin"});
    EXPECT_EQ(run.status, ExitFileContent);
    EXPECT_FALSE(run.err.contains(QChar(0x1b)) || run.err.contains(QChar(0x07))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Wrong length - line #1: :01000000\\x1B]0;owned\\x07\\x1B[2J\n"))
        << run.err.toStdString();
    const ToolRun named = cli({"convert", "a\x1b[31m.hex", "out.bin"});
    EXPECT_EQ(named.status, ExitFileAccess);
    EXPECT_TRUE(named.err.contains("corvane-cli: a\\x1B[31m.hex: ")) << named.err.toStdString();
}

TEST_F(BadInput, FileNamesThatAreNotUtf8KeepTheirBytes) {
    const TBuffer image = imageWithHoles();
    writeRawName("bad\xff.hex", hexFileOf(image));
    ASSERT_EQ(cliBytes({"convert", "bad\xff.hex", "out\xfe.bin"}).status, ExitOk);
    EXPECT_TRUE(rawNameExists("out\xfe.bin"));
    EXPECT_FALSE(rawNameExists("out\xef\xbf\xbd.bin"));
    ASSERT_EQ(cliBytes({"-q", "write", "--flash", "bad\xff.hex"}).status, ExitOk);
    ASSERT_EQ(cliBytes({"-q", "read", "--flash", "back\xe9.bin"}).status, ExitOk);
    EXPECT_TRUE(rawNameExists("back\xe9.bin"));
    const ToolRun missing = cliBytes({"convert", "gone\xff.hex", "x.bin"});
    EXPECT_EQ(missing.status, ExitFileAccess);
    EXPECT_TRUE(missing.err.contains("corvane-cli: gone\\xFF.hex: ")) << missing.err.toStdString();
    // The scratch folder's own clean-up knows only UTF-8 names.
    for (const char* name : {"bad\xff.hex", "out\xfe.bin", "back\xe9.bin"})
        ::unlink((QFile::encodeName(dir.path()) + '/' + name).constData());
}

using ExitStatuses = CliRig;

// The parser's own tests name each problem; here that any of them ends the
// program with the usage status and the pointer to the help.
TEST_F(ExitStatuses, UsageErrorsNameTheProblemAndPointToHelp) {
    for (const char* line :
         {"", "flash", "-d 8 info", "read", "config --bsb 100", "run --reset --address 10", "info extra"}) {
        SCOPED_TRACE(line);
        const ToolRun run = cli(QString(line).split(' ', Qt::SkipEmptyParts));
        EXPECT_EQ(run.status, ExitUsage);
        EXPECT_TRUE(run.err.contains("Try 'corvane-cli --help'."));
    }
}

TEST_F(ExitStatuses, HelpListsEveryExitStatusAndVersionNamesTheProgram) {
    const ToolRun help = cli({"--help"});
    EXPECT_EQ(help.status, ExitOk);
    for (int status = ExitOk; status <= ExitVerify; ++status)
        EXPECT_TRUE(help.out.contains(QStringLiteral("\n  %1  ").arg(status))) << status;
    const ToolRun version = cli({"--version"});
    EXPECT_EQ(version.status, ExitOk);
    EXPECT_EQ(version.out, "Corvane v1.3\n");
}

TEST_F(ExitStatuses, MissingOrUnwritableFilesBeforeTheDeviceIsTouched) {
    const ToolRun missing = cli({"write", "--flash", "nothere.hex"});
    EXPECT_EQ(missing.status, ExitFileAccess);
    EXPECT_TRUE(missing.err.contains("corvane-cli: nothere.hex: Error #2: File not found\n"))
        << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains("Identifying"));
    const ToolRun unwritable = cli({"read", "--eeprom", "no/such/folder/e.bin"});
    EXPECT_EQ(unwritable.status, ExitFileAccess);
    EXPECT_TRUE(unwritable.err.contains("corvane-cli: device 0: no/such/folder/e.bin: "))
        << unwritable.err.toStdString();
    // With --json the document tells why, before any chip as well.
    for (const QStringList& args :
         {QStringList{"--json", "write", "--flash", "nothere.hex"}, QStringList{"--json", "wrte"}}) {
        const ToolRun run = cli(args);
        const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8()).object();
        EXPECT_EQ(doc["exitStatus"].toInt(), run.status);
        EXPECT_EQ(doc["errorKind"].toString(), run.status == ExitUsage ? "usage" : "file-access");
        EXPECT_FALSE(doc["message"].toString().isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(doc["devices"].toArray().isEmpty());
    }
}

TEST_F(ExitStatuses, DeviceNotFoundForAnEmptyNumberOrAnotherDevice) {
    const ToolRun empty = cli({"-d", "3", "info"});
    EXPECT_EQ(empty.status, ExitNoDevice);
    EXPECT_TRUE(empty.err.contains("corvane-cli: device 3: no bootloader answers at device 3\n"))
        << empty.err.toStdString();
    benchFile("[slot 0]\nproduct = 2FFE\n");
    const ToolRun other = cli({"erase"});
    EXPECT_EQ(other.status, ExitNoDevice);
    EXPECT_TRUE(other.err.contains("device 0 is not the bootloader (vendor 03EB, product 2FFE)\n"))
        << other.err.toStdString();
}

// --controller must name the chip's type; --force goes on all the same.
TEST_F(ExitStatuses, AnotherControllerThanNamedIsRefusedUnlessForced) {
    benchFile("[slot 0]\ncontroller = AT89C5130\n");
    const ToolRun refused = cli({"--controller", "5131", "erase"});
    EXPECT_EQ(refused.status, ExitNoDevice);
    EXPECT_TRUE(refused.err.contains("the device is an AT89C5130, not the AT89C5131 given by --controller"))
        << refused.err.toStdString();
    EXPECT_FALSE(refused.err.contains("Erasing"));
    EXPECT_EQ(cli({"--controller", "5131", "--force", "erase"}).status, ExitOk);
    EXPECT_EQ(cli({"--controller", "5130", "info"}).status, ExitOk);
    EXPECT_EQ(cli({"info"}).status, ExitOk); // not named: not checked

    // Not named, the larger type is assumed: a chip that reports itself as
    // the other one is left untouched by what its size matters to, with the
    // option to give.
    const QString hint = "the device reports itself as an AT89C5130; without --controller an AT89C5131 is "
                         "assumed. Try --controller 5130";
    writeFile("small.hex", ":0400000001020304F2\n:00000001FF\n");
    stored()->chip(0)->flash()[0] = 0x12;
    const TBuffer before = stored()->chip(0)->flash();
    for (const QStringList& args :
         {QStringList{"read", "--flash", "r.hex"}, QStringList{"write", "--erase", "--flash", "small.hex"}}) {
        const ToolRun failed = cli(args);
        EXPECT_EQ(failed.status, ExitNoDevice);
        EXPECT_TRUE(failed.err.contains(hint)) << failed.err.toStdString();
        EXPECT_FALSE(failed.err.contains("Erasing"));
    }
    EXPECT_EQ(stored()->chip(0)->flash(), before);
    EXPECT_FALSE(QFile::exists(dir.filePath("r.hex")));
    EXPECT_EQ(cli({"--controller", "5130", "read", "--flash", "r.hex"}).status, ExitOk);
}

using Output = CliRig;

TEST_F(Output, WithoutATerminalEachStepIsOnePlainLineAndQuietPrintsOnlyFailures) {
    writeFile("prog.hex", hexFileOf(imageWithHoles()));
    const ToolRun run =
        cli({"write", "--no-verify", "--truncate", "--flash", "prog.hex", "--eeprom", "prog.hex"});
    ASSERT_EQ(run.status, ExitOk);
    // Each step, and a line at each quarter of one with several requests.
    // The EEPROM is read first: the file defines only some of its bytes.
    EXPECT_EQ(run.err, "Identifying...\n"
                       "Reading EEPROM...\n"
                       "Writing FLASH...\n"
                       "Writing FLASH... 25%\n"
                       "Writing FLASH... 50%\n"
                       "Writing FLASH... 75%\n"
                       "Writing EEPROM...\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(cli({"-q", "erase"}).err, "");
    const ToolRun failed = cli({"--quiet", "-d", "1", "erase"});
    EXPECT_EQ(failed.err, "corvane-cli: device 1: no bootloader answers at device 1\n");
}

} // namespace
} // namespace corvane::cli
