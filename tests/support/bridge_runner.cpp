// Launchers for the bridge and the simulated server.
#include "bridge_runner.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "temp_directory.h"

namespace {

// Quiet Wine, and let it read the arguments as UTF-8.
const std::vector<std::pair<std::string, std::string>> kWineEnvironment = {
    {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}, {"LC_ALL", "C.UTF-8"}};

// The program configured in `variable`, else `fallback`; empty when
// neither is there.
std::string ExistingProgram(const char* variable, const std::string& fallback) {
    const char* configured = std::getenv(variable);
    std::string path = configured != nullptr ? configured : fallback;
    return std::filesystem::exists(path) ? path : std::string();
}

// Starts argv natively, or under Wine when it is a Windows program.
ChildProcess StartBuilt(BridgeBuild build, std::vector<std::string> argv,
                        const std::string& directory,
                        std::vector<std::pair<std::string, std::string>> environment,
                        const std::string& outputFile) {
    if (build == BridgeBuild::Windows) {
        argv.insert(argv.begin(), "wine");
        environment.insert(environment.end(), kWineEnvironment.begin(), kWineEnvironment.end());
    }
    return StartProcess(argv, directory, environment, outputFile);
}

}  // namespace

std::string BridgeBuildName(BridgeBuild build) {
    return build == BridgeBuild::Native ? "Native" : "Wine";
}

// VOICEBRIDGE_NATIVE_EXE and VOICEBRIDGE_WINDOWS_EXE name other builds of
// the bridge to test, such as one linked against another library.
std::string BridgeExecutable(BridgeBuild build) {
    return build == BridgeBuild::Native
               ? ExistingProgram("VOICEBRIDGE_NATIVE_EXE", VOICEBRIDGE_NATIVE)
               : ExistingProgram("VOICEBRIDGE_WINDOWS_EXE", VOICEBRIDGE_WINDOWS_DEFAULT);
}

std::string WintoolExecutable() { return ExistingProgram("VOICEBRIDGE_WINTOOL", WINTOOL_DEFAULT); }

std::string WindowsVoiceSimExecutable() {
    return ExistingProgram("VOICEBRIDGE_VOICESIM_EXE", VOICESIM_WINDOWS_DEFAULT);
}

ChildProcess StartWine(const std::vector<std::string>& args, const std::string& directory) {
    return StartBuilt(BridgeBuild::Windows, args, directory, {}, directory + "/wine-output.txt");
}

ChildProcess StartBridge(BridgeBuild build, const std::string& executable,
                         const std::string& directory, const std::vector<std::string>& args,
                         std::vector<std::pair<std::string, std::string>> environment) {
    std::vector<std::string> argv = {executable};
    argv.insert(argv.end(), args.begin(), args.end());
    return StartBuilt(build, argv, directory, std::move(environment),
                      directory + "/bridge-output.txt");
}

VoiceSim StartVoiceSim(const std::string& directory, const std::vector<std::string>& extraArgs,
                       BridgeBuild build) {
    const std::string portFile = directory + "/voicesim.port";
    const std::string controlFile = directory + "/voicesim.control";
    // Those of a server started here before would name its ports.
    std::filesystem::remove(portFile);
    std::filesystem::remove(controlFile);
    const std::string executable =
        build == BridgeBuild::Native ? VOICESIM_PATH : WindowsVoiceSimExecutable();
    std::vector<std::string> argv = {executable,
                                     "--port",
                                     "0",
                                     "--port-file",
                                     portFile,
                                     "--control-port",
                                     "0",
                                     "--control-port-file",
                                     controlFile,
                                     "--log",
                                     directory + "/voicesim.log"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    VoiceSim sim;
    sim.process = StartBuilt(build, argv, directory, {}, directory + "/voicesim-output.txt");
    WaitUntil(
        [&] { return !ReadTestFile(portFile).empty() && !ReadTestFile(controlFile).empty(); });
    sim.port = std::atoi(ReadTestFile(portFile).c_str());
    sim.controlPort = std::atoi(ReadTestFile(controlFile).c_str());
    return sim;
}

SilentListener::SilentListener() {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, 8) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port = ntohs(address.sin_port);
}

SilentListener::~SilentListener() {
    if (fd >= 0) close(fd);
}

std::string StateText(const std::string& status, const std::string& nickname, int userId,
                      int channelId, const std::string& channelName, const std::string& error,
                      bool ptt) {
    return "status|" + status + "\nptt|" + (ptt ? "1" : "0") + "\nmyuserid|" +
           std::to_string(userId) + "\nmychannelid|" + std::to_string(channelId) +
           "\nmychannelname|" + channelName + "\nnickname|" + nickname + "\nerror|" + error + "\n";
}
