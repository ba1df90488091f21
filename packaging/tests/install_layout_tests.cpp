// Installs the build into a staging folder and checks what lands where.

#include "packaging/tests/install_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <memory>

namespace corvane::packaging_test {
namespace {

const QString RulePath = QStringLiteral("lib/udev/rules.d/70-corvane.rules");
const QString DesktopPath = QStringLiteral("share/applications/corvane.desktop");

class StagedInstall : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        stage_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(stage_->isValid());
        install_ = installBuild(stage_->path());
    }
    static void TearDownTestSuite() { stage_.reset(); }

    void SetUp() override { ASSERT_EQ(install_.exitCode, 0) << qPrintable(install_.output); }

    static QString staged(const QString& relative) { return stage_->filePath(relative); }

    static QStringList lines(const QString& relative) {
        QFile file(staged(relative));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }

    static std::unique_ptr<QTemporaryDir> stage_;
    static RunResult install_;
};

std::unique_ptr<QTemporaryDir> StagedInstall::stage_;
RunResult StagedInstall::install_;

// ---------------------------------------------------------------- layout

TEST_F(StagedInstall, PutsProgramsRuleEntryAndIconsInTheirPlaces) {
    QStringList expected{RulePath, DesktopPath};
    for (const QString& program : buildList(CORVANE_PROGRAMS))
        expected << QStringLiteral("bin/") + program;
    for (const QString& size : buildList(CORVANE_ICON_SIZES))
        expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/corvane.png").arg(size);

    const QStringList files = filesBelow(stage_->path());
    for (const QString& path : expected)
        EXPECT_TRUE(files.contains(path)) << "missing: " << qPrintable(path);
}

TEST_F(StagedInstall, ShipsNoLibrariesHeadersOrTestPrograms) {
    // Static libraries, the libusb stand-in of the simulated bench and the test
    // programs are build products only; none of them belongs on a user's disk.
    const QRegularExpression unwanted(QStringLiteral(R"((\.a|\.so(\.\d+)*|\.h|_tests|standin[^/]*)$)"));
    for (const QString& path : filesBelow(stage_->path())) {
        EXPECT_FALSE(unwanted.match(path).hasMatch()) << "unexpected file: " << qPrintable(path);
        if (path.startsWith(QStringLiteral("bin/"))) {
            EXPECT_TRUE(buildList(CORVANE_PROGRAMS).contains(path.mid(4)))
                << "stray program: " << qPrintable(path);
        }
    }
}

TEST_F(StagedInstall, ProgramsAreExecutableAndDoNotPointIntoTheBuildFolder) {
    const QStringList programs = buildList(CORVANE_PROGRAMS);
    if (programs.isEmpty())
        GTEST_SKIP() << "no program target in this build";
    for (const QString& program : programs) {
        const QString path = staged(QStringLiteral("bin/") + program);
        SCOPED_TRACE(qPrintable(path));
        EXPECT_TRUE(QFileInfo(path).isExecutable());

        const RunResult dynamic = runProgram(QStringLiteral(CORVANE_READELF), {QStringLiteral("-d"), path});
        ASSERT_EQ(dynamic.exitCode, 0) << qPrintable(dynamic.output);
        EXPECT_FALSE(dynamic.output.contains(QStringLiteral(CORVANE_BUILD_DIR)))
            << qPrintable(dynamic.output);
        EXPECT_FALSE(dynamic.output.contains(QStringLiteral("standin"))) << qPrintable(dynamic.output);

        const RunResult libraries = runProgram(QStringLiteral("ldd"), {path});
        ASSERT_EQ(libraries.exitCode, 0) << qPrintable(libraries.output);
        EXPECT_FALSE(libraries.output.contains(QStringLiteral("not found"))) << qPrintable(libraries.output);
        EXPECT_TRUE(libraries.output.contains(QStringLiteral("libusb-1.0"))) << qPrintable(libraries.output);
    }
}

TEST(PackageInstall, PutsTheRuleWhereUdevReadsItForThePrefixUsr) {
    // A package build installs with the prefix /usr below a DESTDIR.
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const RunResult install = installBuild(QStringLiteral("/usr"), root.path());
    ASSERT_EQ(install.exitCode, 0) << qPrintable(install.output);

    EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("usr/lib/udev/rules.d/70-corvane.rules"))));
    EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("usr/share/applications/corvane.desktop"))));
    const QStringList top = QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(top, QStringList{QStringLiteral("usr")}) << "nothing may land outside the prefix";
}

// ---------------------------------------------------------------- udev rule

TEST_F(StagedInstall, UdevRuleTagsOnlyTheBootloaderForSeatAccess) {
    QStringList rules;
    for (const QString& line : lines(RulePath)) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('#')))
            rules << trimmed;
    }
    ASSERT_EQ(rules.size(), 1) << qPrintable(rules.join(QLatin1Char('\n')));

    // Every clause must be KEY[{attribute}] operator "value", separated by commas.
    const QRegularExpression clause(
        QStringLiteral(R"re(^([A-Z_]+)(\{([A-Za-z0-9_]+)\})?(==|!=|\+=|-=|:=|=)"([^"]*)"$)re"));
    QStringList clauses;
    for (const QString& part : rules.first().split(QLatin1Char(','))) {
        const QRegularExpressionMatch match = clause.match(part.trimmed());
        ASSERT_TRUE(match.hasMatch()) << "malformed clause: " << qPrintable(part);
        clauses << match.captured(1) + match.captured(2) + match.captured(4) + match.captured(5);
    }
    EXPECT_TRUE(clauses.contains(QStringLiteral("SUBSYSTEM==usb")));
    EXPECT_TRUE(clauses.contains(QStringLiteral("ATTR{idVendor}==03eb")));
    EXPECT_TRUE(clauses.contains(QStringLiteral("ATTR{idProduct}==2ffd")));
    EXPECT_TRUE(clauses.contains(QStringLiteral("TAG+=uaccess")));
    // The seat gets access; nobody else does.
    for (const QString& c : clauses) {
        EXPECT_FALSE(c.startsWith(QStringLiteral("MODE"))) << qPrintable(c);
        EXPECT_FALSE(c.startsWith(QStringLiteral("GROUP"))) << qPrintable(c);
    }
}

TEST_F(StagedInstall, UdevRulesSortBeforeTheSeatRulesThatActOnTheTag) {
    // logind's seat rules (73-seat-late.rules) turn the uaccess tag into access
    // rights; a tag added by a later file would be ignored.
    const QStringList names = QDir(staged(QFileInfo(RulePath).path())).entryList(QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        EXPECT_LT(name, QStringLiteral("73-seat-late.rules")) << qPrintable(name);
        EXPECT_TRUE(name.endsWith(QStringLiteral(".rules"))) << qPrintable(name);
    }
}

// ---------------------------------------------------------------- desktop entry and icons

TEST_F(StagedInstall, DesktopEntryIsValidAndStartsTheInstalledProgram) {
    ASSERT_FALSE(QStringLiteral(CORVANE_DESKTOP_FILE_VALIDATE).isEmpty())
        << "desktop-file-validate is missing (Debian package desktop-file-utils)";
    const RunResult validate =
        runProgram(QStringLiteral(CORVANE_DESKTOP_FILE_VALIDATE), {staged(DesktopPath)});
    EXPECT_EQ(validate.exitCode, 0) << qPrintable(validate.output);
    EXPECT_TRUE(validate.output.trimmed().isEmpty()) << "hints: " << qPrintable(validate.output);

    QMap<QString, QString> entry;
    for (const QString& line : lines(DesktopPath)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            entry.insert(line.left(eq), line.mid(eq + 1));
    }
    EXPECT_EQ(entry.value(QStringLiteral("Name")), QStringLiteral("Corvane"));
    EXPECT_EQ(entry.value(QStringLiteral("Icon")), QStringLiteral("corvane"));
    const QStringList categories = entry.value(QStringLiteral("Categories")).split(QLatin1Char(';'));
    EXPECT_TRUE(categories.contains(QStringLiteral("Development")));
    EXPECT_TRUE(categories.contains(QStringLiteral("Electronics")));

    const QString exec = entry.value(QStringLiteral("Exec")).section(QLatin1Char(' '), 0, 0);
    EXPECT_EQ(exec, QStringLiteral("corvane"));
    if (buildList(CORVANE_PROGRAMS).contains(QStringLiteral("corvane"))) {
        EXPECT_TRUE(QFileInfo(staged(QStringLiteral("bin/") + exec)).isExecutable());
    }
    EXPECT_TRUE(QFileInfo::exists(staged(QStringLiteral("share/icons/hicolor/256x256/apps/corvane.png"))))
        << "the entry's icon is not in the icon theme";
}

TEST_F(StagedInstall, EveryIconHasTheSizeItsFolderNames) {
    const QStringList sizes = buildList(CORVANE_ICON_SIZES);
    for (const QString& size : sizes) {
        const QString path = staged(QStringLiteral("share/icons/hicolor/%1x%1/apps/corvane.png").arg(size));
        SCOPED_TRACE(qPrintable(path));
        const std::optional<QSize> actual = pngSize(path);
        ASSERT_TRUE(actual.has_value()) << "not a PNG";
        EXPECT_EQ(actual->width(), size.toInt());
        EXPECT_EQ(actual->height(), size.toInt());
    }
}

} // namespace
} // namespace corvane::packaging_test
