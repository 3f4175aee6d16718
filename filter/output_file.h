// Where the filtered job goes. A named regular file is written as a temporary
// file beside it and renamed over it only when the job is complete, so a
// failed run leaves no half-written job behind. Standard output, "-", and
// existing non-regular files (a FIFO, /dev/null, a terminal) are written in
// place; a failure there is reported as an incomplete output.
#pragma once

#include <string>

namespace filter {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // removes a temporary file that was not committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False with `error` set when the output cannot be created.
  bool open(const std::string& path, std::string& error);
  int fd() const { return fd_; }
  // Whether a failure leaves earlier bytes where the user can see them.
  bool inPlace() const { return temporary_.empty(); }
  // Flushes, closes and puts the file in place. False with `error` set.
  bool commit(std::string& error);
  // Closes and removes the temporary file.
  void abandon();

 private:
  std::string path_, temporary_;
  int fd_ = -1;
  bool ownsFd_ = false;
};

}  // namespace filter
