// corvane-cli run as a program on the simulated bench: programming, reading
// back, refusals of a locked chip, the configuration bytes, conversions and
// the exit status of every kind of failure.

#include "cli/tests/cli_rig.h"

#include "cli/exit_status.h"

#include <QFile>

namespace corvane::cli::testing {
namespace {

// A FLASH image with data in four places and erased holes between them.
TBuffer imageWithHoles(std::size_t size = 0x8000) {
    TBuffer image(size, 0xFF);
    for (std::size_t i = 0; i < 16; ++i)
        image[i] = std::uint8_t(i);
    for (std::size_t i = 0x1234; i < 0x1244; ++i)
        image[i] = 0xA5;
    for (std::size_t i = 0x3000; i < 0x3100; ++i)
        image[i] = std::uint8_t(i * 7 + 1) == 0xFF ? 0 : std::uint8_t(i * 7 + 1);
    image[size - 3] = 0x42;
    return image;
}

QByteArray bytesOf(const TBuffer& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

TBuffer eepromPattern() {
    TBuffer e(kEepromSize, 0xFF);
    for (std::size_t i = 0; i < 300; ++i)
        e[i] = std::uint8_t(i ^ 0x5A);
    return e;
}

class Programming : public CliRig, public ::testing::WithParamInterface<Backend> {};

TEST_P(Programming, EraseWriteHexWithHolesAndReadBackGiveTheSameBytes) {
    const TBuffer flash = imageWithHoles();
    writeFile("prog.hex", hexFileOf(flash));
    writeFile("data.bin", bytesOf(eepromPattern()));

    ASSERT_EQ(cli({"-q", "erase"}, GetParam()).status, ExitOk);
    const CliRun written = cli({"write", "--flash", "prog.hex", "--eeprom", "data.bin"}, GetParam());
    ASSERT_EQ(written.status, ExitOk) << written.err.toStdString();
    const CliRun readBack = cli({"read", "--flash", "back.bin", "--eeprom", "back.hex"}, GetParam());
    ASSERT_EQ(readBack.status, ExitOk) << readBack.err.toStdString();

    EXPECT_EQ(readFile("back.bin"), bytesOf(flash));
    // Reading the EEPROM back as Intel HEX and writing that file again
    // gives the same chip.
    ASSERT_EQ(cli({"-q", "write", "--eeprom", "back.hex"}, GetParam()).status, ExitOk);
    const auto bench = stored();
    EXPECT_EQ(bench->chip(0)->flash(), flash);
    EXPECT_EQ(bench->chip(0)->eeprom(), eepromPattern());
}

INSTANTIATE_TEST_SUITE_P(Backends, Programming, ::testing::Values(Backend::Simulated, Backend::Libusb),
                         [](const auto& info) {
                             return info.param == Backend::Simulated ? std::string("InProcess")
                                                                     : std::string("ThroughLibusb");
                         });

using Writing = CliRig;

TEST_F(Writing, WithoutEraseOnlyTheUsedBlocksAreWrittenAndVerified) {
    TBuffer high(0x8000, 0xFF);
    high[0x7000] = 0x11;
    writeFile("high.bin", bytesOf(high));
    ASSERT_EQ(cli({"-q", "write", "--flash", "high.bin"}).status, ExitOk);

    TBuffer low(0x8000, 0xFF);
    low[0x0400] = 0x22; // second block: blocks 0 and 1 are written
    writeFile("low.hex", hexFileOf(low));
    const CliRun run = cli({"write", "--flash", "low.hex"});
    EXPECT_EQ(run.status, ExitOk) << run.err.toStdString();

    const auto bench = stored();
    EXPECT_EQ(bench->chip(0)->flash()[0x0400], 0x22);
    EXPECT_EQ(bench->chip(0)->flash()[0x7000], 0x11); // beyond the written blocks
}

TEST_F(Writing, VerifyNamesTheFirstDifferenceAndCountsTheDifferingBytes) {
    benchFile("[slot 0]\nstuck-flash = 1236, 1240, 3000\n");
    writeFile("prog.hex", hexFileOf(imageWithHoles()));
    const CliRun run = cli({"write", "--erase", "--flash", "prog.hex"});
    EXPECT_EQ(run.status, ExitVerify);
    EXPECT_TRUE(run.err.contains("Verify-Error: Flash-Memory Verify Error!\n"
                                 "First difference at $1236, 3 byte(s) differ\n"))
        << run.err.toStdString();
}

TEST_F(Writing, NoVerifyLeavesTheReadBackOut) {
    benchFile("[slot 0]\nstuck-flash = 0000\n");
    writeFile("prog.hex", hexFileOf(imageWithHoles()));
    const CliRun run = cli({"write", "--no-verify", "--flash", "prog.hex"});
    EXPECT_EQ(run.status, ExitOk);
    EXPECT_FALSE(run.err.contains("Reading Flash-Memory"));
}

TEST_F(Writing, ControllerTypeSizesTheImage) {
    benchFile("[slot 0]\ncontroller = AT89C5130\n");
    writeFile("prog.hex", hexFileOf(imageWithHoles(0x4000)));
    ASSERT_EQ(cli({"-q", "--controller", "5130", "write", "--flash-all", "--flash", "prog.hex"}).status,
              ExitOk);
    ASSERT_EQ(cli({"-q", "--controller", "5130", "read", "--flash", "back.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("back.bin"), bytesOf(imageWithHoles(0x4000)));
    // The 32 KB image does not fit the smaller chip.
    const CliRun run = cli({"-q", "write", "--flash-all", "--flash", "prog.hex"});
    EXPECT_EQ(run.status, ExitDeviceError);
    EXPECT_TRUE(run.err.contains("USB-ERROR: Flash-Memory Write Error!")) << run.err.toStdString();
}

using LockedChip = CliRig;

TEST_F(LockedChip, RefusesWritesAndSaysTheDeviceIsLocked) {
    benchFile("[slot 0]\nssb = FE\n");
    writeFile("prog.hex", hexFileOf(imageWithHoles()));
    const CliRun run = cli({"write", "--flash", "prog.hex"});
    EXPECT_EQ(run.status, ExitDeviceError);
    EXPECT_TRUE(run.err.contains("USB-ERROR: Flash-Memory Write Error!\n(Device is locked)\n"))
        << run.err.toStdString();
    EXPECT_EQ(stored()->chip(0)->flash(), TBuffer(0x8000, 0xFF));
}

TEST_F(LockedChip, ReadProtectionRefusesReadsAndWritesNoFile) {
    benchFile("[slot 0]\nssb = FC\n");
    const CliRun run = cli({"read", "--flash", "back.bin"});
    EXPECT_EQ(run.status, ExitDeviceError);
    EXPECT_TRUE(run.err.contains("USB-ERROR: Flash-Memory Read Error!\n(Device is locked)\n"))
        << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("back.bin")));
}

TEST_F(LockedChip, ConfigurationBytesAreRefusedInsteadOfSkippedSilently) {
    benchFile("[slot 0]\nssb = FE\n");
    const CliRun run = cli({"config", "--bsb", "00"});
    EXPECT_EQ(run.status, ExitDeviceError);
    EXPECT_TRUE(run.err.contains("Can't write configuration bytes!\n(Device is locked)"));
    EXPECT_EQ(stored()->chip(0)->configByte(sim::ConfigByte::BSB), 0xFF);
    // Raising the security level still works on a locked chip.
    EXPECT_EQ(cli({"-q", "config", "--ssb", "isp-verify"}).status, ExitOk);
    EXPECT_EQ(stored()->chip(0)->configByte(sim::ConfigByte::SSB), 0xFC);
}

TEST_F(LockedChip, EraseUnlocksIt) {
    benchFile("[slot 0]\nssb = FC\n");
    ASSERT_EQ(cli({"-q", "erase"}).status, ExitOk);
    EXPECT_EQ(stored()->chip(0)->configByte(sim::ConfigByte::SSB), 0xFF);
    EXPECT_EQ(cli({"-q", "read", "--flash", "back.bin"}).status, ExitOk);
}

using Configuration = CliRig;

TEST_F(Configuration, NamedBytesAreWrittenAndTheOthersKeepTheChipsValues) {
    // An HSB whose low bits the controls cannot show, and a BLJB that reading
    // unchecks: recomposing would change it.
    benchFile("[slot 0]\nhsb = F7\np1cf = 3C\n");
    const CliRun run = cli({"config", "--bsb", "12", "--sbv", "$f0", "--eb", "0x5A"});
    ASSERT_EQ(run.status, ExitOk) << run.err.toStdString();
    const auto bench = stored();
    const sim::SimChip& chip = *bench->chip(0);
    EXPECT_EQ(chip.configByte(sim::ConfigByte::BSB), 0x12);
    EXPECT_EQ(chip.configByte(sim::ConfigByte::SBV), 0xF0);
    EXPECT_EQ(chip.configByte(sim::ConfigByte::EB), 0x5A);
    EXPECT_EQ(chip.configByte(sim::ConfigByte::HSB), 0xF7);
    EXPECT_EQ(chip.configByte(sim::ConfigByte::P1_CF), 0x3C);
    EXPECT_EQ(chip.configByte(sim::ConfigByte::SSB), 0xFF);
    // What the chip holds afterwards is shown.
    EXPECT_TRUE(run.out.contains("BSB:                    $12\n")) << run.out.toStdString();
}

TEST_F(Configuration, HsbOptionsComposeTheByteFromTheChipsOtherBits) {
    // Factory HSB BB: BLJB programmed, X2 off, up to 32 MHz.
    ASSERT_EQ(cli({"-q", "config", "--x2", "on", "--osc", "16"}).status, ExitOk);
    EXPECT_EQ(stored()->chip(0)->configByte(sim::ConfigByte::HSB), 0x2B);
    ASSERT_EQ(cli({"-q", "config", "--bljb", "off"}).status, ExitOk);
    EXPECT_EQ(stored()->chip(0)->configByte(sim::ConfigByte::HSB), 0x6B);
    const CliRun info = cli({"info"});
    EXPECT_TRUE(info.out.contains("HSB:                    $6B\n"
                                  "  Oscillator:           10 - 0..16 MHz\n"
                                  "  BLJB:                 off\n"
                                  "  X2:                   on\n"))
        << info.out.toStdString();
}

TEST_F(Configuration, SecurityLevelsWriteTheirBytes) {
    ASSERT_EQ(cli({"-q", "config", "--ssb", "isp"}).status, ExitOk);
    EXPECT_EQ(stored()->chip(0)->configByte(sim::ConfigByte::SSB), 0xFE);
    const CliRun info = cli({"info"});
    EXPECT_TRUE(info.out.contains("Software Security Byte: 01 - ISP disabled\n"));
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
    // Gone from the bus until it is reset.
    EXPECT_EQ(cli({"-q", "info"}).status, ExitNoDevice);
    stored()->chip(0)->reset();
    ASSERT_EQ(cli({"-q", "run", "--reset"}).status, ExitOk);
    EXPECT_EQ(stored()->chip(0)->startMode(), 0);
}

using Converting = CliRig;

TEST_F(Converting, HexToBinaryAndBackKeepsTheImage) {
    const TBuffer image = imageWithHoles();
    writeFile("a.hex", hexFileOf(image));
    ASSERT_EQ(cli({"convert", "a.hex", "b.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("b.bin"), bytesOf(image));
    ASSERT_EQ(cli({"convert", "b.bin", "c.hex"}).status, ExitOk);
    ASSERT_EQ(cli({"convert", "c.hex", "d.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("d.bin"), bytesOf(image));
}

TEST_F(Converting, TheControllerSizesTheOutputAndDropsWhatLiesBeyond) {
    writeFile("a.hex", hexFileOf(imageWithHoles()));
    ASSERT_EQ(cli({"--controller", "5130", "convert", "a.hex", "small.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("small.bin"), bytesOf(imageWithHoles()).left(0x4000));
    // A short binary file grows to the image's size, erased.
    writeFile("short.bin", QByteArray(10, '\x01'));
    ASSERT_EQ(cli({"convert", "short.bin", "long.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("long.bin"), QByteArray(10, '\x01') + QByteArray(0x8000 - 10, '\xFF'));
}

TEST_F(Converting, ANameWithoutExtensionBecomesAHexFile) {
    writeFile("a.bin", QByteArray(4, '\x07'));
    const CliRun run = cli({"convert", "a.bin", "out"});
    ASSERT_EQ(run.status, ExitOk);
    EXPECT_EQ(readFile("out.hex"), QByteArray(":0400000007070707E0\r\n:00000001FF\r\n"));
    EXPECT_TRUE(run.err.contains("Saved as")) << run.err.toStdString();
}

using ExitStatuses = CliRig;

TEST_F(ExitStatuses, UsageErrorsNameTheProblemAndPointToHelp) {
    const QList<QStringList> wrong{
        {},
        {"flash"},
        {"-d", "8", "info"},
        {"--controller", "5132", "info"},
        {"read"},
        {"read", "--flash", "a.hex", "--erase"},
        {"write", "--eeprom", "e.bin", "--erase"},
        {"config"},
        {"config", "--bsb", "100"},
        {"config", "--osc", "24"},
        {"config", "--x2", "yes"},
        {"run", "--reset", "--address", "10"},
        {"run", "--address", "10000"},
        {"convert", "a.hex"},
        {"info", "extra"},
        {"--no-such-option", "info"},
    };
    for (const QStringList& arguments : wrong) {
        const CliRun run = cli(arguments);
        EXPECT_EQ(run.status, ExitUsage) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("Try 'corvane-cli --help'.")) << arguments.join(' ').toStdString();
    }
}

TEST_F(ExitStatuses, HelpListsEveryExitStatusAndVersionNamesTheProgram) {
    const CliRun help = cli({"--help"});
    EXPECT_EQ(help.status, ExitOk);
    for (int status = ExitOk; status <= ExitVerify; ++status)
        EXPECT_TRUE(help.out.contains(QStringLiteral("\n  %1  ").arg(status))) << status;
    const CliRun version = cli({"--version"});
    EXPECT_EQ(version.status, ExitOk);
    EXPECT_EQ(version.out, "Corvane v1.3\n");
}

TEST_F(ExitStatuses, MissingOrUnwritableFilesBeforeTheDeviceIsTouched) {
    const CliRun missing = cli({"write", "--flash", "nothere.hex"});
    EXPECT_EQ(missing.status, ExitFileAccess);
    EXPECT_TRUE(missing.err.contains("File-Error: File: nothere.hex\nError #2\nFile not found\n"))
        << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains("Reading device informations"));

    const CliRun unwritable = cli({"read", "--eeprom", "no/such/folder/e.bin"});
    EXPECT_EQ(unwritable.status, ExitFileAccess);
    EXPECT_TRUE(unwritable.err.contains("IO-Error: File: no/such/folder/e.bin\n"))
        << unwritable.err.toStdString();
}

TEST_F(ExitStatuses, BadContentAndUnknownExtensionsAreBadFiles) {
    writeFile("bad.hex", ":10000000000102030405060708090A0B0C0D0E0F78\r\n:0100000000FE\r\n");
    const CliRun bad = cli({"write", "--flash", "bad.hex"});
    EXPECT_EQ(bad.status, ExitFileContent);
    EXPECT_TRUE(bad.err.contains("File-Error: File: bad.hex\nWrong Checksum - line #2\n:0100000000FE\n"))
        << bad.err.toStdString();
    EXPECT_EQ(stored()->chip(0)->flash(), TBuffer(0x8000, 0xFF));

    writeFile("prog.txt", "x");
    const CliRun unknown = cli({"convert", "prog.txt", "out.bin"});
    EXPECT_EQ(unknown.status, ExitFileContent);
    EXPECT_TRUE(unknown.err.contains("Unknown file extension!"));
}

TEST_F(ExitStatuses, DeviceNotFoundForAnEmptyNumberOrAnotherDevice) {
    const CliRun empty = cli({"-d", "3", "info"});
    EXPECT_EQ(empty.status, ExitNoDevice);
    EXPECT_TRUE(empty.err.contains("USB-ERROR: USB-Device not found!\n"));

    benchFile("[slot 0]\nproduct = 2FFE\n");
    const CliRun other = cli({"erase"});
    EXPECT_EQ(other.status, ExitNoDevice);
    EXPECT_TRUE(
        other.err.contains("USB-ERROR: No 89C513x Bootloader found!\nVendor-ID: 03EB\nProduct-ID: 2FFE\n"))
        << other.err.toStdString();
}

TEST_F(ExitStatuses, FailingRequestsAreDeviceErrors) {
    benchFile("[slot 0]\nfail-request = 60\n");
    writeFile("prog.hex", hexFileOf(imageWithHoles()));
    const CliRun run = cli({"write", "--flash", "prog.hex"});
    EXPECT_EQ(run.status, ExitDeviceError);
    EXPECT_TRUE(run.err.contains("USB-ERROR: ")) << run.err.toStdString();
}

using Listing = CliRig;

TEST_F(Listing, ShowsEachNumberWhereSomethingAnswers) {
    benchFile("[slot 0]\n[slot 2]\nproduct = 2FFE\n[slot 5]\ncontroller = AT89C5130\n");
    const CliRun run = cli({"list"});
    EXPECT_EQ(run.status, ExitOk);
    EXPECT_EQ(run.out, "0: Manufacturer 58, Family Code D7, Product Name 31, Product Revision 01, "
                       "Bootloader Version 1.0.5\n"
                       "2: No 89C513x Bootloader found! Vendor-ID: 03EB Product-ID: 2FFE\n"
                       "5: Manufacturer 58, Family Code D7, Product Name 30, Product Revision 01, "
                       "Bootloader Version 1.0.5\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(Listing, AnEmptyBenchIsDeviceNotFound) {
    benchFile("[foreign]\ndevice = 1D6B:0002 bus=1 ports=\n");
    const CliRun run = cli({"list"});
    EXPECT_EQ(run.status, ExitNoDevice);
    EXPECT_EQ(run.out, "");
}

using Output = CliRig;

TEST_F(Output, WithoutATerminalEachStepIsOnePlainLine) {
    writeFile("prog.hex", hexFileOf(imageWithHoles()));
    const CliRun run = cli({"write", "--no-verify", "--flash", "prog.hex", "--eeprom", "prog.hex"});
    ASSERT_EQ(run.status, ExitOk);
    EXPECT_EQ(run.err, "Reading device informations...\n"
                       "Reading device informations...\n"
                       "Writing Flash-Memory...\n"
                       "Writing EEPROM...\n");
    EXPECT_EQ(run.out, "");
}

TEST_F(Output, QuietPrintsOnlyFailures) {
    EXPECT_EQ(cli({"-q", "erase"}).err, "");
    // The failure, and why the link could not open the device.
    const CliRun failed = cli({"--quiet", "-d", "1", "erase"});
    EXPECT_TRUE(failed.err.startsWith("USB-ERROR: USB-Device not found!\n(")) << failed.err.toStdString();
    EXPECT_FALSE(failed.err.contains("..."));
}

} // namespace
} // namespace corvane::cli::testing
