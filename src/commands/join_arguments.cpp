// Reading the argument of joinid and joinpath.
#include "commands/join_arguments.h"

#include "commands/command_text.h"
#include "exchange_vocabulary.h"
#include "session/directories.h"

namespace {

// A channel's own name first (a name may hold a slash or a bar), then a
// path from the root; one leading "/" is dropped for both.
int32_t FindChannelNamedOrAt(const std::string& text) {
    const std::string name = !text.empty() && text[0] == '/' ? text.substr(1) : text;
    if (const int32_t id = FindChannelIdByName(name)) return id;
    return FindChannelIdByPath(name);
}

// The three readings in their order: the whole text as a name or path, then
// the text before its last bar, with the rest as the password.
JoinTarget ResolveJoinText(const std::string& text) {
    JoinTarget target;
    target.named = text;
    target.channelId = FindChannelNamedOrAt(text);
    const size_t bar = text.rfind(kFieldSeparator);
    if (target.channelId != 0 || bar == std::string::npos) return target;
    const int32_t id = FindChannelNamedOrAt(text.substr(0, bar));
    if (id == 0) return target;
    target.channelId = id;
    target.named = text.substr(0, bar);
    target.password = text.substr(bar + 1);
    target.hasPassword = true;
    return target;
}

}  // namespace

JoinTarget ReadJoinById(const std::string& argument) {
    JoinTarget target;
    const size_t bar = argument.find(kFieldSeparator);
    target.named = argument.substr(0, bar);
    target.channelId = ParseInt32(target.named);
    if (bar == std::string::npos) return target;
    target.password = argument.substr(bar + 1);
    target.hasPassword = true;
    return target;
}

JoinTarget ReadJoinByPath(const std::string& argument) {
    // As written less one final line break, where a name may end in a
    // blank; then as a trimmed command line leaves it.
    const JoinTarget written = ResolveJoinText(WithoutFinalLineBreak(argument));
    if (written.channelId != 0) return written;
    const JoinTarget trimmed = ResolveJoinText(TrimTrailingBlanks(argument));
    return trimmed.channelId != 0 ? trimmed : written;
}
