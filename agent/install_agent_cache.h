#ifndef AGENT_INSTALL_AGENT_CACHE_H_
#define AGENT_INSTALL_AGENT_CACHE_H_

#include <string>

// Layout of the per-user cache that keeps one unpacked install agent per
// release and platform:
//   $HOME/.vorpex/app_installer_cache/<release>/<platform>/
//     .validatestring      the ETag of the download the agent came from
//     installagent/install the agent's launcher
// Nothing here prints or touches the disk beyond one stat.

// The cache directory below HOME ("/tmp" when HOME is unset or empty),
// always ending with "/".
std::string getInstallAgentCacheDir();

// The agent directory, ending with "/", when its launcher exists (any kind
// of file, links followed); "" otherwise.
std::string installAgentDirOnDisk();

// The launcher's path inside "dir": "dir/install", or "install" for "".
std::string getInstallAgentExecutable(std::string dir);

// True when the launcher exists inside "dir" (any kind of file, links
// followed).
bool hasInstallAgentExecutable(std::string dir);

#endif  // AGENT_INSTALL_AGENT_CACHE_H_
