#include "packaging/tests/install_support.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <signal.h>
#include <unistd.h>

namespace corvane::packaging_test {

RunResult runProgram(const QString& program, const QStringList& arguments,
                     const QProcessEnvironment& environment, int timeoutMs) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group, so that a timeout ends everything it started.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start(program, arguments);
    RunResult result;
    if (!process.waitForStarted(timeoutMs)) {
        result.output = process.errorString();
        return result;
    }
    if (!process.waitForFinished(timeoutMs)) {
        ::kill(-static_cast<pid_t>(process.processId()), SIGKILL);
        process.kill();
        process.waitForFinished();
        result.output = QString::fromLocal8Bit(process.readAll()) + QStringLiteral("\n[timed out]");
        return result;
    }
    result.output = QString::fromLocal8Bit(process.readAll());
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

RunResult installBuild(const QString& prefix, const QString& destDir) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (destDir.isEmpty())
        environment.remove(QStringLiteral("DESTDIR"));
    else
        environment.insert(QStringLiteral("DESTDIR"), destDir);
    return runProgram(
        QStringLiteral(CORVANE_CMAKE),
        {QStringLiteral("--install"), QStringLiteral(CORVANE_BUILD_DIR), QStringLiteral("--prefix"), prefix},
        environment);
}

QStringList filesBelow(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext())
        files << base.relativeFilePath(it.next());
    files.sort();
    return files;
}

QStringList buildList(const char* text) {
    return QString::fromUtf8(text).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

std::optional<QSize> pngSize(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(24);
    // Signature, then the IHDR chunk: length (4), type (4), width (4), height (4).
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (head.size() < 24 || !head.startsWith(signature) || head.mid(12, 4) != "IHDR")
        return std::nullopt;
    auto bigEndian = [&](int at) {
        return (static_cast<quint8>(head[at]) << 24) | (static_cast<quint8>(head[at + 1]) << 16) |
               (static_cast<quint8>(head[at + 2]) << 8) | static_cast<quint8>(head[at + 3]);
    };
    return QSize(bigEndian(16), bigEndian(20));
}

} // namespace corvane::packaging_test
