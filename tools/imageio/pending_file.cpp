#include "imageio/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "imageio/image_file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace prismora::imageio {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr int kCreateFlags = O_RDWR | O_CREAT | O_EXCL | O_BINARY;
#else
constexpr int kCreateFlags = O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC;
#endif

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

std::string Quote(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

[[noreturn]] void Refuse(const fs::path& target, const std::string& why) {
  throw ImageError("cannot write " + Quote(target) + ": " + why);
}

// The longest file name the folder takes.
std::size_t NameMax(const fs::path& folder) {
#ifdef _PC_NAME_MAX
  const long n = ::pathconf(folder.string().c_str(), _PC_NAME_MAX);
  if (n > 0) return static_cast<std::size_t>(n);
#else
  (void)folder;
#endif
  return 255;
}

// The temporary's name: hidden, the target's name as far as the folder's
// limit leaves room for it (cut between UTF-8 characters), a random tag, and
// the target's extension when it is a short one.
std::string TemporaryName(const fs::path& destination, std::size_t name_max, uint64_t tag) {
  char tag_text[24];
  std::snprintf(tag_text, sizeof tag_text, ".%016llx.tmp", static_cast<unsigned long long>(tag));
  std::string extension = destination.extension().string();
  if (extension.size() > 16) extension.clear();
  const std::string name = destination.filename().string();
  const std::size_t fixed = 1 + std::strlen(tag_text) + extension.size();
  std::size_t keep = std::min(name.size(), name_max > fixed ? name_max - fixed : 0);
  while (keep > 0 && keep < name.size() &&
         (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  std::string temporary(1, '.');
  temporary.append(name, 0, keep);
  temporary += tag_text;
  temporary += extension;
  return temporary;
}

bool Writable(const fs::path& path) {
#ifdef _WIN32
  return ::_access(path.string().c_str(), 2) == 0;
#else
  return ::access(path.string().c_str(), W_OK) == 0;
#endif
}

int FlushToDisk(int fd) {
#ifdef _WIN32
  return ::_commit(fd);
#else
  return ::fsync(fd);
#endif
}

// One transfer at a position, as pwrite() and pread() make it.
long long WriteAtPosition(int fd, const char* bytes, std::size_t size, uint64_t at) {
#ifdef _WIN32
  if (::_lseeki64(fd, static_cast<long long>(at), SEEK_SET) < 0) return -1;
  return ::_write(fd, bytes, static_cast<unsigned>(size));
#else
  return ::pwrite(fd, bytes, size, static_cast<off_t>(at));
#endif
}

long long ReadAtPosition(int fd, char* bytes, std::size_t size, uint64_t at) {
#ifdef _WIN32
  if (::_lseeki64(fd, static_cast<long long>(at), SEEK_SET) < 0) return -1;
  return ::_read(fd, bytes, static_cast<unsigned>(size));
#else
  return ::pread(fd, bytes, size, static_cast<off_t>(at));
#endif
}

}  // namespace

std::string ErrorText(int error) {
  switch (error) {
    case ENOSPC:
      return "no space left on the device";
#ifdef EDQUOT
    case EDQUOT:
      return "the disk quota is used up";
#endif
    case EFBIG:
      return "the file is too large for the file system";
    case EIO:
      return "an input/output error on the device";
    case EROFS:
      return "the file system is read-only";
    case EACCES:
    case EPERM:
      return "permission denied";
    case ENAMETOOLONG:
      return "the file name is too long";
    case ELOOP:
      return "too many levels of symbolic links";
    default:
      break;
  }
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

fs::path OutputFolder(const fs::path& target) {
  const fs::path parent = target.parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

fs::path CheckReplaceable(const fs::path& target) {
  // A symbolic link is written through, as a plain write would: the file it
  // leads to is replaced, in its own folder, and the link stays.
  fs::path destination = target;
  for (int links = 0;; ++links) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(destination, ec))) break;
    if (links == 40) Refuse(target, ErrorText(ELOOP));
    const fs::path next = fs::read_symlink(destination, ec);
    if (ec) Refuse(target, ErrorText(ec.value()));
    destination = next.is_absolute() ? next : OutputFolder(destination) / next;
  }
  const fs::path folder = OutputFolder(destination);
  std::error_code ec;
  const fs::file_status folder_status = fs::status(folder, ec);
  if (!fs::exists(folder_status)) {
    Refuse(target, "the folder " + Quote(folder) + " does not exist");
  }
  if (!fs::is_directory(folder_status)) Refuse(target, Quote(folder) + " is not a folder");
  const fs::file_status status = fs::status(destination, ec);
  if (fs::exists(status)) {
    if (fs::is_directory(status)) Refuse(target, "it is a folder");
    if (!fs::is_regular_file(status)) Refuse(target, "it is not a regular file");
    // What the user could not overwrite is not replaced either.
    if (!Writable(destination)) {
      const int error = errno;
      Refuse(target, ErrorText(error));
    }
  }
  if (!Writable(folder)) {
    const int error = errno;
    Refuse(target, ErrorText(error) + " in the folder " + Quote(folder));
  }
  return destination;
}

PendingFile::PendingFile(fs::path target)
    : target_(std::move(target)), destination_(CheckReplaceable(target_)) {
  const fs::path folder = OutputFolder(destination_);
  const std::size_t name_max = NameMax(folder);
  std::random_device device;
  std::mt19937_64 random((uint64_t{device()} << 32) ^ device() ^
                         static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this)));
  int error = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = folder / TemporaryName(destination_, name_max, random());
    // Exclusive creation: never an existing file; the mode follows the umask.
    const int fd = ::open(candidate.string().c_str(), kCreateFlags, 0666);
    if (fd >= 0) {
#ifdef _WIN32
      // Windows removes no file that is open, and RemovePendingFilesNow()
      // must be able to at any moment: there the file is opened only while
      // it is used.
      ::close(fd);
#else
      fd_ = fd;
#endif
      temp_ = candidate;
      slot_ = Claim(temp_.string());
      return;
    }
    error = errno;
    if (error != EEXIST) break;
  }
  Refuse(target_, ErrorText(error) + " in the folder " + Quote(folder));
}

PendingFile::~PendingFile() {
  if (!done_) Discard();
}

void PendingFile::Discard() noexcept {
  done_ = true;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  std::error_code ec;
  fs::remove(temp_, ec);
  Release(slot_);
  slot_ = -1;
}

void PendingFile::Fail(int error) {
  Discard();
  Refuse(target_, ErrorText(error));
}

int PendingFile::OpenForIo() noexcept {
#ifdef _WIN32
  io_.lock();
  const int fd = ::_open(temp_.string().c_str(), _O_RDWR | _O_BINARY);
  if (fd < 0) io_.unlock();
  return fd;
#else
  if (fd_ < 0) errno = EBADF;  // committed or discarded
  return fd_;
#endif
}

int PendingFile::CloseAfterIo(int fd) noexcept {
#ifdef _WIN32
  const int closed = ::_close(fd);
  io_.unlock();
  return closed;
#else
  (void)fd;
  return 0;
#endif
}

void PendingFile::Record(int error) noexcept {
  int none = 0;
  error_.compare_exchange_strong(none, error);
}

bool PendingFile::WriteAt(const void* data, std::size_t size, uint64_t offset) noexcept {
  if (error_.load() != 0) return false;
  const int fd = OpenForIo();
  if (fd < 0) {
    Record(errno);
    return false;
  }
  const auto* bytes = static_cast<const char*>(data);
  std::size_t left = size;
  uint64_t at = offset;
  int error = 0;
  while (left > 0) {
    // At most 1 GiB a call: some systems take no more at once.
    const std::size_t chunk = std::min<std::size_t>(left, std::size_t{1} << 30);
    const long long n = WriteAtPosition(fd, bytes, chunk, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without saying why is a full disk.
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    bytes += n;
    at += static_cast<uint64_t>(n);
    left -= static_cast<std::size_t>(n);
  }
  if (CloseAfterIo(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    Record(error);
    return false;
  }
  uint64_t end = size_.load();
  while (end < at && !size_.compare_exchange_weak(end, at)) {
  }
  return true;
}

std::size_t PendingFile::ReadAt(void* data, std::size_t size, uint64_t offset) noexcept {
  const int fd = OpenForIo();
  if (fd < 0) return 0;
  auto* bytes = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const std::size_t chunk = std::min<std::size_t>(size - done, std::size_t{1} << 30);
    const long long n = ReadAtPosition(fd, bytes + done, chunk, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  CloseAfterIo(fd);
  return done;
}

std::string PendingFile::failure() const {
  const int error = error_.load();
  return error != 0 ? ErrorText(error) : std::string();
}

void PendingFile::Commit() {
  if (done_) throw ImageError("internal: " + Quote(temp_) + " was already committed");
  if (const int error = error_.load(); error != 0) Fail(error);
  std::error_code ec;
  const fs::file_status old = fs::status(destination_, ec);
  if (fs::exists(old)) {
    if (fs::is_directory(old)) {
      Discard();
      Refuse(target_, "it is a folder");
    }
#ifdef _WIN32
    fs::permissions(temp_, old.permissions(), ec);
#else
    // The replacement keeps the old file's owner where this user may give
    // it (root, or a group of the user's), and its permissions.
    struct stat st {};
    if (::stat(destination_.string().c_str(), &st) == 0) {
      if (::fchown(fd_, st.st_uid, st.st_gid) != 0) {
        (void)::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);
      }
      (void)::fchmod(fd_, st.st_mode & 07777);
    }
#endif
  }
  // The contents reach the disk before the name does, so that a crash
  // cannot leave an empty or partial file under the target's name.
#ifdef _WIN32
  const int fd = OpenForIo();
  if (fd < 0) Fail(errno);
  const int flushed = FlushToDisk(fd) == 0 ? 0 : errno;
  const int closed = CloseAfterIo(fd) == 0 ? 0 : errno;
#else
  const int flushed = FlushToDisk(fd_) == 0 ? 0 : errno;
  const int closed = ::close(fd_) == 0 ? 0 : errno;
  fd_ = -1;
#endif
  if (flushed != 0) Fail(flushed);
  if (closed != 0) Fail(closed);
  fs::rename(temp_, destination_, ec);
  if (ec) Fail(ec.value());
  done_ = true;
  Release(slot_);
  slot_ = -1;
#ifndef _WIN32
  // The new name on the disk too. The file is in place by now whatever
  // happens here, and some file systems cannot flush a folder, so a failure
  // is not reported.
  const int folder = ::open(OutputFolder(destination_).string().c_str(), O_RDONLY | O_CLOEXEC);
  if (folder >= 0) {
    (void)::fsync(folder);
    ::close(folder);
  }
#endif
}

void RemovePendingFilesNow() noexcept {
  for (Slot& slot : g_pending) {
    if (slot.ready.load()) ::unlink(slot.path);
  }
}

}  // namespace prismora::imageio
