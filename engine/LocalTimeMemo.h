#pragma once

// Local-to-UTC conversion of the times of an image's entries, remembered by
// the whole second. The C library re-reads the time-zone file on every
// conversion (one stat per entry); the files of an image mostly share a
// handful of times, so a small table answers nearly every entry. Answers are
// exactly those of LocalFileTimeToFileTime. Reset it before each operation
// so that a change of the system's zone is seen.

#include "FileTime.h"

#include <array>
#include <cstdint>

class CLocalTimeMemo
{
public:
    void Reset() { m_slots.fill(Slot{}); }

    // As LocalFileTimeToFileTime.
    bool ToUtc(FILETIME64 local, FILETIME64* pUtc)
    {
        // The conversion depends on the whole second alone; the fraction is
        // carried over. Times past the last valid one are left to the
        // conversion itself.
        if (local >= 0x8000000000000000ULL)
            return LocalFileTimeToFileTime(local, pUtc);
        const FILETIME64 fraction = local % FILETIME_TICKS_PER_SECOND;
        const FILETIME64 whole = local - fraction;
        Slot& slot = m_slots[(whole / FILETIME_TICKS_PER_SECOND) % kSlots];
        if (!slot.bUsed || slot.local != whole) {
            slot.bUsed = true;
            slot.local = whole;
            slot.bOk = LocalFileTimeToFileTime(whole, &slot.utc);
        }
        if (!slot.bOk)
            return false;
        *pUtc = slot.utc + fraction;
        return true;
    }

private:
    static constexpr std::size_t kSlots = 256;
    struct Slot
    {
        FILETIME64 local = 0;
        FILETIME64 utc = 0;
        bool bUsed = false;
        bool bOk = false;
    };
    std::array<Slot, kSlots> m_slots{};
};
