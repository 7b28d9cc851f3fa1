// The component objects: class factory, engine, image, reader/browser, and
// the two exported entry points.
#include "ByteSource.h"
#include "FileReader.h"
#include "ImageScan.h"
#include "IsoParser.h"
#include "OpenDisc.h"
#include "PathIndex.h"
#include "Text.h"
#include "VbeSdk.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#define VBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace vbe {

namespace {

std::atomic<long> gObjects{0};
// Answered only by this module's images: lets the reader check that the image
// it is given is one of its own before it looks inside.
constexpr Guid kImageImplementation = {
    0x8B7A3C21, 0x5E4D, 0x4F9A, {0xB1, 0x6C, 0x2D, 0x0E, 0x93, 0x47, 0xA5, 0x18}};
std::atomic<long> gLocks{0};

// Keeps exceptions inside the module: every interface call runs through it.
template <typename F>
Result guarded(F&& f) noexcept
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kFail;
    }
}

// Reference count and module object count shared by every object.
class RefCounted
{
public:
    RefCounted() { gObjects.fetch_add(1, std::memory_order_relaxed); }
    virtual ~RefCounted() { gObjects.fetch_sub(1, std::memory_order_acq_rel); }
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    std::uint32_t addRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t release()
    {
        std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<std::uint32_t> refs_{1};
};

void copyText(char16_t* dst, std::size_t capacity, std::u16string_view s)
{
    std::size_t n = std::min(s.size(), capacity - 1);
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = s[i];
    dst[n] = 0;
}

// UTC seconds to a FILETIME of the local time, by the C library's time-zone rules.
FileTime localFileTime(const Entry& e)
{
    FileTime ft{0, 0};
    if (!e.hasTime)
        return ft;
    std::time_t t = static_cast<std::time_t>(e.mtime);
    std::tm tm{};
    std::int64_t local = e.mtime;
    if (localtime_r(&t, &tm))
        local += tm.tm_gmtoff;
    constexpr std::int64_t kEpochDelta = 11644473600; // 1601-01-01 to 1970-01-01
    if (local + kEpochDelta < 0)
        return ft;
    std::uint64_t ticks =
        std::uint64_t(local + kEpochDelta) * 10'000'000u + std::uint64_t(e.hundredths) * 100'000u;
    ft.low = static_cast<std::uint32_t>(ticks);
    ft.high = static_cast<std::uint32_t>(ticks >> 32);
    return ft;
}

class Image final : public ISdkImage, public RefCounted
{
public:
    explicit Image(OpenedImage opened) : opened_(std::move(opened)) {}
    Result QueryInterface(const Guid& iid, void** out) override
    {
        if (!out)
            return kPointer;
        if (iid == IID_IUnknown || iid == IID_ISdkImage) {
            *out = static_cast<ISdkImage*>(this);
            addRef();
            return kOk;
        }
        if (iid == kImageImplementation) {
            *out = this;
            addRef();
            return kOk;
        }
        *out = nullptr;
        return kNoInterface;
    }
    std::uint32_t AddRef() override { return addRef(); }
    std::uint32_t Release() override { return release(); }

    const OpenedImage& opened() const { return opened_; }

private:
    OpenedImage opened_;
};

// The scan running on the worker thread.
struct Task
{
    std::thread thread;
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0};
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Result outcome = kOk;
    std::unique_ptr<Tree> tree;
};

class Reader final : public ISdkReader, public ISdkBrowser, public RefCounted
{
public:
    ~Reader() override
    {
        stopTask();
        if (image_)
            image_->Release();
    }

    Result QueryInterface(const Guid& iid, void** out) override
    {
        if (!out)
            return kPointer;
        if (iid == IID_IUnknown || iid == IID_ISdkReader) {
            *out = static_cast<ISdkReader*>(this);
        } else if (iid == IID_ISdkBrowser) {
            *out = static_cast<ISdkBrowser*>(this);
        } else {
            *out = nullptr;
            return kNoInterface;
        }
        addRef();
        return kOk;
    }
    std::uint32_t AddRef() override { return addRef(); }
    std::uint32_t Release() override { return release(); }

    // --- reader ---
    Result SetSource(ISdkImage* image) override
    {
        return guarded([&] {
            if (!image)
                return kPointer;
            if (task_)
                return kUnexpected;
            void* own = nullptr;
            if (image->QueryInterface(kImageImplementation, &own) != kOk || !own)
                return kInvalidArg;
            if (image_)
                image_->Release();
            image_ = static_cast<Image*>(own); // keeps the reference QueryInterface added
            file_.reset();
            fileData_.reset();
            return kOk;
        });
    }
    Result Open() override
    {
        if (!image_)
            return kUnexpected;
        open_ = true;
        return kOk;
    }
    Result StartTask(std::uint32_t task, std::uint32_t, std::uint32_t) override
    {
        return guarded([&] {
            if (task != kTaskScan)
                return kInvalidArg;
            if (!open_ || !image_ || task_)
                return kUnexpected;
            resetBrowsing();
            tree_.reset();
            auto t = std::make_shared<Task>();
            // The scan keeps the image's views alive while it runs.
            auto source = std::make_shared<OpenedImage>(image_->opened());
            t->thread = std::thread([t, source] {
                Result outcome = kOk;
                auto tree = std::unique_ptr<Tree>();
                try {
                    tree = std::make_unique<Tree>();
                    ScanControl control{&t->abort, &t->progress};
                    switch (scanOpened(*source, *tree, control)) {
                    case ScanStatus::Ok:
                        // The tree is kept while the image is browsed:
                        // what only the scan needed goes back.
                        tree->shrink();
                        break;
                    case ScanStatus::Unrecognized:
                        outcome = kUnrecognized;
                        break;
                    case ScanStatus::Corrupt:
                        outcome = kCorrupt;
                        break;
                    case ScanStatus::Aborted:
                        outcome = kAborted;
                        break;
                    }
                } catch (const std::bad_alloc&) {
                    outcome = kOutOfMemory;
                } catch (...) {
                    outcome = kFail;
                }
                std::lock_guard lock(t->mutex);
                t->outcome = outcome;
                if (outcome == kOk)
                    t->tree = std::move(tree);
                t->finished = true;
                t->done.notify_all();
            });
            task_ = std::move(t);
            return kOk;
        });
    }
    Result AbortTask() override
    {
        if (task_)
            task_->abort.store(true, std::memory_order_relaxed);
        return kOk;
    }
    Result WaitTask(std::uint32_t ms, std::uint32_t* status, float* progress) override
    {
        return guarded([&] {
            if (!task_) {
                if (status)
                    *status = kTaskIdle;
                if (progress)
                    *progress = tree_ ? 1.0f : 0.0f;
                return kOk;
            }
            std::unique_lock lock(task_->mutex);
            bool finished = task_->done.wait_for(lock, std::chrono::milliseconds(ms),
                                                 [&] { return task_->finished; });
            if (status)
                *status = finished ? kTaskFinished : kTaskBusy;
            if (progress)
                *progress = finished ? 1.0f : task_->progress.load(std::memory_order_relaxed);
            return finished ? kOk : kTaskRunning;
        });
    }
    Result EndTask() override
    {
        return guarded([&] {
            if (!task_)
                return kUnexpected;
            task_->thread.join();
            Result outcome = task_->outcome;
            if (outcome == kOk) {
                tree_ = std::move(task_->tree);
                index_ = std::make_unique<PathIndex>(*tree_);
            }
            task_.reset();
            return outcome;
        });
    }
    Result Close() override
    {
        stopTask();
        resetBrowsing();
        tree_.reset();
        open_ = false;
        return kOk;
    }
    Result ClearSource() override
    {
        Close();
        if (image_) {
            image_->Release();
            image_ = nullptr;
        }
        return kOk;
    }

    // --- browser ---
    Result GetVolumeInfo(VolumeInfo* info) override
    {
        if (!info)
            return kPointer;
        if (!tree_)
            return kNotReady;
        std::memset(info, 0, sizeof *info);
        info->folderCount = tree_->folders;
        info->fileCount = tree_->files;
        info->damage = tree_->damage;
        copyText(info->label, kLabelChars, tree_->label);
        return kOk;
    }
    Result FindFirst(const char16_t* folder, FindData* data) override
    {
        return guarded([&] {
            if (!folder || !data)
                return kPointer;
            if (!tree_)
                return kNotReady;
            findDir_.reset();
            auto dir = index_->find(folder);
            if (!dir || !tree_->entries[*dir].directory)
                return kPathNotFound;
            if (tree_->children(*dir).empty())
                return kNoEntries;
            findDir_ = *dir;
            findPos_ = 0;
            return deliver(data, kNoEntries);
        });
    }
    Result FindNext(FindData* data) override
    {
        if (!data)
            return kPointer;
        if (!tree_ || !findDir_)
            return kNoMoreEntries;
        return deliver(data, kNoMoreEntries);
    }
    Result FindClose() override
    {
        findDir_.reset();
        return kOk;
    }
    Result OpenFile(const char16_t* path, std::uint64_t* size) override
    {
        return guarded([&] {
            if (!path || !size)
                return kPointer;
            if (!tree_)
                return kNotReady;
            file_.reset();
            auto at = index_->find(path);
            if (!at)
                return kFileNotFound;
            const Entry& e = tree_->entries[*at];
            if (e.directory)
                return kAccessDenied;
            if (!fileData_)
                fileData_ = std::make_shared<GatheredSource>(image_->opened().data);
            file_ = std::make_unique<FileReader>(fileData_, *tree_, e);
            *size = file_->size();
            return kOk;
        });
    }
    Result ReadFile(void* buffer, std::uint32_t count, std::uint32_t* read, std::uint32_t) override
    {
        return guarded([&] {
            if (!read || (!buffer && count))
                return kPointer;
            *read = 0;
            if (!file_)
                return kUnexpected;
            std::int64_t got = file_->read(buffer, count);
            if (got < 0)
                return kReadFault;
            *read = static_cast<std::uint32_t>(got);
            return kOk;
        });
    }
    Result CloseFile() override
    {
        file_.reset();
        return kOk;
    }

private:
    Result deliver(FindData* data, Result atEnd)
    {
        const auto kids = tree_->children(*findDir_);
        if (findPos_ >= kids.size()) {
            findDir_.reset();
            return atEnd;
        }
        const Entry& e = tree_->entries[kids[findPos_++]];
        std::memset(data, 0, offsetof(FindData, name));
        std::uint32_t attributes = 0;
        if (e.directory)
            attributes |= kAttrDirectory;
        if (e.hidden)
            attributes |= kAttrHidden;
        data->attributes = attributes ? attributes : kAttrNormal;
        data->modified = localFileTime(e);
        data->sizeLow = static_cast<std::uint32_t>(e.size);
        data->sizeHigh = static_cast<std::uint32_t>(e.size >> 32);
        data->unixMode = e.mode;
        data->unixLinks = e.links;
        data->unixOwner = e.uid;
        data->unixGroup = e.gid;
        data->fileIdLow = static_cast<std::uint32_t>(e.fileId);
        data->fileIdHigh = static_cast<std::uint32_t>(e.fileId >> 32);
        copyText(data->name, kNameChars, tree_->name(e));
        return kOk;
    }
    void stopTask()
    {
        if (!task_)
            return;
        task_->abort.store(true, std::memory_order_relaxed);
        if (task_->thread.joinable())
            task_->thread.join();
        task_.reset();
    }
    void resetBrowsing()
    {
        findDir_.reset();
        file_.reset();
        fileData_.reset();
        index_.reset();
    }

    Image* image_ = nullptr;
    bool open_ = false;
    std::shared_ptr<Task> task_;
    std::unique_ptr<Tree> tree_;
    std::unique_ptr<PathIndex> index_;
    std::optional<std::uint32_t> findDir_;
    std::size_t findPos_ = 0;
    std::unique_ptr<FileReader> file_;
    // What files are read through: small files in a row come in one read.
    std::shared_ptr<ByteSource> fileData_;
};

class Engine final : public ISdkEngine, public ISdkSettings, public RefCounted
{
public:
    Result QueryInterface(const Guid& iid, void** out) override
    {
        if (!out)
            return kPointer;
        if (iid == IID_IUnknown || iid == IID_ISdkEngine) {
            *out = static_cast<ISdkEngine*>(this);
        } else if (iid == IID_ISdkSettings) {
            *out = static_cast<ISdkSettings*>(this);
        } else {
            *out = nullptr;
            return kNoInterface;
        }
        addRef();
        return kOk;
    }
    std::uint32_t AddRef() override { return addRef(); }
    std::uint32_t Release() override { return release(); }

    Result OpenImage(std::uint32_t, std::uint32_t access, const char16_t* path,
                     ISdkImage** image) override
    {
        return guarded([&] {
            if (!image)
                return kPointer;
            *image = nullptr;
            if (!path)
                return kPointer;
            // Images are only ever read.
            if (access & ~kReadAccess)
                return kAccessDenied;
            OpenedImage opened;
            if (const Result r = openDiscImage(path, &opened); r != kOk)
                return r;
            *image = new Image(std::move(opened));
            return kOk;
        });
    }
    Result CreateReader(const Guid& kind, ISdkReader** reader) override
    {
        return guarded([&] {
            if (!reader)
                return kPointer;
            *reader = nullptr;
            if (!(kind == IID_ISdkReader))
                return kInvalidArg;
            *reader = new Reader();
            return kOk;
        });
    }
    Result SetRegistryKey(const void*, const char16_t* keyPath, std::uint32_t length,
                          std::uint32_t) override
    {
        return guarded([&] {
            if (!keyPath)
                return kPointer;
            keyPath_.assign(keyPath, length);
            return kOk;
        });
    }

private:
    std::u16string keyPath_;
};

class ClassFactory final : public IClassFactory, public RefCounted
{
public:
    Result QueryInterface(const Guid& iid, void** out) override
    {
        if (!out)
            return kPointer;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            addRef();
            return kOk;
        }
        *out = nullptr;
        return kNoInterface;
    }
    std::uint32_t AddRef() override { return addRef(); }
    std::uint32_t Release() override { return release(); }
    Result CreateInstance(IUnknown* outer, const Guid& iid, void** out) override
    {
        return guarded([&] {
            if (!out)
                return kPointer;
            *out = nullptr;
            if (outer)
                return kNoAggregation;
            auto* engine = new Engine();
            Result r = engine->QueryInterface(iid, out);
            engine->Release();
            return r;
        });
    }
    Result LockServer(std::int32_t lock) override
    {
        if (lock)
            gLocks.fetch_add(1);
        else
            gLocks.fetch_sub(1);
        return kOk;
    }
};

} // namespace
} // namespace vbe

VBE_EXPORT vbe::Result DllGetClassObject(const vbe::Guid& clsid, const vbe::Guid& iid, void** out)
{
    return vbe::guarded([&] {
        if (!out)
            return vbe::kPointer;
        *out = nullptr;
        if (!(clsid == vbe::CLSID_SdkEngine))
            return vbe::kClassNotAvailable;
        auto* factory = new vbe::ClassFactory();
        vbe::Result r = factory->QueryInterface(iid, out);
        factory->Release();
        return r;
    });
}

VBE_EXPORT vbe::Result DllCanUnloadNow()
{
    return vbe::gObjects.load() == 0 && vbe::gLocks.load() == 0 ? vbe::kOk : vbe::kFalse;
}
