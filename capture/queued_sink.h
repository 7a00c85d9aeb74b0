#pragma once
// A sink for front ends without a window system (the CLI, tests): the capture
// thread's hand-offs wait in a queue until the owning thread takes them.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "capture/capture_engine.h"

namespace zelpan {

class QueuedCaptureSink : public CaptureSink {
public:
    struct Event {
        enum Kind { Frame, End, Warning } kind = Frame;
        FrameListUpdate frame;
        CaptureEnd end;
        std::string text;
    };

    void PostFrame(const FrameListUpdate& u) override;
    void PostEnd(const CaptureEnd& e) override;
    void Warning(const std::string& text) override;

    // The oldest event, waiting for one until deadline. False when none came.
    bool Wait(Event& out, std::chrono::steady_clock::time_point deadline);
    bool TryTake(Event& out);

private:
    void Push(Event&& e);
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Event> events_;
};

}  // namespace zelpan
