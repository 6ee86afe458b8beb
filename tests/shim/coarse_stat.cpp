// Preloaded into a test process (LD_PRELOAD), this makes every file look as
// if it lived on a FAT file system: the stat family reports modification,
// change and access times floored to even seconds, with no fraction. An
// edit that keeps a file's size then leaves everything stat tells alike.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

void Floor(timespec& t) {
  t.tv_sec -= t.tv_sec % 2;
  t.tv_nsec = 0;
}

template <typename Stat>
int Coarse(int result, Stat* st) {
  if (result == 0) {
    Floor(st->st_atim);
    Floor(st->st_mtim);
    Floor(st->st_ctim);
  }
  return result;
}

void Floor(statx_timestamp& t) {
  t.tv_sec -= t.tv_sec % 2;
  t.tv_nsec = 0;
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int stat(const char* path, struct stat* st) {
  static const auto next = Next<int (*)(const char*, struct stat*)>("stat");
  return Coarse(next(path, st), st);
}

int lstat(const char* path, struct stat* st) {
  static const auto next = Next<int (*)(const char*, struct stat*)>("lstat");
  return Coarse(next(path, st), st);
}

int fstat(int fd, struct stat* st) {
  static const auto next = Next<int (*)(int, struct stat*)>("fstat");
  return Coarse(next(fd, st), st);
}

int fstatat(int dir, const char* path, struct stat* st, int flags) {
  static const auto next = Next<int (*)(int, const char*, struct stat*, int)>("fstatat");
  return Coarse(next(dir, path, st, flags), st);
}

// The 64-bit names, which some libraries call directly.
int stat64(const char* path, struct stat64* st) {
  static const auto next = Next<int (*)(const char*, struct stat64*)>("stat64");
  return Coarse(next(path, st), st);
}

int lstat64(const char* path, struct stat64* st) {
  static const auto next = Next<int (*)(const char*, struct stat64*)>("lstat64");
  return Coarse(next(path, st), st);
}

int fstat64(int fd, struct stat64* st) {
  static const auto next = Next<int (*)(int, struct stat64*)>("fstat64");
  return Coarse(next(fd, st), st);
}

int fstatat64(int dir, const char* path, struct stat64* st, int flags) {
  static const auto next = Next<int (*)(int, const char*, struct stat64*, int)>("fstatat64");
  return Coarse(next(dir, path, st, flags), st);
}

int statx(int dir, const char* path, int flags, unsigned mask, struct statx* st) {
  static const auto next = Next<int (*)(int, const char*, int, unsigned, struct statx*)>("statx");
  const int result = next(dir, path, flags, mask, st);
  if (result == 0) {
    Floor(st->stx_atime);
    Floor(st->stx_mtime);
    Floor(st->stx_ctime);
  }
  return result;
}

}  // extern "C"
