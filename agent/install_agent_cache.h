#ifndef AGENT_INSTALL_AGENT_CACHE_H_
#define AGENT_INSTALL_AGENT_CACHE_H_

#include <string>

// Layout of the per-user cache that keeps the unpacked install agent of one
// release and platform:
//   $HOME/.vorpex/app_installer_cache/<release>/<platform>/
//     .validatestring          the ETag of the download the agent came from
//     installagent             a link to the current agent's directory
//     installagent.XXXXXX/     one agent each, never changed once current
// Nothing here prints or touches the disk beyond one stat.

// The cache directory below HOME, always ending with "/". Without an absolute
// HOME (unset, empty or relative) the account's home directory from the
// password database counts, else (none, or a relative one) "/tmp".
std::string getInstallAgentCacheDir();

// The launcher's path inside "dir": "dir/install", or "install" for "".
std::string getInstallAgentExecutable(std::string dir);

// True when the launcher inside "dir" is a plain file (links followed) that
// the shell, started by this process, can read.
bool hasInstallAgentExecutable(std::string dir);

#endif  // AGENT_INSTALL_AGENT_CACHE_H_
