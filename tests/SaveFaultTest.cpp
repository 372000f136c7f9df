// Faults injected while saving: a folder that cannot be written, a full file
// system, a directory where the file should go, a name too long, a folder
// that has vanished, a file the system will not let be replaced, no name.
// In every case the surface's save and the renderer's command line report a
// clear message (an exception; stderr and exit status 1), the file on disk is
// exactly as before, no temporary file is left behind, and saving elsewhere
// still works.
//
// Some faults need root (mounting a small or read-only file system, making
// a file immutable); without it, or where the system refuses, the case is
// skipped with a message saying why.

#include "imaging/Win.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int Shell(const std::string &cmd)
{
    const int status = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What a path holds: a file's bytes, a folder's names, or nothing.
std::string Contents(const fs::path &p)
{
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
        std::string names = "<folder>";
        for (const auto &e : fs::directory_iterator(p, ec))
            names += " " + e.path().filename().string();
        return names;
    }
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return "<nothing>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::set<std::string> Listing(const fs::path &dir)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(dir, ec))
        names.insert(e.path().filename().string());
    return names;
}

std::unique_ptr<TWin> Picture(int w, int h)
{
    auto win = std::make_unique<TWin>(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            win->Bits[y * win->Stride + x] = uint8_t(x * 7 + y * 13);
    return win;
}

// A refusal names what failed: the file could not be made, or not written.
bool Clear(const std::string &message)
{
    return message.rfind("Cannot create file ", 0) == 0 || message.rfind("Cannot write file ", 0) == 0;
}

class SaveFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp_.isValid());
        base_ = tmp_.path().toStdString();
        good_ = base_ / "good.bmp";
        Picture(6, 4)->SaveBitmapFile(good_.string());
    }

    void TearDown() override
    {
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it)
            Shell(*it);
    }

    // Runs `cmd` as a set-up step; `undo` reverses it when the test ends.
    bool Step(const std::string &cmd, const std::string &undo = "")
    {
        if (Shell(cmd) != 0)
            return false;
        if (!undo.empty())
            undo_.push_back(undo);
        return true;
    }

    bool Mount(const std::string &options, const fs::path &where, const std::string &source)
    {
        return Step("mount " + options + " " + source + " " + Quote(where.string()),
                    "umount -l " + Quote(where.string()));
    }

    // Saves through the surface and through the command line, and checks
    // the refusal and that nothing on disk changed.
    void ExpectRefusedAndNothingLost(const fs::path &target, const fs::path &watched)
    {
        SCOPED_TRACE(target.string());
        const std::string before = Contents(target);
        const std::set<std::string> listing = Listing(watched);

        std::string message;
        try {
            Picture(40, 30)->SaveBitmapFile(target.string());
        } catch (const std::runtime_error &e) {
            message = e.what();
        }
        EXPECT_TRUE(Clear(message)) << "message: '" << message << "'";
        EXPECT_NE(message.find(target.string()), std::string::npos) << message;
        EXPECT_EQ(Contents(target), before);
        EXPECT_EQ(Listing(watched), listing);

        const fs::path err = fs::path(scratch_.path().toStdString()) / "stderr.txt";
        const std::string cmd = std::string(LUMIVANE_RENDER_PATH) + " adjust --red 50 " +
                                Quote(good_.string()) + " " + Quote(target.string()) + " 2>" +
                                Quote(err.string());
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string said = Contents(err);
        EXPECT_TRUE(said.rfind("lumivane-render: ", 0) == 0 && Clear(said.substr(17))) << said;
        EXPECT_NE(said.find(target.string()), std::string::npos) << said;
        EXPECT_EQ(Contents(target), before);
        EXPECT_EQ(Listing(watched), listing);
        fs::remove(err);

        // The same picture saves elsewhere afterwards.
        const fs::path elsewhere = fs::path(scratch_.path().toStdString()) / "elsewhere.bmp";
        auto picture = Picture(40, 30);
        ASSERT_NO_THROW(picture->SaveBitmapFile(elsewhere.string()));
        std::unique_ptr<TWin> back;
        TWin::LoadBitmapFile(back, elsewhere.string());
        ASSERT_EQ(back->width(), 40);
        EXPECT_EQ(std::memcmp(back->Bits, picture->Bits, size_t(picture->Stride) * 30), 0);
        fs::remove(elsewhere);
        ++faults_;
    }

    static void TearDownTestSuite()
    {
        std::printf("[          ] %d save faults injected\n", faults_);
    }

    QTemporaryDir tmp_;
    QTemporaryDir scratch_; // outside every watched folder
    fs::path base_, good_;
    std::vector<std::string> undo_;
    static int faults_;
};

int SaveFaults::faults_ = 0;


TEST_F(SaveFaults, FolderWithoutWritePermission)
{
    const fs::path dir = base_ / "locked";
    fs::create_directory(dir);
    Picture(3, 2)->SaveBitmapFile((dir / "old.bmp").string());
    if (geteuid() != 0) {
        ASSERT_TRUE(Step("chmod 0555 " + Quote(dir.string()), "chmod 0755 " + Quote(dir.string())));
    } else if (!Mount("--bind", dir, Quote(dir.string())) ||
               !Step("mount -o remount,bind,ro " + Quote(dir.string()))) {
        GTEST_SKIP() << "root ignores permission bits, and a read-only bind mount of "
                     << dir << " was refused";
    }
    ExpectRefusedAndNothingLost(dir / "old.bmp", dir);
    ExpectRefusedAndNothingLost(dir / "new.bmp", dir);
}

TEST_F(SaveFaults, FullFileSystem)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system to fill needs root";
    const fs::path dir = base_ / "full";
    fs::create_directory(dir);
    if (!Mount("-t tmpfs -o size=128k", dir, "lumivane-full"))
        GTEST_SKIP() << "a small tmpfs could not be mounted on " << dir;
    Picture(3, 2)->SaveBitmapFile((dir / "old.bmp").string());
    // Fill every block that is left.
    Shell("dd if=/dev/zero of=" + Quote((dir / "filler").string()) + " bs=4096");
    ExpectRefusedAndNothingLost(dir / "old.bmp", dir);
    ExpectRefusedAndNothingLost(dir / "new.bmp", dir);
}

TEST_F(SaveFaults, TargetReplacedByAFolder)
{
    const fs::path target = base_ / "picture.bmp";
    fs::create_directory(target);
    std::ofstream(target / "inside.txt") << "keep me";
    ExpectRefusedAndNothingLost(target, base_);
    EXPECT_EQ(Contents(target / "inside.txt"), "keep me");
}

TEST_F(SaveFaults, NameTooLong)
{
    // One name longer than any file system allows, and a path past PATH_MAX.
    ExpectRefusedAndNothingLost(base_ / (std::string(300, 'n') + ".bmp"), base_);
    fs::path deep = base_;
    for (int i = 0; i < 20; ++i)
        deep /= std::string(250, char('a' + i));
    ExpectRefusedAndNothingLost(deep / "picture.bmp", base_);
}

TEST_F(SaveFaults, FolderThatHasVanished)
{
    const fs::path dir = base_ / "gone";
    fs::create_directory(dir);
    fs::remove(dir);
    ExpectRefusedAndNothingLost(dir / "picture.bmp", base_);
}

TEST_F(SaveFaults, FileTheSystemWillNotLetBeReplaced)
{
    const fs::path target = base_ / "kept.bmp";
    Picture(3, 2)->SaveBitmapFile(target.string());
    if (!Step("chattr +i " + Quote(target.string()), "chattr -i " + Quote(target.string())))
        GTEST_SKIP() << "this file system or user cannot make " << target << " immutable";
    ExpectRefusedAndNothingLost(target, base_);
}

TEST_F(SaveFaults, NoNameAtAll)
{
    const std::set<std::string> listing = Listing(base_);
    try {
        Picture(2, 2)->SaveBitmapFile("");
        ADD_FAILURE() << "saving to an empty name succeeded";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file: no file name was given");
    }
    const std::string cmd = std::string(LUMIVANE_RENDER_PATH) + " adjust " + Quote(good_.string()) +
                            " '' 2>/dev/null";
    const int status = std::system(cmd.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(Listing(base_), listing);
}

// Not a fault, but what writing through a temporary file must keep: a save
// over a link replaces the file it points to, and the link stays a link.
TEST_F(SaveFaults, SavingThroughALinkReplacesTheLinkedFile)
{
    const fs::path real = base_ / "real.bmp";
    const fs::path link = base_ / "link.bmp";
    Picture(3, 2)->SaveBitmapFile(real.string());
    fs::create_symlink(real, link);
    auto picture = Picture(7, 5);
    picture->SaveBitmapFile(link.string());
    EXPECT_TRUE(fs::is_symlink(link));
    std::unique_ptr<TWin> back;
    TWin::LoadBitmapFile(back, real.string());
    EXPECT_EQ(back->width(), 7);
    EXPECT_EQ(back->height(), 5);
    EXPECT_EQ(Listing(base_), (std::set<std::string>{"good.bmp", "link.bmp", "real.bmp"}));
}

} // namespace
