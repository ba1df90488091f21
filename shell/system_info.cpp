// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/system_info.h"

#include <QFile>
#include <QLocale>
#include <QSysInfo>
#include <QThread>

#include <unistd.h>

namespace corvane {

namespace {

QString readProcFile(const char* path) {
    QFile f(QString::fromLatin1(path));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(f.readAll());
}

// Value after the colon of a "key : value" line when its key is one of keys.
std::optional<QString> valueOf(const QString& line, std::initializer_list<const char*> keys) {
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    const QString key = line.left(colon).trimmed();
    for (const char* k : keys) {
        if (key.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return std::nullopt;
}

} // namespace

std::optional<quint64> memTotalKB(const QString& meminfo) {
    for (const QString& line : meminfo.split(QLatin1Char('\n'))) {
        if (const auto v = valueOf(line, {"MemTotal"})) {
            bool ok = false;
            const quint64 kb = v->split(QLatin1Char(' '), Qt::SkipEmptyParts).value(0).toULongLong(&ok);
            if (ok)
                return kb;
        }
    }
    return std::nullopt;
}

CpuInfo parseCpuInfo(const QString& cpuinfo) {
    CpuInfo info;
    QString fallbackModel;
    for (const QString& line : cpuinfo.split(QLatin1Char('\n'))) {
        if (const auto v = valueOf(line, {"processor"})) {
            bool isNumber = false;
            v->toInt(&isNumber);
            if (isNumber)
                ++info.count;
            else if (fallbackModel.isEmpty())
                fallbackModel = *v; // older ARM kernels: "Processor : ARMv7 ..."
        } else if (const auto m = valueOf(line, {"model name", "cpu model"})) {
            if (info.model.isEmpty())
                info.model = *m;
        } else if (const auto h = valueOf(line, {"Hardware", "cpu", "uarch"})) {
            if (fallbackModel.isEmpty())
                fallbackModel = *h;
        }
    }
    if (info.model.isEmpty())
        info.model = fallbackModel;
    info.model = info.model.simplified();
    return info;
}

QString availableMemoryText() {
    std::optional<quint64> kb = memTotalKB(readProcFile("/proc/meminfo"));
    if (!kb) {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGE_SIZE);
        if (pages > 0 && pageSize > 0)
            kb = static_cast<quint64>(pages) * static_cast<quint64>(pageSize) / 1024;
    }
    if (!kb)
        return QStringLiteral("unknown");
    return QLocale(QLocale::English).toString(*kb) + QStringLiteral(" KB");
}

QString platformCpuText() {
    CpuInfo cpu = parseCpuInfo(readProcFile("/proc/cpuinfo"));
    if (cpu.count <= 0)
        cpu.count = QThread::idealThreadCount();
    if (cpu.model.isEmpty())
        cpu.model = QSysInfo::currentCpuArchitecture();
    const QString platform =
        QSysInfo::kernelType() == QLatin1String("linux") ? QStringLiteral("Linux") : QSysInfo::kernelType();
    return QStringLiteral("%1 %2, %3 x %4")
        .arg(platform, QSysInfo::currentCpuArchitecture())
        .arg(cpu.count)
        .arg(cpu.model);
}

} // namespace corvane
