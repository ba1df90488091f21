// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test helpers: a whole file written or read back in one call.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(content);
}

// The file's bytes, or "<none>" when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}
