#ifndef AGENT_BUNDLE_PATHS_H_
#define AGENT_BUNDLE_PATHS_H_

#include <string>

// Where the running program and its bundle lie. None of these prints; ""
// means the place is unknown.

// The main bundle's path; without a main bundle, the target of
// /proc/self/exe as read.
std::string getPathToExecutable();

// getPathToExecutable() without its last component (see below). For a
// bundle this is the folder holding it.
std::string getDirectoryOfExecutable();

// The main bundle's resource directory, else its bundle path; without a main
// bundle, getDirectoryOfExecutable(). Holds the product's bundle.zip.
std::string getBundleLocation();

// Where a shipped install agent archive is expected: the resource directory
// joined with "InstallAgent.zip". Only composed, not checked.
std::string getDefaultInstallAgentLocation();

// Where the public key for downloaded agents is expected: the resource
// directory joined with "InstallAgent.pub". Only composed, not checked.
std::string getInstallAgentPublicKeyLocation();

// Where the further URLs of the agent's archive are expected: the resource
// directory joined with "InstallAgent.mirrors". Only composed, not checked.
std::string getInstallAgentMirrorsLocation();

// Where the oldest signed time the bundle accepts is expected: the resource
// directory joined with "InstallAgent.floor". Only composed, not checked.
std::string getInstallAgentFloorLocation();

// "path" up to, not including, its last "/" or "\" (both count on every
// platform); the whole of "path" when it has neither.
std::string withoutLastPathComponent(const std::string& path);

#endif  // AGENT_BUNDLE_PATHS_H_
