#include "cli/tests/cli_rig.h"

#include <QFile>
#include <QProcess>

namespace corvane::cli::testing {

CliRun CliRig::cli(QStringList arguments, Backend backend) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CORVANE_SIM_DIR"), dir.path());
    env.remove(QStringLiteral("CORVANE_SIM_CONFIG"));
    env.remove(QStringLiteral("LD_PRELOAD"));
    if (backend == Backend::Libusb) {
        // Without the stand-in the tool would reach real USB devices.
        if (!QFile::exists(QStringLiteral(CORVANE_STANDIN_PATH))) {
            ADD_FAILURE() << "libusb stand-in missing: " << CORVANE_STANDIN_PATH;
            return {};
        }
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(CORVANE_STANDIN_PATH));
    } else {
        arguments.prepend(QStringLiteral("--simulate"));
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(CORVANE_CLI_PATH), arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "corvane-cli did not finish: " << arguments.join(' ').toStdString();
        return {};
    }
    CliRun result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void CliRig::benchFile(const QByteArray& text) const {
    writeFile(QStringLiteral("bench.conf"), text);
}

void CliRig::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray CliRig::readFile(const QString& name) const {
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

std::unique_ptr<sim::SimBench> CliRig::stored() const {
    return sim::SimBench::fromFolder(dir.path().toStdString());
}

QByteArray hexFileOf(const TBuffer& image) {
    QByteArray text;
    auto record = [&text](std::size_t address, const std::uint8_t* data, std::size_t count) {
        QByteArray bytes;
        bytes.append(char(count));
        bytes.append(char(address >> 8));
        bytes.append(char(address & 0xFF));
        bytes.append(char(0));
        bytes.append(reinterpret_cast<const char*>(data), qsizetype(count));
        unsigned sum = 0;
        for (char b : bytes)
            sum += std::uint8_t(b);
        bytes.append(char((0x100 - (sum & 0xFF)) & 0xFF));
        text += ':' + bytes.toHex().toUpper() + "\r\n";
    };
    std::size_t a = 0;
    while (a < image.size()) {
        if (image[a] == 0xFF) {
            ++a;
            continue;
        }
        std::size_t n = 0;
        while (a + n < image.size() && n < 16 && image[a + n] != 0xFF)
            ++n;
        record(a, image.data() + a, n);
        a += n;
    }
    return text + ":00000001FF\r\n";
}

} // namespace corvane::cli::testing
