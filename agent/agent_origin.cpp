#include "agent/agent_origin.h"

#include "agent/private_file.h"

namespace {

std::string recordPath(const std::string& agentDir) {
  return agentDir + ".downloadedfrom";
}

}  // namespace

bool recordAgentOrigin(const std::string& agentDir, const std::string& url,
                       std::string* error) {
  return replacePrivateFile(recordPath(agentDir), url + "\n", error);
}

bool cameFrom(const std::string& agentDir, const std::string& url) {
  return !url.empty() && readPrivateLine(recordPath(agentDir)) == url;
}
