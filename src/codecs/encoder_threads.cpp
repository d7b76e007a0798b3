#include "encoder_threads.h"

#include <new>
#include <system_error>
#include <utility>

EncoderThreads::EncoderThreads(std::vector<std::unique_ptr<Encoder>> encoders, Write write)
    : encoders_(std::move(encoders)), write_(std::move(write)), jobs_(kSlots) {
  threads_.reserve(encoders_.size());
  try {
    for (const std::unique_ptr<Encoder>& encoder : encoders_) {
      threads_.emplace_back([this, &encoder] { work(*encoder); });
    }
  } catch (const std::system_error&) {
    // The system has no thread to spare (a limit on threads or on memory):
    // the threads already started end, and the run reports no memory.
    stop();
    throw std::bad_alloc();
  }
}

EncoderThreads::~EncoderThreads() { stop(); }

void EncoderThreads::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void EncoderThreads::submit(int index, std::string_view plain) {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      if (queued_ < kSlots && !(queued_ > 0 && jobs_[oldest_].done)) {
        Job& job = jobs_[(oldest_ + queued_) % kSlots];
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

void EncoderThreads::drain() {
  for (;;) {
    {
      const std::lock_guard lock(mutex_);
      if (queued_ == 0) return;
    }
    handBackOldest();
  }
}

void EncoderThreads::handBackOldest() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return jobs_[oldest_].done; });
  Job& job = jobs_[oldest_];
  lock.unlock();
  // No thread touches a done job until its slot is freed below.
  if (job.failure) std::rethrow_exception(job.failure);
  write_(job.index, job.compressed);
  lock.lock();
  job.taken = job.done = false;
  oldest_ = (oldest_ + 1) % kSlots;
  --queued_;
  lock.unlock();
  changed_.notify_all();
}

void EncoderThreads::work(Encoder& encoder) {
  std::unique_lock lock(mutex_);
  for (;;) {
    // The oldest queued job no thread has taken yet.
    Job* next = nullptr;
    changed_.wait(lock, [&] {
      for (std::size_t i = 0; i < queued_ && next == nullptr; ++i) {
        Job& job = jobs_[(oldest_ + i) % kSlots];
        if (!job.taken) next = &job;
      }
      return stopping_ || next != nullptr;
    });
    if (stopping_) return;
    Job& job = *next;
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
}
