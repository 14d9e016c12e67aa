// The settings mode of the real gyrofold.scr driven as a user would: this
// program writes the settings key, starts the dialog, reads what every control
// shows, types into the fields, moves the sliders, clicks the boxes, presses
// OK or Cancel and reads the registry back.
//
// Usage: dialog_e2e GYROFOLD.SCR ARTIFACTS_FOLDER [gtest options]

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/e2e_support.h"
// After <windows.h>, which the support header brings.
#include <commctrl.h>
#include "tests/support/bmp_writer.h"

namespace {

std::string SaverPath;
std::string ArtifactsFolder;

constexpr char kCaption[] = "Quillbox Gyrofold v0.9 Setup";
constexpr char kWarningText[] = "Color depths less than 15bpp aren't recommended for HiColor mode";

// Control ids of template 101.
enum : int {
    kWidth = 1000, kHeight = 1002, kChangeMode = 1004, kImageFile = 1006, kBrowse = 1007,
    kWarpy = 1009, kXScale = 1011, kYScale = 1012, kRotFrequency = 1018, kRotAmplitude = 1019,
    kZoomAmplitude = 1020, kZoomFrequency = 1021, kBitDepth = 1022, kBlur = 1023, kHiColor = 1025,
};

std::string Artifact(const std::string& name) { return ArtifactsFolder + "\\" + name; }

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// A top-level window of this process that stands in for Display Properties.
HWND MakeOwnerWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = OwnerProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "DialogE2EOwner";
        RegisterClassA(&windowClass);
        registered = true;
    }
    return CreateWindowA("DialogE2EOwner", "Display Properties", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 400,
                         300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// One run of the settings dialog.
class DialogRun {
public:
    ~DialogRun() {
        process_.Kill();
        if (owner_) DestroyWindow(owner_);
    }

    // arguments: the command line after the program name; "%OWNER%" becomes
    // the handle of a window this program creates.
    bool Open(std::string arguments = "/c:%OWNER%") {
        const size_t at = arguments.find("%OWNER%");
        if (at != std::string::npos) {
            owner_ = MakeOwnerWindow();
            arguments.replace(at, 7, std::to_string(reinterpret_cast<uintptr_t>(owner_)));
        }
        if (!process_.Start(SaverPath, arguments)) return false;
        dialog_ = e2e::WaitForTopLevelWindow(process_.id(), 15000, e2e::kDialogClass, kCaption);
        // The dialog fills its controls in WM_INITDIALOG, before it shows.
        e2e::Pump(100);
        return dialog_ != nullptr;
    }

    HWND dialog() const { return dialog_; }
    HWND owner() const { return owner_; }
    e2e::Process& process() { return process_; }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }

    std::string Text(int id) const { return e2e::WindowText(Item(id)); }
    bool Checked(int id) const { return Send(id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    int Position(int id) const { return static_cast<int>(Send(id, TBM_GETPOS, 0, 0)); }
    std::pair<int, int> Range(int id) const {
        return {static_cast<int>(Send(id, TBM_GETRANGEMIN, 0, 0)), static_cast<int>(Send(id, TBM_GETRANGEMAX, 0, 0))};
    }

    void Type(int id, const std::string& text) {
        SendMessageTimeoutA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 3000,
                            nullptr);
    }
    // Typing as keystrokes reach an edit: characters one by one, so ES_NUMBER
    // applies.
    void TypeKeys(int id, const std::string& text) {
        Type(id, "");
        for (char letter : text) Send(id, WM_CHAR, static_cast<unsigned char>(letter), 1);
    }
    void Click(int id) { Send(id, BM_CLICK, 0, 0); }
    void SetCheck(int id, bool checked) {
        if (Checked(id) != checked) Click(id);
    }
    void Slide(int id, int position) { Send(id, TBM_SETPOS, TRUE, position); }

    // Presses a button that may start a modal loop (OK with its warning,
    // Browse): posted, so this program keeps running.
    void Press(int id) { PostMessageA(Item(id), BM_CLICK, 0, 0); }

    bool WaitForEnd(DWORD* exitCode = nullptr) { return process_.WaitForExitOrKill(15000, exitCode); }

    void Screenshot(const std::string& name) const {
        RECT rect;
        GetWindowRect(dialog_, &rect);
        const e2e::Pixels pixels = e2e::CaptureScreen(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        e2e::SaveBmp(pixels, Artifact(name));
    }

private:
    LRESULT Send(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(Item(id), message, wParam, lParam, SMTO_ABORTIFHUNG, 3000, &result);
        return static_cast<LRESULT>(result);
    }

    e2e::Process process_;
    HWND owner_ = nullptr;
    HWND dialog_ = nullptr;
};

// The thirteen values, read back with their stored types and sizes.
struct Stored {
    int32_t screenWidth = 0, screenHeight = 0, stretch = 0, warpy = 0, numBuf = 0, useHiColor = 0;
    double xScale = 0, yScale = 0, rot1 = 0, rot2 = 0, zoom1 = 0, zoom2 = 0;
    std::string imageFile;
};

void ExpectShape(const char* name, DWORD type, DWORD size) {
    DWORD storedType = 0, storedSize = 0;
    ASSERT_TRUE(e2e::ReadSettingShape(name, &storedType, &storedSize)) << name;
    EXPECT_EQ(storedType, type) << name;
    EXPECT_EQ(storedSize, size) << name;
}

Stored ReadStored() {
    Stored s;
    for (const char* name : {"ScreenWidth", "ScreenHeight", "Stretch", "Warpy", "NumBuf", "UseHiColor"})
        ExpectShape(name, REG_BINARY, 4);
    for (const char* name : {"XScale", "YScale", "Rot1", "Rot2", "Zoom1", "Zoom2"}) ExpectShape(name, REG_BINARY, 8);
    EXPECT_TRUE(e2e::ReadSettingInt("ScreenWidth", &s.screenWidth));
    EXPECT_TRUE(e2e::ReadSettingInt("ScreenHeight", &s.screenHeight));
    EXPECT_TRUE(e2e::ReadSettingInt("Stretch", &s.stretch));
    EXPECT_TRUE(e2e::ReadSettingInt("Warpy", &s.warpy));
    EXPECT_TRUE(e2e::ReadSettingInt("NumBuf", &s.numBuf));
    EXPECT_TRUE(e2e::ReadSettingInt("UseHiColor", &s.useHiColor));
    EXPECT_TRUE(e2e::ReadSettingDouble("XScale", &s.xScale));
    EXPECT_TRUE(e2e::ReadSettingDouble("YScale", &s.yScale));
    EXPECT_TRUE(e2e::ReadSettingDouble("Rot1", &s.rot1));
    EXPECT_TRUE(e2e::ReadSettingDouble("Rot2", &s.rot2));
    EXPECT_TRUE(e2e::ReadSettingDouble("Zoom1", &s.zoom1));
    EXPECT_TRUE(e2e::ReadSettingDouble("Zoom2", &s.zoom2));
    EXPECT_TRUE(e2e::ReadSettingText("IMGFilename", &s.imageFile));
    DWORD type = 0, size = 0;
    EXPECT_TRUE(e2e::ReadSettingShape("IMGFilename", &type, &size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, s.imageFile.size() + 1);
    return s;
}

std::vector<std::string> StoredNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, e2e::kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, e2e::kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Presses OK, answers the warning if it comes, and waits for the end.
// Returns whether the warning was shown.
bool PressOk(DialogRun& run, bool expectWarning) {
    run.Press(IDOK);
    bool warned = false;
    const HWND box = e2e::WaitForTopLevelWindow(run.process().id(), expectWarning ? 8000 : 1500, e2e::kDialogClass,
                                                "Warning");
    if (box) {
        warned = true;
        e2e::MessageBoxSeen seen;
        e2e::Pump(100);
        std::string text;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM context) -> BOOL {
                if (e2e::WindowClass(child) == "Static") *reinterpret_cast<std::string*>(context) += e2e::WindowText(child);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&text));
        EXPECT_EQ(text, kWarningText);
        // Settings are saved only after the box is dismissed.
        EXPECT_TRUE(run.process().Running());
        EXPECT_TRUE(e2e::PressButton(box, "OK"));
    }
    DWORD exitCode = 1;
    EXPECT_TRUE(run.WaitForEnd(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    return warned;
}

class DialogE2E : public ::testing::Test {
protected:
    void SetUp() override { e2e::DeleteSettingsKey(); }
    void TearDown() override { e2e::DeleteSettingsKey(); }
};

TEST_F(DialogE2E, DefaultSettingsShowAndSaveAsDocumented) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(GetWindow(run.dialog(), GW_OWNER), run.owner());
    EXPECT_EQ(run.Text(kWidth), "320");
    EXPECT_EQ(run.Text(kHeight), "240");
    EXPECT_TRUE(run.Checked(kChangeMode));
    EXPECT_EQ(run.Text(kBitDepth), "");
    EXPECT_TRUE(run.Checked(kHiColor));
    EXPECT_FALSE(run.Checked(kWarpy));
    EXPECT_EQ(run.Position(kBlur), 3);
    EXPECT_EQ(run.Range(kBlur), std::make_pair(1, 5));
    EXPECT_EQ(run.Text(kXScale), "1.00");
    EXPECT_EQ(run.Text(kYScale), "1.00");
    for (int id : {kRotFrequency, kRotAmplitude, kZoomFrequency, kZoomAmplitude}) {
        EXPECT_EQ(run.Position(id), 8) << id;
        EXPECT_EQ(run.Range(id), std::make_pair(0, 15)) << id;
    }
    EXPECT_EQ(run.Text(kImageFile), "");
    run.Screenshot("dialog-default.bmp");
    // Opening alone writes nothing.
    EXPECT_FALSE(KeyExists());

    EXPECT_FALSE(PressOk(run, false));
    const Stored s = ReadStored();
    EXPECT_EQ(s.screenWidth, 320);
    EXPECT_EQ(s.screenHeight, 240);
    EXPECT_EQ(s.stretch, 0);
    EXPECT_EQ(s.warpy, 0);
    EXPECT_EQ(s.numBuf, 3);
    EXPECT_EQ(s.useHiColor, 1);
    EXPECT_EQ(s.xScale, 1.0);
    EXPECT_EQ(s.yScale, 1.0);
    // 1.0 is not on the sliders: it shows at 1.1 and is saved as 1.1.
    EXPECT_EQ(s.rot1, 1.1);
    EXPECT_EQ(s.rot2, 1.1);
    EXPECT_EQ(s.zoom1, 1.1);
    EXPECT_EQ(s.zoom2, 1.1);
    EXPECT_EQ(s.imageFile, "");
}

TEST_F(DialogE2E, SavedValuesAreExactlyTheThirteen) {
    e2e::WriteSettingInt("SomebodyElse", 77);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    PressOk(run, false);
    std::vector<std::string> names = StoredNames();
    // Wine's registry hands values out sorted by name, so their order here
    // says nothing about the order they were written in.
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {"IMGFilename", "NumBuf", "Rot1", "Rot2", "ScreenHeight",
                                               "ScreenWidth", "SomebodyElse", "Stretch", "UseHiColor", "Warpy",
                                               "XScale", "YScale", "Zoom1", "Zoom2"};
    EXPECT_EQ(names, expected);
    int32_t other = 0;
    EXPECT_TRUE(e2e::ReadSettingInt("SomebodyElse", &other));
    EXPECT_EQ(other, 77);
}

TEST_F(DialogE2E, MotionSettingsGoThroughTheSliderTable) {
    e2e::SettingsValues settings;
    settings.rot1 = 0.9;    // exact entry
    settings.rot2 = 0.95;   // between two entries: the upper
    settings.zoom1 = 12.0;  // above the table
    settings.zoom2 = -3.0;  // below the table
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Position(kRotAmplitude), 7);
    EXPECT_EQ(run.Position(kRotFrequency), 8);
    EXPECT_EQ(run.Position(kZoomAmplitude), 15);
    EXPECT_EQ(run.Position(kZoomFrequency), 0);
    PressOk(run, false);
    const Stored s = ReadStored();
    EXPECT_EQ(s.rot1, 0.9);
    EXPECT_EQ(s.rot2, 1.1);
    EXPECT_EQ(s.zoom1, 10.0);
    EXPECT_EQ(s.zoom2, 0.0);
}

TEST_F(DialogE2E, MovedSlidersSaveTheirTableValues) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    run.Slide(kRotAmplitude, 0);
    run.Slide(kRotFrequency, 15);
    run.Slide(kZoomAmplitude, 5);
    run.Slide(kZoomFrequency, 12);
    run.Slide(kBlur, 5);
    PressOk(run, false);
    const Stored s = ReadStored();
    EXPECT_EQ(s.rot1, 0.0);
    EXPECT_EQ(s.rot2, 10.0);
    EXPECT_EQ(s.zoom1, 0.5);
    EXPECT_EQ(s.zoom2, 3.0);
    EXPECT_EQ(s.numBuf, 5);
}

TEST_F(DialogE2E, ScaleShowsTwoDecimalsAndIsParsedBackFromTheField) {
    e2e::SettingsValues settings;
    settings.xScale = 0.333;
    settings.yScale = -2.0;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kXScale), "0.33");
    EXPECT_EQ(run.Text(kYScale), "-2.00");
    PressOk(run, false);
    const Stored s = ReadStored();
    EXPECT_EQ(s.xScale, 0.33);
    EXPECT_EQ(s.yScale, -2.0);
}

TEST_F(DialogE2E, HugeScaleFitsTheFieldAndSurvivesOk) {
    e2e::SettingsValues settings;
    settings.xScale = 1e300;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kXScale), "1e+300");
    PressOk(run, false);
    EXPECT_EQ(ReadStored().xScale, 1e300);
}

struct ScaleEdit {
    const char* text;
    double stored;
};

class ScaleFieldE2E : public DialogE2E, public ::testing::WithParamInterface<ScaleEdit> {};

TEST_P(ScaleFieldE2E, TypedTextIsStored) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    run.Type(kXScale, GetParam().text);
    run.Type(kYScale, GetParam().text);
    PressOk(run, false);
    const Stored s = ReadStored();
    EXPECT_EQ(s.xScale, GetParam().stored) << GetParam().text;
    EXPECT_EQ(s.yScale, GetParam().stored) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ScaleFieldE2E,
                         ::testing::Values(ScaleEdit{"2.5x", 2.5}, ScaleEdit{"abc", 1.0}, ScaleEdit{"", 1.0},
                                           ScaleEdit{" 3", 3.0}, ScaleEdit{"0", 0.0}));

struct SizeEdit {
    const char* width;
    const char* height;
    int32_t storedWidth;
    int32_t storedHeight;
};

class SizeFieldE2E : public DialogE2E, public ::testing::WithParamInterface<SizeEdit> {};

TEST_P(SizeFieldE2E, FallbacksMinimumAndRounding) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    run.TypeKeys(kWidth, GetParam().width);
    run.TypeKeys(kHeight, GetParam().height);
    PressOk(run, false);
    const Stored s = ReadStored();
    EXPECT_EQ(s.screenWidth, GetParam().storedWidth);
    EXPECT_EQ(s.screenHeight, GetParam().storedHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeFieldE2E,
                         ::testing::Values(SizeEdit{"0", "0", 32, 32}, SizeEdit{"31", "31", 32, 32},
                                           SizeEdit{"322", "243", 320, 243}, SizeEdit{"", "", 320, 240},
                                           SizeEdit{"640", "480", 640, 480}));

struct DepthEdit {
    bool changeMode;
    const char* depth;
    bool hiColor;
    bool warning;
    int32_t stretch;
};

class BitDepthE2E : public DialogE2E, public ::testing::WithParamInterface<DepthEdit> {};

TEST_P(BitDepthE2E, WarningExactlyWhenTheRuleSays) {
    const DepthEdit& c = GetParam();
    DialogRun run;
    ASSERT_TRUE(run.Open());
    run.SetCheck(kChangeMode, c.changeMode);
    run.TypeKeys(kBitDepth, c.depth);
    run.SetCheck(kHiColor, c.hiColor);
    EXPECT_EQ(PressOk(run, c.warning), c.warning);
    const Stored s = ReadStored();
    EXPECT_EQ(s.stretch, c.stretch);
    EXPECT_EQ(s.useHiColor, c.hiColor ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, BitDepthE2E,
                         ::testing::Values(DepthEdit{true, "8", true, true, 8}, DepthEdit{true, "8", false, false, 8},
                                           DepthEdit{true, "16", true, false, 16},
                                           DepthEdit{true, "", true, false, 0},
                                           DepthEdit{true, "0", true, false, 0},
                                           // typed with the box unchecked: ignored
                                           DepthEdit{false, "8", true, false, -1}));

TEST_F(DialogE2E, UncheckedModeChangeShowsNoDepthNextTime) {
    e2e::SettingsValues settings;
    settings.stretch = -1;
    settings.warpy = 1;
    settings.useHiColor = 0;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_FALSE(run.Checked(kChangeMode));
    EXPECT_EQ(run.Text(kBitDepth), "");
    EXPECT_TRUE(run.Checked(kWarpy));
    EXPECT_FALSE(run.Checked(kHiColor));

    e2e::WriteSettingInt("Stretch", 24);
    DialogRun again;
    ASSERT_TRUE(again.Open());
    EXPECT_TRUE(again.Checked(kChangeMode));
    EXPECT_EQ(again.Text(kBitDepth), "24");
}

class BlurCountE2E : public DialogE2E, public ::testing::WithParamInterface<std::pair<int32_t, int32_t>> {};

TEST_P(BlurCountE2E, StoredCountOutsideTheSliderIsClamped) {
    e2e::SettingsValues settings;
    settings.numBuf = GetParam().first;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Position(kBlur), GetParam().second);
    PressOk(run, false);
    EXPECT_EQ(ReadStored().numBuf, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Counts, BlurCountE2E,
                         ::testing::Values(std::make_pair(0, 1), std::make_pair(9, 5), std::make_pair(2, 2)));

TEST_F(DialogE2E, CancelSavesNothing) {
    e2e::SettingsValues settings;
    settings.screenWidth = 400;
    e2e::WriteSettings(settings);
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kWidth), "400");
    run.TypeKeys(kWidth, "640");
    run.Press(IDCANCEL);
    DWORD exitCode = 1;
    EXPECT_TRUE(run.WaitForEnd(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    int32_t width = 0;
    EXPECT_TRUE(e2e::ReadSettingInt("ScreenWidth", &width));
    EXPECT_EQ(width, 400);
}

std::string WriteBrightTexture(const std::string& name) {
    std::vector<bmpw::BmpColor> palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[i].red = static_cast<uint8_t>(128 + i / 2);
        palette[i].green = static_cast<uint8_t>(255 - i / 2);
        palette[i].blue = 200;
    }
    bmpw::BmpImage image = bmpw::MakePalettedImage(64, 64, palette);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) image.indices[static_cast<size_t>(y) * 64 + x] = static_cast<uint8_t>(x * 4);
    bmpw::BmpForm form;
    form.bitsPerPixel = 8;
    const std::vector<uint8_t> bytes = bmpw::WriteBmp(image, form);
    const std::string path = Artifact(name);
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out) {
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }
    return path;
}

// The file chooser of a Browse press; fills in the path and accepts.
bool ChooseFile(DialogRun& run, const std::string& path) {
    run.Press(kBrowse);
    const HWND chooser = e2e::WaitForTopLevelWindow(run.process().id(), 15000, e2e::kDialogClass, "Select BMP File");
    if (!chooser) return false;
    e2e::Pump(300);
    // The file name box of the explorer-style chooser (cmb13), or the plain
    // edit (edt1) of the older one.
    HWND name = GetDlgItem(chooser, 0x47c);
    if (!name) name = GetDlgItem(chooser, 0x480);
    if (!name) return false;
    SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG, 3000, nullptr);
    PostMessageA(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 100 && IsWindow(chooser); ++i) e2e::Pump(50);
    return !IsWindow(chooser);
}

TEST_F(DialogE2E, BrowseFillsTheFieldAndCancelKeepsItOutOfTheRegistry) {
    const std::string picture = WriteBrightTexture("dialog-e2e-browse.bmp");
    e2e::WriteSettingText("IMGFilename", "C:\\before.bmp");
    DialogRun run;
    ASSERT_TRUE(run.Open());
    EXPECT_EQ(run.Text(kImageFile), "C:\\before.bmp");
    ASSERT_TRUE(ChooseFile(run, picture));
    EXPECT_STRCASEEQ(run.Text(kImageFile).c_str(), picture.c_str());
    run.Press(IDCANCEL);
    EXPECT_TRUE(run.WaitForEnd());
    std::string stored;
    EXPECT_TRUE(e2e::ReadSettingText("IMGFilename", &stored));
    EXPECT_EQ(stored, "C:\\before.bmp");
}

TEST_F(DialogE2E, BrowseThenOkStoresTheChosenPath) {
    const std::string picture = WriteBrightTexture("dialog-e2e-browse.bmp");
    DialogRun run;
    ASSERT_TRUE(run.Open());
    ASSERT_TRUE(ChooseFile(run, picture));
    PressOk(run, false);
    EXPECT_STRCASEEQ(ReadStored().imageFile.c_str(), picture.c_str());
}

TEST_F(DialogE2E, FileNameFieldHoldsAtMost298Characters) {
    const std::string longName = "C:\\" + std::string(400, 'a') + ".bmp";
    DialogRun run;
    ASSERT_TRUE(run.Open());
    run.Type(kImageFile, longName);
    PressOk(run, false);
    EXPECT_EQ(ReadStored().imageFile, longName.substr(0, 298));
}

TEST_F(DialogE2E, EditedDialogScreenshot) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    run.TypeKeys(kWidth, "640");
    run.TypeKeys(kHeight, "480");
    run.TypeKeys(kBitDepth, "16");
    run.Click(kWarpy);
    run.Click(kHiColor);
    run.Type(kImageFile, "C:\\pictures\\tiles.bmp");
    run.Type(kXScale, "2.50");
    run.Slide(kBlur, 5);
    run.Slide(kRotAmplitude, 15);
    run.Slide(kZoomFrequency, 0);
    e2e::Pump(300);
    run.Screenshot("dialog-edited.bmp");
    EXPECT_EQ(run.Text(kWidth), "640");
    EXPECT_TRUE(run.Checked(kWarpy));
    EXPECT_FALSE(run.Checked(kHiColor));
}

TEST_F(DialogE2E, EveryControlOfTheTemplateIsThere) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    const struct {
        int id;
        const char* className;
        const char* text;
    } controls[] = {
        {IDOK, "Button", "&OK"}, {IDCANCEL, "Button", "&Cancel"}, {kWidth, "Edit", nullptr},
        {kHeight, "Edit", nullptr}, {kChangeMode, "Button", "Change &Video Mode:"}, {kBitDepth, "Edit", ""},
        {kWarpy, "Button", "&Warpy"}, {kImageFile, "Edit", ""}, {kBrowse, "Button", "&Browse..."},
        {kXScale, "Edit", nullptr}, {kYScale, "Edit", nullptr}, {kRotFrequency, "msctls_trackbar32", nullptr},
        {kRotAmplitude, "msctls_trackbar32", nullptr}, {kZoomFrequency, "msctls_trackbar32", nullptr},
        {kZoomAmplitude, "msctls_trackbar32", nullptr}, {kBlur, "msctls_trackbar32", nullptr},
        {kHiColor, "Button", "HiColor Blur (for 15bpp and up)"},
    };
    for (const auto& c : controls) {
        const HWND item = run.Item(c.id);
        ASSERT_NE(item, nullptr) << c.id;
        EXPECT_STRCASEEQ(e2e::WindowClass(item).c_str(), c.className) << c.id;
        if (c.text) EXPECT_EQ(e2e::WindowText(item), c.text) << c.id;
    }
    // All 38 in the template's order, which is also the tab order.
    std::vector<std::string> texts;
    for (HWND child = GetWindow(run.dialog(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        texts.push_back(e2e::WindowText(child));
    ASSERT_EQ(texts.size(), 38u);
    EXPECT_EQ(texts[0], "&OK");
    EXPECT_EQ(texts[15], "x");
    EXPECT_EQ(texts[19], "Scaling:  x");
    EXPECT_EQ(texts[27], "Frequncy ---------");
    EXPECT_EQ(texts[37], "HiColor Blur (for 15bpp and up)");
    EXPECT_EQ(GetWindowLongA(run.Item(kWidth), GWL_STYLE) & ES_NUMBER, ES_NUMBER);
    EXPECT_EQ(GetWindowLongA(run.Item(IDOK), GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
    // 301 x 193 dialog units.
    RECT units = {0, 0, 301, 193};
    MapDialogRect(run.dialog(), &units);
    RECT client;
    GetClientRect(run.dialog(), &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
}

TEST_F(DialogE2E, NumberTypedIntoWidthRejectsLetters) {
    DialogRun run;
    ASSERT_TRUE(run.Open());
    run.TypeKeys(kWidth, "4a0");
    EXPECT_EQ(run.Text(kWidth), "40");
}

struct ModeRun {
    const char* arguments;
    bool ownedByTest;
};

class SettingsModeE2E : public DialogE2E, public ::testing::WithParamInterface<ModeRun> {};

TEST_P(SettingsModeE2E, OpensTheDialogAndEndsWithZero) {
    DialogRun run;
    ASSERT_TRUE(run.Open(GetParam().arguments)) << GetParam().arguments;
    if (GetParam().ownedByTest) EXPECT_EQ(GetWindow(run.dialog(), GW_OWNER), run.owner());
    run.Press(IDCANCEL);
    DWORD exitCode = 1;
    EXPECT_TRUE(run.WaitForEnd(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(KeyExists());
}

INSTANTIATE_TEST_SUITE_P(Arguments, SettingsModeE2E,
                         ::testing::Values(ModeRun{"/c:%OWNER%", true}, ModeRun{"-C:%OWNER%", true},
                                           ModeRun{"/c", false}, ModeRun{"-cabc", false}, ModeRun{"", false},
                                           ModeRun{"\"\"", false}, ModeRun{"\" x\"", false}));

TEST_F(DialogE2E, NoArgumentMeansNoOwner) {
    DialogRun run;
    ASSERT_TRUE(run.Open(""));
    EXPECT_EQ(GetWindow(run.dialog(), GW_OWNER), nullptr);
}

TEST_F(DialogE2E, OwnerThatIsNoWindowShowsNothingAndSavesNothing) {
    DialogRun run;
    ASSERT_TRUE(run.process().Start(SaverPath, "/c:12345678"));
    DWORD exitCode = 1;
    EXPECT_TRUE(run.process().WaitForExitOrKill(15000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(e2e::TopLevelWindows(run.process().id(), e2e::kDialogClass).empty());
    EXPECT_FALSE(KeyExists());
}

// OK in the dialog, then the saver itself runs with what was saved: a frame
// of the chosen size in the middle of the screen.
TEST_F(DialogE2E, SavedSettingsDriveTheSaver) {
    const std::string picture = WriteBrightTexture("dialog-e2e-roundtrip.bmp");
    {
        DialogRun run;
        ASSERT_TRUE(run.Open());
        run.TypeKeys(kWidth, "162");  // saved as 160
        run.TypeKeys(kHeight, "100");
        run.SetCheck(kChangeMode, false);  // leave the display mode alone
        run.Type(kImageFile, picture);
        PressOk(run, false);
    }
    const Stored s = ReadStored();
    ASSERT_EQ(s.screenWidth, 160);
    ASSERT_EQ(s.stretch, -1);

    e2e::Process saver;
    ASSERT_TRUE(saver.Start(SaverPath, "/s"));
    const HWND window = e2e::WaitForTopLevelWindow(saver.id(), 15000, e2e::kSaverClass);
    ASSERT_NE(window, nullptr);
    e2e::Pump(2000);
    const e2e::Pixels screen = e2e::CaptureScreen();
    e2e::SaveBmp(screen, Artifact("dialog-roundtrip-saver.bmp"));
    int32_t left = screen.width, right = -1, top = screen.height, bottom = -1;
    for (int32_t y = 0; y < screen.height; ++y)
        for (int32_t x = 0; x < screen.width; ++x)
            if (screen.At(x, y) != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    saver.Kill();
    ASSERT_GE(right, 0) << "nothing drawn";
    EXPECT_EQ(right - left + 1, 160);
    EXPECT_EQ(bottom - top + 1, 100);
    EXPECT_EQ(left, (screen.width - 160) / 2);
    EXPECT_EQ(top, (screen.height - 100) / 2);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialog_e2e GYROFOLD.SCR ARTIFACTS_FOLDER\n");
        return 2;
    }
    SaverPath = e2e::ToWinePath(argv[1]);
    ArtifactsFolder = e2e::ToWinePath(argv[2]);
    e2e::MakeFolders(ArtifactsFolder);
    return RUN_ALL_TESTS();
}
