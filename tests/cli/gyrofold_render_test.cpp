// gyrofold-render run as a separate program, the way people and scripts use it,
// and the fixed colours its GIF files give 16-bit frames.

#include <gtest/gtest.h>

#include <gif_lib.h>
#include <png.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "effect/render_frame.h"
#include "effect/scene.h"
#include "imaging/bmp_decoder.h"
#include "imaging/surface_memory.h"
#include "tools/frame_output.h"
#include "tests/support/picture_writer.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& path) { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); }

struct RunResult {
    int code;
    std::string err;
};

class RenderCli : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(out_); }
    void TearDown() override { fs::remove_all(dir_); }

    long FileCount() const { return std::distance(fs::directory_iterator(out_), fs::directory_iterator()); }

    RunResult Render(const std::vector<std::string>& args) const
    {
        std::string command = GYROFOLD_RENDER_PATH;
        for (const std::string& a : args) command += " '" + a + "'";
        const int status = std::system((command + " >/dev/null 2>'" + dir_ + "/err'").c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(dir_ + "/err")};
    }

    RunResult RenderSample(const std::string& name, std::vector<std::string> options) const
    {
        options.insert(options.begin(), {"--image", SAMPLE_IMAGE_PATH, "--out", out_ + "/" + name});
        return Render(options);
    }

    std::string Out(const std::string& name) const { return ReadText(out_ + "/" + name); }

    const std::string dir_ = ::testing::TempDir() + "gyrofold-cli-" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                             std::to_string(getpid()),
                      out_ = dir_ + "/out";
};

void PutBig32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// A PNG whose header says width x height, with a correct checksum.
std::vector<uint8_t> PngDeclaring(std::vector<uint8_t> png, uint32_t width, uint32_t height)
{
    PutBig32(png, 16, width);
    PutBig32(png, 20, height);
    PutBig32(png, 29, static_cast<uint32_t>(crc32(0, &png[12], 17)));
    return png;
}

// A baseline JPEG whose frame header (its SOF0 marker) is patched at offset.
std::vector<uint8_t> JpegPatched(std::vector<uint8_t> jpeg, size_t offset, std::vector<uint8_t> bytes)
{
    const uint8_t sof[] = {0xFF, 0xC0};
    const auto at = std::search(jpeg.begin(), jpeg.end(), sof, sof + 2) + static_cast<long>(offset);
    std::copy(bytes.begin(), bytes.end(), at);
    return jpeg;
}

// Bad arguments exit with 2, files that cannot be read or written with 1 and
// the decoder's reason; every failure is one line and writes nothing.
TEST_F(RenderCli, FailuresExitWithOneLineNamingTheCauseAndWriteNothing)
{
    const std::string img = SAMPLE_IMAGE_PATH, png = out_ + "/f.png";
    // The option table's refusals in full are a unit test; one of each kind
    // here. The saver draws an empty frame, but PNG and GIF have no empty picture.
    struct Case {
        std::vector<std::string> args;
        std::string named;  // must appear in the message
        int code = 2;
    };
    std::vector<Case> cases = {
        {{"--out", png}, "--image"}, {{"--image", img}, "--out"}, {{"--image", img, "--out", png, "stray"}, "stray"},
        {{"--image", std::string(300, 'a'), "--out", png}, "--image"},
        {{"--image", img, "--out", out_ + "/a.gif", "--width", "0"}, "--width"},
        {{"--image", img, "--out", png, "--height", "0"}, "--height"},
        {{"--image", img, "--out", out_ + "/no-such-folder/f.png"}, "no-such-folder/f.png", 1},
    };
    for (const char* out : {"frame.jpg", "f-%s.png", "f-%d-%d.png", "f-%100d.png", "f-%"})
        cases.push_back({{"--image", img, "--out", out_ + "/" + out}, "--out"});
    // Pictures refused with the decoders' reason or the libraries', before any
    // picture memory: the tiny ones declaring 8192 x 8192 would take hundreds
    // of MiB if it were taken first.
    picw::PngPicture p;
    p.width = 16, p.height = 8, p.samples.assign(16 * 8 * 3, 0);
    for (size_t i = 0; i < p.samples.size(); ++i) p.samples[i] = static_cast<uint16_t>(i * 7 % 256);
    const std::vector<uint8_t> pngFile = picw::WritePng(p);
    const std::vector<uint8_t> rgb(p.samples.begin(), p.samples.end()), cmyk(16 * 8 * 4, 9);
    const std::vector<uint8_t> jpeg = picw::WriteJpeg(16, 8, rgb, {});
    std::vector<uint8_t> badCrc = pngFile;
    badCrc[30] ^= 1;
    const std::vector<std::tuple<std::string, std::vector<uint8_t>, std::string>> files = {
        {"missing.bmp", {}, "cannot open file"},  // never written
        {"truncated.bmp", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40}, "file too short for a BMP header"},
        {"truncated.png", std::vector<uint8_t>(pngFile.begin(), pngFile.end() - 30), "truncated PNG file"},
        {"crc.png", badCrc, "IHDR: CRC error"},
        {"wide.png", PngDeclaring(pngFile, 16385, 8), "Invalid IHDR data (Image width exceeds user limit in IHDR)"},
        {"narrow.png", PngDeclaring(pngFile, 3, 8), "picture narrower than 4 pixels"},
        {"huge.png", PngDeclaring(pngFile, 8192, 8192), "truncated PNG file"},
        {"huge.jpg", JpegPatched(jpeg, 5, {0x20, 0, 0x20, 0}), "truncated JPEG file"},
        {"65000.jpg", JpegPatched(jpeg, 5, {0xFD, 0xE8, 0xFD, 0xE8}), "picture too large"},
        {"12bit.jpg", JpegPatched(jpeg, 4, {12}), "Unsupported JPEG data precision 12"},
        {"cmyk.jpg", picw::WriteJpeg(16, 8, cmyk, {false, false, false, true}), "CMYK JPEG pictures are not supported"},
        {"empty.png", {}, "empty file"},
        {"text.jpg", {'h', 'e', 'l', 'l', 'o', '\n'}, "not a BMP, PNG or JPEG file"},
    };
    for (const auto& [name, bytes, reason] : files) {
        if (name != "missing.bmp") bmpw::SaveFile(dir_ + "/" + name, bytes);
        for (const char* hicolor : {"0", "1"})
            cases.push_back({{"--image", dir_ + "/" + name, "--out", out_ + "/f-%d.png", "--hicolor", hicolor}, name + ": " + reason, 1});
    }
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += a.substr(0, 40) + " ";
        SCOPED_TRACE(shown);
        const RunResult run = Render(c.args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
        EXPECT_EQ(FileCount(), 0);
    }
    rusage children = {};
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(children.ru_maxrss, 48 * 1024) << "KiB at the peak";
}

// Values the settings hold are taken as the saver takes them: any NumBuf
// (more than 8 folds 8, 1 or less folds none), any finite double, subnormal
// ones too, and an empty frame that still steps the camera.
TEST_F(RenderCli, TakesEverySettingTheSaverTakes)
{
    auto raw = [&](const char* option, const char* value) {
        const RunResult run =
            RenderSample("f.raw", {option, value, "--hicolor", "1", "--width", "32", "--height", "24", "--frames", "4"});
        EXPECT_EQ(run.code, 0) << run.err;
        return Out("f.raw");
    };
    // One colour mode: both fold the frames the same number of times.
    EXPECT_EQ(raw("--numbuf", "2147483647"), raw("--numbuf", "8"));
    EXPECT_EQ(raw("--numbuf", "-2147483648"), raw("--numbuf", "1"));
    EXPECT_NE(raw("--numbuf", "8"), raw("--numbuf", "1"));
    EXPECT_EQ(raw("--rot1", "1e-320"), raw("--rot1", "0"));

    // Either side 0 makes the frame empty, as the mapper's own table shows.
    ASSERT_EQ(RenderSample("e.raw", {"--height", "0"}).code, 0);
    EXPECT_TRUE(Out("e.raw").empty());
    ASSERT_EQ(RenderSample("e-%d.bmp", {"--width", "0", "--frames", "3"}).code, 0);
    EXPECT_EQ(Out("e-3.bmp").size(), 54u);
}

// The frame the saver itself would draw: the same settings through scene setup
// and the renderer, in this process.
std::string FrameInProcess(int32_t hiColor, int32_t width, int32_t height, int frames)
{
    auto scene = std::make_unique<Scene>();
    SaverSettings s;
    s.UseHiColor = hiColor, s.ScreenWidth = width, s.ScreenHeight = height;
    std::snprintf(s.IMGFilename, sizeof s.IMGFilename, "%s", SAMPLE_IMAGE_PATH);
    SetupScene(*scene, s, 0, 0);
    EXPECT_EQ(scene->sceneReady, 1);
    if (!scene->sceneReady) return {};
    for (int i = 0; i < frames; ++i) RenderFrame(*scene, s);
    const Frame f = CaptureFrame(*static_cast<MemorySurface*>(scene->currentSurface));
    TeardownScene(*scene);
    return std::string(f.raw.begin(), f.raw.end());
}

// Raw frames hold the surface's rows without stride padding (322 is no
// multiple of 4), and frame k of a numbered run is the frame of a k-frame run.
// PNG, BMP and GIF files show the raw frames as they are on screen: 5-bit
// channels widened by repeating their top bits, 8-bit frames with the
// texture's palette, GIF frames through the fixed palette in 16 bits. Each is
// read back with its own library.
TEST_F(RenderCli, RawFramesAreWhatTheEngineDrawsAndPicturesShowThemAsOnScreen)
{
    const int32_t w = 322, h = 10;
    Bitmap8 sample, b8;
    Bitmap16 b16;
    std::string error;
    ASSERT_TRUE(LoadBmpFile8(SAMPLE_IMAGE_PATH, sample, error)) << error;
    uint8_t fixed[768];
    FixedGifPalette(fixed);
    for (const bool hiColor : {false, true}) {
        SCOPED_TRACE(hiColor);
        // Ten rows in three bands: the same bytes as one thread in process.
        const std::vector<std::string> o = {"--hicolor", hiColor ? "1" : "0", "--width", "322", "--height", "10",
                                            "--frames", "3", "--threads", "3"};
        for (const char* name : {"p%%-%03d.raw", "f.png", "f.bmp", "a.gif"}) ASSERT_EQ(RenderSample(name, o).code, 0) << name;
        EXPECT_EQ(FileCount(), 6);
        const std::string rawFile = Out("p%-003.raw"), bmp = out_ + "/f.bmp";
        ASSERT_EQ(rawFile.size(), 322u * 10u * (hiColor ? 2u : 1u));
        EXPECT_EQ(Out("p%-001.raw"), FrameInProcess(hiColor, 322, 10, 1));
        EXPECT_EQ(rawFile, FrameInProcess(hiColor, 322, 10, 3));
        EXPECT_NE(Out("p%-001.raw"), rawFile);
        const auto* raw = reinterpret_cast<const uint8_t*>(rawFile.data());
        png_image png = {};
        png.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&png, (out_ + "/f.png").c_str()));
        ASSERT_EQ(png.width, 322u);
        ASSERT_EQ(png.height, 10u);
        png.format = PNG_FORMAT_RGB;
        std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
        ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr));
        ASSERT_TRUE(hiColor ? LoadBmpFile16(bmp.c_str(), b16, error) : LoadBmpFile8(bmp.c_str(), b8, error)) << error;
        int gifError = 0;
        GifFileType* gif = DGifOpenFileName((out_ + "/a.gif").c_str(), &gifError);
        ASSERT_NE(gif, nullptr);
        ASSERT_EQ(DGifSlurp(gif), GIF_OK);
        ASSERT_EQ(gif->ImageCount, 3);
        const ColorMapObject* map = gif->SavedImages[2].ImageDesc.ColorMap ? gif->SavedImages[2].ImageDesc.ColorMap : gif->SColorMap;
        ASSERT_NE(map, nullptr);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
                // 8-bit rows are stored bottom-up, 16-bit rows top-down.
                const size_t i = hiColor ? 2 * (static_cast<size_t>(y) * w + x) : static_cast<size_t>(h - 1 - y) * w + x;
                const uint16_t v = hiColor ? static_cast<uint16_t>(raw[i] | raw[i + 1] << 8) : raw[i];
                const uint8_t gifIndex = gif->SavedImages[2].RasterBits[y * w + x];
                const uint8_t want[3] = {Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31)};
                ASSERT_EQ(std::memcmp(&rgb[3 * (static_cast<size_t>(y) * w + x)], hiColor ? want : &sample.palette[3 * v], 3), 0);
                ASSERT_EQ(gifIndex, hiColor ? FixedGifIndex(v) : v);
                const GifColorType g = map->Colors[gifIndex];
                const uint8_t shown[3] = {g.Red, g.Green, g.Blue};
                ASSERT_EQ(std::memcmp(shown, hiColor ? &fixed[3 * gifIndex] : &sample.palette[3 * v], 3), 0);
                if (x >= 320) continue;  // the decoder keeps whole groups of four columns
                const size_t at = static_cast<size_t>(y) * 320 + x;
                // The decoder may renumber an 8-bit file's colours: compare what is shown.
                if (hiColor) ASSERT_EQ(b16.pixels[at], v);
                else ASSERT_EQ(std::memcmp(&b8.palette[3 * b8.pixels[at]], &sample.palette[3 * v], 3), 0);
            }
        DGifCloseFile(gif, &gifError);
        fs::remove_all(out_), fs::create_directories(out_);
    }
}

// Index (r x 7 + g) x 6 + b over 6 red, 7 green and 6 blue levels, entries
// 252 to 255 black; every pixel goes to the nearest level of each channel.
TEST(FixedGifPalette, EveryPixelGoesToTheNearestLevelOfEachChannel)
{
    uint8_t p[768];
    FixedGifPalette(p);
    EXPECT_EQ(FixedGifIndex(0x7C00), 210);  // full red: (5 x 7 + 0) x 6 + 0
    EXPECT_EQ(FixedGifIndex(0x0200), 18);   // green 16 of 31: level 3 of 0..6
    for (int i = 252; i < 256; ++i) EXPECT_EQ(p[3 * i] | p[3 * i + 1] | p[3 * i + 2], 0);
    for (uint32_t v = 0; v < 0x8000; v += 7) {
        const uint8_t index = FixedGifIndex(static_cast<uint16_t>(v));
        ASSERT_LT(index, 252);
        const uint32_t channels[3] = {(v >> 10) & 31, (v >> 5) & 31, v & 31};
        const int levels[3] = {6, 7, 6};
        for (int c = 0; c < 3; ++c) {
            const double step = 255.0 / (levels[c] - 1);
            // Never more than half a level away (plus the rounding of 5 bits).
            ASSERT_LE(std::abs(p[3 * index + c] - Expand5(channels[c])), step / 2 + 4.2) << v << " channel " << c;
        }
    }
}

}  // namespace
