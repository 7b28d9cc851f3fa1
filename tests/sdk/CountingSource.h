// A source that counts what the reader asks of the image it wraps and, when
// told to, takes its time as a slow drive would.
#pragma once

#include "ByteSource.h"

#include <chrono>
#include <memory>
#include <thread>

class CountingSource final : public vbe::ByteSource
{
public:
    explicit CountingSource(std::shared_ptr<vbe::ByteSource> inner,
                            std::chrono::milliseconds delay = {})
        : inner_(std::move(inner)), delay_(delay)
    {
    }
    std::uint64_t size() const override { return inner_->size(); }
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) override
    {
        ++reads;
        bytes += n;
        std::this_thread::sleep_for(delay_);
        return inner_->readAt(offset, dst, n);
    }
    std::uint64_t reads = 0, bytes = 0;

private:
    std::shared_ptr<vbe::ByteSource> inner_;
    std::chrono::milliseconds delay_;
};
