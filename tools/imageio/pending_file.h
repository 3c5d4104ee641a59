// An output written beside its final place and renamed into it when
// complete, so the final path only ever holds its old contents or the whole
// new file: a failure or an interruption leaves neither a partial file nor a
// damaged old one.
#pragma once

#include <filesystem>

namespace prismora::imageio {

class PendingFile {
 public:
  // Creates a new, unique, hidden temporary file in the target's folder with
  // the target's extension (writers choose the format by it). Throws
  // ImageError naming the folder when it cannot be created there.
  explicit PendingFile(std::filesystem::path target);
  // Removes the temporary file unless it was committed.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Where to write the contents.
  const std::filesystem::path& path() const { return temp_; }
  const std::filesystem::path& target() const { return target_; }

  // Flushes the written file to disk and renames it over the target, taking
  // the permissions of a target that exists. Throws ImageError on failure,
  // after removing the temporary file.
  void Commit();

 private:
  void Discard() noexcept;

  std::filesystem::path target_;
  std::filesystem::path temp_;
  int slot_ = -1;  // in the list that RemovePendingFilesNow() clears
  bool done_ = false;
};

// Removes every temporary file not yet committed or discarded. Safe to call
// from a signal handler (it only calls unlink), for a program that has to end
// at once.
void RemovePendingFilesNow() noexcept;

// The folder an output path writes into: its parent, or "." for a bare name.
std::filesystem::path OutputFolder(const std::filesystem::path& target);

}  // namespace prismora::imageio
