#include "shell/command_line.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whole-argument comparison ignoring ASCII letter case.
bool SameText(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (Lower(*a) != Lower(*b)) return false;
    return *a == *b;
}

bool IsAnyOf(const char* arg, const char* const* forms, int count)
{
    for (int i = 0; i < count; ++i)
        if (SameText(arg, forms[i])) return true;
    return false;
}

}  // namespace

WindowHandle ParseWindowArg(const char* text)
{
    if (text == nullptr) return 0;
    while (IsSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + static_cast<uint32_t>(*text - '0');
    if (negative) value = 0u - value;
    // The 32-bit result, sign-extended into the handle as a C int would be.
    const int32_t asInt = static_cast<int32_t>(value);
    return static_cast<WindowHandle>(static_cast<intptr_t>(asInt));
}

RunRequest ParseCommandLine(int argc, const char* const* argv)
{
    RunRequest request;
    if (argc <= 1 || argv == nullptr || argv[1] == nullptr) return request;
    const char* a = argv[1];
    if (a[0] == '\0' || a[0] == ' ') return request;
    const char* second = (argc > 2 && argv[2] != nullptr) ? argv[2] : "";

    static const char* const kPreview[] = {"/p", "-p", "/l", "-l"};
    static const char* const kPassword[] = {"/a", "-a"};
    if (IsAnyOf(a, kPreview, 4)) {
        request.mode = RunMode::Preview;
        request.owner = OwnerSource::Text;
        request.handleText = second;
        return request;
    }
    if (IsAnyOf(a, kPassword, 2)) {
        request.mode = RunMode::PasswordChange;
        request.owner = OwnerSource::Text;
        request.handleText = second;
        return request;
    }
    if ((a[0] == '/' || a[0] == '-') && Lower(a[1]) == 'c') {
        request.mode = RunMode::Settings;
        if (a[2] == ':') {
            request.owner = OwnerSource::Text;
            request.handleText = a + 3;
        } else {
            request.owner = OwnerSource::ForegroundWindow;
        }
        return request;
    }
    request.mode = RunMode::FullScreen;
    return request;
}
