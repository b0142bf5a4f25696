// Command-line parsing into BridgeConfig.
#include "core/command_line.h"

#include "commands/command_text.h"
#include "session/library_text.h"

namespace {

std::string TextArgument(const WideString& arg) {
    return CutUtf8(WideToUtf8(arg), kMaxArgumentBytes);
}

}  // namespace

bool ParseEncryptedFlag(const WideString& text) {
    if (text.size() == 1) return text[0] == '1';
    static const char kTrue[] = "true";
    if (text.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        WideChar c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<WideChar>(c - 'A' + 'a');
        if (c != static_cast<WideChar>(kTrue[i])) return false;
    }
    return true;
}

BridgeConfig ParseCommandLine(const std::vector<WideString>& args) {
    BridgeConfig config;
    const size_t count = args.size();
    if (count > 1) config.host = TextArgument(args[1]);
    if (count > 2) config.tcpPort = ParseInt32(args[2]);
    if (count > 3) config.udpPort = ParseInt32(args[3]);
    if (count > 4) config.encrypted = ParseEncryptedFlag(args[4]);
    if (count > 5) config.nickname = TextArgument(args[5]);
    if (count > 6) config.username = TextArgument(args[6]);
    config.password = PlatformEnvironmentVariable(kPasswordVariable).value_or("");
    return config;
}
