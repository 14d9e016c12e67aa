#pragma once
// The pictures of a folder shown one after another. Each next picture is read
// and made ready (texture, palette, blend table) on a thread of its own while
// the current one is drawn, so a change costs the window only the scene's
// rebuild; a file that fails is passed over at once for another.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "effect/scene.h"

class PictureRotation {
public:
    // Starts on the first picture at once; with `more`, each picture taken
    // starts the next. report is called, on the rotation's thread, with one
    // line for every file that fails and when the folder has nothing to show.
    PictureRotation(std::string folder, int32_t hiColor, int32_t numBuf, bool more,
                    std::function<void(const std::string&)> report);
    ~PictureRotation();
    PictureRotation(const PictureRotation&) = delete;
    PictureRotation& operator=(const PictureRotation&) = delete;

    // The picture made ready, or null when it is not ready yet; the one after
    // it is started at once.
    std::unique_ptr<ScenePicture> Take();
    // True when no picture will come: the folder has none that can be read.
    bool Exhausted();

private:
    void Run();

    const std::string folder_;
    const int32_t hiColor_, numBuf_;
    const bool more_;
    const std::function<void(const std::string&)> report_;
    std::mutex mutex_;
    std::condition_variable wanted_;
    std::unique_ptr<ScenePicture> ready_;
    bool stop_ = false;
    bool exhausted_ = false;
    std::thread thread_;
};
