// An output written beside its final place and renamed into it when
// complete, so the final path only ever holds its old contents or the whole
// new file: a failure or an interruption leaves neither a partial file nor a
// damaged old one. Every write, the flush to disk and the close are checked
// here, because format libraries do not all report what goes wrong.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

namespace prismora::imageio {

class PendingFile {
 public:
  // Finds where `target` is written (the file a symbolic link leads to, or
  // the target itself), refuses what a plain write could not replace (a
  // folder, a device, a file or folder this user may not write), and creates
  // a new, unique, hidden temporary file beside it. Throws ImageError naming
  // the target and the problem.
  explicit PendingFile(std::filesystem::path target);
  // Removes the temporary file unless it was committed.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // The temporary file.
  const std::filesystem::path& path() const { return temp_; }
  // The output as it was named, for messages and for its format.
  const std::filesystem::path& target() const { return target_; }
  // The file that the commit replaces.
  const std::filesystem::path& destination() const { return destination_; }

  // Writes into the temporary file at `offset`, all of it or nothing more:
  // the first failure is kept, and every later write does nothing. Returns
  // false once a write has failed. Safe on several threads at once.
  bool WriteAt(const void* data, std::size_t size, uint64_t offset) noexcept;
  // Reads back what was written; returns how many bytes were read.
  std::size_t ReadAt(void* data, std::size_t size, uint64_t offset) noexcept;
  // The end of what was written so far.
  uint64_t size() const noexcept { return size_.load(); }
  bool failed() const noexcept { return error_.load() != 0; }
  // Why the first write failed ("no space left on the device"), or empty.
  std::string failure() const;

  // Makes sure every byte is on the disk, then renames the file over the
  // destination, taking the permissions of the file it replaces. Throws
  // ImageError naming the target on any failure (a write that failed
  // before included), after removing the temporary file.
  void Commit();

 private:
  void Discard() noexcept;
  [[noreturn]] void Fail(int error);
  void Record(int error) noexcept;  // keeps the first failure
  // The descriptor to transfer through, and its release (see the
  // constructor for Windows); -1 and errno when the file cannot be opened.
  int OpenForIo() noexcept;
  int CloseAfterIo(int fd) noexcept;

  std::filesystem::path target_;
  std::filesystem::path destination_;
  std::filesystem::path temp_;
  int fd_ = -1;
  int slot_ = -1;  // in the list that RemovePendingFilesNow() clears
  bool done_ = false;
  std::atomic<int> error_{0};  // errno of the first failed write
  std::atomic<uint64_t> size_{0};
#ifdef _WIN32
  std::mutex io_;  // an open, a position, a transfer and a close are four calls there
#endif
};

// Removes every temporary file not yet committed or discarded. Safe to call
// from a signal handler (it only calls unlink), for a program that has to end
// at once.
void RemovePendingFilesNow() noexcept;

// The folder an output path writes into: its parent, or "." for a bare name.
std::filesystem::path OutputFolder(const std::filesystem::path& target);

// Where an output written to `target` lands, checked as PendingFile checks
// it (without making a file); throws ImageError naming the problem.
std::filesystem::path CheckReplaceable(const std::filesystem::path& target);

// A system error number in words, for messages: "no space left on the
// device", "permission denied", ...
std::string ErrorText(int error);

}  // namespace prismora::imageio
