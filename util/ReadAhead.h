#pragma once
// Reading ahead on a thread of its own: batches are filled there while the caller's thread works
// on the batch before, so that reading and writing overlap. A fixed set of batches goes round
// between the two threads; nothing else is shared. Portable (std::thread).

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

template <class Batch, std::size_t kBatches = 4>
class TReadAhead {
public:
    // FILL runs on the reading thread, from construction on, once for each batch: it fills the
    // batch it is given (as it was when the caller recycled it) and returns false once there is
    // nothing more to read. Every batch goes to the caller, the last one too, and so does the
    // batch FILL was filling when it raised; Next raises the failure after that batch.
    explicit TReadAhead(std::function<bool(Batch&)> fill) : fill_(std::move(fill))
    {
        for (Batch& batch : batches_)
            free_.push_back(&batch);
        thread_ = std::thread([this] { Run(); });
    }

    // Stops the reading thread (after the batch it is filling) and waits for it.
    ~TReadAhead()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // The next batch in reading order; nullptr after the last. When FILL raised, its failure is
    // raised here once the batches before it are taken.
    Batch* Next()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !full_.empty() || done_; });
        if (!full_.empty()) {
            Batch* batch = full_.front();
            full_.pop_front();
            return batch;
        }
        if (failure_)
            std::rethrow_exception(failure_);
        return nullptr;
    }

    // Gives a batch taken with Next back for reading into.
    void Recycle(Batch* batch)
    {
        {
            const std::lock_guard lock(mutex_);
            free_.push_back(batch);
        }
        changed_.notify_all();
    }

private:
    void Run()
    {
        bool more = true;
        while (more) {
            Batch* batch = nullptr;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !free_.empty() || stop_; });
                if (stop_)
                    break;
                batch = free_.front();
                free_.pop_front();
            }
            std::exception_ptr failure;
            try {
                more = fill_(*batch);
            } catch (...) {
                failure = std::current_exception();
                more = false;
            }
            {
                const std::lock_guard lock(mutex_);
                full_.push_back(batch);
                failure_ = failure;
            }
            changed_.notify_all();
        }
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }

    std::function<bool(Batch&)> fill_;
    std::array<Batch, kBatches> batches_;
    std::deque<Batch*> free_;
    std::deque<Batch*> full_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool done_ = false;
    std::exception_ptr failure_;
    std::thread thread_;  // last: it starts once everything above is there
};

// The bytes of the values a batch keeps by place (texts, BLOBs). The buffer grows to the
// largest batch and stays, so that a batch filled again allocates nothing.
class TBatchBytes {
public:
    void Clear() { used_ = 0; }
    // The bytes in use; the next ones go at this offset.
    std::size_t Size() const { return used_; }
    // Room for N more bytes at offset Size(); Grow then takes what was written there.
    char* Reserve(std::size_t n)
    {
        if (data_.size() < used_ + n)
            data_.resize(std::max(used_ + n, 2 * data_.size()));
        return data_.data() + used_;
    }
    void Grow(std::size_t n) { used_ += n; }
    const char* At(std::size_t offset) const { return data_.data() + offset; }

private:
    std::vector<char> data_;
    std::size_t used_ = 0;
};
