// Binary files through the file module: sizes, truncation to the image and the
// exact length of saved files.

#include "file_test_support.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

QByteArray counting(int size) {
    QByteArray out(size, 0);
    for (int i = 0; i < size; ++i)
        out[i] = char(i * 7 + 1);
    return out;
}

class BinaryFileTest : public ::testing::Test {
protected:
    ScratchDir dir;
    RecordingHost host;
    RecordingPresenter presenter;
    TFileIo io{host, presenter};
};

} // namespace

TEST_F(BinaryFileTest, LongFileFillsTheImageWithItsFirstBytes) {
    const QByteArray content = counting(40000);
    dir.write("long.bin", content);
    ASSERT_TRUE(io.LoadFile(dir.path("long.bin"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, TBuffer(content.begin(), content.begin() + 0x8000));
    EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(BinaryFileTest, ShortFileSetsItsBytesAndErasesTheRestOfTheImage) {
    host.images.EepromImage.assign(kEepromSize, 0x00); // old content must not survive
    const QByteArray content = counting(100);
    dir.write("short.bin", content);
    ASSERT_TRUE(io.LoadFile(dir.path("short.bin"), MEM_EEPROM));
    TBuffer expected(kEepromSize, kErased);
    std::copy(content.begin(), content.end(), expected.begin());
    EXPECT_EQ(host.images.EepromImage, expected);
}

TEST_F(BinaryFileTest, EmptyFileLoadsAsAnErasedImage) {
    host.images.FlashImage.assign(0x4000, 0x12);
    dir.write("empty.bin", QByteArray());
    ASSERT_TRUE(io.LoadFile(dir.path("empty.bin"), MEM_FLASH));
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x4000, kErased)) << "the image keeps its length";
}

TEST_F(BinaryFileTest, SavedFilesAreExactlyAsLongAsTheView) {
    host.flashView = TBuffer(0x4000, kErased); // AT89C5130: 16 KB, all erased
    host.filterIndex = 2;
    ASSERT_TRUE(io.SaveFile(dir.path("flash"), MEM_FLASH));
    EXPECT_EQ(dir.read("flash.bin"), QByteArray(0x4000, char(0xFF)));

    host.eepromView[0] = 0x00;
    host.eepromView[1023] = 0x7E;
    ASSERT_TRUE(io.SaveFile(dir.path("eeprom.bin"), MEM_EEPROM));
    const QByteArray saved = dir.read("eeprom.bin");
    ASSERT_EQ(saved.size(), 1024);
    EXPECT_EQ(saved[0], 0x00);
    EXPECT_EQ(saved[1023], 0x7E);
}

TEST_F(BinaryFileTest, SaveTakesTheViewNotTheImage) {
    host.images.FlashImage.assign(0x8000, 0x11);
    host.flashView.assign(0x8000, 0x22);
    host.filterIndex = 2;
    ASSERT_TRUE(io.SaveFile(dir.path("view.bin"), MEM_FLASH));
    EXPECT_EQ(dir.read("view.bin"), QByteArray(0x8000, 0x22));
    EXPECT_EQ(host.images.FlashImage, TBuffer(0x8000, 0x11));
}
