#include "tools/RenderCommand.h"

#include "imaging/Win.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <ostream>
#include <stdexcept>

namespace {

const char *const kUsage =
    "usage:\n"
    "  lumivane-render adjust [--red N] [--green N] [--blue N] [--brightness N]\n"
    "                         [--contrast N] [--intensity N] [--smoothfx N]\n"
    "                         INPUT.bmp OUTPUT.bmp\n"
    "      Renders INPUT as the knob panel does, with each knob at slider\n"
    "      position N (default 0), and saves the result as OUTPUT.\n"
    "      Ranges: red, green, blue, brightness -255..255; contrast\n"
    "      -1024..1024; intensity -2048..2048; smoothfx -128..5.\n"
    "  lumivane-render composite --dest DEST.bmp --source SRC.bmp --out OUT.bmp\n"
    "                         [--center X,Y] [--angle F] [--scale SX,SY] [--drift F]\n"
    "                         [--pivot X,Y] [--alpha-mode N] [--brightness N]\n"
    "                         [--contrast F] [--intensity F] [--tint R,G,B]\n"
    "                         [--effect N] [--clamp N] [--crop L,T,R,B] [--repeat K]\n"
    "      Draws SRC onto DEST with Composite K times (default 1) and saves\n"
    "      the result as OUT.\n"
    "  lumivane-render --help\n"
    "Exit status: 0 done, 1 a file could not be loaded or saved, 2 usage error.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int32_t ParseInt(const std::string &option, const std::string &text, int64_t lo = INT32_MIN,
                 int64_t hi = INT32_MAX)
{
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE)
        throw UsageError(option + ": not an integer: '" + text + "'");
    if (v < lo || v > hi)
        throw UsageError(option + ": " + text + " is outside " + std::to_string(lo) + ".." +
                         std::to_string(hi));
    return int32_t(v);
}

float ParseReal(const std::string &option, const std::string &text)
{
    errno = 0;
    char *end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0')
        throw UsageError(option + ": not a number: '" + text + "'");
    // Too large for single precision; a value that underflows is kept.
    if (errno == ERANGE && std::isinf(v))
        throw UsageError(option + ": " + text + " is out of range");
    return v;
}

std::vector<std::string> SplitList(const std::string &option, const std::string &text,
                                   size_t count)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() != count)
        throw UsageError(option + ": expected " + std::to_string(count) +
                         " comma-separated values, got '" + text + "'");
    return parts;
}

// Options with a value, and the positional arguments in between.
struct ParsedArgs {
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;
};

ParsedArgs ParseOptions(const std::vector<std::string> &args, size_t first,
                        const std::vector<std::string> &known)
{
    ParsedArgs parsed;
    for (size_t i = first; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            const std::string name = a.substr(2);
            bool isKnown = false;
            for (const std::string &k : known)
                isKnown = isKnown || k == name;
            if (!isKnown)
                throw UsageError("unknown option " + a);
            if (i + 1 >= args.size())
                throw UsageError(a + " needs a value");
            parsed.options[name] = args[++i];
        } else {
            parsed.positional.push_back(a);
        }
    }
    return parsed;
}

// Loads, runs Composite, saves; load and save errors go to the caller.
struct CompositeArgs {
    std::string dest, source, out;
    bool centerGiven = false;
    int32_t centerX = 0, centerY = 0;
    float angle = 0, scaleX = 1, scaleY = 1, drift = 0;
    int32_t pivotX = 0, pivotY = 0, alphaMode = -256, brightness = 0;
    float contrast = 1, intensity = 0;
    int32_t red = 0, green = 0, blue = 0, effect = 0, clamp = 1;
    int32_t crop[4] = {0, 0, 0, 0};
    int32_t repeat = 1;
};

void RunComposite(const CompositeArgs &a)
{
    std::unique_ptr<TWin> dest, source;
    TWin::LoadBitmapFile(dest, a.dest);
    TWin::LoadBitmapFile(source, a.source);
    const int32_t cx = a.centerGiven ? a.centerX : source->width() / 2;
    const int32_t cy = a.centerGiven ? a.centerY : source->height() / 2;
    for (int32_t i = 0; i < a.repeat; ++i)
        dest->Composite(*source, cx, cy, a.angle, a.scaleX, a.scaleY, a.drift, a.pivotX,
                        a.pivotY, a.alphaMode, a.brightness, a.contrast, a.intensity, a.red,
                        a.green, a.blue, a.effect, a.clamp, a.crop[0], a.crop[1], a.crop[2],
                        a.crop[3]);
    dest->SaveBitmapFile(a.out);
}

CompositeArgs ParseAdjust(const std::vector<std::string> &args)
{
    const ParsedArgs p = ParseOptions(
        args, 1, {"red", "green", "blue", "brightness", "contrast", "intensity", "smoothfx"});
    if (p.positional.size() != 2)
        throw UsageError("adjust needs INPUT.bmp and OUTPUT.bmp");
    const auto knob = [&](const char *name, int64_t lo, int64_t hi) {
        const auto it = p.options.find(name);
        return it == p.options.end() ? 0 : ParseInt(std::string("--") + name, it->second, lo, hi);
    };
    CompositeArgs a;
    a.red = knob("red", -255, 255);
    a.green = knob("green", -255, 255);
    a.blue = knob("blue", -255, 255);
    a.brightness = knob("brightness", -255, 255);
    a.contrast = float(knob("contrast", -1024, 1024)) / 512.0f + 1.0f;
    a.intensity = float(knob("intensity", -2048, 2048)) / 512.0f;
    a.effect = knob("smoothfx", -128, 5);
    // The knob panel renders the working copy from a second load of the
    // same file.
    a.source = p.positional[0];
    a.dest = p.positional[0];
    a.out = p.positional[1];
    return a;
}

CompositeArgs ParseComposite(const std::vector<std::string> &args)
{
    const ParsedArgs p = ParseOptions(
        args, 1,
        {"dest", "source", "out", "center", "angle", "scale", "drift", "pivot", "alpha-mode",
         "brightness", "contrast", "intensity", "tint", "effect", "clamp", "crop", "repeat"});
    if (!p.positional.empty())
        throw UsageError("unexpected argument '" + p.positional[0] + "'");
    CompositeArgs a;
    const auto get = [&](const char *name) -> const std::string * {
        const auto it = p.options.find(name);
        return it == p.options.end() ? nullptr : &it->second;
    };
    const auto required = [&](const char *name) {
        const std::string *v = get(name);
        if (!v)
            throw UsageError(std::string("composite needs --") + name);
        return *v;
    };
    a.dest = required("dest");
    a.source = required("source");
    a.out = required("out");
    if (const std::string *v = get("center")) {
        const auto xy = SplitList("--center", *v, 2);
        a.centerGiven = true;
        a.centerX = ParseInt("--center", xy[0]);
        a.centerY = ParseInt("--center", xy[1]);
    }
    if (const std::string *v = get("angle"))
        a.angle = ParseReal("--angle", *v);
    if (const std::string *v = get("scale")) {
        const auto xy = SplitList("--scale", *v, 2);
        a.scaleX = ParseReal("--scale", xy[0]);
        a.scaleY = ParseReal("--scale", xy[1]);
    }
    if (const std::string *v = get("drift"))
        a.drift = ParseReal("--drift", *v);
    if (const std::string *v = get("pivot")) {
        const auto xy = SplitList("--pivot", *v, 2);
        a.pivotX = ParseInt("--pivot", xy[0]);
        a.pivotY = ParseInt("--pivot", xy[1]);
    }
    if (const std::string *v = get("alpha-mode"))
        a.alphaMode = ParseInt("--alpha-mode", *v);
    if (const std::string *v = get("brightness"))
        a.brightness = ParseInt("--brightness", *v);
    if (const std::string *v = get("contrast"))
        a.contrast = ParseReal("--contrast", *v);
    if (const std::string *v = get("intensity"))
        a.intensity = ParseReal("--intensity", *v);
    if (const std::string *v = get("tint")) {
        const auto rgb = SplitList("--tint", *v, 3);
        a.red = ParseInt("--tint", rgb[0]);
        a.green = ParseInt("--tint", rgb[1]);
        a.blue = ParseInt("--tint", rgb[2]);
    }
    if (const std::string *v = get("effect"))
        a.effect = ParseInt("--effect", *v);
    if (const std::string *v = get("clamp"))
        a.clamp = ParseInt("--clamp", *v);
    if (const std::string *v = get("crop")) {
        const auto ltrb = SplitList("--crop", *v, 4);
        for (int i = 0; i < 4; ++i)
            a.crop[i] = ParseInt("--crop", ltrb[size_t(i)]);
    }
    if (const std::string *v = get("repeat"))
        a.repeat = ParseInt("--repeat", *v, 0, INT32_MAX);
    return a;
}

} // namespace

int RunRenderCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    for (const std::string &a : args)
        if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        }
    CompositeArgs parsed;
    try {
        if (args.empty())
            throw UsageError("no command given");
        if (args[0] == "adjust")
            parsed = ParseAdjust(args);
        else if (args[0] == "composite")
            parsed = ParseComposite(args);
        else
            throw UsageError("unknown command '" + args[0] + "'");
    } catch (const UsageError &e) {
        err << "lumivane-render: " << e.what() << "\n" << kUsage;
        return 2;
    }
    try {
        RunComposite(parsed);
    } catch (const std::exception &e) {
        err << "lumivane-render: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
