// A disk that can be made full: an SQLite file layer over the system's that,
// while full, refuses every write and every growth of a file with
// SQLITE_FULL, as SQLite reports ENOSPC. Handles opened while it is
// installed (it becomes the default) go through it; reads pass untouched.
#ifndef LXM_TESTS_TEST_SUPPORT_FULL_DISK_H_
#define LXM_TESTS_TEST_SUPPORT_FULL_DISK_H_

#include <atomic>

namespace lxm::test {

class FullDisk {
 public:
  // Installs the layer as SQLite's default; one at a time.
  FullDisk();
  // Puts the system's layer back.
  ~FullDisk();
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

  void SetFull(bool full) { full_ = full; }
  // Writes refused since construction.
  int refused() const { return refused_; }

  static std::atomic<bool> full_;
  static std::atomic<int> refused_;
};

}  // namespace lxm::test

#endif  // LXM_TESTS_TEST_SUPPORT_FULL_DISK_H_
