#pragma once
// Runs the built corvane-cli on a simulated bench in a temporary state folder:
// in-process (--simulate) or through the libusb backend with the libusb
// stand-in preloaded.

#include "image/memory_images.h"
#include "sim/bench.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

QT_BEGIN_NAMESPACE
// Readable values in failed expectations.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"' << b.toStdString() << '"';
}
QT_END_NAMESPACE

namespace corvane::cli::testing {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

enum class Backend { Simulated, Libusb };

class CliRig : public ::testing::Test {
protected:
    // Runs corvane-cli with these arguments (and --simulate for the simulated
    // backend) in the state folder, which is also the working folder.
    CliRun cli(QStringList arguments, Backend backend = Backend::Simulated) const;

    void benchFile(const QByteArray& text) const;
    QString path(const QString& name) const { return dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes) const;
    QByteArray readFile(const QString& name) const;

    // The chips as the tool left them in the state folder.
    std::unique_ptr<sim::SimBench> stored() const;

    QTemporaryDir dir;
};

// Intel HEX text for the image: one record of up to 16 bytes for each run
// of bytes that are not 0xFF, then the end record.
QByteArray hexFileOf(const TBuffer& image);

} // namespace corvane::cli::testing
