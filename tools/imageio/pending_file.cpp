#include "imageio/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "imageio/image_file.h"

#ifdef _WIN32
#include <io.h>
#endif

namespace prismora::imageio {
namespace {

namespace fs = std::filesystem;

// Paths of the temporary files alive now, in fixed buffers that a signal
// handler may read. A file that finds no free slot is still removed by its
// owner; so is one whose path does not fit.
constexpr int kSlots = 64;
constexpr std::size_t kPathBytes = 4096;
struct Slot {
  std::atomic<bool> used{false};
  std::atomic<bool> ready{false};
  char path[kPathBytes];
};
Slot g_pending[kSlots];

int Claim(const std::string& path) {
  if (path.size() >= kPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (g_pending[i].used.compare_exchange_strong(expected, true)) {
      std::memcpy(g_pending[i].path, path.c_str(), path.size() + 1);
      g_pending[i].ready.store(true);
      return i;
    }
  }
  return -1;
}

void Release(int slot) {
  if (slot < 0) return;
  g_pending[slot].ready.store(false);
  g_pending[slot].used.store(false);
}

std::string SystemMessage(int error) { return std::strerror(error); }

std::string Quote(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

}  // namespace

fs::path OutputFolder(const fs::path& target) {
  const fs::path parent = target.parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

PendingFile::PendingFile(fs::path target) : target_(std::move(target)) {
  const fs::path folder = OutputFolder(target_);
  std::error_code ec;
  const fs::file_status status = fs::status(folder, ec);
  if (!fs::exists(status)) {
    throw ImageError("cannot write " + Quote(target_) + ": the folder " + Quote(folder) +
                     " does not exist");
  }
  if (!fs::is_directory(status)) {
    throw ImageError("cannot write " + Quote(target_) + ": " + Quote(folder) +
                     " is not a folder");
  }
  std::random_device device;
  std::mt19937_64 random((uint64_t{device()} << 32) ^ device() ^
                         static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this)));
  int error = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tag[17];
    std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(random()));
    std::string name(1, '.');
    name += target_.filename().string();
    name += '.';
    name += tag;
    name += ".tmp";
    name += target_.extension().string();
    const fs::path candidate = folder / name;
    // Exclusive creation: never an existing file; the mode follows the umask.
    const int fd = ::open(candidate.string().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      ::close(fd);
      temp_ = candidate;
      slot_ = Claim(temp_.string());
      return;
    }
    error = errno;
    if (error != EEXIST) break;
  }
  throw ImageError("cannot write into the folder " + Quote(folder) + ": " +
                   SystemMessage(error));
}

PendingFile::~PendingFile() {
  if (!done_) Discard();
}

void PendingFile::Discard() noexcept {
  done_ = true;
  std::error_code ec;
  fs::remove(temp_, ec);
  Release(slot_);
  slot_ = -1;
}

void PendingFile::Commit() {
  if (done_) throw ImageError("internal: " + Quote(temp_) + " was already committed");
#ifndef _WIN32
  // The contents reach the disk before the name does, so a crash cannot
  // leave an empty or partial file under the target's name.
  if (const int fd = ::open(temp_.string().c_str(), O_RDONLY); fd >= 0) {
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0) {
      Discard();
      throw ImageError("cannot write " + Quote(target_) + ": " + SystemMessage(error));
    }
  }
#endif
  std::error_code ec;
  const fs::file_status old = fs::status(target_, ec);
  if (fs::exists(old)) {
    if (fs::is_directory(old)) {
      Discard();
      throw ImageError("cannot write " + Quote(target_) + ": it is a folder");
    }
    fs::permissions(temp_, old.permissions(), ec);
  }
  fs::rename(temp_, target_, ec);
  if (ec) {
    Discard();
    throw ImageError("cannot write " + Quote(target_) + ": " + ec.message());
  }
  done_ = true;
  Release(slot_);
  slot_ = -1;
}

void RemovePendingFilesNow() noexcept {
  for (Slot& slot : g_pending) {
    if (slot.ready.load()) ::unlink(slot.path);
  }
}

}  // namespace prismora::imageio
