// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a user meets it: a file dialog leaves nothing behind, the
// keyboard reaches every control and lands where it was, the dialogs of an
// installed program start in the user's folders, and fixed backgrounds keep
// readable text with any palette.

#include "shell/main_window.h"
#include "shell/tests/recording_presenter.h"
#include "shell/tests/temp_files.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

using namespace corvane;

namespace {

const QByteArray kHex = ":03000000020003F8\r\n:00000001FF\r\n";

struct WindowInUse : ::testing::Test {
    QTemporaryDir dir;
    RecordingPresenter boxes;
    std::unique_ptr<TMain> w = std::make_unique<TMain>();

    void SetUp() override {
        w->Ini.setFileName(dir.filePath("corvane.ini"));
        w->setMessagePresenter(&boxes);
        w->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->isReady(); }, 3000));
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

} // namespace

// ------------------------------------------------------------ file dialogs

// The dialog's file list loads in the background; when it arrives after the
// user has typed a name and pressed Enter, its completer shows its
// suggestions again, over the main window, where the popup takes the next
// click for itself.
TEST_F(WindowInUse, AFileDialogsNameCompletionEndsWithTheDialog) {
    writeFile(path("prog.hex"), kHex);
    QCompleter* completer = nullptr;
    QLineEdit* edit = nullptr;
    std::unique_ptr<QSignalSpy> loaded;
    w->RunFileDialog = [&](QFileDialog& dialog, QString& chosen) {
        auto* files = dialog.findChild<QFileSystemModel*>();
        if (!files)
            return false;
        loaded = std::make_unique<QSignalSpy>(files, &QFileSystemModel::directoryLoaded);
        dialog.setDirectory(dir.path());
        dialog.show();
        edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!edit)
            return false;
        edit->setFocus();
        QTest::keyClicks(edit, path("prog.h"));
        completer = edit->completer();
        dialog.hide(); // Enter: the dialog is accepted
        chosen = path("prog.hex");
        return true;
    };
    w->ButOpen0Click();
    ASSERT_TRUE(completer && edit && loaded);
    const QString folder = QFileInfo(dir.path()).canonicalFilePath();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::any_of(loaded->begin(), loaded->end(), [&](const QList<QVariant>& signal) {
                return QFileInfo(signal.at(0).toString()).canonicalFilePath() == folder;
            });
        },
        5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(w->FlashName->text(), path("prog.hex"));
    // No popup is left to take the next click.
    EXPECT_FALSE(completer->popup()->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// Installed, the program's own folder is no place for the user's files. And
// the save dialog shows the type of the name it proposes.
TEST_F(WindowInUse, InstalledTheDialogsStartWhereThatMemorysLastFileIsElseAtHome) {
    w->Installed = true;
    QStringList folders, filters;
    QStringList answers; // "" cancels; "bin:" picks Bin-Files too
    w->RunFileDialog = [&](QFileDialog& dialog, QString& chosen) {
        folders << dialog.directory().absolutePath();
        filters << dialog.selectedNameFilter();
        chosen = answers.isEmpty() ? QString() : answers.takeFirst();
        if (chosen.startsWith("bin:")) {
            dialog.selectNameFilter(QStringLiteral("Bin-Files (*.bin)"));
            chosen = chosen.mid(4);
        }
        return !chosen.isEmpty();
    };
    ASSERT_TRUE(QDir(dir.path()).mkpath("fw"));
    writeFile(path("fw/p.hex"), kHex);
    writeFile(path("e.bin"), "abc");
    const QString home = QDir::homePath();
    answers << "" << path("fw/p.hex") << ""
            << "" << path("e.bin") << "bin:" + path("fw/q") << "";
    w->ButOpen0Click();
    w->ButOpen0Click();
    w->ButOpen1Click(); // EEPROM has no file yet: not FLASH's folder
    w->ButSave1Click();
    w->NewImages(); // the name fields are emptied: the recent files still tell
    w->ButOpen1Click();
    w->ButSave0Click(); // saved as q.bin: the dialog now shows Bin-Files
    w->ButSave1Click(); // proposes e.bin
    w->ButSave0Click(); // proposes q.bin
    EXPECT_EQ(folders, (QStringList{home, home, home, home, home, path("fw"), dir.path(), path("fw")}));
    ASSERT_EQ(filters.size(), 8);
    EXPECT_EQ(filters[6], "Bin-Files (*.bin)") << "e.bin proposed";
    w->FlashName->setText(path("fw/p.hex"));
    w->ButSave0Click();
    EXPECT_EQ(filters.back(), "Hex-Files (*.hex)") << "p.hex proposed after Bin-Files was chosen";
}

// ------------------------------------------------------------ keyboard

TEST_F(WindowInUse, KeyboardReachesEveryControlAndLandsWhereItWas) {
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));

    // A hex view left from its character column takes hex digits again when
    // the user comes back with the keyboard; a click keeps the column.
    HexView* view = w->FlashDump;
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Tab); // the character column
    QTest::keyClick(view, Qt::Key_Tab); // on to the next control
    ASSERT_FALSE(view->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_TRUE(view->hasFocus());
    QTest::keyClicks(view, "12");
    EXPECT_EQ(view->data()[0], 0x12);
    view->model().setCursor(0, HexColumn::Char);
    w->EdBSB->setFocus();
    view->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(view->model().column(), HexColumn::Hex);
    view->model().setCursor(0, HexColumn::Char);
    w->EdBSB->setFocus();
    view->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(view->model().column(), HexColumn::Char);

    // Ctrl+A selects a value field's whole text (it was typed as a digit).
    QLineEdit* field = w->EdBSB;
    field->setFocus();
    field->setText("$5");
    field->setCursorPosition(2);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "$5");
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "");

    // INFO is reached with Tab and opened with the space bar.
    w->cbController->setFocus();
    QTest::keyClick(w->cbController, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w->CapBut);
    bool aboutShown = false;
    QTimer::singleShot(0, w.get(), [&aboutShown] {
        if (QWidget* about = QApplication::activeModalWidget()) {
            aboutShown = about->windowTitle() == "Info...";
            about->close();
        }
    });
    QTest::keyClick(w->CapBut, Qt::Key_Space);
    EXPECT_TRUE(aboutShown);

    // An operation started from the keyboard gives the focus back to its
    // button (locking the controls sent it on to a file name field).
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->ButRead->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w->ButRead);
    QTest::keyClick(w->ButRead, Qt::Key_Space);
    ASSERT_EQ(boxes.boxes.size(), 1u) << "no device: USB-ERROR";
    EXPECT_EQ(QApplication::focusWidget(), w->ButRead);
}

// ------------------------------------------------------------ colours

namespace {

// Text and background far enough apart in lightness to read.
bool readable(const QColor& text, const QColor& background) {
    return std::abs(text.lightnessF() - background.lightnessF()) >= 0.4;
}

// Of a part of a widget's picture: the lightness of its darkest pixel, and
// the share of its pixels that are light (a light ground under the text).
std::pair<int, double> darkestAndLightShare(QWidget* widget, const QRect& part) {
    const QImage picture = widget->grab().toImage();
    int darkest = 255;
    int light = 0;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x) {
            const int l = QColor(picture.pixel(x, y)).lightness();
            darkest = std::min(darkest, l);
            light += l > 200 ? 1 : 0;
        }
    }
    return {darkest, double(light) / double(part.width() * part.height())};
}

} // namespace

// A dark desktop palette (light text on dark ground) meets the window's
// fixed colours: each fixed background comes with a fixed text colour, and
// each fixed text colour with a fixed background.
TEST(WindowColours, FixedBackgroundsAndFixedTextColoursStayReadableWithADarkPalette) {
    const QPalette before = QApplication::palette();
    TMain w;
    w.Startup();
    w.show();
    // On the usual light ground the navy and maroon labels need none of their own.
    EXPECT_FALSE(w.LabManufacturer->autoFillBackground());
    QPalette dark;
    for (const auto& [role, colour] : {std::pair{QPalette::Window, QColor(0x20, 0x20, 0x20)},
                                       {QPalette::WindowText, QColor(0xE0, 0xE0, 0xE0)},
                                       {QPalette::Base, QColor(0x18, 0x18, 0x18)},
                                       {QPalette::Text, QColor(0xF0, 0xF0, 0xF0)},
                                       {QPalette::Button, QColor(0x30, 0x30, 0x30)},
                                       {QPalette::ButtonText, QColor(0xF0, 0xF0, 0xF0)}})
        dark.setColor(role, colour);
    QApplication::setPalette(dark); // while the window is open
    QCoreApplication::processEvents();
    for (QWidget* field :
         std::initializer_list<QWidget*>{w.FlashName, w.EEPName, w.cbDevice, w.cbController}) {
        SCOPED_TRACE(field->metaObject()->className());
        const QPalette& p = field->palette();
        EXPECT_TRUE(readable(p.color(QPalette::Text), p.color(QPalette::Base)));
        EXPECT_TRUE(readable(p.color(QPalette::ButtonText), p.color(QPalette::Button)));
    }
    for (QLabel* label : {w.LabManufacturer, w.LabBootVersion, w.LabHSB, w.PanStat}) {
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_TRUE(label->autoFillBackground());
        EXPECT_TRUE(
            readable(label->palette().color(QPalette::WindowText), label->palette().color(QPalette::Window)));
    }
    // The hex view's digits are dark on its light ground.
    const HexViewLayout& layout = w.FlashDump->layout();
    const QRect byte1(layout.hexX(1), layout.rowTop(0), layout.hexCellWidth(), layout.lineHeight);
    EXPECT_LT(darkestAndLightShare(w.FlashDump->viewport(), byte1).first, 100);
    // The percentage over filled segments has a light ground of its own.
    w.PBar->setTotal(100);
    w.PBar->setCompleted(81);
    w.PBar->setPercentageVisible(true);
    const auto [textDark, plateShare] =
        darkestAndLightShare(w.PBar, QRect(w.PBar->width() / 2 - 6, 4, 12, w.PBar->height() - 8));
    EXPECT_LT(textDark, 100);
    EXPECT_GT(plateShare, 0.5);
    QApplication::setPalette(before);
}
