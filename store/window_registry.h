#pragma once
// The application's open child windows in opening order (slots 1..63) and the
// capture target (slot 0). Windows are opaque to the registry.
#include <array>

namespace zelpan {

class WindowRegistry {
public:
    static constexpr int SLOTS = 64;
    using Window = const void*;

    // First empty slot of 1..63, or -1 when all are taken.
    int Register(Window w);
    void SetCaptureTarget(Window w);
    Window CaptureTarget() const { return slots_[0]; }
    // The window's former slot, or -1 when it was not registered. Later windows
    // move one slot down; removing the capture target empties slot 0 too.
    int Remove(Window w);
    bool Contains(Window w) const { return SlotOf(w) > 0; }
    int SlotOf(Window w) const;
    Window At(int slot) const;
    void Clear() { slots_.fill(nullptr); }

private:
    std::array<Window, SLOTS> slots_{};
};

}  // namespace zelpan
