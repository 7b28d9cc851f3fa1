#pragma once

// Status codes, notification codes and progress queries of the image engine.

#include <cstdint>

// Status results: 32-bit, negative = failure.
using STATUS = std::int32_t;

inline constexpr STATUS STATUS_OK = 0;
inline constexpr STATUS STATUS_FAIL = static_cast<STATUS>(0x80004005u);
inline constexpr STATUS STATUS_UNEXPECTED = static_cast<STATUS>(0x8000FFFFu);
inline constexpr STATUS STATUS_OUT_OF_MEMORY = static_cast<STATUS>(0x8007000Eu);
inline constexpr STATUS STATUS_INVALID_ARG = static_cast<STATUS>(0x80070057u);
// The user cancelled; the user interface shows no message for it.
inline constexpr STATUS STATUS_CANCELLED = static_cast<STATUS>(0xA0000000u);
// End-of-enumeration results of the reading module; they never leave the
// engine.
inline constexpr STATUS SDK_NO_ENTRIES = static_cast<STATUS>(0xEB110107u);
inline constexpr STATUS SDK_NO_MORE_ENTRIES = static_cast<STATUS>(0xEB110207u);
inline constexpr STATUS SDK_TASK_RUNNING = static_cast<STATUS>(0xEB020A06u);

inline constexpr bool Failed(STATUS s)
{
    return s < 0;
}

// Notification codes, the first argument of the notification callback.
inline constexpr std::uint32_t NOTIFY_EXTRACT_BEGIN = 0x8001;     // path inside the image
inline constexpr std::uint32_t NOTIFY_EXTRACT_END = 0x8002;       // sent by the extract commands
inline constexpr std::uint32_t NOTIFY_VOLUME_UNSUITABLE = 0x8004; // target file path
inline constexpr std::uint32_t NOTIFY_OPEN_BEGIN = 0x8005;        // image path
inline constexpr std::uint32_t NOTIFY_OPEN_END = 0x8006;      // sent by the open and burn commands
inline constexpr std::uint32_t NOTIFY_WRITE_FAILED = 0x8007;  // target file path
inline constexpr std::uint32_t NOTIFY_READ_FAILED = 0x8008;   // no parameter
inline constexpr std::uint32_t NOTIFY_ACCESS_DENIED = 0x8009; // target file path
inline constexpr std::uint32_t NOTIFY_CANCELLING = 0x800A;    // no parameter

// The callback gets the code, a copy of the text parameter (UTF-16,
// NUL-terminated) or null, and the context given with it. Its result is
// ignored.
using PFN_LANTERN_NOTIFY = void (*)(std::uint32_t nCode, const char16_t* pszParam, void* pContext);

// Progress queries of GetProgress.
inline constexpr std::uint32_t PROGRESS_LOAD = 5000;
inline constexpr std::uint32_t PROGRESS_EXTRACT = 5001;

// What an extraction leaves out or refuses, one event per entry, and the
// one notice that the target keeps no links or modes; each with a path.
inline constexpr std::uint32_t NOTIFY_SPECIAL_LEFT_OUT = 0x800B; // path inside the image
inline constexpr std::uint32_t NOTIFY_ENTRY_REFUSED = 0x800C;    // target path
inline constexpr std::uint32_t NOTIFY_TARGET_PLAIN = 0x800D;     // target folder
// Reading files of the image for their checksums: each file's begin (its
// path inside the image), and the end, which the commands send.
inline constexpr std::uint32_t NOTIFY_READ_BEGIN = 0x800E;
inline constexpr std::uint32_t NOTIFY_READ_END = 0x800F;

// Type texts of entries that are no plain files.
inline constexpr int IDS_TYPE_SYMLINK = 9310;
inline constexpr int IDS_TYPE_DEVICE = 9311;
inline constexpr int IDS_TYPE_FIFO = 9312;
inline constexpr int IDS_TYPE_SOCKET = 9313;
