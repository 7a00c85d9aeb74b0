#pragma once
// Passes over a store's frames on several threads. The frames are cut into ranges
// that worker threads decode, each with its own copy of the decode context; the
// caller receives each range's output in frame order.
//
// The only decode state carried from frame to frame is the FTP data-connection
// tracking. A range is decoded with the state the caller last knew to be true at
// the time it was started; when the state actually in force at the range's first
// frame turns out to differ in effect, the range is decoded again with it before
// its output is taken. The output is therefore always that of one ordered pass.
#include <cstdint>
#include <functional>
#include <memory>

#include "decode/engine.h"
#include "store/frame_store.h"

namespace zelpan {

// The tracking state that passes carry across frames.
struct CarriedState {
    FtpTracking ftp;
    DataPorts ports;
};
CarriedState carried_state(const DecodeContext& c);
void apply_carried_state(DecodeContext& c, const CarriedState& s);
// Whether two states make every later frame decode alike.
bool same_effect(const CarriedState& a, const CarriedState& b);

// Threads for a pass: ZELPAN_THREADS when set (1 = one ordered pass on the
// caller's thread), else the processors available.
int pass_threads();
// Frames per range: ZELPAN_RANGE_FRAMES when set, else 4096.
uint32_t pass_range_frames();

// The work of one range. decode() runs on a worker thread with c current, its
// tracking state, first_time and previous_time (the time of the frame before
// the range) in place; it walks count records from record. take() runs on the
// caller's thread, in frame order. A range decoded again gets reset() first.
class RangeWork {
public:
    virtual ~RangeWork() = default;
    virtual void decode(DecodeContext& c, uint32_t first, uint32_t count, const uint8_t* record) = 0;
    virtual void take(uint32_t first, uint32_t count) = 0;
    virtual void reset() = 0;
};

struct PassOptions {
    int threads = 0;             // 0: pass_threads()
    uint32_t range_frames = 0;   // 0: pass_range_frames()
    // Asked before each range is taken; true stops the pass early (what was taken stays).
    std::function<bool()> cancelled;
};

// Runs the pass over frames [0, count) of store (count clipped to the store). base
// is copied for every range; afterwards base holds the tracking state after the
// last frame and the widest column texts seen (as one ordered pass leaves them),
// and is current again if it was. make_work is called once per range slot.
// Returns the frames whose output was taken.
uint32_t RunRangePass(DecodeContext& base, const FrameStore& store, uint32_t count,
                      const std::function<std::unique_ptr<RangeWork>()>& make_work,
                      const PassOptions& options = {});

}  // namespace zelpan
