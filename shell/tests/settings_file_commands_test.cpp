// SPDX-License-Identifier: GPL-3.0-or-later
// The window's file commands and settings: dialogs, name fields, recent-file
// menus, the settings read at start and written at close, and what a settings
// file that cannot be written does.

#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/tests/recording_presenter.h"
#include "shell/tests/temp_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace corvane;

namespace {

// What a file dialog was shown with.
struct DialogSeen {
    QString title, folder, name;
};

class FileCommandsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString ini = dir.filePath("corvane.ini");
    RecordingPresenter boxes;        // the file module's boxes
    RecordingPresenter generalBoxes; // the general error box
    std::unique_ptr<TMain> w;
    std::vector<DialogSeen> dialogs;
    QStringList answers; // names the user picks, in turn; "" cancels

    void SetUp() override {
        boxes.answer = MessageResult::Abort;
        CorvaneApplication::instance()->setErrorPresenter(&generalBoxes);
    }
    void TearDown() override {
        w.reset();
        CorvaneApplication::instance()->setErrorPresenter(nullptr);
    }

    void start(bool readOnly = false) {
        w = std::make_unique<TMain>();
        w->Ini.setFileName(ini);
        w->setMessagePresenter(&boxes);
        w->RunFileDialog = [this](QFileDialog& dialog, QString& chosen) {
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            dialogs.push_back({dialog.windowTitle(), dialog.directory().absolutePath() + "/",
                               edit ? edit->text() : QStringLiteral("?")});
            const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
            const bool bin = answer.startsWith("bin:"); // the user picks "Bin-Files" too
            dialog.selectNameFilter(bin ? QStringLiteral("Bin-Files (*.bin)")
                                        : QStringLiteral("Hex-Files (*.hex)"));
            chosen = bin ? answer.mid(4) : answer;
            return !chosen.isEmpty();
        };
        w->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->isReady(); }, 3000));
        w->SettingsReadOnly = readOnly; // the test runner passes arguments
    }

    void put(const QString& name, const QByteArray& content) { writeFile(path(name), content); }
    QByteArray settings() const { return readFile(ini); }
    static QStringList menu(QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            out << (a->isEnabled() ? "" : "disabled ") + a->text();
        return out;
    }
    static void chooseFromMenu(QMenu* m, int index) {
        m->actions().at(index)->trigger();
        QCoreApplication::processEvents(); // the choice is queued until the menu has closed
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

const QByteArray kHex = ":03000000020003F8\r\n:00000001FF\r\n";

} // namespace

// ------------------------------------------------------------ settings

TEST_F(FileCommandsTest, WithoutASettingsFileDefaultsApplyAndCloseWritesSixKeys) {
    start();
    EXPECT_TRUE(w->chkFuses->isChecked());
    EXPECT_EQ(menu(w->FlashMruMenu), QStringList{"disabled (Leer)"});
    w->close(); // what the controls hold: FLASH and EEPROM on, the rest off, both selectors at 0
    EXPECT_EQ(settings(),
              "[CONFIG]\r\nFlashActive=1\r\nEEPActive=1\r\nAutoErase=0\r\nFlashAll=0\r\nDevice=0\r\n"
              "Controller=0\r\n");
    w.reset();
    EXPECT_FALSE(settings().contains("LOAD")) << "no list sections without files";
}

TEST_F(FileCommandsTest, StoredSettingsAreAppliedAndOutOfRangeSelectorsStayUnselected) {
    writeFile(ini,
              "[config]\r\nflashactive=yes\r\nEEPActive=0\r\nFusesActive=0\r\nAutoErase=1\r\nDevice=9\r\n"
              "Controller=$1\r\n");
    start();
    EXPECT_TRUE(w->chkFlash->isChecked()) << "yes is no integer: the default";
    EXPECT_FALSE(w->chkEEP->isChecked());
    EXPECT_FALSE(w->chkFuses->isChecked());
    EXPECT_TRUE(w->chkAutoErase->isChecked());
    EXPECT_EQ(w->cbDevice->currentIndex(), -1);
    EXPECT_EQ(w->cbController->currentIndex(), 1);
    EXPECT_EQ(w->FlashImage().size(), 0x4000u);
    w->close();
    const QByteArray after = settings();
    EXPECT_TRUE(after.contains("\r\nDevice=-1\r\n")) << after.constData();
    EXPECT_TRUE(after.contains("\r\nFusesActive=0\r\n")) << "never written, kept as it was";
    EXPECT_TRUE(after.contains("\r\nEEPActive=0\r\n"));
}

TEST_F(FileCommandsTest, ARunWithArgumentsLeavesConfigAloneButStoresTheListsForTheNextRun) {
    const QByteArray before = "[CONFIG]\r\nDevice=3\r\n";
    writeFile(ini, before);
    put("e.bin", "abc");
    start(/*readOnly=*/true);
    w->cbDevice->setCurrentIndex(5);
    answers << path("e.bin");
    w->ButOpen1Click();
    w->close();
    EXPECT_TRUE(settings().startsWith(before));
    w.reset();
    EXPECT_TRUE(settings().contains("[EEPLOAD]\r\nH0=" + path("e.bin").toUtf8()));
    start();
    EXPECT_EQ(w->EEPMru.items(), QStringList{path("e.bin")});
    EXPECT_EQ(menu(w->EEPMruMenu), QStringList{"&1 " + path("e.bin")});
    EXPECT_TRUE(w->EEPName->text().isEmpty());
}

TEST_F(FileCommandsTest, AnUnwritableSettingsFileShowsTheErrorButTheWindowStillCloses) {
    ASSERT_TRUE(QDir().mkdir(ini)); // a folder where the file should be
    start();
    w->PanStat->setText("Reading...");
    w->close();
    ASSERT_EQ(generalBoxes.boxes.size(), 1u);
    EXPECT_EQ(generalBoxes.boxes[0].text, "nach " + ini + " kann nicht geschrieben werden.");
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->PanStat->text().isEmpty()) << "the device channel was closed";

    // A load still succeeds; only its list cannot be stored.
    put("a.hex", kHex);
    answers << path("a.hex");
    w->ButOpen0Click();
    EXPECT_EQ(w->FlashImage()[2], 0x03);
    EXPECT_EQ(w->FlashMru.items(), QStringList{path("a.hex")});
    EXPECT_EQ(generalBoxes.boxes.size(), 2u);
}

// ------------------------------------------------------------ load and save

TEST_F(FileCommandsTest, DialogsStartInTheProgramFolderThenInTheLoadedFilesFolderAndSaveProposesItsName) {
    QDir(dir.path()).mkdir("fw");
    put("fw/a.hex", kHex);
    start();
    answers << path("fw/a.hex");
    w->ButOpen0Click();
    EXPECT_EQ(w->FlashName->text(), path("fw/a.hex"));
    EXPECT_EQ(w->FlashImage()[2], 0x03);
    EXPECT_TRUE(settings().contains("[FLASHLOAD]\r\nH0=" + path("fw/a.hex").toUtf8() + "\r\n"));
    w->ButOpen0Click(); // cancelled
    w->ButOpen1Click(); // cancelled
    answers << "bin:" + path("b");
    w->ButSave0Click();

    ASSERT_EQ(dialogs.size(), 4u);
    EXPECT_EQ(dialogs[0].title, "Load file for FLASH-Memory");
    EXPECT_EQ(dialogs[0].folder, QDir(w->ExeDir).absolutePath() + "/");
    EXPECT_EQ(dialogs[1].folder, path("fw") + "/");
    EXPECT_EQ(dialogs[1].name, "");
    EXPECT_EQ(dialogs[2].title, "Load file for EEPROM");
    EXPECT_EQ(dialogs[2].folder, path("fw") + "/") << "the start folder stays from the other load";
    EXPECT_EQ(dialogs[3].title, "Save FLASH-Memory to file");
    EXPECT_EQ(dialogs[3].folder, path("fw") + "/");
    EXPECT_EQ(dialogs[3].name, "a.hex");
    // The save takes the name completed with the chosen type's extension.
    EXPECT_EQ(QFileInfo(path("b.bin")).size(), 0x8000);
    EXPECT_EQ(w->FlashName->text(), path("b.bin"));
    EXPECT_EQ(w->FlashMru.items(), (QStringList{path("b.bin"), path("fw/a.hex")}));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(FileCommandsTest, FailedOrCancelledCommandsChangeNoNameFieldAndNoList) {
    start();
    answers << path("missing.hex") << "";
    w->ButOpen1Click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "File-Error");
    w->ButSave1Click();
    EXPECT_TRUE(w->EEPName->text().isEmpty());
    EXPECT_TRUE(w->EEPMru.items().isEmpty());
    EXPECT_EQ(menu(w->EEPMruMenu), QStringList{"disabled (Leer)"});
}

TEST_F(FileCommandsTest, PickingTheOtherFileTypeChangesTheTypedExtension) {
    start();
    w->RunFileDialog = [](QFileDialog& dialog, QString&) {
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        EXPECT_NE(edit, nullptr);
        if (!edit)
            return false;
        edit->setText("flash.hex");
        emit dialog.filterSelected(QStringLiteral("Bin-Files (*.bin)"));
        EXPECT_EQ(edit->text(), "flash.bin");
        emit dialog.filterSelected(QStringLiteral("Hex-Files (*.hex)"));
        EXPECT_EQ(edit->text(), "flash.hex");
        return false;
    };
    w->ButSave0Click();
}

// ------------------------------------------------------------ recent files

TEST_F(FileCommandsTest, ChosenRecentFileLoadsAndMovesUpAGoneOneIsRemoved) {
    put("a.hex", kHex);
    put("b.hex", ":010000007788\r\n:00000001FF\r\n");
    start();
    answers << path("a.hex") << path("b.hex");
    w->ButOpen0Click();
    w->ButOpen0Click();
    ASSERT_EQ(w->FlashMru.items(), (QStringList{path("b.hex"), path("a.hex")}));

    chooseFromMenu(w->FlashMruMenu, 1); // a.hex
    EXPECT_EQ(w->FlashImage()[2], 0x03);
    EXPECT_EQ(w->FlashMru.items(), (QStringList{path("a.hex"), path("b.hex")}));
    // Stored during the choice, before the entry moved; the new order follows later.
    EXPECT_TRUE(settings().contains("H0=" + path("b.hex").toUtf8() + "\r\nH1=" + path("a.hex").toUtf8()));

    QFile::remove(path("b.hex"));
    const TBuffer before = w->FlashImage();
    chooseFromMenu(w->FlashMruMenu, 1); // b.hex, gone
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "File: " + path("b.hex") + "\rError #2\rFile not found");
    EXPECT_EQ(w->FlashImage(), before);
    EXPECT_EQ(menu(w->FlashMruMenu), QStringList{"&1 " + path("a.hex")});
}

// ------------------------------------------------------------ reused dialogs and saving

namespace {

// The user as the dialog sees them: "" presses Enter on what the dialog
// proposes, anything else is typed into the name field first.
struct TypingUser {
    QStringList typed;
    QStringList proposed; // what each dialog showed in its name field
    bool operator()(QFileDialog& dialog, QString& chosen) {
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        EXPECT_NE(edit, nullptr);
        if (!edit)
            return false;
        proposed << edit->text();
        const QString text = typed.isEmpty() ? QString() : typed.takeFirst();
        if (!text.isEmpty())
            edit->setText(text);
        if (edit->text().isEmpty())
            return false;
        chosen =
            QFileInfo(edit->text()).isAbsolute() ? edit->text() : dialog.directory().filePath(edit->text());
        return true;
    }
};

} // namespace

TEST_F(FileCommandsTest, EachDialogStartsWithItsOwnNameAndEnterOnAnEmptySaveWritesNothing) {
    put("f.hex", kHex);
    start();
    auto user = std::make_shared<TypingUser>();
    w->RunFileDialog = [user](QFileDialog& d, QString& chosen) { return (*user)(d, chosen); };
    user->typed << path("f.hex") << ""
                << ""
                << "";
    w->ButOpen0Click(); // types the FLASH file's path
    w->ButOpen1Click(); // the load dialog again: empty, not the path typed before
    w->ButSave1Click(); // EEPROM has no name: nothing proposed, Enter saves nothing
    w->ButSave0Click(); // FLASH proposes its own name; Enter asks before replacing it
    EXPECT_EQ(user->proposed, (QStringList{"", "", "", "f.hex"}));
    EXPECT_EQ(readFile(path("f.hex")), kHex) << "declined: the FLASH file is untouched";
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(boxes.boxes[0].buttons, MessageButton::Yes | MessageButton::No | MessageButton::DefaultSecond);
    EXPECT_TRUE(boxes.boxes[0].text.contains(path("f.hex")));
    EXPECT_TRUE(w->EEPName->text().isEmpty());
    EXPECT_TRUE(w->EEPMru.items().isEmpty());
}

TEST_F(FileCommandsTest, SavingOntoAnExistingFileReplacesItOnlyWhenConfirmed) {
    put("e.bin", "old");
    start();
    // The name typed without extension is completed to the existing file.
    answers << "bin:" + path("e") << "bin:" + path("e");
    w->ButSave1Click();
    EXPECT_EQ(readFile(path("e.bin")), "old");
    EXPECT_TRUE(w->EEPName->text().isEmpty());
    boxes.answer = MessageResult::Yes;
    w->ButSave1Click();
    EXPECT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(QFileInfo(path("e.bin")).size(), 1024);
    EXPECT_EQ(w->EEPName->text(), path("e.bin"));
}
