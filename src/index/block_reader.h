// A scan file read in blocks, one after another from an offset: the bytes of
// read(pos, n) for pos = the offset, then pos plus what the last read gave,
// until a read gives nothing.
//
// With read-ahead, a second thread (one for the whole program, idle between
// passes) reads the next block into a second buffer while the caller works
// on the block handed out, so that copying the file's pages and the
// caller's work share the machine's processors. The reads are the same, at
// the same offsets and of the same size, only made earlier: what the caller
// is handed does not depend on the thread. A block the thread has not begun
// to read when it is asked for (the processors are busy with other work) is
// read by the caller itself.
#ifndef KURVATAB_INDEX_BLOCK_READER_H_
#define KURVATAB_INDEX_BLOCK_READER_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "format/scan_file.h"

class ReadAheadThread;

class BlockReader {
 public:
  // Reads `file` from `offset` on in blocks of `block_size` bytes, ahead of
  // the caller when `ahead` (and the program may run on two processors and
  // a thread can be had). `file` must stay open
  // while the reader lives. Throws std::bad_alloc.
  BlockReader(const ScanFile& file, int64_t offset, size_t block_size, bool ahead);
  // Stops the thread's reads, if any, and waits until they have ended.
  ~BlockReader();
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // Sets *block to the next block, valid until the next call; empty at the
  // end. Returns 0, or the errno of its read (*block then holds what that
  // read gave before the error).
  int next(std::string_view* block);

  bool reads_ahead() const { return thread_ != nullptr; }

 private:
  void read_ahead();  // the thread's part
  // Reads block j when it is the next to be read, the read before it is
  // done and its buffer free (the caller has asked for block j - 1), and
  // no other side took it first; false when not.
  bool try_read(int64_t j);
  // Waits until `ready()`: looks again and again for a while when `spin`,
  // then sleeps on cv_ with *sleeps set. True when it slept.
  template <typename Ready>
  bool wait(std::atomic<bool>* sleeps, bool spin, const Ready& ready);
  // Wakes the side that sleeps, if any, after a change it may wait for.
  void wake(const std::atomic<bool>& sleeps);
  // Counts a block handed out, `missed` when the thread had not read it in
  // time; where the thread keeps missing, the caller reads alone a while.
  void count_miss(bool missed);

  const ScanFile& file_;
  const size_t block_size_;
  // Block j is read into buf_[j % 2]: the one after next goes where the
  // caller's last block was, once it asks for the next.
  std::unique_ptr<char[]> buf_[2];
  std::string_view got_[2];
  int error_[2] = {0, 0};
  int64_t pos_;  // where block done_ starts, once the read before it is done

  // Shared with the thread: a block's read is taken by raising claimed_;
  // its buffer and pos_ are then the taker's until it raises done_.
  std::atomic<int64_t> wanted_{-1};  // the block the caller asked for last
  std::atomic<int64_t> claimed_{0};  // blocks whose read began
  std::atomic<int64_t> done_{0};     // blocks read
  std::atomic<bool> at_end_{false};  // a read gave nothing: none follows
  std::atomic<bool> stop_{false};
  std::atomic<bool> solo_{false};  // the caller reads alone; the thread sleeps
  std::mutex mu_;                  // for sleeping only
  std::condition_variable cv_;
  std::atomic<bool> reader_sleeps_{false}, caller_sleeps_{false};

  // The caller's own.
  bool ended_ = false;     // it was handed the empty block
  int window_ = 0;         // blocks handed out since the last look at misses
  int missed_ = 0;         // of these, blocks the thread had not read in time
  int64_t solo_left_ = 0;  // while solo_, blocks until the thread may read again
  int64_t solo_next_;      // blocks the caller reads alone when it next does

  ReadAheadThread* thread_ = nullptr;  // none: each block is read when asked for
  friend class ReadAheadThread;
};

#endif  // KURVATAB_INDEX_BLOCK_READER_H_
