// The frames of programs without a window (the renderer, the tests, the
// benchmarks): heap surfaces, presents that only count, and window sizes and
// status texts kept in tables that tests can read.

#include <cstring>
#include <map>

#include "imaging/status_text.h"
#include "imaging/surface_memory.h"

void Surface::Present() { ++framesPresented; }

Surface* CreateSurface(int32_t hiColor, WindowHandle target, const Rect32& frame)
{
    auto* surface = new MemorySurface(hiColor, frame);
    surface->window = target;
    return surface;
}

namespace {
std::map<WindowHandle, Rect32>& ClientRects()
{
    static std::map<WindowHandle, Rect32> rects;
    return rects;
}
}  // namespace

void SetNativeClientRect(WindowHandle window, const Rect32& rect) { ClientRects()[window] = rect; }

std::vector<StatusTextRecord>& NativeStatusTexts()
{
    static std::vector<StatusTextRecord> texts;
    return texts;
}

Rect32 ClientRectOf(WindowHandle window)
{
    const auto it = ClientRects().find(window);
    return it == ClientRects().end() ? Rect32{0, 0, 0, 0} : it->second;
}

void DrawStatusText(WindowHandle window, TextContext context, const char* text, const Rect32& rect)
{
    StatusTextRecord record = {window, context == TextContext::WholeWindow ? 1 : 0, rect, {}};
    std::strncpy(record.text, text, sizeof record.text - 1);
    NativeStatusTexts().push_back(record);
}
