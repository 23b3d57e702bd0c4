#ifndef BASE_CONSTANTS_H_
#define BASE_CONSTANTS_H_

#include <cstdint>
#include <string>

// Names and locations fixed for one release and platform of the product.
// Internal linkage on purpose: every unit builds its own copies in order at
// static initialisation, so no unit depends on another's initialisation.

#ifndef INSTALL_AGENT_HOST
#define INSTALL_AGENT_HOST "download.example.com"
#endif

static const std::string pathSeparator = "/";
static const std::string releaseTag = "V3318k";
static const std::string platformTag = "osxi64";
static const std::string installAgentZipName = "InstallAgent.zip";
// The minisign public keys that downloaded agent archives must be signed
// with, one or more.
static const std::string installAgentPublicKeyName = "InstallAgent.pub";
static const std::string installAgentMirrorsName = "InstallAgent.mirrors";
// The unix time written at release below which no signed agent is taken.
static const std::string installAgentFloorName = "InstallAgent.floor";
static const std::string installAgentUrl =
    std::string("https://" INSTALL_AGENT_HOST "/pi_install_agent_pi_") +
    releaseTag + "_" + platformTag;
static const std::string installAgentDirName = "installagent";
static const std::string cacheSubpath = ".vorpex" + pathSeparator +
                                        "app_installer_cache" + pathSeparator +
                                        releaseTag + pathSeparator +
                                        platformTag + pathSeparator;
static const std::string validationFileName = ".validatestring";
// The signed time and digest of the agent the cache accepted last.
static const std::string acceptedReleaseFileName = ".signedrelease";
// A downloaded agent archive may not grow past this, whatever the server
// announces or sends: no agent comes near it, and a disk gets no fuller.
static constexpr std::uint64_t maxInstallAgentArchiveSize = 4ull << 30;

#endif  // BASE_CONSTANTS_H_
