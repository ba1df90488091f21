// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the file tests: a scratch folder and a test image.

#include "image/memory_images.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <vector>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace corvane::testing {

// A scratch folder removed after the test.
class ScratchDir {
public:
    QString path(const QString& name) const { return Dir.filePath(name); }
    void write(const QString& name, const QByteArray& content) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    QByteArray read(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList entries() const {
        return QDir(Dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

private:
    QTemporaryDir Dir;
};

// A fixed pseudo-random image with erased runs of varied lengths, so that the
// hex writer meets stretches, single 0xFF bytes and gaps.
inline TBuffer patternImage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    TBuffer image(size, kErased);
    for (std::size_t i = 0; i < size; i += random() % 5) { // erased gap of 0 to 4 bytes
        for (std::size_t k = random() % 70; k > 0 && i < size; --k, ++i)
            image[i] = std::uint8_t(random() % 4 == 0 ? 0xFF : random() % 255);
    }
    return image;
}

} // namespace corvane::testing
