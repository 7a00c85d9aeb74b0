#include "store/window_registry.h"

namespace zelpan {

int WindowRegistry::Register(Window w) {
    if (!w) return -1;
    // A second registration of the same window would leave a stale slot behind
    // after its one Remove.
    if (int s = SlotOf(w); s > 0) return s;
    for (int s = 1; s < SLOTS; ++s) {
        if (!slots_[s]) {
            slots_[s] = w;
            return s;
        }
    }
    return -1;
}

void WindowRegistry::SetCaptureTarget(Window w) { slots_[0] = w; }

int WindowRegistry::Remove(Window w) {
    if (!w) return -1;
    if (slots_[0] == w) slots_[0] = nullptr;
    int s = SlotOf(w);
    if (s < 0) return -1;
    // Later windows move down so the slots keep the opening order without gaps.
    for (int k = s; k < SLOTS - 1; ++k) slots_[k] = slots_[k + 1];
    slots_[SLOTS - 1] = nullptr;
    return s;
}

int WindowRegistry::SlotOf(Window w) const {
    if (!w) return -1;
    for (int s = 1; s < SLOTS; ++s)
        if (slots_[s] == w) return s;
    return -1;
}

WindowRegistry::Window WindowRegistry::At(int slot) const {
    if (slot < 0 || slot >= SLOTS) return nullptr;
    return slots_[slot];
}

}  // namespace zelpan
