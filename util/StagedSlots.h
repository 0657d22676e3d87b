// Internal to util/: the list of live temporary files that the clean-up on a
// terminating signal or console event removes. The handler reads it while the
// program goes on, so it is a fixed array written with atomics.
#pragma once

#include <atomic>
#include <cstddef>

namespace FileUtils::StagedCleanup {

template <typename Char, std::size_t Units>
class SlotList {
public:
    static constexpr int kSlots = 8;

    // Enters a path of length units; its slot, or -1 when the list is full or
    // the path too long (room is left for a side file's suffix).
    int Claim(const Char* path, std::size_t length)
    {
        if (length + 16 > Units)
            return -1;
        for (int i = 0; i < kSlots; ++i) {
            int expected = kFree;
            if (FSlots[i].state.compare_exchange_strong(expected, kWriting)) {
                for (std::size_t n = 0; n < length; ++n)
                    FSlots[i].path[n] = path[n];
                FSlots[i].path[length] = Char(0);
                FSlots[i].state.store(kLive, std::memory_order_release);
                return i;
            }
        }
        return -1;
    }

    void Release(int& slot)
    {
        if (slot >= 0)
            FSlots[slot].state.store(kFree, std::memory_order_release);
        slot = -1;
    }

    bool AnyTaken() const
    {
        for (const Slot& slot : FSlots) {
            if (slot.state.load(std::memory_order_acquire) != kFree)
                return true;
        }
        return false;
    }

    // Calls remove with each live path and each of its side files' names;
    // allocates nothing.
    template <typename Remove>
    void ForEachLive(const Char* const (&suffixes)[3], Remove remove)
    {
        for (Slot& slot : FSlots) {
            if (slot.state.load(std::memory_order_acquire) != kLive)
                continue;
            remove(slot.path);
            for (const Char* suffix : suffixes) {
                std::size_t n = 0;
                for (; slot.path[n] != Char(0); ++n)
                    FName[n] = slot.path[n];
                for (std::size_t i = 0; suffix[i] != Char(0); ++i)
                    FName[n++] = suffix[i];
                FName[n] = Char(0);
                remove(FName);
            }
        }
    }

private:
    enum : int { kFree = 0, kWriting = 1, kLive = 2 };
    struct Slot {
        std::atomic<int> state{kFree};
        Char path[Units];
    };
    Slot FSlots[kSlots];
    Char FName[Units];
};

}  // namespace FileUtils::StagedCleanup
