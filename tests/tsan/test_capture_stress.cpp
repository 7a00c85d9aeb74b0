// The start/stop stress test on its own, for the ThreadSanitizer build.
#include "tsan/capture_stress.h"

TEST(CaptureStress, StartStopCyclesUnderFlood) { ztc::run_start_stop_stress(200); }
