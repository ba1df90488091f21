// SPDX-License-Identifier: GPL-3.0-or-later
// The install: the build installed with the prefix /usr below a staging
// folder, as a package build does it.

#include "packaging/tests/install_support.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace corvane::packaging_test {
namespace {

const QString RulePath = "lib/udev/rules.d/70-corvane.rules";
const QString DesktopPath = "share/applications/corvane.desktop";
const QString IconPath = "share/icons/hicolor/%1x%1/apps/%2.png";

class StagedInstall : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = std::make_unique<QTemporaryDir>();
        install_ = installBuild("/usr", root_->path());
    }
    static void TearDownTestSuite() { root_.reset(); }
    void SetUp() override { ASSERT_EQ(install_.exitCode, 0) << qPrintable(install_.output); }

    static QString staged(const QString& relative) { return root_->filePath("usr/" + relative); }
    static QStringList lines(const QString& relative) { return readText(staged(relative)).split('\n'); }

    static inline std::unique_ptr<QTemporaryDir> root_;
    static inline RunResult install_;
};

TEST_F(StagedInstall, ShipsOnlyProgramsRuleEntryAndIconsOfTheirSizesBelowThePrefix) {
    // No static library, header, test program or the libusb stand-in of the
    // simulated bench belongs on a user's disk, nothing outside /usr, and
    // nothing only a Debian package has (the copyright file and
    // changelog.Debian come from packaging/debian); every program comes with
    // its manual page.
    QStringList expected{RulePath, DesktopPath, "share/bash-completion/completions/corvane-cli",
                         "share/metainfo/org.corvane.corvane.metainfo.xml"};
    for (const QString& program : buildList(CORVANE_PROGRAMS))
        expected << "bin/" + program << "share/man/man1/" + program + ".1.gz";
    for (const QString& size : buildList(CORVANE_ICON_SIZES))
        expected << IconPath.arg(size, "corvane");
    for (QString& path : expected)
        path.prepend("usr/");
    expected.sort();
    EXPECT_EQ(filesBelow(root_->path()).join('\n').toStdString(), expected.join('\n').toStdString());

    for (const QString& size : buildList(CORVANE_ICON_SIZES)) {
        const QImageReader icon(staged(IconPath.arg(size, "corvane")), "png");
        EXPECT_EQ(icon.size(), QSize(size.toInt(), size.toInt())) << qPrintable(icon.fileName());
    }
}

TEST_F(StagedInstall, ProgramsNeedNeitherTheBuildFolderNorTheUsbStandin) {
    for (const QString& program : buildList(CORVANE_PROGRAMS)) {
        const QString path = staged("bin/" + program);
        SCOPED_TRACE(qPrintable(path));
        EXPECT_TRUE(QFileInfo(path).isExecutable());
        const RunResult dynamic = runProgram(CORVANE_READELF, {"-d", path});
        EXPECT_EQ(dynamic.exitCode, 0);
        EXPECT_FALSE(dynamic.output.contains(CORVANE_BUILD_DIR) || dynamic.output.contains("standin"))
            << qPrintable(dynamic.output);
        const RunResult libraries = runProgram("ldd", {path});
        EXPECT_EQ(libraries.exitCode, 0);
        EXPECT_TRUE(!libraries.output.contains("not found") && libraries.output.contains("libusb-1.0"))
            << qPrintable(libraries.output);
    }
}

TEST_F(StagedInstall, UdevRuleGivesTheSeatAndNobodyElseAccessToTheBootloader) {
    // logind's seat rules (73-seat-late.rules) turn the uaccess tag into access
    // rights; a tag added by a file sorting after them is ignored.
    EXPECT_LT(QFileInfo(RulePath).fileName(), "73-seat-late.rules");
    QStringList rules;
    for (const QString& line : lines(RulePath)) {
        if (!line.trimmed().isEmpty() && !line.trimmed().startsWith('#'))
            rules << line.trimmed();
    }
    ASSERT_EQ(rules.size(), 1) << qPrintable(rules.join('\n'));

    // Every clause is KEY[{attribute}] operator "value", separated by commas.
    const QRegularExpression clause(R"re(^([A-Z_]+(\{\w+\})?)(==|!=|\+=|-=|:=|=)"([^"]*)"$)re");
    QStringList clauses;
    for (const QString& part : rules.first().split(',')) {
        const QRegularExpressionMatch match = clause.match(part.trimmed());
        ASSERT_TRUE(match.hasMatch()) << "malformed clause: " << qPrintable(part);
        EXPECT_FALSE(match.captured(1).startsWith("MODE") || match.captured(1).startsWith("GROUP"))
            << qPrintable(part);
        clauses << match.captured(1) + match.captured(3) + match.captured(4);
    }
    for (const char* wanted :
         {"SUBSYSTEM==usb", "ATTR{idVendor}==03eb", "ATTR{idProduct}==2ffd", "TAG+=uaccess"})
        EXPECT_TRUE(clauses.contains(wanted)) << wanted;
}

TEST_F(StagedInstall, DesktopEntryIsValidAndStartsTheInstalledProgramWithItsIcon) {
    ASSERT_STRNE(CORVANE_DESKTOP_FILE_VALIDATE, "")
        << "desktop-file-validate is missing (Debian package desktop-file-utils)";
    const RunResult validate = runProgram(CORVANE_DESKTOP_FILE_VALIDATE, {staged(DesktopPath)});
    EXPECT_TRUE(validate.exitCode == 0 && validate.output.trimmed().isEmpty()) << qPrintable(validate.output);

    QMap<QString, QString> entry;
    for (const QString& line : lines(DesktopPath))
        entry.insert(line.section('=', 0, 0), line.section('=', 1));
    const QString exec = entry.value("Exec").section(' ', 0, 0);
    EXPECT_EQ(exec, "corvane");
    if (buildList(CORVANE_PROGRAMS).contains(exec)) {
        EXPECT_TRUE(QFileInfo(staged("bin/" + exec)).isExecutable());
    }
    EXPECT_TRUE(QFileInfo::exists(staged(IconPath.arg("256", entry.value("Icon")))))
        << "the entry's icon is not in the icon theme";
}

} // namespace
} // namespace corvane::packaging_test
