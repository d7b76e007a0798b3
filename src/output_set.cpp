#include "output_set.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <new>
#include <utility>

#include "failure.h"
#include "output_table.h"

namespace {

// Each output's share of the budget, within its bounds. A share of a page or
// more is a whole number of pages: full buffers are then written as whole
// pages, which a file system takes without zeroing or merging part pages.
std::size_t bufferSize(const OutputBudget& budget, int count) {
  constexpr std::size_t kPage = 4096;
  std::size_t share = budget.totalBytes / static_cast<std::size_t>(count);
  if (share >= kPage) share -= share % kPage;
  return std::clamp(share, budget.leastPerOutput, std::max(budget.leastPerOutput, budget.mostPerOutput));
}

// The bytes of `count` buffers of `each`; throws std::bad_alloc when that is
// more than the address space holds (a 32-bit system with millions of outputs).
std::size_t arenaSize(std::size_t each, std::size_t count) {
  if (count != 0 && each > SIZE_MAX / count) throw std::bad_alloc();
  return each * count;
}

}  // namespace

OutputSet::OutputSet(OutputNames names, int count, const OutputBudget& budget)
    : files_(std::move(names), count, budget.mostOpen),
      outputs_(outputTable<Output>(count)),
      perOutput_(static_cast<std::uint32_t>(bufferSize(budget, count))),
      arena_(arenaSize(perOutput_, outputs_.size())) {
  for (Output& output : outputs_) output.room = perOutput_;
}

OutputSet::~OutputSet() {
  if (!sink_ || finishing_) return;
  try {
    finish();
  } catch (...) {
    // Reported, if at all, by what left the set unfinished.
  }
}

void OutputSet::create(std::vector<std::unique_ptr<Encoder>> encoders) {
  // The sink first: what it needs of memory (an empty member to complete
  // an output with, its threads) is had before any output is touched.
  sink_ = encoders.empty() ? plainSink(files_) : compressedSink(files_, std::move(encoders));
  for (int i = 0; i < count(); ++i) files_.create(i);
}

void OutputSet::appendToAll(std::string_view head, std::string_view tail) {
  for (int i = 0; i < count(); ++i) append(i, head, tail);
}

void OutputSet::finish() {
  finishing_ = true;
  std::exception_ptr first;
  for (int i = 0; i < count(); ++i) keepFirstFailure(first, [&] { flush(i); });
  if (sink_) keepFirstFailure(first, [&] { sink_->finish(); });
  if (first) std::rethrow_exception(first);
}

void OutputSet::appendSlowly(int index, std::string_view head, std::string_view tail) {
  Output& output = outputs_[static_cast<std::size_t>(index)];
  // The buffer is filled to the brim and written whole, so that every write
  // of an output but its last is a full buffer: with many outputs and small
  // buffers, the number of writes is what costs.
  for (std::string_view piece : {head, tail}) {
    while (!piece.empty()) {
      if (output.room == 0) flush(index);
      if (output.used == 0 && piece.size() >= perOutput_) {
        sink_->take(index, piece);  // a buffer or more: straight out
        break;
      }
      const std::size_t part = std::min<std::size_t>(output.room, piece.size());
      copyBytes(bufferOf(index) + output.used, piece.data(), part);
      output.used += static_cast<std::uint32_t>(part);
      output.room -= static_cast<std::uint32_t>(part);
      piece.remove_prefix(part);
    }
  }
}

void OutputSet::flush(int index) {
  Output& output = outputs_[static_cast<std::size_t>(index)];
  if (output.used == 0) return;
  const std::string_view full(bufferOf(index), output.used);
  // Emptied first: a piece that fails to go out is not offered again.
  output.used = 0;
  output.room = perOutput_;
  sink_->take(index, full);
}
