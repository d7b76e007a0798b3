#include "encoder_pool.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "failure.h"

EncoderPool::EncoderPool(std::vector<std::unique_ptr<Encoder>> encoders, Write write)
    : encoders_(std::move(encoders)),
      write_(std::move(write)),
      jobs_(kSlotsPerThread * std::max<std::size_t>(1, encoders_.size())) {
  threads_.reserve(encoders_.size());
  for (std::size_t i = 1; i < encoders_.size(); ++i) {
    try {
      threads_.emplace_back([this, i] { work(*encoders_[i]); });
    } catch (const std::system_error&) {
      // The system has no thread to spare: the pool goes on with those it
      // has, and the caller's thread compresses whatever they leave.
      break;
    }
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
  // The piece is queued before anything goes wrong with it in hand: a failed
  // write of an older piece (of any output) is thrown once this one is safe
  // in its slot, so that its output loses nothing.
  std::exception_ptr first;
  for (;;) {
    {
      const std::lock_guard lock(mutex_);
      if (queued_ < jobs_.size()) {
        Job& job = jobs_[(oldest_ + queued_) % jobs_.size()];
        job.index = index;
        job.taken = job.done = false;
        job.failure = nullptr;
        try {
          job.plain.assign(plain);
        } catch (...) {
          // No memory for the copy: the piece fails where it stands, as one
          // that could not be compressed does.
          job.failure = std::current_exception();
          job.plain.clear();
          job.taken = job.done = true;
        }
        ++queued_;
        break;
      }
    }
    // All slots taken: hand back the oldest first.
    keepFirstFailure(first, [this] { handBackOldest(); });
  }
  changed_.notify_all();
  if (first) std::rethrow_exception(first);
  // What is done goes out now, so that a slot is free for the next piece.
  while (oldestDone()) handBackOldest();
}

bool EncoderPool::oldestDone() {
  const std::lock_guard lock(mutex_);
  return queued_ > 0 && jobs_[oldest_].done;
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
  // After a failed piece, its output takes nothing that would leave a gap.
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
