#pragma once
// Where the stand-in password services keep what a test tells them and what
// they were given. Both the fakes and the tests that drive them use these
// names; the registry is shared by every process of one wine prefix.

#define FAKE_SERVICES_KEY "Software\\Gyrofold Tests\\Fake Services"

// PASSWORD.CPL: the answer VerifyScreenSavePwd gives (DWORD, absent = 0),
// how often it was called (DWORD) and the window it was given (QWORD).
#define FAKE_VERIFY_ANSWER "VerifyAnswer"
#define FAKE_VERIFY_CALLS "VerifyCalls"
#define FAKE_VERIFY_WINDOW "VerifyWindow"

// MPR.DLL: how often PwdChangePasswordA was called (DWORD), the provider name
// (string), the owner window (QWORD) and the two reserved values (DWORD each).
#define FAKE_CHANGE_CALLS "ChangeCalls"
#define FAKE_CHANGE_PROVIDER "ChangeProvider"
#define FAKE_CHANGE_OWNER "ChangeOwner"
#define FAKE_CHANGE_RESERVED1 "ChangeReserved1"
#define FAKE_CHANGE_RESERVED2 "ChangeReserved2"
