// SPDX-License-Identifier: GPL-3.0-or-later
// The tool against a chip that fails: for each command, one failed request,
// one error status and the chip leaving the bus at every request position of
// the command's fault-free run. The tool may only report success when the
// chip ends as after the fault-free run (and what it printed or saved is the
// same), fails with one of the device statuses otherwise, never leaves a
// configuration byte other than the one asked for or the one it had, and
// gives the same status, chip and message whether run plainly, with --json
// or on a device list.

#include "cli/outcome.h"
#include "cli/tests/in_process.h"
#include "sim/bench.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace corvane::cli {
namespace {

struct Scenario {
    const char* name;
    // One command line, or several run one after the other on the same chip
    // (the first failure ends the sequence).
    std::vector<QStringList> commandLines;
    // Files the command writes, compared with the fault-free run's.
    QStringList outputs;
    bool comparesPrintout = false;
    bool blankChip = false;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

enum class Form { Plain, Json, List };

// What a run leaves behind.
struct Result {
    int status = -1;
    std::vector<std::uint8_t> flash, eeprom;
    sim::ConfigBytes bytes;
    bool running = false;
    bool attached = true;
    int startMode = -1;
    std::uint16_t startAddress = 0;
    QByteArray printed;
    std::vector<QByteArray> files;
    QString message; // what the tool said about the failure
    int requests = 0;
    std::vector<bool> statusRequests; // by request number - 1

    bool sameChip(const Result& o) const {
        return flash == o.flash && eeprom == o.eeprom && sameBytes(o) && running == o.running &&
               startMode == o.startMode && startAddress == o.startAddress;
    }
    bool sameBytes(const Result& o) const {
        for (auto b : kBytes)
            if (bytes[b] != o.bytes[b])
                return false;
        return true;
    }
    static constexpr sim::ConfigByte kBytes[] = {
        sim::ConfigByte::BSB,   sim::ConfigByte::SBV, sim::ConfigByte::P1_CF, sim::ConfigByte::P3_CF,
        sim::ConfigByte::P4_CF, sim::ConfigByte::SSB, sim::ConfigByte::EB,    sim::ConfigByte::HSB};
};

// Configuration bytes other than the factory's, so that a byte written back
// wrongly shows.
sim::ConfigBytes initialBytes() {
    sim::ConfigBytes bytes;
    bytes.HSB = 0xBF;
    bytes.P1_CF = 0x7E;
    bytes.EB = 0xF0;
    return bytes;
}

// The failure's message as each form tells it: after "device 0: " on
// stderr, in the document, in the summary.
QString messageOf(Form form, const QByteArray& out, const QByteArray& err) {
    if (form == Form::Json) {
        // The last command's document.
        const qsizetype last = out.lastIndexOf("\n{\n");
        const QJsonArray devices =
            QJsonDocument::fromJson(last < 0 ? out : out.mid(last + 1)).object().value("devices").toArray();
        return devices.isEmpty() ? QString() : devices[0].toObject().value("message").toString();
    }
    const QString text = QString::fromUtf8(form == Form::List ? out : err);
    const QString marker = form == Form::List ? "Failed: device 0: " : "corvane-cli: device 0: ";
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return {};
    const qsizetype end = text.indexOf('\n', at);
    return text.mid(at + marker.size(), end - at - marker.size());
}

class FaultSweep : public ::testing::TestWithParam<Scenario> {
protected:
    QTemporaryDir dir;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QByteArray flash(0x8000, char(0xFF)), eeprom(0x400, 0);
        for (int i = 0; i < 0x1345; ++i)
            flash[i] = char(i * 13 + 7);
        flash[0x7FF0] = 0x42;
        for (int i = 0; i < eeprom.size(); ++i)
            eeprom[i] = char(0xA5 ^ i);
        writeFile("prog.bin", flash);
        writeFile("data.bin", eeprom);
    }

    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QStringList arguments(const QStringList& commandLine, Form form) const {
        QStringList args{"-q"};
        if (form == Form::Json)
            args << "--json";
        if (form == Form::List)
            args << "-d"
                 << "0-0";
        for (const QString& a : commandLine)
            args << (a.endsWith(".bin") || a.endsWith(".hex") ? dir.filePath(a) : a);
        return args;
    }

    // One run of the tool on a chip with the same content as every other run.
    Result run(const std::function<void(sim::FaultPlan&)>& fault, Form form = Form::Plain) const {
        for (const QString& name : GetParam().outputs)
            QFile::remove(dir.filePath(form == Form::List ? QString(name).replace(".", "-0.") : name));
        sim::SimBench bench;
        sim::ChipConfig config;
        config.initial = initialBytes();
        sim::SimChip& chip = bench.insert(0, config);
        if (!GetParam().blankChip) {
            for (std::size_t i = 0; i < chip.flash().size(); ++i)
                chip.flash()[i] = std::uint8_t(i ^ (i >> 7));
        }
        for (std::size_t i = 0; i < chip.eeprom().size(); ++i)
            chip.eeprom()[i] = std::uint8_t(i * 5);
        fault(chip.faults());
        sim::SimLink link(bench);

        Result o;
        o.status = ExitOk;
        QByteArray printed, said;
        for (const QStringList& commandLine : GetParam().commandLines) {
            const Printed p = runInProcess(arguments(commandLine, form), link);
            printed += p.out;
            said += p.err;
            o.status = p.status;
            if (o.status != ExitOk)
                break;
        }
        o.flash = chip.flash();
        o.eeprom = chip.eeprom();
        o.bytes = chip.configBytes();
        o.running = chip.applicationRunning();
        o.attached = chip.attached();
        o.startMode = chip.startMode();
        o.startAddress = chip.startAddress();
        if (GetParam().comparesPrintout && form == Form::Plain)
            o.printed = printed;
        o.message = messageOf(form, printed, said);
        for (const QString& name : GetParam().outputs) {
            QFile f(dir.filePath(form == Form::List ? QString(name).replace(".", "-0.") : name));
            o.files.push_back(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)"));
        }
        o.requests = int(chip.log().size());
        for (const auto& r : chip.log())
            o.statusRequests.push_back(r.kind == sim::LoggedRequest::Kind::Class &&
                                       r.bRequest == DFU_GETSTATUS);
        return o;
    }
};

TEST_P(FaultSweep, SuccessOnlyWithTheFaultFreeResultTheSameInEveryForm) {
    const Result reference = run([](sim::FaultPlan&) {});
    ASSERT_EQ(reference.status, ExitOk) << reference.message.toStdString();
    const sim::ConfigBytes original = initialBytes();
    const std::set<int> deviceStatuses{ExitNoDevice, ExitDeviceError, ExitVerify};
    int failures = 0;
    for (int k = 1; k <= reference.requests; ++k) {
        struct Fault {
            const char* what;
            std::function<void(sim::FaultPlan&)> arm;
        };
        std::vector<Fault> faults{{"fail-request", [k](sim::FaultPlan& p) { p.failRequest(k); }},
                                  {"vanish-after", [k](sim::FaultPlan& p) { p.vanishAfter(k); }}};
        if (reference.statusRequests[std::size_t(k - 1)])
            faults.push_back({"status", [k](sim::FaultPlan& p) { p.answerStatus(k, sim::errWRITE); }});
        for (const Fault& f : faults) {
            SCOPED_TRACE(std::string(f.what) + " at request " + std::to_string(k));
            const Result o = run(f.arm);
            if (o.status == ExitOk) {
                // A chip that left the bus right after taking the start
                // command looks to the tool like one that started.
                const bool leftAtStart = !o.attached && o.startMode == reference.startMode &&
                                         o.startAddress == reference.startAddress;
                EXPECT_TRUE(o.sameChip(reference) || leftAtStart) << "success reported, but the chip differs";
                EXPECT_EQ(o.printed, reference.printed);
                EXPECT_EQ(o.files, reference.files);
            } else {
                ++failures;
                EXPECT_TRUE(deviceStatuses.count(o.status)) << "exit status " << o.status;
                EXPECT_FALSE(o.message.isEmpty());
            }
            for (auto b : Result::kBytes)
                EXPECT_TRUE(o.bytes[b] == original[b] || o.bytes[b] == reference.bytes[b])
                    << "configuration byte " << int(b) << " = " << int(o.bytes[b]);
            for (Form form : {Form::Json, Form::List}) {
                const Result same = run(f.arm, form);
                EXPECT_EQ(same.status, o.status) << "form " << int(form);
                EXPECT_TRUE(same.sameChip(o)) << "form " << int(form);
                EXPECT_EQ(same.message, o.message) << "form " << int(form);
                EXPECT_EQ(same.files, o.files) << "form " << int(form);
            }
        }
    }
    EXPECT_GT(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, FaultSweep,
    ::testing::Values(
        Scenario{"info", {{"info"}}, {}, true},
        Scenario{"read", {{"read", "--flash", "back.hex", "--eeprom", "back.bin"}}, {"back.hex", "back.bin"}},
        Scenario{"erase", {{"erase"}}, {}},
        Scenario{
            "write_blank_chip", {{"write", "--flash", "prog.bin", "--eeprom", "data.bin"}}, {}, false, true},
        Scenario{"write_used_chip", {{"write", "--flash", "prog.bin"}}, {}},
        Scenario{"write_erase", {{"write", "--erase", "--flash", "prog.bin", "--eeprom", "data.bin"}}, {}},
        Scenario{"write_erase_then_config",
                 {{"write", "--erase", "--flash-all", "--flash", "prog.bin"},
                  {"config", "--bljb", "off", "--sbv", "20", "--ssb", "isp-verify"}},
                 {}},
        Scenario{"write_serial",
                 {{"write", "--flash", "prog.bin", "--serial", "7", "--serial-at", "eeprom:20"}},
                 {}},
        Scenario{"config_one_byte", {{"config", "--bsb", "12"}}, {}},
        Scenario{"config_all",
                 {{"config", "--osc", "16", "--bljb", "on", "--x2", "on", "--sbv", "34", "--eb", "56",
                   "--p1cf", "78", "--p3cf", "9A", "--p4cf", "BC", "--ssb", "isp"}},
                 {}},
        Scenario{"run_address", {{"run", "--address", "1234"}}, {}},
        Scenario{"run_reset", {{"run", "--reset"}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace corvane::cli
