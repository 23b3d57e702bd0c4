#ifndef AGENT_BUNDLE_MIRRORS_H_
#define AGENT_BUNDLE_MIRRORS_H_

#include <string>
#include <vector>

// The further URLs of the agent's archive, tried in order when the one
// before fails: one https URL a line in getInstallAgentMirrorsLocation().
// True with "*urls" empty when nothing is there. Empty lines are skipped,
// and a line may end with a carriage return. False, with a one-line
// "*error" naming the file and the line, when the file cannot be read or a
// line is no https URL: a bundle never downloads from a list it misreads.
bool loadBundleMirrors(std::vector<std::string>* urls, std::string* error);

// The URLs in "text", as loadBundleMirrors reads them from "path".
bool parseMirrors(const std::string& text, const std::string& path,
                  std::vector<std::string>* urls, std::string* error);

#endif  // AGENT_BUNDLE_MIRRORS_H_
