#include "shell/picture_rotation.h"

#include <algorithm>
#include <random>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "imaging/picture_folder.h"

PictureRotation::PictureRotation(std::string folder, int32_t hiColor, int32_t numBuf, bool more,
                                 std::function<void(const std::string&)> report)
    : folder_(std::move(folder)), hiColor_(hiColor), numBuf_(numBuf), more_(more), report_(std::move(report)),
      thread_([this] { Run(); })
{
}

PictureRotation::~PictureRotation()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wanted_.notify_all();
    // A picture being read is finished first: libpng and libjpeg cannot be
    // stopped halfway.
    thread_.join();
}

std::unique_ptr<ScenePicture> PictureRotation::Take()
{
    std::unique_ptr<ScenePicture> picture;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        picture = std::move(ready_);
    }
    if (picture != nullptr) wanted_.notify_all();
    return picture;
}

bool PictureRotation::Exhausted()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exhausted_ && ready_ == nullptr;
}

// Every picture once in a shuffled order, then another order: all of them
// are seen, none twice running. The files are listed here rather than in the
// constructor, so a large folder does not hold up the start.
void PictureRotation::Run()
{
#ifdef __linux__
    // Reading yields to drawing: on a machine with few cores the frames
    // would otherwise wait for the decoder. Linux gives each thread a nice
    // value of its own.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
    const std::vector<std::string> files = ListPictures(folder_);
    std::mt19937 random{std::random_device{}()};
    std::vector<size_t> order(files.size());
    // Files that failed since a picture last loaded: when it is all of them,
    // nothing will come.
    std::vector<bool> failed(files.size());
    size_t next = order.size(), failures = 0, last = files.size();
    while (!files.empty()) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wanted_.wait(lock, [this] { return stop_ || ready_ == nullptr; });
            if (stop_) return;
        }
        if (next == order.size()) {
            for (size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::shuffle(order.begin(), order.end(), random);
            if (order.size() > 1 && order[0] == last) std::swap(order[0], order[1]);
            next = 0;
        }
        last = order[next++];
        auto picture = std::make_unique<ScenePicture>();
        LoadScenePicture(files[last].c_str(), hiColor_, numBuf_, *picture);
        if (!picture->error.empty()) {
            report_(files[last] + ": " + picture->error);
            if (!failed[last]) failed[last] = true, ++failures;
            if (failures < files.size()) continue;
            break;
        }
        std::fill(failed.begin(), failed.end(), false);
        failures = 0;
        std::lock_guard<std::mutex> lock(mutex_);
        ready_ = std::move(picture);
        if (!more_) return;
    }
    report_(folder_ + (files.empty() ? ": no BMP, PNG or JPEG file in the folder" : ": no picture in the folder can be read"));
    std::lock_guard<std::mutex> lock(mutex_);
    exhausted_ = true;
}
