// VbeSdk.h - the interfaces, identifiers, records and result codes of the VBE
// image-reading module. Standard library only: the module and the program that
// loads it both include this file.
//
// Objects follow the usual component rules: every interface starts with
// QueryInterface/AddRef/Release; an out-parameter interface pointer is owned by
// the caller, who releases it once. AddRef and Release may be called from any
// thread. The other calls of one object must not overlap: the caller drives an
// object from one thread at a time (the reader's scan runs on the module's own
// worker thread and is only observed through WaitTask).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vbe {

using Result = std::int32_t;

constexpr bool succeeded(Result r)
{
    return r >= 0;
}
constexpr bool failed(Result r)
{
    return r < 0;
}

// --- Result codes ----------------------------------------------------------
constexpr Result kOk = 0;
constexpr Result kFalse = 1;
constexpr Result kNotImplemented = static_cast<Result>(0x80004001u);
constexpr Result kNoInterface = static_cast<Result>(0x80004002u);
constexpr Result kPointer = static_cast<Result>(0x80004003u);
constexpr Result kAborted = static_cast<Result>(0x80004004u);
constexpr Result kFail = static_cast<Result>(0x80004005u);
constexpr Result kUnexpected = static_cast<Result>(0x8000FFFFu);
constexpr Result kNoAggregation = static_cast<Result>(0x80040110u);
constexpr Result kClassNotAvailable = static_cast<Result>(0x80040111u);
constexpr Result kFileNotFound = static_cast<Result>(0x80070002u);
constexpr Result kPathNotFound = static_cast<Result>(0x80070003u);
constexpr Result kAccessDenied = static_cast<Result>(0x80070005u);
constexpr Result kOutOfMemory = static_cast<Result>(0x8007000Eu);
constexpr Result kInvalidArg = static_cast<Result>(0x80070057u);

// WaitTask: the task is still running.
constexpr Result kTaskRunning = static_cast<Result>(0xEB020A06u);
// FindFirst: the folder has no entries.
constexpr Result kNoEntries = static_cast<Result>(0xEB110107u);
// FindNext: the enumeration has delivered every entry.
constexpr Result kNoMoreEntries = static_cast<Result>(0xEB110207u);
// OpenImage: the file holds no file system this module reads.
constexpr Result kUnrecognized = static_cast<Result>(0xEB010001u);
// EndTask: the file system is damaged beyond use (no readable root folder).
constexpr Result kCorrupt = static_cast<Result>(0xEB010002u);
// ReadFile: the image could not be read where the file's data lies.
constexpr Result kReadFault = static_cast<Result>(0xEB010003u);
// A browser call before a scan has ended successfully.
constexpr Result kNotReady = static_cast<Result>(0xEB010004u);

// --- Tasks -------------------------------------------------------------------
// OpenImage: the one access an image is opened with (read).
constexpr std::uint32_t kReadAccess = 0x80000000u;
// StartTask: the scan of the image's file system.
constexpr std::uint32_t kTaskScan = 6;
// WaitTask's status: no task, the task runs, the task has finished.
constexpr std::uint32_t kTaskIdle = 0;
constexpr std::uint32_t kTaskBusy = 1;
constexpr std::uint32_t kTaskFinished = 2;

// --- Identifiers -------------------------------------------------------------
struct Guid
{
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16);

constexpr bool operator==(const Guid& a, const Guid& b)
{
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.data4[i] != b.data4[i])
            return false;
    return true;
}

constexpr Guid IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr Guid IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// The engine class and its interface.
constexpr Guid CLSID_SdkEngine = {
    0xCF34958D, 0x6AC1, 0x4EA0, {0x87, 0x47, 0xCE, 0x86, 0x0A, 0xC0, 0xA6, 0xFC}};
constexpr Guid IID_ISdkEngine = {
    0xC3BB196E, 0x0165, 0x4AC1, {0xAA, 0xFA, 0x82, 0x9C, 0xA9, 0x83, 0x9F, 0x65}};
constexpr Guid IID_ISdkSettings = {
    0xEBB44941, 0xAC60, 0x49AD, {0xAC, 0xA5, 0xA5, 0x49, 0x47, 0x5C, 0xF1, 0x85}};
// The reader kind passed to CreateReader.
constexpr Guid IID_ISdkReader = {
    0x542A815A, 0x0F7C, 0x4999, {0xBB, 0xF9, 0x28, 0x52, 0x4B, 0x99, 0xAB, 0xFE}};
constexpr Guid IID_ISdkBrowser = {
    0x625E261C, 0x1693, 0x40D2, {0x94, 0xF7, 0x9F, 0xB0, 0x47, 0xE9, 0xBE, 0xA8}};
// This module's own identifier for the opened-image object.
constexpr Guid IID_ISdkImage = {
    0x3D1E5F0A, 0x7B2C, 0x4E61, {0x9A, 0x4F, 0x1C, 0x2B, 0x8E, 0x6D, 0x51, 0x07}};

// --- Records -------------------------------------------------------------------
struct FileTime
{
    std::uint32_t low;
    std::uint32_t high;
};

constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrNormal = 0x80;

// The kind bits of FindData::unixMode, as Linux numbers them.
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixSocket = 0140000;
constexpr std::uint32_t kUnixSymlink = 0120000;
constexpr std::uint32_t kUnixRegular = 0100000;
constexpr std::uint32_t kUnixBlockDevice = 0060000;
constexpr std::uint32_t kUnixDirectory = 0040000;
constexpr std::uint32_t kUnixCharDevice = 0020000;
constexpr std::uint32_t kUnixFifo = 0010000;

constexpr std::size_t kLabelChars = 128;
constexpr std::size_t kNameChars = 1024;

struct VolumeInfo
{
    std::uint32_t damage;        // damaged records left out while reading
    std::uint32_t folderCount;   // every folder below the root
    std::uint32_t fileCount;     // every file
    char16_t label[kLabelChars]; // UTF-16, NUL-terminated
};
static_assert(offsetof(VolumeInfo, damage) == 0);
static_assert(offsetof(VolumeInfo, folderCount) == 4);
static_assert(offsetof(VolumeInfo, fileCount) == 8);
static_assert(offsetof(VolumeInfo, label) == 12);

struct FindData
{
    std::uint32_t attributes; // kAttr* bits; kAttrDirectory for a folder
    FileTime modified;        // local time, 100-ns ticks since 1601-01-01
    std::uint32_t reserved0;
    std::uint32_t sizeLow;
    std::uint32_t sizeHigh;
    // What the image records about the entry as a Unix file; every field is 0
    // where it records nothing (plain ISO 9660 and Joliet).
    std::uint32_t unixMode;  // the kind and permission bits, as st_mode
    std::uint32_t unixLinks; // the link count
    std::uint32_t unixOwner; // user and group numbers; valid where unixMode is
    std::uint32_t unixGroup;
    // The same nonzero value for every name of one file (one data extent or
    // one file entry), 0 where the entry has none; see unixLinks.
    std::uint32_t fileIdLow;
    std::uint32_t fileIdHigh;
    std::uint8_t reserved1[516];
    char16_t name[kNameChars]; // UTF-16, NUL-terminated, never "." or ".."
};
static_assert(offsetof(FindData, attributes) == 0);
static_assert(offsetof(FindData, modified) == 4);
static_assert(offsetof(FindData, sizeLow) == 16);
static_assert(offsetof(FindData, sizeHigh) == 20);
static_assert(offsetof(FindData, unixMode) == 24);
static_assert(offsetof(FindData, fileIdHigh) == 44);
static_assert(offsetof(FindData, name) == 564);

// --- Interfaces ----------------------------------------------------------------
// Slot numbers are the positions in the virtual table; reservedN fill the
// slots this module does not use: declared in place, so every later slot
// keeps its position, and answering kNotImplemented for every implementation.

class IUnknown
{
public:
    virtual Result QueryInterface(const Guid& iid, void** out) = 0; // 0: out AddRef'ed
    virtual std::uint32_t AddRef() = 0;                             // 1: any thread
    virtual std::uint32_t Release() = 0;                            // 2: any thread

protected:
    ~IUnknown() = default;
};

class IClassFactory : public IUnknown
{
public:
    // 3: outer must be null; *out is owned by the caller.
    virtual Result CreateInstance(IUnknown* outer, const Guid& iid, void** out) = 0;
    // 4: keeps the module loaded while locks are held.
    virtual Result LockServer(std::int32_t lock) = 0;

protected:
    ~IClassFactory() = default;
};

// An opened image file. Holds the file open read-only until its last Release.
class ISdkImage : public IUnknown
{
protected:
    ~ISdkImage() = default;
};

class ISdkReader;

class ISdkEngine : public IUnknown
{
public:
    virtual Result reserved3() { return kNotImplemented; }
    virtual Result reserved4() { return kNotImplemented; }
    virtual Result reserved5() { return kNotImplemented; }
    virtual Result reserved6() { return kNotImplemented; }
    // 7: opens path (UTF-16, NUL-terminated) for reading and recognises its
    // content; *image is owned by the caller. flags must be 0, access kReadAccess.
    virtual Result OpenImage(std::uint32_t flags, std::uint32_t access, const char16_t* path,
                             ISdkImage** image) = 0;
    // 8: kind must be IID_ISdkReader; *reader is owned by the caller.
    virtual Result CreateReader(const Guid& kind, ISdkReader** reader) = 0;

protected:
    ~ISdkEngine() = default;
};

class ISdkSettings : public IUnknown
{
public:
    virtual Result reserved3() { return kNotImplemented; }
    // 4: accepted and remembered; the module keeps no settings of its own.
    virtual Result SetRegistryKey(const void* rootKey, const char16_t* keyPath,
                                  std::uint32_t length, std::uint32_t flags) = 0;

protected:
    ~ISdkSettings() = default;
};

class ISdkReader : public IUnknown
{
public:
    // 3: the reader AddRefs image and keeps it until ClearSource or its last Release.
    virtual Result SetSource(ISdkImage* image) = 0;
    virtual Result reserved4() { return kNotImplemented; }
    // 5: needs a source.
    virtual Result Open() = 0;
    virtual Result reserved6() { return kNotImplemented; }
    virtual Result reserved7() { return kNotImplemented; }
    virtual Result reserved8() { return kNotImplemented; }
    virtual Result reserved9() { return kNotImplemented; }
    virtual Result reserved10() { return kNotImplemented; }
    // 11: kTaskScan scans the file system on a worker thread and returns at once.
    virtual Result StartTask(std::uint32_t task, std::uint32_t arg1, std::uint32_t arg2) = 0;
    // 12: asks the running task to stop; returns at once.
    virtual Result AbortTask() = 0;
    // 13: waits up to ms; kTaskRunning while the task runs, else kOk. status
    // (kTaskIdle, kTaskBusy, kTaskFinished) and progress (0 to 1) may be null.
    virtual Result WaitTask(std::uint32_t ms, std::uint32_t* status, float* progress) = 0;
    // 14: waits for the task to finish and returns its outcome.
    virtual Result EndTask() = 0;
    // 15: stops any task and drops the scanned tree.
    virtual Result Close() = 0;
    // 16: releases the source image.
    virtual Result ClearSource() = 0;

protected:
    ~ISdkReader() = default;
};

// Queried from the reader; answers once EndTask has returned success.
class ISdkBrowser : public IUnknown
{
public:
    virtual Result reserved3() { return kNotImplemented; }
    virtual Result reserved4() { return kNotImplemented; }
    virtual Result reserved5() { return kNotImplemented; }
    virtual Result reserved6() { return kNotImplemented; }
    virtual Result reserved7() { return kNotImplemented; }
    virtual Result reserved8() { return kNotImplemented; }
    virtual Result reserved9() { return kNotImplemented; }
    virtual Result reserved10() { return kNotImplemented; }
    virtual Result reserved11() { return kNotImplemented; }
    virtual Result reserved12() { return kNotImplemented; }
    virtual Result reserved13() { return kNotImplemented; }
    virtual Result reserved14() { return kNotImplemented; }
    virtual Result reserved15() { return kNotImplemented; }
    virtual Result reserved16() { return kNotImplemented; }
    virtual Result reserved17() { return kNotImplemented; }
    virtual Result reserved18() { return kNotImplemented; }
    virtual Result reserved19() { return kNotImplemented; }
    virtual Result reserved20() { return kNotImplemented; }
    virtual Result reserved21() { return kNotImplemented; }
    virtual Result reserved22() { return kNotImplemented; }
    virtual Result reserved23() { return kNotImplemented; }
    virtual Result reserved24() { return kNotImplemented; }
    virtual Result reserved25() { return kNotImplemented; }
    virtual Result reserved26() { return kNotImplemented; }
    virtual Result reserved27() { return kNotImplemented; }
    // 28: the two counts add up to the number of entries below the root.
    virtual Result GetVolumeInfo(VolumeInfo* info) = 0;
    // 29: folder is backslash-separated, no leading backslash, "" = root.
    // kNoEntries for an empty folder, kPathNotFound for no such folder.
    // Starts the browser's one enumeration, replacing any earlier one.
    virtual Result FindFirst(const char16_t* folder, FindData* data) = 0;
    // 30: kNoMoreEntries after the last entry.
    virtual Result FindNext(FindData* data) = 0;
    // 31: ends the enumeration.
    virtual Result FindClose() = 0;
    // 32: opens the browser's one file for reading, replacing any earlier one.
    virtual Result OpenFile(const char16_t* path, std::uint64_t* size) = 0;
    // 33: the next bytes in order; at least one byte until the size is
    // reached, then 0 bytes and kOk. reserved must be 0.
    virtual Result ReadFile(void* buffer, std::uint32_t count, std::uint32_t* read,
                            std::uint32_t reserved) = 0;
    virtual Result reserved34() { return kNotImplemented; }
    // 35
    virtual Result CloseFile() = 0;

protected:
    ~ISdkBrowser() = default;
};

} // namespace vbe

// The module's two exports, looked up by name after loading it.
extern "C" {
using VbeDllGetClassObject = vbe::Result (*)(const vbe::Guid& clsid, const vbe::Guid& iid,
                                             void** out);
using VbeDllCanUnloadNow = vbe::Result (*)();
}
