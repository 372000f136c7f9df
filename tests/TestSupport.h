#pragma once
// Small helpers shared by the tests: pixels by coordinate, temporary folders
// and whole-file reads and writes.

#include "imaging/Win.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

struct Bgr {
    int b = 0, g = 0, r = 0;
    friend bool operator==(const Bgr &, const Bgr &) = default;
    friend std::ostream &operator<<(std::ostream &os, const Bgr &p)
    {
        return os << "(b " << p.b << ", g " << p.g << ", r " << p.r << ")";
    }
};

// Straight through the documented layout, not through the cursors.
inline uint8_t *PixelAt(TWin &w, int x, int y)
{
    return w.Bits + ptrdiff_t(y) * w.Stride + 3 * ptrdiff_t(x);
}

inline void SetPixel(TWin &w, int x, int y, Bgr p)
{
    uint8_t *at = PixelAt(w, x, y);
    at[0] = uint8_t(p.b);
    at[1] = uint8_t(p.g);
    at[2] = uint8_t(p.r);
}

inline Bgr GetPixel(TWin &w, int x, int y)
{
    const uint8_t *at = PixelAt(w, x, y);
    return {at[0], at[1], at[2]};
}

inline void Fill(TWin &w, const std::function<Bgr(int x, int y)> &colour)
{
    for (int y = 0; y < w.height(); ++y)
        for (int x = 0; x < w.width(); ++x)
            SetPixel(w, x, y, colour(x, y));
}

inline std::unique_ptr<TWin> MakeSurface(int width, int height,
                                         const std::function<Bgr(int x, int y)> &colour)
{
    auto w = std::make_unique<TWin>(width, height);
    Fill(*w, colour);
    return w;
}

// A colour that differs for every pixel of pictures up to 256 x 256.
inline Bgr Distinct(int x, int y) { return {x & 255, y & 255, (x * 7 + y * 13 + 5) & 255}; }

inline std::vector<uint8_t> ReadFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write fixture " << path;
}

inline std::set<std::string> ListFolder(const std::filesystem::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir()
    {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumivane-test-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        // Read-only folders made by a test would stop the removal.
        for (const auto &entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            if (entry.is_directory(ignored))
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace testing_support
