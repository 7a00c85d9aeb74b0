#include "capture/queued_sink.h"

namespace zelpan {

void QueuedCaptureSink::Push(Event&& e) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(e));
    }
    ready_.notify_one();
}

void QueuedCaptureSink::PostFrame(const FrameListUpdate& u) {
    Event e;
    e.kind = Event::Frame;
    e.frame = u;
    Push(std::move(e));
}

void QueuedCaptureSink::PostEnd(const CaptureEnd& end) {
    Event e;
    e.kind = Event::End;
    e.end = end;
    Push(std::move(e));
}

void QueuedCaptureSink::Warning(const std::string& text) {
    Event e;
    e.kind = Event::Warning;
    e.text = text;
    Push(std::move(e));
}

bool QueuedCaptureSink::Wait(Event& out, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_until(lock, deadline, [&] { return !events_.empty(); })) return false;
    out = std::move(events_.front());
    events_.pop_front();
    return true;
}

bool QueuedCaptureSink::TryTake(Event& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.empty()) return false;
    out = std::move(events_.front());
    events_.pop_front();
    return true;
}

}  // namespace zelpan
