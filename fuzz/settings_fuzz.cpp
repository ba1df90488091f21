// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file as the window reads and writes it at start and close:
// any content reads without a fault, and what is then written back reads
// back the same.

#include "fuzz_support.h"
#include "shell/settings.h"

namespace {

using namespace corvane;

struct Snapshot {
    bool flashActive = false, eepActive = false, autoErase = false, flashAll = false;
    std::int32_t device = 0, controller = 0;
    QStringList flashFiles, eepromFiles;

    bool operator==(const Snapshot&) const = default;
};

QString describe(const Snapshot& s) {
    return QStringLiteral("flash %1 eeprom %2 erase %3 all %4 device %5 controller %6 flash files [%7] "
                          "eeprom files [%8]")
        .arg(s.flashActive)
        .arg(s.eepActive)
        .arg(s.autoErase)
        .arg(s.flashAll)
        .arg(s.device)
        .arg(s.controller)
        .arg(s.flashFiles.join(QLatin1Char('|')), s.eepromFiles.join(QLatin1Char('|')));
}

Snapshot readAll(TIniSettings& ini) {
    Snapshot s;
    s.flashActive = ini.ReadBool(QStringLiteral("CONFIG"), QStringLiteral("FlashActive"), true);
    s.eepActive = ini.ReadBool(QString(), QStringLiteral("EEPActive"), true);
    s.autoErase = ini.ReadBool(QString(), QStringLiteral("AutoErase"), false);
    s.flashAll = ini.ReadBool(QString(), QStringLiteral("FlashAll"), false);
    s.device = ini.ReadInteger(QString(), QStringLiteral("Device"), 0);
    s.controller = ini.ReadInteger(QString(), QStringLiteral("Controller"), 0);
    ini.LoadList(QStringLiteral("FLASHLOAD"), QStringLiteral("H"), TRecentFiles::kCapacity, s.flashFiles);
    ini.LoadList(QStringLiteral("EEPLOAD"), QStringLiteral("H"), TRecentFiles::kCapacity, s.eepromFiles);
    return s;
}

void writeAll(TIniSettings& ini, const Snapshot& s) {
    ini.WriteBool(QStringLiteral("CONFIG"), QStringLiteral("FlashActive"), s.flashActive);
    ini.WriteBool(QString(), QStringLiteral("EEPActive"), s.eepActive);
    ini.WriteBool(QString(), QStringLiteral("AutoErase"), s.autoErase);
    ini.WriteBool(QString(), QStringLiteral("FlashAll"), s.flashAll);
    ini.WriteInteger(QString(), QStringLiteral("Device"), s.device);
    ini.WriteInteger(QString(), QStringLiteral("Controller"), s.controller);
    ini.SaveList(QStringLiteral("EEPLOAD"), QStringLiteral("H"), TRecentFiles::kCapacity, s.eepromFiles);
    ini.SaveList(QStringLiteral("FLASHLOAD"), QStringLiteral("H"), TRecentFiles::kCapacity, s.flashFiles);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = fuzz::scratchFile(QStringLiteral("corvane.ini"));
    fuzz::writeFileOrAbort(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));

    TIniSettings ini(path);
    const Snapshot read = readAll(ini);
    // A list taken into the window: each entry once, in the menu's form.
    TRecentFiles recent;
    recent.list() = read.flashFiles;
    (void)recent.menuCaptions();

    writeAll(ini, read);
    TIniSettings again(path);
    const Snapshot back = readAll(again);
    if (!(back == read)) {
        std::fprintf(stderr, "read first:  %s\nread again:  %s\n", qPrintable(describe(read)),
                     qPrintable(describe(back)));
        fuzz::require(false, "settings written back read the same");
    }
    return 0;
}
