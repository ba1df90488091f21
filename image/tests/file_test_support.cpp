#include "file_test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <random>
#include <stdexcept>

namespace corvane::testing {

ScratchDir::ScratchDir() {
    if (!Dir.isValid())
        throw std::runtime_error("no scratch folder");
}

QString ScratchDir::path(const QString& name) const {
    return Dir.filePath(name);
}

void ScratchDir::write(const QString& name, const QByteArray& content) const {
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        throw std::runtime_error("cannot write scratch file");
}

QByteArray ScratchDir::read(const QString& name) const {
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QStringList ScratchDir::entries() const {
    return QDir(Dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TBuffer patternImage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    TBuffer image(size, kErased);
    std::size_t i = 0;
    while (i < size) {
        const std::size_t data = random() % 70;
        for (std::size_t k = 0; k < data && i < size; ++k, ++i)
            image[i] = std::uint8_t(random() % 4 == 0 ? 0xFF : random() % 255);
        i += random() % 5; // erased gap of 0 to 4 bytes
    }
    return image;
}

bool runTool(const QString& program, const QStringList& arguments, QString* output) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return true;
}

QString fixturePath(const QString& name) {
    return QStringLiteral(CORVANE_FIXTURE_DIR "/") + name;
}

} // namespace corvane::testing
