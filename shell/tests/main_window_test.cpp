// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: start-up, fixed layout, a change of controller type,
// closing, the About box, coming to the front.

#include "shell/main_window.h"

#include "shell/about_box.h"
#include "shell/debug_window.h"

#include <QApplication>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct MainWindowFixture : ::testing::Test {
    QTemporaryDir dir;
    TMain w;
    TDebug debug;
    void SetUp() override {
        w.Ini.setFileName(dir.filePath("corvane.ini")); // not the one beside the test program
        w.setDebugWindow(&debug);
        w.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.isReady(); }, 3000)) << "Startup did not run";
    }

    // The user picks a controller type in the status bar.
    void chooseController(int index) {
        w.cbController->setCurrentIndex(index);
        emit w.cbController->activated(index);
    }

    static bool allErased(const TBuffer& b) {
        return std::all_of(b.begin(), b.end(), [](auto v) { return v == 0xFF; });
    }
    static std::size_t lastRowOffset(const HexView* v) {
        return (v->model().rowCount() - 1) * kHexBytesPerRow;
    }
};

} // namespace

TEST_F(MainWindowFixture, StartupLeavesTheWindowReadyWithErasedImagesInTheirViews) {
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Corvane v1.3"));
    EXPECT_FALSE(debug.isVisible());

    EXPECT_EQ(w.FlashImage().size(), 0x8000u);
    EXPECT_EQ(w.EepromImage().size(), 1024u);
    EXPECT_TRUE(allErased(w.FlashImage()));
    EXPECT_TRUE(allErased(w.EepromImage()));
    EXPECT_EQ(w.FlashDump->data(), w.FlashImage());
    EXPECT_EQ(w.EEPDump->data(), w.EepromImage());
    EXPECT_EQ(lastRowOffset(w.FlashDump), 0x7FF0u);
    EXPECT_EQ(lastRowOffset(w.EEPDump), 0x3F0u);
    EXPECT_EQ(w.focusWidget(), w.FlashDump);

    EXPECT_TRUE(w.FlashName->text().isEmpty());
    EXPECT_TRUE(w.PanStat->text().isEmpty());
    EXPECT_FALSE(w.PBar->percentageVisible());
    EXPECT_TRUE(w.ButRead->isEnabled());
}

TEST_F(MainWindowFixture, WindowIsFixedInSizeItsHintsBreakLinesAndInfoStaysInside) {
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "not resizable";
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w.chkBLJB->toolTip().split(QLatin1Char('\n')).size(), 4) << "hints break lines at CR LF";
    // The INFO button stays inside the window.
    EXPECT_TRUE(w.rect().contains(w.CapBut->mapTo(&w, w.CapBut->rect().bottomRight())));
}

TEST_F(MainWindowFixture, ControllerChangeRenewsImagesViewsAndNameFields) {
    // Work that a change of type discards.
    w.FlashDump->model().typeChar(U'1');
    w.EepromImage()[9] = 0x12;
    w.EEPDump->refresh(w.EepromImage());
    w.FlashName->setText(QStringLiteral("/fw/a.hex"));
    w.EEPName->setText(QStringLiteral("/fw/e.hex"));

    chooseController(1);
    EXPECT_EQ(w.FlashImage().size(), 0x4000u);
    EXPECT_EQ(lastRowOffset(w.FlashDump), 0x3FF0u);
    EXPECT_TRUE(allErased(w.FlashDump->data()));
    EXPECT_TRUE(allErased(w.EEPDump->data()));
    EXPECT_EQ(w.FlashDump->model().changedCount(), 0u);
    EXPECT_TRUE(w.FlashName->text().isEmpty());
    EXPECT_TRUE(w.EEPName->text().isEmpty());

    chooseController(0);
    EXPECT_EQ(w.FlashImage().size(), 0x8000u);
    EXPECT_EQ(lastRowOffset(w.FlashDump), 0x7FF0u);
}

TEST_F(MainWindowFixture, OnlyARealChangeByTheUserRenewsTheImages) {
    w.FlashImage()[0] = 0x42;
    w.RefreshFlashView();
    w.FlashName->setText(QStringLiteral("/fw/a.hex"));

    // Picking the type that is already selected keeps everything.
    chooseController(0);
    EXPECT_EQ(w.FlashDump->data()[0], 0x42);
    EXPECT_EQ(w.FlashName->text(), QStringLiteral("/fw/a.hex"));

    // Setting the index from the program runs no change handler.
    w.cbController->setCurrentIndex(1);
    EXPECT_EQ(w.FlashImage().size(), 0x8000u);
    EXPECT_EQ(w.FlashDump->data()[0], 0x42);
}

TEST_F(MainWindowFixture, OnlyClosingTheDeviceOrTheWindowEmptiesTheStatusPane) {
    w.PanStat->setText(QStringLiteral("Reading EEPROM..."));
    w.ClearDeviceInfo();
    EXPECT_EQ(w.PanStat->text(), QStringLiteral("Reading EEPROM..."));
    w.close();
    EXPECT_TRUE(w.PanStat->text().isEmpty());
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowFixture, InfoButtonOpensTheAboutBox) {
    QString title, product;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TAbout*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        title = about->windowTitle();
        product = about->ProductName->text();
        EXPECT_TRUE(about->OKButton->isDefault());
        QTest::mouseClick(about->OKButton, Qt::LeftButton);
    });
    QTest::mouseClick(w.CapBut, Qt::LeftButton);
    EXPECT_EQ(title, QStringLiteral("Info..."));
    EXPECT_EQ(product, QStringLiteral("Corvane v1.3"));
}

TEST_F(MainWindowFixture, BringToFrontRestoresAMinimisedWindow) {
    w.showMinimized();
    QTest::qWait(20);
    w.BringToFront();
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(w.isVisible());
}

// ------------------------------------------------------------ keyboard

// Without a mouse: Ctrl+Tab leaves a hex view, Tab walks on from there over
// the window's controls and comes back round to the view, and Shift+Tab and
// Ctrl+Shift+Tab go the other way.
TEST_F(MainWindowFixture, KeyboardFocusLeavesTheHexViewsAndWalksOverTheWindow) {
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.FlashDump->setFocus();
    QTest::keyClick(w.FlashDump, Qt::Key_Tab, Qt::ControlModifier);
    QWidget* afterFlash = QApplication::focusWidget();
    ASSERT_NE(afterFlash, w.FlashDump);
    EXPECT_TRUE(w.isAncestorOf(afterFlash));

    QSet<QWidget*> visited;
    for (int i = 0; i < 100 && QApplication::focusWidget() != w.FlashDump; ++i) {
        visited.insert(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{w.EEPDump, w.EdSBV, w.ButWrite, w.cbController})
        EXPECT_TRUE(visited.contains(control)) << control->metaObject()->className();
    ASSERT_EQ(QApplication::focusWidget(), w.FlashDump) << "Tab from the character column leaves the view";
    EXPECT_EQ(w.FlashDump->model().column(), HexColumn::Hex);

    QTest::keyClick(w.FlashDump, Qt::Key_Tab);
    EXPECT_EQ(w.FlashDump->model().column(), HexColumn::Char) << "Tab still switches the column";
    EXPECT_EQ(QApplication::focusWidget(), w.FlashDump);
    QTest::keyClick(w.FlashDump, Qt::Key_Backtab, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_NE(QApplication::focusWidget(), w.FlashDump);
    EXPECT_NE(QApplication::focusWidget(), afterFlash);
}
