#include "encoder_pool.h"

#include <algorithm>
#include <utility>

#include "failure.h"

EncoderPool::EncoderPool(std::vector<std::unique_ptr<Encoder>> encoders, Write write)
    : encoders_(std::move(encoders)),
      write_(std::move(write)),
      jobs_(kSlotsPerThread * std::max<std::size_t>(1, encoders_.size())) {
  threads_.reserve(encoders_.size());
  try {
    for (std::size_t i = 1; i < encoders_.size(); ++i) {
      threads_.emplace_back([this, i] { work(*encoders_[i]); });
    }
  } catch (...) {
    // The system has no thread to spare: the threads already started end.
    stop();
    throw;
  }
}

EncoderPool::~EncoderPool() { stop(); }

void EncoderPool::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void EncoderPool::submit(int index, std::string_view plain) {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      if (queued_ < jobs_.size() && !(queued_ > 0 && jobs_[oldest_].done)) {
        Job& job = jobs_[(oldest_ + queued_) % jobs_.size()];
        job.index = index;
        job.plain.assign(plain);
        job.taken = job.done = false;
        job.failure = nullptr;
        ++queued_;
        lock.unlock();
        changed_.notify_all();
        return;
      }
    }
    // All slots taken, or a job done: hand back before queueing more.
    handBackOldest();
  }
}

void EncoderPool::drain() {
  std::exception_ptr first;
  for (;;) {
    {
      const std::lock_guard lock(mutex_);
      if (queued_ == 0) break;
    }
    keepFirstFailure(first, [this] { handBackOldest(); });
  }
  if (first) std::rethrow_exception(first);
}

void EncoderPool::handBackOldest() {
  std::unique_lock lock(mutex_);
  // Rather than wait for the oldest job, this thread compresses one itself
  // while there is one no thread has taken: it never waits while work is
  // queued and a core could do it.
  while (!jobs_[oldest_].done) {
    Job* job = untaken();
    if (job != nullptr && !encoders_.empty()) {
      compress(*encoders_.front(), *job, lock);
    } else {
      changed_.wait(lock);
    }
  }
  Job& job = jobs_[oldest_];
  lock.unlock();
  // No thread touches a done job until its slot is freed, which happens on
  // the way out, thrown or not.
  struct FreeSlot {
    EncoderPool& pool;
    ~FreeSlot() {
      {
        const std::lock_guard lock(pool.mutex_);
        pool.jobs_[pool.oldest_].taken = pool.jobs_[pool.oldest_].done = false;
        pool.oldest_ = (pool.oldest_ + 1) % pool.jobs_.size();
        --pool.queued_;
      }
      pool.changed_.notify_all();
    }
  } freeSlot{*this};
  if (std::find(failedOutputs_.begin(), failedOutputs_.end(), job.index) != failedOutputs_.end()) return;
  try {
    if (job.failure) std::rethrow_exception(job.failure);
    write_(job.index, job.compressed);
  } catch (...) {
    failedOutputs_.push_back(job.index);
    throw;
  }
}

void EncoderPool::work(Encoder& encoder) {
  std::unique_lock lock(mutex_);
  for (;;) {
    Job* job = nullptr;
    changed_.wait(lock, [&] { return stopping_ || (job = untaken()) != nullptr; });
    if (stopping_) return;
    compress(encoder, *job, lock);
  }
}

EncoderPool::Job* EncoderPool::untaken() {
  for (std::size_t i = 0; i < queued_; ++i) {
    Job& job = jobs_[(oldest_ + i) % jobs_.size()];
    if (!job.taken) return &job;
  }
  return nullptr;
}

void EncoderPool::compress(Encoder& encoder, Job& job, std::unique_lock<std::mutex>& lock) {
  job.taken = true;
  lock.unlock();
  try {
    job.compressed.assign(encoder.encode(job.plain));
  } catch (...) {
    job.failure = std::current_exception();
  }
  lock.lock();
  job.done = true;
  changed_.notify_all();
}
