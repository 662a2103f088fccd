#include "platform/FileAccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/Fifo.h"
#include "tests/support/TempDir.h"

TEST(ReadOnlyFile, RegularFilesOnlyAndNeverWaitsOnANamedPipe) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.bfw");
    if (!kHasFifos)
        GTEST_SKIP() << kNoFifosHere;
    ASSERT_TRUE(MakeFifo(fifo));
    for (platform::FileShare share : {platform::FileShare::Read, platform::FileShare::None}) {
        std::unique_ptr<platform::ReadOnlyFile> opened;
        EXPECT_TRUE(ReturnsWithoutBlocking(fifo, [&] {
            opened = platform::ReadOnlyFile::Open(fifo.c_str(), share);
        })) << "opening a named pipe must not wait for a writer";
        EXPECT_EQ(nullptr, opened) << "a named pipe is not a regular file";
    }
    EXPECT_EQ(nullptr, platform::ReadOnlyFile::Open(dir.Path().c_str(), platform::FileShare::Read));
    EXPECT_EQ(nullptr, platform::ReadOnlyFile::Open("/dev/null", platform::FileShare::Read));

    // A regular file still reads in blocking mode, whole.
    const std::string path = dir.Write("plain.bin", std::vector<uint8_t>(100000, 7));
    auto file = platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::None);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(100000, file->Size());
    std::vector<uint8_t> bytes(100000);
    uint32_t got = 0;
    EXPECT_TRUE(file->Read(bytes.data(), 100000, &got));
    EXPECT_EQ(100000u, got);
    EXPECT_EQ(nullptr, platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::Read))
        << "held exclusively";
}

TEST(NewFile, MadeOnlyWhereNothingIsAndRemovedOnlyWhileItIsOurs) {
    TempDir dir;
    const std::string path = dir.File("page.htm");
    auto file = platform::NewFile::Create(path.c_str());
    ASSERT_TRUE(file);
    EXPECT_FALSE(platform::NewFile::Create(path.c_str())) << "the name is taken";
    ASSERT_TRUE(file->Write("ours", 4));
    ASSERT_TRUE(file->Close());
    EXPECT_TRUE(file->Remove());
    EXPECT_FALSE(std::filesystem::exists(path));

    // Someone else's file took the name between writing and removing (ours
    // moved aside, so the two cannot share an identity).
    file = platform::NewFile::Create(path.c_str());
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Close());
    std::filesystem::rename(path, path + ".moved");
    std::ofstream(path) << "theirs";
    EXPECT_FALSE(file->Remove());
    std::ifstream kept(path);
    std::string text;
    kept >> text;
    EXPECT_EQ("theirs", text);
}
