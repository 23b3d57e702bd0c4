#ifndef AGENT_STAGED_AGENT_H_
#define AGENT_STAGED_AGENT_H_

#include <string>

// A fresh directory "installagent.XXXXXX" (mode 0700) in the cache
// directory, beside the agent directory, to unpack a new agent into where no
// run looks for one. A missing cache directory is made (mode 0700). Removed
// with everything in it on destruction unless it was installed.
class StagedAgent {
 public:
  // "cacheDir" ends with the separator, as getInstallAgentCacheDir() does.
  explicit StagedAgent(const std::string& cacheDir);
  ~StagedAgent();
  StagedAgent(const StagedAgent&) = delete;
  StagedAgent& operator=(const StagedAgent&) = delete;

  // The directory, or "" when none could be made.
  const std::string& path() const { return path_; }
  // Why making or installing the directory failed, on one line; "" before
  // any failure.
  const std::string& error() const { return error_; }

  // Makes this directory the cache's agent directory: moves any agent there
  // aside, stores "stamp" (nothing for ""), renames this directory into
  // place and removes the old agent. The agent directory is never seen
  // partly filled; call with the cache locked (CacheLock), so that no run
  // sees it missing for the moment between the two renames either. False
  // when it failed: the cache then holds the agent it held, or none.
  bool install(const std::string& stamp);

 private:
  // A fresh, empty directory beside the agent directory; "" on failure.
  std::string makeSibling();

  std::string cacheDir_;
  std::string error_;
  std::string path_;
};

#endif  // AGENT_STAGED_AGENT_H_
