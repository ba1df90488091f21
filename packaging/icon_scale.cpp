// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time helper: writes the application icon in the smaller sizes of the
// desktop icon theme.
//
//   corvane_icon_scale <source.png> <output folder> <size>...
//
// Each size N lands in <output folder>/NxN/apps/<source file name>.

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <source.png> <output folder> <size>...\n", argv[0]);
        return 2;
    }
    // PNG support is built into QImage; no application object is needed.
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QImage image(source);
    if (image.isNull()) {
        std::fprintf(stderr, "%s: cannot read image %s\n", argv[0], argv[1]);
        return 1;
    }
    const QString name = QFileInfo(source).fileName();
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size <= 0 || size > 1024) {
            std::fprintf(stderr, "%s: bad size %s\n", argv[0], argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        const QString target = folder + QLatin1Char('/') + name;
        const QImage scaled = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!QDir().mkpath(folder) || !scaled.save(target, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(target));
            return 1;
        }
    }
    return 0;
}
