// SPDX-License-Identifier: GPL-3.0-or-later
// The HexView widget, run offscreen.

#include "image/hex_view_widget.h"

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct HexViewFixture : ::testing::Test {
    HexView view;
    void SetUp() override {
        view.setGeometry(0, 0, 545, 246);
        view.setDataSize(0x8000);
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
        view.setFocus();
    }
};

} // namespace

TEST_F(HexViewFixture, KeysTypeInBothColumnsAndUndo) {
    QSignalSpy edited(&view, &HexView::edited);
    QTest::keyClicks(&view, QStringLiteral("c3"));
    EXPECT_EQ(view.data()[0], 0xC3);
    QTest::keyClick(&view, Qt::Key_Tab);
    EXPECT_EQ(view.model().column(), HexColumn::Char);
    QTest::keyClicks(&view, QStringLiteral("Hi"));
    EXPECT_EQ(view.data()[1], 'H');
    EXPECT_EQ(view.data()[2], 'i');
    EXPECT_EQ(edited.count(), 4);

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view.data()[2], 0xFF);
    EXPECT_TRUE(view.model().isChanged(1));
    EXPECT_EQ(view.dataSize(), 0x8000u);
    EXPECT_TRUE(view.hasFocus()) << "Tab switches columns instead of leaving the view";
}

TEST_F(HexViewFixture, ScrollBarFollowsTheCursorAndScrollsTheRows) {
    QScrollBar* bar = view.verticalScrollBar();
    const int shown = view.model().visibleRows();
    EXPECT_EQ(bar->maximum(), 0x800 - shown);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(10);
    EXPECT_EQ(view.model().topRow(), 10u);
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(HexViewFixture, ClickPutsTheCursorOnTheByteUnderTheMouse) {
    const HexViewLayout& l = view.layout();
    view.verticalScrollBar()->setValue(2);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(l.hexNibbleX(5, 1) + 1, l.rowTop(1) + 3));
    EXPECT_EQ(view.model().cursor(), 3u * 16 + 5);
    EXPECT_EQ(view.model().nibble(), 1);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(l.charX(15) + 2, l.rowTop(0) + 3));
    EXPECT_EQ(view.model().cursor(), 2u * 16 + 15);
    EXPECT_EQ(view.model().column(), HexColumn::Char);
}

TEST_F(HexViewFixture, RefreshShowsNewBytesUnmarkedAtTheTop) {
    QTest::keyClick(&view, Qt::Key_PageDown);
    QTest::keyClicks(&view, QStringLiteral("00"));
    view.refresh(TBuffer(0x8000, 0x5A));
    EXPECT_EQ(view.model().changedCount(), 0u);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    EXPECT_EQ(view.data()[0x7FFF], 0x5A);
    // Painting with change marks and the cursor works at any place.
    QTest::keyClicks(&view, QStringLiteral("1"));
    view.grab();
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
