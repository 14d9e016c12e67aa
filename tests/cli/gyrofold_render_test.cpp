// gyrofold-render run as a separate program, the way people and scripts use it.

#include <gtest/gtest.h>

#include <gif_lib.h>
#include <png.h>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "effect/render_frame.h"
#include "imaging/bmp_decoder.h"
#include "imaging/scene.h"
#include "imaging/surface_memory.h"
#include "tests/support/bmp_writer.h"
#include "tools/frame_output.h"

extern char** environ;

namespace {

struct RunResult {
    int code = -1;
    std::string err;
};

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    const std::string text = ReadText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class RenderCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/gyrofold-cli-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        out_ = dir_ + "/out";
        ASSERT_EQ(mkdir(out_.c_str(), 0755), 0);
    }

    void TearDown() override
    {
        for (const std::string& dir : {out_, dir_}) {
            for (const std::string& f : Files(dir)) unlink((dir + "/" + f).c_str());
            rmdir(dir.c_str());
        }
    }

    static std::vector<std::string> Files(const std::string& dir)
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }

    RunResult Render(std::vector<std::string> args)
    {
        const std::string errPath = dir_ + "/stderr.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        args.insert(args.begin(), GYROFOLD_RENDER_PATH);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        pid_t pid = 0;
        RunResult run;
        if (posix_spawn(&pid, GYROFOLD_RENDER_PATH, &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        run.err = ReadText(errPath);
        unlink(errPath.c_str());
        return run;
    }

    // Renders with the sample texture and the given options into out/NAME.
    RunResult RenderSample(const std::string& name, std::vector<std::string> options)
    {
        options.insert(options.begin(), {"--image", SAMPLE_IMAGE_PATH, "--out", out_ + "/" + name});
        return Render(options);
    }

    std::vector<uint8_t> Out(const std::string& name) { return ReadBytes(out_ + "/" + name); }

    std::string dir_, out_;
};

bmpw::BmpForm Form8()
{
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    return form;
}

int Lines(const std::string& text)
{
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

TEST_F(RenderCli, BadArgumentsExitWithTwoNameTheArgumentAndWriteNothing)
{
    struct Case {
        std::vector<std::string> args;
        const char* named;  // must appear in the message
    };
    const std::string img = SAMPLE_IMAGE_PATH;
    const std::string out = out_ + "/f.png";
    const std::vector<Case> cases = {
        {{"--out", out}, "--image"},
        {{"--image", img}, "--out"},
        {{"--image", img, "--out", out, "--frames", "0"}, "--frames"},
        {{"--image", img, "--out", out, "--frames", "-3"}, "--frames"},
        {{"--image", img, "--out", out, "--frames", "12x"}, "--frames"},
        {{"--image", img, "--out", out, "--frames", ""}, "--frames"},
        {{"--image", img, "--out", out, "--frames", "99999999999999999999"}, "--frames"},
        {{"--image", img, "--out", out, "--width", "0"}, "--width"},
        {{"--image", img, "--out", out, "--width", "100000"}, "--width"},
        {{"--image", img, "--out", out, "--height", "-240"}, "--height"},
        {{"--image", img, "--out", out, "--hicolor", "2"}, "--hicolor"},
        {{"--image", img, "--out", out, "--numbuf", "9"}, "--numbuf"},
        {{"--image", img, "--out", out, "--numbuf", "-1"}, "--numbuf"},
        {{"--image", img, "--out", out, "--warpy", "yes"}, "--warpy"},
        {{"--image", img, "--out", out, "--xscale", "nan"}, "--xscale"},
        {{"--image", img, "--out", out, "--yscale", "inf"}, "--yscale"},
        {{"--image", img, "--out", out, "--rot1", "1e999"}, "--rot1"},
        {{"--image", img, "--out", out, "--rot2", "1.5.2"}, "--rot2"},
        {{"--image", img, "--out", out, "--zoom1", ""}, "--zoom1"},
        {{"--image", img, "--out", out, "--zoom2", "two"}, "--zoom2"},
        {{"--image", img, "--out", out, "--format", "jpeg"}, "--format"},
        {{"--image", img, "--out", out, "--format", "png.gif"}, "--format"},
        {{"--image", img, "--out", out, "--speed", "3"}, "--speed"},
        {{"--image", img, "--out", out, "--frames"}, "--frames"},
        {{"--image", img, "--out", out, "stray"}, "stray"},
        {{"--image", img, "--out", out_ + "/frame"}, "--out"},
        {{"--image", img, "--out", out_ + "/frame.jpg"}, "--out"},
        {{"--image", img, "--out", out_ + "/f-%s.png"}, "--out"},
        {{"--image", img, "--out", out_ + "/f-%n.png"}, "--out"},
        {{"--image", img, "--out", out_ + "/f-%x.png"}, "--out"},
        {{"--image", img, "--out", out_ + "/f-%d-%d.png"}, "--out"},
        {{"--image", img, "--out", out_ + "/f-%5.2d.png"}, "--out"},
        {{"--image", img, "--out", out_ + "/f-%100d.png"}, "--out"},
        {{"--image", img, "--out", out_ + "/f-%ld.png"}, "--out"},
        {{"--image", img, "--out", out_ + "/f-%"}, "--out"},
        {{"--image", "", "--out", out}, "--image"},
        {{"--image", std::string(300, 'a'), "--out", out}, "--image"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += a.substr(0, 40) + " ";
        SCOPED_TRACE(shown);
        const RunResult run = Render(c.args);
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(Lines(run.err), 1) << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
        EXPECT_TRUE(Files(out_).empty());
    }
}

TEST_F(RenderCli, ImagesThatCannotBeLoadedExitWithOneGiveTheReasonAndWriteNothing)
{
    bmpw::BmpImage picture = bmpw::MakePalettedImage(16, 16, {{255, 0, 0}, {0, 0, 255}});
    std::vector<uint8_t> good = bmpw::WriteBmp(picture, Form8());
    std::vector<uint8_t> truncated(good.begin(), good.begin() + 60);
    std::vector<uint8_t> notBmp = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    // Two texels wide: below the four the mapper needs, though the file is sound.
    std::vector<uint8_t> narrow = bmpw::WriteBmp(bmpw::MakePalettedImage(2, 8, {{9, 9, 9}}),
                                                 Form8());
    WriteBytes(dir_ + "/truncated.bmp", truncated);
    WriteBytes(dir_ + "/notbmp.bmp", notBmp);
    WriteBytes(dir_ + "/empty.bmp", {});
    WriteBytes(dir_ + "/narrow.bmp", narrow);
    for (const char* hicolor : {"0", "1"}) {
        for (const std::string name : {"missing.bmp", "truncated.bmp", "notbmp.bmp", "empty.bmp", "narrow.bmp"}) {
            SCOPED_TRACE(name + " hicolor " + hicolor);
            for (const std::string out : {"/f.raw", "/f.gif", "/f-%d.png"}) {
                const RunResult run = Render({"--image", dir_ + "/" + name, "--out", out_ + out, "--hicolor", hicolor,
                                        "--frames", "3"});
                EXPECT_EQ(run.code, 1);
                EXPECT_EQ(Lines(run.err), 1) << run.err;
                EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
                EXPECT_TRUE(Files(out_).empty());
            }
        }
    }
    // The decoder's own reason reaches the user, not a bare "failed".
    const RunResult missing = Render({"--image", dir_ + "/missing.bmp", "--out", out_ + "/f.raw"});
    std::string reason;
    Bitmap16 ignored;
    ASSERT_FALSE(LoadBmpFile16((dir_ + "/missing.bmp").c_str(), ignored, reason));
    EXPECT_NE(missing.err.find(reason), std::string::npos) << missing.err;
}

TEST_F(RenderCli, AnUnwritableDestinationExitsWithOneAndLeavesNoPartialFile)
{
    const RunResult run = RenderSample("no-such-folder/f.png", {});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(Lines(run.err), 1) << run.err;
    EXPECT_TRUE(Files(out_).empty());
}

TEST_F(RenderCli, RawFramesHoldWidthTimesHeightPixelsWithoutStridePadding)
{
    struct Case {
        const char* hicolor;
        const char* width;
        const char* height;
        size_t bytes;
    };
    // 322 is not a multiple of 4: the surface rows are 324 wide, the file's are not.
    const Case cases[] = {{"0", "320", "240", 320 * 240}, {"1", "320", "240", 320 * 240 * 2},
                          {"0", "322", "7", 322 * 7},     {"1", "322", "7", 322 * 7 * 2},
                          {"1", "1", "1", 2},             {"0", "5", "3", 15}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.hicolor) + " " + c.width + "x" + c.height);
        const RunResult run = RenderSample("f.raw", {"--hicolor", c.hicolor, "--width", c.width, "--height", c.height});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(Out("f.raw").size(), c.bytes);
    }
}

TEST_F(RenderCli, SameArgumentsGiveTheSameBytes)
{
    for (const char* hicolor : {"0", "1"}) {
        SCOPED_TRACE(hicolor);
        const std::vector<std::string> options = {"--hicolor", hicolor, "--frames", "7", "--numbuf", "4",
                                                  "--rot1", "3.5", "--zoom1", "2"};
        ASSERT_EQ(RenderSample("a.raw", options).code, 0);
        ASSERT_EQ(RenderSample("b.raw", options).code, 0);
        EXPECT_EQ(Out("a.raw"), Out("b.raw"));
        // Seven camera steps with blur really move the picture.
        ASSERT_EQ(RenderSample("c.raw", {"--hicolor", hicolor, "--frames", "1", "--numbuf", "4", "--rot1", "3.5",
                                         "--zoom1", "2"})
                      .code,
                  0);
        EXPECT_NE(Out("a.raw"), Out("c.raw"));
    }
}

TEST_F(RenderCli, FrameKOfAPatternRunEqualsTheLastFrameOfAKFrameRun)
{
    for (const char* hicolor : {"0", "1"}) {
        SCOPED_TRACE(hicolor);
        ASSERT_EQ(RenderSample("p-%03d.raw", {"--hicolor", hicolor, "--frames", "6", "--width", "64", "--height", "48"})
                      .code,
                  0);
        EXPECT_EQ(Files(out_).size(), 6u);
        for (int k : {1, 4, 6}) {
            SCOPED_TRACE(k);
            ASSERT_EQ(RenderSample("k.raw", {"--hicolor", hicolor, "--frames", std::to_string(k), "--width", "64",
                                             "--height", "48"})
                          .code,
                      0);
            const std::vector<uint8_t> single = Out("k.raw");
            ASSERT_FALSE(single.empty());
            EXPECT_EQ(Out("p-00" + std::to_string(k) + ".raw"), single);
        }
        for (const std::string& f : Files(out_)) unlink((out_ + "/" + f).c_str());
    }
}

TEST_F(RenderCli, PatternsNumberFramesFromOneWithTheirPaddingAndLiteralPercents)
{
    ASSERT_EQ(RenderSample("f%%-%d.bmp", {"--frames", "2", "--width", "8", "--height", "8"}).code, 0);
    ASSERT_EQ(RenderSample("g-%04d.gif", {"--frames", "1", "--width", "8", "--height", "8"}).code, 0);
    ASSERT_EQ(RenderSample("h-%3d.png", {"--frames", "1", "--width", "8", "--height", "8"}).code, 0);
    std::vector<std::string> files = Files(out_);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"f%-1.bmp", "f%-2.bmp", "g-0001.gif", "h-  1.png"}));
}

// The frame the saver itself would draw: the same settings through scene setup
// and the renderer, in this process.
std::vector<uint8_t> FrameInProcess(int32_t hiColor, int32_t numBuf, int frames)
{
    auto scene = std::make_unique<Scene>();
    SaverSettings s;
    s.UseHiColor = hiColor;
    s.NumBuf = numBuf;
    std::snprintf(s.IMGFilename, sizeof s.IMGFilename, "%s", SAMPLE_IMAGE_PATH);
    SetupScene(*scene, s, 0, 0);
    EXPECT_EQ(scene->sceneReady, 1);
    if (!scene->sceneReady) return {};
    for (int i = 0; i < frames; ++i) RenderFrame(*scene, s);
    const Frame f = CaptureFrame(*static_cast<MemorySurface*>(scene->currentSurface));
    TeardownScene(*scene);
    return f.raw;
}

TEST_F(RenderCli, DefaultFrameOneIsWhatTheEngineDrawsDirectly)
{
    ASSERT_EQ(RenderSample("d16.raw", {}).code, 0);
    const std::vector<uint8_t> d16 = Out("d16.raw");
    EXPECT_EQ(d16.size(), 320u * 240u * 2u);
    EXPECT_EQ(d16, FrameInProcess(1, 3, 1));
    ASSERT_EQ(RenderSample("d8.raw", {"--hicolor", "0", "--frames", "3"}).code, 0);
    EXPECT_EQ(Out("d8.raw"), FrameInProcess(0, 3, 3));
}

// ---- the picture formats, read back with their own libraries ----

struct PngPicture {
    uint32_t width = 0, height = 0;
    int colourType = -1, bitDepth = 0;
    std::vector<uint8_t> rows;  // top row first
    std::vector<png_color> palette;
};

bool ReadPng(const std::string& path, PngPicture& p)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    p.width = png_get_image_width(png, info);
    p.height = png_get_image_height(png, info);
    p.colourType = png_get_color_type(png, info);
    p.bitDepth = png_get_bit_depth(png, info);
    png_colorp colours = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &colours, &count)) p.palette.assign(colours, colours + count);
    const size_t rowBytes = png_get_rowbytes(png, info);
    p.rows.resize(rowBytes * p.height);
    for (uint32_t y = 0; y < p.height; ++y) png_read_row(png, &p.rows[rowBytes * y], nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

// Raw pixel (x, y) of the picture as it is on screen: 8-bit rows are stored
// bottom-up, 16-bit rows top-down.
uint16_t ScreenPixel(const std::vector<uint8_t>& raw, bool hiColor, int32_t w, int32_t h, int32_t x, int32_t y)
{
    if (hiColor) {
        const size_t i = 2 * (static_cast<size_t>(y) * w + x);
        return static_cast<uint16_t>(raw[i] | (raw[i + 1] << 8));
    }
    return raw[static_cast<size_t>(h - 1 - y) * w + x];
}

const int32_t kProbe[][2] = {{0, 0}, {321, 0}, {0, 9}, {321, 9}, {160, 5}, {77, 3}};

TEST_F(RenderCli, PngFramesShowTheRawFrameAsOnScreen)
{
    const int32_t w = 322, h = 10;
    for (const bool hiColor : {false, true}) {
        SCOPED_TRACE(hiColor);
        const std::vector<std::string> options = {"--hicolor", hiColor ? "1" : "0", "--width", "322", "--height",
                                                  "10", "--frames", "2"};
        ASSERT_EQ(RenderSample("f.raw", options).code, 0);
        ASSERT_EQ(RenderSample("f.png", options).code, 0);
        const std::vector<uint8_t> raw = Out("f.raw");
        PngPicture png;
        ASSERT_TRUE(ReadPng(out_ + "/f.png", png));
        EXPECT_EQ(png.width, 322u);
        EXPECT_EQ(png.height, 10u);
        EXPECT_EQ(png.bitDepth, 8);
        if (hiColor) {
            ASSERT_EQ(png.colourType, PNG_COLOR_TYPE_RGB);
            for (const auto& at : kProbe) {
                const uint16_t v = ScreenPixel(raw, true, w, h, at[0], at[1]);
                const uint8_t* rgb = &png.rows[3 * (static_cast<size_t>(at[1]) * w + at[0])];
                // 5-bit channels widen by repeating their top bits: 31 -> 255, 16 -> 132.
                EXPECT_EQ(rgb[0], (((v >> 10) & 31) << 3) | (((v >> 10) & 31) >> 2));
                EXPECT_EQ(rgb[1], (((v >> 5) & 31) << 3) | (((v >> 5) & 31) >> 2));
                EXPECT_EQ(rgb[2], ((v & 31) << 3) | ((v & 31) >> 2));
            }
        } else {
            ASSERT_EQ(png.colourType, PNG_COLOR_TYPE_PALETTE);
            ASSERT_EQ(png.palette.size(), 256u);
            Bitmap8 sample;
            std::string error;
            ASSERT_TRUE(LoadBmpFile8(SAMPLE_IMAGE_PATH, sample, error)) << error;
            for (int32_t i = 0; i < 256; ++i) {
                EXPECT_EQ(png.palette[i].red, sample.palette[3 * i]);
                EXPECT_EQ(png.palette[i].blue, sample.palette[3 * i + 2]);
            }
            for (const auto& at : kProbe)
                EXPECT_EQ(png.rows[static_cast<size_t>(at[1]) * w + at[0]], ScreenPixel(raw, false, w, h, at[0], at[1]));
        }
    }
}

TEST_F(RenderCli, BmpFramesDecodeToTheRawFrame)
{
    const int32_t w = 322, h = 10;
    for (const bool hiColor : {false, true}) {
        SCOPED_TRACE(hiColor);
        const std::vector<std::string> options = {"--hicolor", hiColor ? "1" : "0", "--width", "322", "--height",
                                                  "10", "--frames", "3"};
        ASSERT_EQ(RenderSample("f.raw", options).code, 0);
        ASSERT_EQ(RenderSample("f.bmp", options).code, 0);
        const std::vector<uint8_t> raw = Out("f.raw");
        const std::vector<uint8_t> bmp = Out("f.bmp");
        ASSERT_GT(bmp.size(), 54u);
        EXPECT_EQ(bmp[28], hiColor ? 16 : 8);
        std::string error;
        if (hiColor) {
            Bitmap16 decoded;
            ASSERT_TRUE(DecodeBmp16(bmp.data(), bmp.size(), decoded, error)) << error;
            // The decoder keeps whole groups of four columns: 320 of 322.
            EXPECT_EQ(decoded.width, 320);
            ASSERT_EQ(decoded.height, h);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < 320; ++x)
                    ASSERT_EQ(decoded.pixels[static_cast<size_t>(y) * 320 + x], ScreenPixel(raw, true, w, h, x, y))
                        << x << "," << y;
        } else {
            Bitmap8 decoded;
            ASSERT_TRUE(DecodeBmp8(bmp.data(), bmp.size(), decoded, error)) << error;
            ASSERT_EQ(decoded.height, h);
            Bitmap8 sample;
            ASSERT_TRUE(LoadBmpFile8(SAMPLE_IMAGE_PATH, sample, error)) << error;
            // The decoder may renumber colours; compare what each pixel shows.
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < decoded.width; ++x) {
                    const uint8_t shown = decoded.pixels[static_cast<size_t>(y) * decoded.width + x];
                    const uint8_t expected = static_cast<uint8_t>(ScreenPixel(raw, false, w, h, x, y));
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(decoded.palette[3 * shown + c], sample.palette[3 * expected + c]) << x << "," << y;
                }
        }
    }
}

TEST_F(RenderCli, GifAnimationsHoldEveryFrame)
{
    const int32_t w = 40, h = 30;
    for (const bool hiColor : {false, true}) {
        SCOPED_TRACE(hiColor);
        const std::string hc = hiColor ? "1" : "0";
        ASSERT_EQ(RenderSample("a.gif", {"--hicolor", hc, "--width", "40", "--height", "30", "--frames", "5"}).code, 0);
        ASSERT_EQ(RenderSample("r-%d.raw", {"--hicolor", hc, "--width", "40", "--height", "30", "--frames", "5"}).code,
                  0);
        int error = 0;
        GifFileType* gif = DGifOpenFileName((out_ + "/a.gif").c_str(), &error);
        ASSERT_NE(gif, nullptr);
        ASSERT_EQ(DGifSlurp(gif), GIF_OK);
        EXPECT_EQ(gif->SWidth, w);
        EXPECT_EQ(gif->SHeight, h);
        ASSERT_EQ(gif->ImageCount, 5);
        uint8_t fixed[768];
        FixedGifPalette(fixed);
        for (int k = 1; k <= 5; ++k) {
            SCOPED_TRACE(k);
            const SavedImage& image = gif->SavedImages[k - 1];
            ASSERT_EQ(image.ImageDesc.Width, w);
            ASSERT_EQ(image.ImageDesc.Height, h);
            const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
            ASSERT_NE(map, nullptr);
            const std::vector<uint8_t> raw = Out("r-" + std::to_string(k) + ".raw");
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const uint16_t v = ScreenPixel(raw, hiColor, w, h, x, y);
                    const uint8_t index = image.RasterBits[y * w + x];
                    if (hiColor) {
                        ASSERT_EQ(index, FixedGifIndex(v)) << x << "," << y;
                        ASSERT_EQ(map->Colors[index].Red, fixed[3 * index]);
                    } else {
                        ASSERT_EQ(index, v) << x << "," << y;
                    }
                }
        }
        DGifCloseFile(gif, &error);
    }
}

}  // namespace
