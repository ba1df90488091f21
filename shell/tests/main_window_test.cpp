#include "shell/main_window.h"

#include "shell/about_box.h"
#include "shell/debug_window.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct MainWindowFixture : ::testing::Test {
    TMain w;
    TDebug debug;
    void SetUp() override {
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

TEST_F(MainWindowFixture, StartupLeavesTheWindowReady) {
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Corvane v1.3"));
    EXPECT_EQ(w.VersionCode, 0x13);
    EXPECT_EQ(w.ExeDir, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    EXPECT_FALSE(w.Timer1->isActive());

    // Selectors and check boxes with their defaults.
    EXPECT_EQ(w.cbDevice->count(), 8);
    EXPECT_EQ(w.cbDevice->currentText(), QStringLiteral("Device - 0"));
    EXPECT_EQ(w.cbDevice->itemText(7), QStringLiteral("Device - 7"));
    EXPECT_EQ(w.cbController->currentText(), QStringLiteral("AT89C5131 (A)"));
    EXPECT_TRUE(w.chkFlash->isChecked());
    EXPECT_TRUE(w.chkEEP->isChecked());
    EXPECT_TRUE(w.chkFuses->isChecked());
    EXPECT_FALSE(w.chkAutoErase->isChecked());
    EXPECT_FALSE(w.chkFlashAll->isChecked());
    EXPECT_FALSE(w.chkReset->isChecked());

    // Images and views: 32 KB and 1 KB, erased, unmarked, cursor at 0.
    EXPECT_EQ(w.FlashImage().size(), 0x8000u);
    EXPECT_EQ(w.EepromImage().size(), 1024u);
    EXPECT_TRUE(allErased(w.FlashImage()));
    EXPECT_TRUE(allErased(w.EepromImage()));
    EXPECT_EQ(w.FlashDump->data(), w.FlashImage());
    EXPECT_EQ(w.EEPDump->data(), w.EepromImage());
    EXPECT_EQ(lastRowOffset(w.FlashDump), 0x7FF0u);
    EXPECT_EQ(lastRowOffset(w.EEPDump), 0x3F0u);
    EXPECT_EQ(w.FlashDump->model().changedCount(), 0u);
    EXPECT_EQ(w.focusWidget(), w.FlashDump);

    // Device displays cleared.
    for (QLabel* l : {w.LabManufacturer, w.LabFamily, w.LabProduct, w.LabRevision})
        EXPECT_EQ(l->text(), QStringLiteral("--"));
    EXPECT_EQ(w.LabBootVersion->text(), QStringLiteral("-.-.-"));
    EXPECT_EQ(w.LabHSB->text(), QStringLiteral("$BB"));
    EXPECT_EQ(w.cbOsc->currentIndex(), 0);
    EXPECT_TRUE(w.chkBLJB->isChecked());
    EXPECT_FALSE(w.chkX2->isChecked());
    EXPECT_EQ(w.EdBSB->text(), QStringLiteral("$FF"));
    EXPECT_EQ(w.EdP1CF->text(), QStringLiteral("$FE"));
    EXPECT_EQ(w.EdP4CF->text(), QStringLiteral("$FF"));
    EXPECT_EQ(w.cbSSB->currentIndex(), 0);
    EXPECT_EQ(w.EdStart->text(), QStringLiteral("$0000"));
    EXPECT_TRUE(w.FlashName->text().isEmpty());
    EXPECT_TRUE(w.EEPName->text().isEmpty());
    EXPECT_TRUE(w.PanStat->text().isEmpty());
    EXPECT_EQ(w.PBar->completed(), 0);
    EXPECT_FALSE(w.PBar->percentageVisible());
    for (QWidget* c : {static_cast<QWidget*>(w.ButRead), static_cast<QWidget*>(w.cbController),
                       static_cast<QWidget*>(w.EdStart)})
        EXPECT_TRUE(c->isEnabled());
}

TEST_F(MainWindowFixture, WindowHasItsFixedLayout) {
    EXPECT_EQ(w.size(), QSize(746, 527));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "not resizable";
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    EXPECT_EQ(w.GrpFlash->geometry(), QRect(0, 0, 561, 300));
    EXPECT_EQ(w.GrpEEP->geometry(), QRect(0, 304, 561, 199));
    EXPECT_EQ(w.GrpConfig->geometry(), QRect(568, 0, 177, 297));
    EXPECT_EQ(w.GrpStart->geometry(), QRect(568, 304, 177, 73));
    EXPECT_EQ(w.GrpAction->geometry(), QRect(568, 382, 177, 121));
    EXPECT_TRUE(w.GrpFlash->font().bold());
    EXPECT_FALSE(w.chkFlash->font().bold());

    EXPECT_EQ(w.StatusBar->geometry(), QRect(0, 506, 746, 21));
    EXPECT_EQ(w.cbDevice->geometry(), QRect(0, 0, 89, 21));
    EXPECT_EQ(w.cbController->geometry(), QRect(92, 0, 121, 21));
    EXPECT_EQ(w.PanStat->geometry(), QRect(216, 0, 326, 21));
    EXPECT_EQ(w.PBar->geometry(), QRect(544, 0, 202, 21));
    EXPECT_EQ(w.PBar->kSegments, 25);

    EXPECT_EQ(w.FlashLoad->geometry(), QRect(9, 16, 52, 25));
    EXPECT_EQ(w.FlashLoad->arrow()->width(), 17);
    EXPECT_EQ(w.FlashDump->geometry(), QRect(8, 48, 545, 246));
    EXPECT_EQ(w.EEPDump->geometry(), QRect(8, 45, 545, 148));
    EXPECT_EQ(w.FlashDump->dataBackground(), QColor(0xFF, 0xF2, 0xF2));
    EXPECT_EQ(w.EEPDump->dataBackground(), QColor(0xFF, 0xFF, 0xE1));
    EXPECT_EQ(w.ButRead->geometry(), QRect(12, 20, 49, 40));
    EXPECT_EQ(w.EdStart->geometry(), QRect(88, 44, 49, 21));
    EXPECT_EQ(w.cbSSB->geometry(), QRect(12, 268, 153, 21));

    // The INFO button stays inside the window, on the CONFIGURATION caption line.
    EXPECT_EQ(w.CapBut->text(), QStringLiteral("INFO"));
    EXPECT_EQ(w.CapBut->width(), 40);
    EXPECT_TRUE(w.CapBut->font().bold());
    EXPECT_TRUE(w.rect().contains(w.CapBut->mapTo(&w, w.CapBut->rect().bottomRight())));
}

TEST_F(MainWindowFixture, HintsBreakLinesWhereTheyHaveCrLf) {
    EXPECT_EQ(w.chkBLJB->toolTip().split(QLatin1Char('\n')).size(), 4);
    EXPECT_EQ(w.chkFlashAll->toolTip(), QStringLiteral("Checked: Write FLASH up to Memory Top\n"
                                                       "Unchecked: Write FLASH up to last used Memory"));
    EXPECT_EQ(w.FlashLoad->button()->toolTip(), QStringLiteral("Load FLASH memory"));
    EXPECT_EQ(w.FlashLoad->arrow()->toolTip(), QStringLiteral("Load FLASH memory"));
    EXPECT_EQ(w.EEPSave->toolTip(), QStringLiteral("Save EEPROM"));
    EXPECT_EQ(w.cbController->toolTip(), QStringLiteral("Select Device Type"));
    EXPECT_TRUE(w.EdP1CF->toolTip().isEmpty());
    EXPECT_EQ(w.cbOsc->itemText(2), QStringLiteral("01 - 0..8 MHz"));
    EXPECT_EQ(w.cbSSB->itemText(2), QStringLiteral("10 - ISP + verify disabled"));
}

TEST_F(MainWindowFixture, ControllerChangeRenewsImagesViewsAndDisplays) {
    // Work that a change of type discards.
    w.FlashDump->model().typeChar(U'1');
    w.FlashImage()[5] = 0x00;
    w.EepromImage()[9] = 0x12;
    w.EEPDump->refresh(w.EepromImage());
    w.FlashName->setText(QStringLiteral("/fw/a.hex"));
    w.EEPName->setText(QStringLiteral("/fw/e.hex"));

    chooseController(1);
    EXPECT_EQ(w.FlashImage().size(), 0x4000u);
    EXPECT_EQ(w.FlashDump->dataSize(), 0x4000u);
    EXPECT_EQ(lastRowOffset(w.FlashDump), 0x3FF0u);
    EXPECT_TRUE(allErased(w.FlashImage()));
    EXPECT_TRUE(allErased(w.FlashDump->data()));
    EXPECT_TRUE(allErased(w.EepromImage()));
    EXPECT_TRUE(allErased(w.EEPDump->data()));
    EXPECT_EQ(w.EEPDump->dataSize(), 1024u);
    EXPECT_EQ(w.FlashDump->model().changedCount(), 0u);
    EXPECT_TRUE(w.FlashName->text().isEmpty());
    EXPECT_TRUE(w.EEPName->text().isEmpty());
    EXPECT_EQ(w.LabManufacturer->text(), QStringLiteral("--"));

    chooseController(0);
    EXPECT_EQ(w.FlashImage().size(), 0x8000u);
    EXPECT_EQ(lastRowOffset(w.FlashDump), 0x7FF0u);
    EXPECT_TRUE(allErased(w.FlashDump->data()));
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

TEST_F(MainWindowFixture, RefreshShowsTheImageFromTheTopWithoutMarks) {
    QTest::keyClick(w.FlashDump, Qt::Key_End, Qt::ControlModifier);
    w.FlashDump->model().typeChar(U'0');
    w.FlashImage()[0x100] = 0xAB;
    w.RefreshFlashView();
    EXPECT_EQ(w.FlashDump->data()[0x100], 0xAB);
    EXPECT_EQ(w.FlashDump->data()[0x7FFF], 0xFF) << "the edit is gone";
    EXPECT_EQ(w.FlashDump->model().cursor(), 0u);
    EXPECT_EQ(w.FlashDump->model().topRow(), 0u);
    EXPECT_EQ(w.FlashDump->model().changedCount(), 0u);
    EXPECT_EQ(w.FlashDump->dataSize(), 0x8000u);
}

TEST_F(MainWindowFixture, EnableControlsLocksOnlyTheOperationControls) {
    w.EnableControls(false);
    for (QWidget* c : std::initializer_list<QWidget*>{w.ButRead, w.ButErase, w.ButWrite, w.chkFlash, w.chkEEP,
                                                      w.chkAutoErase, w.chkFlashAll, w.chkFuses, w.ButRun,
                                                      w.chkReset, w.EdStart, w.cbDevice, w.cbController})
        EXPECT_FALSE(c->isEnabled()) << c->metaObject()->className();
    for (QWidget* c : std::initializer_list<QWidget*>{w.cbOsc, w.chkBLJB, w.EdBSB, w.cbSSB, w.FlashDump,
                                                      w.EEPDump, w.CapBut})
        EXPECT_TRUE(c->isEnabled()) << c->metaObject()->className();
    w.EnableControls(true);
    EXPECT_TRUE(w.ButWrite->isEnabled());
    EXPECT_TRUE(w.cbController->isEnabled());
}

TEST_F(MainWindowFixture, OnlyCloseDeviceEmptiesTheStatusPane) {
    w.PanStat->setText(QStringLiteral("Reading EEPROM..."));
    w.ClearDeviceInfo();
    EXPECT_EQ(w.PanStat->text(), QStringLiteral("Reading EEPROM..."));
    EXPECT_EQ(w.LabBootVersion->text(), QStringLiteral("-.-.-"));
    EXPECT_EQ(w.LabHSB->text(), QStringLiteral("$BB"));
    w.CloseDevice();
    EXPECT_TRUE(w.PanStat->text().isEmpty());
}

TEST_F(MainWindowFixture, InfoButtonOpensTheAboutBox) {
    QString title, product, memory, platform;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TAbout*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        title = about->windowTitle();
        product = about->ProductName->text();
        memory = about->MemoryValue->text();
        platform = about->PlatformValue->text();
        EXPECT_TRUE(about->OKButton->isDefault());
        QTest::mouseClick(about->OKButton, Qt::LeftButton);
    });
    QTest::mouseClick(w.CapBut, Qt::LeftButton);
    EXPECT_EQ(title, QStringLiteral("Info..."));
    EXPECT_EQ(product, QStringLiteral("Corvane v1.3"));
    EXPECT_TRUE(memory.endsWith(QStringLiteral(" KB")));
    EXPECT_TRUE(platform.contains(QStringLiteral(" x ")));
}

TEST_F(MainWindowFixture, DebugLogIsHiddenAndKeepsHexLines) {
    EXPECT_FALSE(debug.isVisible());
    EXPECT_EQ(debug.windowTitle(), QStringLiteral("Debug"));
    EXPECT_EQ(debug.geometry().size(), QSize(615, 341));
    EXPECT_TRUE(debug.Memo->isReadOnly());
    debug.AddHexLine(32);
    debug.AddHexLine(16);
    debug.AddHexLine(-2);
    EXPECT_EQ(debug.lines(), (QStringList{QStringLiteral("00000020"), QStringLiteral("00000010"),
                                          QStringLiteral("FFFFFFFE")}));
}

TEST_F(MainWindowFixture, BringToFrontRestoresAMinimisedWindow) {
    w.showMinimized();
    QTest::qWait(20);
    w.BringToFront();
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowFixture, ClosingEmptiesTheStatusPane) {
    w.PanStat->setText(QStringLiteral("Writing Fuses..."));
    w.close();
    EXPECT_TRUE(w.PanStat->text().isEmpty());
    EXPECT_FALSE(w.isVisible());
}
