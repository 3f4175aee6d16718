#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace filter {
namespace {

std::string describe(const std::string& path, const char* what, int error) {
  return std::string(what) + " '" + path + "': " + std::strerror(error);
}

}  // namespace

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::open(const std::string& path, std::string& error) {
  path_ = path;
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    return true;
  }
  struct stat existing {};
  const bool exists = stat(path.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    error = describe(path, "cannot write the output", EISDIR);
    return false;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
      error = describe(path, "cannot open the output", errno);
      return false;
    }
    ownsFd_ = true;
    return true;
  }
  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) {
    error = describe(path, "cannot create the output", errno);
    return false;
  }
  ownsFd_ = true;
  temporary_ = name.data();
  // The file gets the permissions a plain create would give it.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
  return true;
}

bool OutputFile::commit(std::string& error) {
  if (ownsFd_) {
    const int fd = fd_;
    fd_ = -1;
    ownsFd_ = false;
    if (close(fd) != 0) {
      error = describe(path_, "cannot write the output", errno);
      abandon();
      return false;
    }
  }
  if (!temporary_.empty()) {
    if (rename(temporary_.c_str(), path_.c_str()) != 0) {
      error = describe(path_, "cannot put the output in place", errno);
      abandon();
      return false;
    }
    temporary_.clear();
  }
  return true;
}

void OutputFile::abandon() {
  if (ownsFd_ && fd_ >= 0) close(fd_);
  ownsFd_ = false;
  fd_ = -1;
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace filter
