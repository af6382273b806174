#include "index/block_reader.h"

#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

// How long a side waits for the other by looking again and again before it
// sleeps. A block takes some 5 to 10 µs to read or to work through; waking
// a thread that sleeps may take longer than that, and the thread would
// then never catch up again.
constexpr auto kSpin = std::chrono::microseconds(50);
// When the thread has missed more than a quarter of kWindow blocks (the
// caller read them itself, or slept until they were read), the processors
// are busy with other work and the two threads would only take turns on
// one: the next kSolo blocks are read by the caller alone, twice as many
// after each such window in a row, up to kSoloMost.
constexpr int kWindow = 64;
constexpr int64_t kSolo = 512;
constexpr int64_t kSoloMost = 16 * kSolo;

// True when this thread may run on more than one processor: on one, the
// two threads would only take turns.
bool two_processors() {
  cpu_set_t set;
  return sched_getaffinity(0, sizeof set, &set) != 0 || CPU_COUNT(&set) > 1;
}

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

// The thread that reads ahead, for one BlockReader at a time. It is made by
// the first reader that reads ahead and kept, idle, until the program ends:
// a thread that ends runs the C library's clean-up of its per-thread state,
// whose code (some 170 KiB of pages) would then stay in the program's
// memory, a tenth of what the index of a large file takes beyond its records.
class ReadAheadThread {
 public:
  // The thread; null when none can be had.
  static ReadAheadThread* get() {
    static ReadAheadThread* const thread = make();
    return thread;
  }

  // Runs r->read_ahead() on the thread; false when it works for another.
  bool start(BlockReader* r) {
    std::lock_guard<std::mutex> lock(mu_);
    if (job_) return false;
    job_ = r;
    cv_.notify_all();
    return true;
  }

  // Waits until the read_ahead() started last has returned.
  void finish() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return job_ == nullptr; });
  }

 private:
  static ReadAheadThread* make() {
    auto* t = new ReadAheadThread;  // kept for the program's life
    // The thread takes no signal: Ctrl-C and the others are the main
    // thread's (its handlers note them, and a reader's caller looks between
    // blocks), and none cuts a read of the thread short. A new thread
    // starts with the mask of the one that makes it.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    try {
      std::thread(&ReadAheadThread::loop, t).detach();
    } catch (const std::system_error&) {
      delete t;  // no thread to be had: each block is read when asked for
      t = nullptr;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return t;
  }

  void loop() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      cv_.wait(lock, [this] { return job_ != nullptr; });
      BlockReader* r = job_;
      lock.unlock();
      r->read_ahead();
      lock.lock();
      job_ = nullptr;
      cv_.notify_all();
    }
  }

  std::mutex mu_;
  std::condition_variable cv_;
  BlockReader* job_ = nullptr;
};

BlockReader::BlockReader(const ScanFile& file, int64_t offset, size_t block_size, bool ahead)
    : file_(file), block_size_(block_size), pos_(offset), solo_next_(kSolo) {
  // A file in memory hands out its bytes where they lie: no buffers.
  const bool buffers = !file.reads_in_place();
  if (buffers) buf_[0].reset(new char[block_size]);
  if (!ahead || !two_processors()) return;
  if (buffers) buf_[1].reset(new char[block_size]);
  thread_ = ReadAheadThread::get();
  if (thread_ && !thread_->start(this)) thread_ = nullptr;
}

BlockReader::~BlockReader() {
  if (!thread_) return;
  stop_ = true;
  wake(reader_sleeps_);
  thread_->finish();
}

void BlockReader::wake(const std::atomic<bool>& sleeps) {
  if (!sleeps) return;
  // Once the lock is had, the sleeper is inside cv_.wait, or will look at
  // what changed before it sleeps.
  { std::lock_guard<std::mutex> lock(mu_); }
  cv_.notify_all();
}

template <typename Ready>
bool BlockReader::wait(std::atomic<bool>* sleeps, bool spin, const Ready& ready) {
  if (ready()) return false;
  if (spin) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    for (int n = 1; !ready(); n++) {
      if (n % 64 == 0 && std::chrono::steady_clock::now() > until) break;
      relax();
    }
    if (ready()) return false;
  }
  std::unique_lock<std::mutex> lock(mu_);
  *sleeps = true;
  cv_.wait(lock, ready);
  *sleeps = false;
  return true;
}

bool BlockReader::try_read(int64_t j) {
  if (done_ != j || at_end_ || wanted_ < j - 1) return false;
  int64_t expected = j;
  if (!claimed_.compare_exchange_strong(expected, j + 1)) return false;
  std::string_view got;
  const int error = file_.read(pos_, block_size_, &got, buf_[j % 2].get());
  got_[j % 2] = got;
  error_[j % 2] = error;
  pos_ += static_cast<int64_t>(got.size());
  if (got.empty()) at_end_ = true;
  done_ = j + 1;
  wake(caller_sleeps_);
  if (!solo_) wake(reader_sleeps_);
  return true;
}

void BlockReader::read_ahead() {
  for (;;) {
    // The next block, once the read before it is done and the caller has
    // asked for the block before it (its buffer held the one before that).
    wait(&reader_sleeps_, !solo_, [this] {
      const int64_t j = claimed_;
      return stop_ || at_end_ || (!solo_ && done_ == j && wanted_ >= j - 1);
    });
    if (stop_ || at_end_) return;
    try_read(claimed_);  // the caller may have taken it first
  }
}

void BlockReader::count_miss(bool missed) {
  if (solo_) {
    if (--solo_left_ == 0) {
      solo_ = false;
      wake(reader_sleeps_);
    }
    return;
  }
  missed_ += missed;
  if (++window_ < kWindow) return;
  if (missed_ > kWindow / 4) {
    solo_ = true;
    solo_left_ = solo_next_;
    solo_next_ = std::min(2 * solo_next_, kSoloMost);
  } else {
    solo_next_ = kSolo;
  }
  window_ = missed_ = 0;
}

int BlockReader::next(std::string_view* block) {
  *block = std::string_view();
  if (ended_) return 0;
  int error;
  if (!thread_) {
    error = file_.read(pos_, block_size_, block, buf_[0].get());
    pos_ += static_cast<int64_t>(block->size());
  } else {
    // The block before is done with: its buffer may take the one after this.
    const int64_t j = ++wanted_;
    if (!solo_) wake(reader_sleeps_);
    // Not begun by the thread: read here; else wait for its read.
    const bool missed = try_read(j) || wait(&caller_sleeps_, true, [this, j] { return done_ > j; });
    *block = got_[j % 2];
    error = error_[j % 2];
    count_miss(missed);
  }
  ended_ = block->empty();
  return error;
}
