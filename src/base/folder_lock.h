// FolderLock: one run at a time in an output folder.
//
// The lock is an advisory lock (flock) on a lock file in the folder that
// holds the process id of its holder. The kernel drops the lock when the
// holder ends, however it ends (kill -9 included), so a lock file left by a
// dead run is simply taken over; the id it holds then says which run did
// not finish. The holder removes the file when it releases the lock.
#ifndef DUKON_BASE_FOLDER_LOCK_H_
#define DUKON_BASE_FOLDER_LOCK_H_

#include <string>

namespace dukon {

class FolderLock {
 public:
  // Takes the lock of `folder` (ending in "/") through the file
  // folder + `fileName`. Throws FatalError "Output folder FOLDER is in use
  // by another run (process PID) ..." when a live run holds it. When the
  // lock file cannot be created (the folder is missing or not writable) no
  // lock is held: no result can be written there either, and the writers
  // report that.
  FolderLock(const std::string& folder, const std::string& fileName);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool held() const { return fd_ >= 0; }
  // The process id an earlier holder left in the lock file when it ended
  // without releasing the lock (killed, crashed); 0 when there was none.
  long staleHolder() const { return staleHolder_; }

 private:
  std::string path_;
  int fd_ = -1;
  long staleHolder_ = 0;
};

}  // namespace dukon

#endif  // DUKON_BASE_FOLDER_LOCK_H_
