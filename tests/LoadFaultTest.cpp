// Faults while loading, through the surface and the renderer's command
// line: a missing file, a folder, a file that cannot be read, a PNG renamed
// .bmp, a truncated file. Each ends in its message with an empty surface
// (the command line: stderr, exit status 1, no output file), and a later
// load of a good file into the same surface works.

#include "imaging/Win.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string &s)
{
    return "'" + s + "'";
}

std::string ReadText(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const fs::path &p, const std::string &bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

struct LoadFault {
    const char *name;
    // Makes the faulty file at `path` from the good file's bytes.
    std::function<void(const fs::path &path, const std::string &good)> make;
    std::string message; // what the load says, before the file name if any
    bool namesFile;
    // Read as an unprivileged user: permission bits do not stop root.
    bool unprivileged = false;
};

void PrintTo(const LoadFault &f, std::ostream *os)
{
    *os << f.name;
}

constexpr uid_t kNobody = 65534;

// The message of loading `path` into a surface, then whether a good file
// loads into the same surface afterwards; run by `kNobody` when asked.
std::pair<std::string, bool> LoadThenGood(const fs::path &path, const fs::path &good,
                                          bool unprivileged)
{
    const auto run = [&]() -> std::pair<std::string, bool> {
        auto win = std::make_unique<TWin>(5, 3);
        std::string message;
        try {
            TWin::LoadBitmapFile(win, path.string());
        } catch (const std::runtime_error &e) {
            message = e.what();
        }
        const bool emptied = win && win->empty();
        TWin::LoadBitmapFile(win, good.string());
        return {message, emptied && win->width() == 5 && win->height() == 3};
    };
    if (!unprivileged || geteuid() != 0)
        return run();
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {"<no pipe>", false};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(2);
        const auto [message, fine] = run();
        const std::string report = (fine ? "1" : "0") + message;
        (void)!write(pipeFds[1], report.data(), report.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (report.empty())
        return {"<the unprivileged child failed>", false};
    return {report.substr(1), report[0] == '1'};
}

class LoadFaults : public ::testing::TestWithParam<LoadFault> {};

TEST_P(LoadFaults, EndInTheirMessageAndALaterGoodLoadWorks)
{
    const LoadFault &f = GetParam();
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const fs::path dir = tmp.path().toStdString();
    const fs::path good = dir / "good.bmp";
    {
        TWin picture(5, 3);
        for (int i = 0; i < picture.Stride * 3; ++i)
            picture.Bits[i] = uint8_t(i * 11);
        picture.SaveBitmapFile(good.string());
    }
    const fs::path bad = dir / "faulty.bmp";
    f.make(bad, ReadText(good));

    const bool dropRoot = f.unprivileged && geteuid() == 0;
    if (dropRoot) {
        // The unprivileged user must reach the folder and the good file.
        fs::permissions(dir, fs::perms(0711));
        fs::permissions(good, fs::perms(0644));
    }
    const auto [message, laterGoodLoadWorks] = LoadThenGood(bad, good, f.unprivileged);
    const std::string expected = f.message + (f.namesFile ? " " + bad.string() : "");
    EXPECT_EQ(message, expected);
    EXPECT_TRUE(laterGoodLoadWorks);

    const fs::path out = dir / "out.bmp";
    const fs::path err = dir / "stderr.txt";
    const std::string cmd = std::string(dropRoot ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "") +
                            LUMIVANE_RENDER_PATH + " adjust " + Quote(bad.string()) +
                            " " + Quote(out.string()) + " 2>" + Quote(err.string());
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadText(err), "lumivane-render: " + expected + "\n");
    EXPECT_FALSE(fs::exists(out));
}

const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x02\0\0\0", 29);

INSTANTIATE_TEST_SUITE_P(
    Faults, LoadFaults,
    ::testing::Values(
        LoadFault{"Missing", [](const fs::path &, const std::string &) {},
                  "Cannot open file", true},
        LoadFault{"Folder",
                  [](const fs::path &p, const std::string &) {
                      fs::create_directory(p);
                  },
                  "Cannot open file", true},
        LoadFault{"Unreadable",
                  [](const fs::path &p, const std::string &good) {
                      WriteBytes(p, good);
                      fs::permissions(p, fs::perms::none);
                  },
                  "Cannot open file", true, true},
        LoadFault{"PngRenamed",
                  [](const fs::path &p, const std::string &) {
                      WriteBytes(p, kPng);
                  },
                  "Bitmap image is not valid", false},
        LoadFault{"CutInThePixels",
                  [](const fs::path &p, const std::string &good) {
                      WriteBytes(p, good.substr(0, good.size() - 5));
                  },
                  "Stream read error", false},
        LoadFault{"CutInTheHeader",
                  [](const fs::path &p, const std::string &good) {
                      WriteBytes(p, good.substr(0, 10));
                  },
                  "Stream read error", false}),
    [](const ::testing::TestParamInfo<LoadFault> &info) { return std::string(info.param.name); });

// A zero-length file is an empty picture, not an error.
TEST(LoadFaultsEmptyFile, ReadsAsAnEmptyPicture)
{
    QTemporaryDir tmp;
    const fs::path empty = fs::path(tmp.path().toStdString()) / "empty.bmp";
    WriteBytes(empty, "");
    auto win = std::make_unique<TWin>(4, 4);
    EXPECT_NO_THROW(TWin::LoadBitmapFile(win, empty.string()));
    ASSERT_TRUE(win);
    EXPECT_TRUE(win->empty());
}

} // namespace
