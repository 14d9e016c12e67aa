// The password hooks driven from outside: the real gyrofold.scr started the way
// the platform starts it, with stand-in password services next to it.
#include <gtest/gtest.h>

#include "tests/e2e/password_e2e_harness.h"

using namespace harness;

namespace {

// Start-up takes three 250 ms ticks after the scene is set up; wine is slow
// to create the first window of a process.
constexpr DWORD kWindowWait = 15000;
constexpr DWORD kStartUpWait = 2000;
constexpr DWORD kExitWait = 10000;

std::string TestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

void ResetFakes() {
    DeleteKey(FAKE_SERVICES_KEY);
    ClearMprOverride();
}

DWORD VerifyCalls() { return ReadNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_CALLS); }

struct UsePasswordCase {
    const char* name;
    enum { Absent, Number, EightBytes, TwoBytesZero } form;
    DWORD value;
};

void PrintTo(const UsePasswordCase& c, std::ostream* out) { *out << c.name; }

class PasswordOffTest : public ::testing::TestWithParam<UsePasswordCase> {};

}  // namespace

// Without a password in use the first input closes the saver, and the
// verifier library is never asked (it would refuse if it were).
TEST_P(PasswordOffTest, FirstInputClosesWithoutAskingTheVerifier) {
    const UsePasswordCase& c = GetParam();
    ResetFakes();
    WriteNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_ANSWER, 0);
    switch (c.form) {
        case UsePasswordCase::Absent: DeleteValue(kDesktopKey, "ScreenSaveUsePassword"); break;
        case UsePasswordCase::Number: WriteNumber(kDesktopKey, "ScreenSaveUsePassword", c.value); break;
        case UsePasswordCase::EightBytes: {
            const uint64_t wide = c.value;
            WriteValue(kDesktopKey, "ScreenSaveUsePassword", REG_QWORD, &wide, 8);
            break;
        }
        case UsePasswordCase::TwoBytesZero: {
            const uint16_t narrow = 0;
            WriteValue(kDesktopKey, "ScreenSaveUsePassword", REG_BINARY, &narrow, 2);
            break;
        }
    }
    const std::string folder = MakeWorkFolder(TestName(), {"password\\PASSWORD.CPL"});
    WriteSaverSettings(folder, -1, 320, 240);

    Process saver;
    ASSERT_TRUE(Start(saver, folder, "/s"));
    HWND window = WaitForWindow(saver, kWindowWait);
    ASSERT_NE(window, nullptr) << "no saver window";
    Pump(kStartUpWait);
    MoveMouse(5);
    EXPECT_EQ(WaitExit(saver, kExitWait), 0);
    EXPECT_EQ(VerifyCalls(), 0u);
    DeleteValue(kDesktopKey, "ScreenSaveUsePassword");
}

INSTANTIATE_TEST_SUITE_P(
    UsePassword, PasswordOffTest,
    ::testing::Values(UsePasswordCase{"absent", UsePasswordCase::Absent, 0},
                      UsePasswordCase{"zero", UsePasswordCase::Number, 0},
                      // Longer than the 4-byte buffer: the query fails, so no password.
                      UsePasswordCase{"eight_bytes", UsePasswordCase::EightBytes, 1},
                      // Shorter than the buffer: only the stored bytes count.
                      UsePasswordCase{"two_bytes_zero", UsePasswordCase::TwoBytesZero, 0}),
    [](const ::testing::TestParamInfo<UsePasswordCase>& info) { return std::string(info.param.name); });

// A refused password keeps the saver drawing; a later close asks again and
// the allowed close ends it with 0. The verifier is given the saver window.
TEST(PasswordOnTest, RefusedCloseKeepsRunningThenAllowedCloseEnds) {
    ResetFakes();
    WriteNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_ANSWER, 0);
    WriteNumber(kDesktopKey, "ScreenSaveUsePassword", 1);
    const std::string folder = MakeWorkFolder(TestName(), {"password\\PASSWORD.CPL"});
    WriteSaverSettings(folder, -1, 320, 240);

    Process saver;
    ASSERT_TRUE(Start(saver, folder, "/s"));
    HWND window = WaitForWindow(saver, kWindowWait);
    ASSERT_NE(window, nullptr) << "no saver window";
    Pump(kStartUpWait);

    MoveMouse(5);
    ASSERT_TRUE(WaitUntil(kExitWait, [](void*) { return VerifyCalls() >= 1; }, nullptr))
        << "the verifier was never asked";
    Pump(500);
    EXPECT_TRUE(saver.Running()) << "a refused password ended the saver";
    EXPECT_EQ(VerifyCalls(), 1u);
    EXPECT_EQ(ReadWindowValue(FAKE_SERVICES_KEY, FAKE_VERIFY_WINDOW),
              static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window)));
    EXPECT_TRUE(FramesAppear(window, 3000)) << "no frames after the refused close";

    WriteNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_ANSWER, 1);
    // The first input after the refusal may only hide a pointer made visible
    // meanwhile; keep moving until the close is asked again.
    for (int attempt = 0; attempt < 5 && VerifyCalls() < 2; ++attempt) {
        MoveMouse(attempt % 2 ? 5 : -5);
        Pump(400);
    }
    EXPECT_EQ(WaitExit(saver, kExitWait), 0)
        << "verifier calls: " << ReadNumber(FAKE_SERVICES_KEY, FAKE_VERIFY_CALLS);
    EXPECT_EQ(VerifyCalls(), 2u) << "the library is loaded and asked afresh on every close";
    DeleteValue(kDesktopKey, "ScreenSaveUsePassword");
}

// A password in use but no verifier library beside the saver: closing is allowed.
TEST(PasswordOnTest, MissingVerifierLibraryAllowsClose) {
    ResetFakes();
    WriteNumber(kDesktopKey, "ScreenSaveUsePassword", 1);
    const std::string folder = MakeWorkFolder(TestName(), {});
    WriteSaverSettings(folder, -1, 320, 240);

    Process saver;
    ASSERT_TRUE(Start(saver, folder, "/s"));
    ASSERT_NE(WaitForWindow(saver, kWindowWait), nullptr);
    Pump(kStartUpWait);
    MoveMouse(5);
    EXPECT_EQ(WaitExit(saver, kExitWait), 0);
    DeleteValue(kDesktopKey, "ScreenSaveUsePassword");
}

namespace {

// A plain window of this process to own the change dialog.
HWND CreateOwnerWindow() {
    return CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

struct ChangeOwnerCase {
    const char* name;
    bool realWindow;
    const char* argument;  // used when realWindow is false
};

inline void PrintTo(const ChangeOwnerCase& c, std::ostream* out) { *out << c.name; }

class ChangePasswordTest : public ::testing::TestWithParam<ChangeOwnerCase> {};

TEST_P(ChangePasswordTest, ChangeServiceGetsProviderOwnerAndTwoZeros) {
    const ChangeOwnerCase& c = GetParam();
    ResetFakes();
    OverrideMpr("native");
    const std::string folder = MakeWorkFolder(TestName(), {"mpr\\MPR.DLL"});
    HWND owner = c.realWindow ? CreateOwnerWindow() : nullptr;
    const std::string argument =
        c.realWindow ? std::to_string(reinterpret_cast<uintptr_t>(owner)) : std::string(c.argument);

    Process saver;
    ASSERT_TRUE(Start(saver, folder, "/a " + argument));
    EXPECT_EQ(WaitExit(saver, kExitWait), 0);
    EXPECT_EQ(ReadNumber(FAKE_SERVICES_KEY, FAKE_CHANGE_CALLS), 1u);
    EXPECT_EQ(ReadText(FAKE_SERVICES_KEY, FAKE_CHANGE_PROVIDER), "SCRSAVE");
    EXPECT_EQ(ReadWindowValue(FAKE_SERVICES_KEY, FAKE_CHANGE_OWNER),
              static_cast<uint64_t>(reinterpret_cast<uintptr_t>(owner)));
    EXPECT_EQ(ReadNumber(FAKE_SERVICES_KEY, FAKE_CHANGE_RESERVED1), 0u);
    EXPECT_EQ(ReadNumber(FAKE_SERVICES_KEY, FAKE_CHANGE_RESERVED2), 0u);
    EXPECT_TRUE(e2e::TopLevelWindows(saver.id()).empty());
    if (owner != nullptr) DestroyWindow(owner);
    ClearMprOverride();
}

INSTANTIATE_TEST_SUITE_P(
    Owner, ChangePasswordTest,
    ::testing::Values(ChangeOwnerCase{"valid_window", true, nullptr},
                      ChangeOwnerCase{"zero", false, "0"},
                      ChangeOwnerCase{"no_digits", false, "abc"},
                      // A number that names no window of this session.
                      ChangeOwnerCase{"stale_number", false, "123456789"}),
    [](const ::testing::TestParamInfo<ChangeOwnerCase>& info) { return std::string(info.param.name); });

TEST(ChangePasswordTest, UpperCaseAndDashSwitchesSelectTheChange) {
    for (const char* switchText : {"/A", "-a", "-A"}) {
        ResetFakes();
        OverrideMpr("native");
        const std::string folder = MakeWorkFolder(TestName(), {"mpr\\MPR.DLL"});
        Process saver;
        ASSERT_TRUE(Start(saver, folder, std::string(switchText) + " 0"));
        EXPECT_EQ(WaitExit(saver, kExitWait), 0) << switchText;
        EXPECT_EQ(ReadNumber(FAKE_SERVICES_KEY, FAKE_CHANGE_CALLS), 1u) << switchText;
    }
    ClearMprOverride();
}

struct ChangeErrorCase {
    const char* name;
    const char* fake;       // library copied beside the saver, or nullptr
    const char* loadOrder;  // how wine may load mpr.dll
    const char* text;       // the one box expected
};

inline void PrintTo(const ChangeErrorCase& c, std::ostream* out) { *out << c.name; }

class ChangePasswordErrorTest : public ::testing::TestWithParam<ChangeErrorCase> {};

TEST_P(ChangePasswordErrorTest, OneErrorBoxOwnedByTheGivenWindowThenExitZero) {
    const ChangeErrorCase& c = GetParam();
    ResetFakes();
    OverrideMpr(c.loadOrder);
    std::vector<std::string> fakes;
    if (c.fake != nullptr) fakes.push_back(c.fake);
    const std::string folder = MakeWorkFolder(TestName(), fakes);
    HWND owner = CreateOwnerWindow();

    Process saver;
    ASSERT_TRUE(Start(saver, folder, "/a " + std::to_string(reinterpret_cast<uintptr_t>(owner))));
    HWND box = WaitForWindow(saver, kWindowWait, "#32770", "Error");
    ASSERT_NE(box, nullptr) << "no error box; windows: " << DescribeWindows(saver.id())
                            << (saver.Running() ? "" : " (the saver has ended)");
    EXPECT_EQ(BoxText(box), c.text);
    EXPECT_EQ(GetWindow(box, GW_OWNER), owner);
    // The exclamation style gives the box an icon and one OK button.
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
    DismissBox(box);
    EXPECT_EQ(WaitExit(saver, kExitWait), 0);
    EXPECT_EQ(ReadNumber(FAKE_SERVICES_KEY, FAKE_CHANGE_CALLS), 0u);
    DestroyWindow(owner);
    ClearMprOverride();
}

INSTANTIATE_TEST_SUITE_P(
    Library, ChangePasswordErrorTest,
    ::testing::Values(ChangeErrorCase{"entry_point_missing", "mpr_without_change\\MPR.DLL", "native",
                                      "Couldn't get PwdChangePassword"},
                      ChangeErrorCase{"library_missing", nullptr, "", "Couldn't load MRP.DLL"}),
    [](const ::testing::TestParamInfo<ChangeErrorCase>& info) { return std::string(info.param.name); });
