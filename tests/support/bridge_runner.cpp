// Launchers for the bridge and the simulated server.
#include "bridge_runner.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "temp_directory.h"

std::string BridgeBuildName(BridgeBuild build) {
    return build == BridgeBuild::Native ? "Native" : "Wine";
}

// VOICEBRIDGE_NATIVE_EXE and VOICEBRIDGE_WINDOWS_EXE name other builds of
// the bridge to test, such as one linked against another library.
std::string BridgeExecutable(BridgeBuild build) {
    const bool native = build == BridgeBuild::Native;
    const char* configured =
        std::getenv(native ? "VOICEBRIDGE_NATIVE_EXE" : "VOICEBRIDGE_WINDOWS_EXE");
    std::string path = configured != nullptr ? configured
                       : native              ? VOICEBRIDGE_NATIVE
                                             : VOICEBRIDGE_WINDOWS_DEFAULT;
    return std::filesystem::exists(path) ? path : std::string();
}

namespace {

// Quiet Wine, and let it read the arguments as UTF-8.
const std::vector<std::pair<std::string, std::string>> kWineEnvironment = {
    {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}, {"LC_ALL", "C.UTF-8"}};

}  // namespace

std::string WintoolExecutable() {
    const char* configured = std::getenv("VOICEBRIDGE_WINTOOL");
    std::string path = configured != nullptr ? configured : WINTOOL_DEFAULT;
    return std::filesystem::exists(path) ? path : std::string();
}

ChildProcess StartWine(const std::vector<std::string>& args, const std::string& directory) {
    std::vector<std::string> argv = {"wine"};
    argv.insert(argv.end(), args.begin(), args.end());
    return StartProcess(argv, directory, kWineEnvironment, directory + "/wine-output.txt");
}

ChildProcess StartBridge(BridgeBuild build, const std::string& executable,
                         const std::string& directory, const std::vector<std::string>& args,
                         std::vector<std::pair<std::string, std::string>> environment) {
    std::vector<std::string> argv;
    if (build == BridgeBuild::Windows) {
        argv.push_back("wine");
        environment.insert(environment.end(), kWineEnvironment.begin(), kWineEnvironment.end());
    }
    argv.push_back(executable);
    argv.insert(argv.end(), args.begin(), args.end());
    return StartProcess(argv, directory, environment, directory + "/bridge-output.txt");
}

VoiceSim StartVoiceSim(const std::string& directory, const std::vector<std::string>& extraArgs) {
    const std::string portFile = directory + "/voicesim.port";
    const std::string controlFile = directory + "/voicesim.control";
    // Those of a server started here before would name its ports.
    std::filesystem::remove(portFile);
    std::filesystem::remove(controlFile);
    std::vector<std::string> argv = {VOICESIM_PATH,
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
    sim.process = StartProcess(argv, directory, {}, directory + "/voicesim-output.txt");
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
