// Bots of the simulated server.
#include "bots.h"

#include "announce.h"
#include "channel_tree.h"
#include "users.h"

namespace {

// Highest bot ID allowed, so bulk ranges cannot overflow an int.
constexpr int kMaxBotId = 1000000000;

std::string CheckName(const std::string& text, const char* what) {
    if (text.size() > kMaxNameBytes)
        return std::string(what) + " longer than " + std::to_string(kMaxNameBytes) + " bytes";
    return "";
}

std::string CheckBotPlace(int channelId) {
    if (channelId != 0 && FindChannel(channelId) == nullptr)
        return "channel " + std::to_string(channelId) + " does not exist";
    return "";
}

SimUser& MakeBot(int id, const std::string& nickname, int channelId) {
    ReserveUserId(id);
    SimUser& bot = gUsers[id];
    bot = SimUser{};
    bot.id = id;
    bot.nickname = nickname;
    bot.channelId = channelId;
    return bot;
}

// A bot appears as a login, then, when it has a channel, as a join.
std::string BotArrival(const SimUser& bot) {
    std::string lines = UserLine("USER_LOGGEDIN", bot);
    if (bot.channelId != 0) lines += UserLine("USER_JOINED", bot);
    return lines;
}

}  // namespace

std::string AddBot(int id, const std::string& nickname, int channelId, BotAnswer answer,
                   const std::string& replyText) {
    if (id <= 0 || id > kMaxBotId)
        return "bot ID must lie between 1 and " + std::to_string(kMaxBotId);
    if (FindUser(id) != nullptr) return "user " + std::to_string(id) + " already exists";
    std::string bad = CheckBotPlace(channelId);
    if (bad.empty()) bad = CheckName(nickname, "nickname");
    if (bad.empty()) bad = CheckName(replyText, "reply text");
    if (!bad.empty()) return bad;
    SimUser& bot = MakeBot(id, nickname, channelId);
    bot.answer = answer;
    bot.replyText = replyText;
    SendToLoggedIn(BotArrival(bot));
    return "";
}

std::string AddBots(int count, int firstId, const std::string& nickPrefix, int channelId) {
    if (count <= 0 || count > kMaxBulkCount)
        return "count must lie between 1 and " + std::to_string(kMaxBulkCount);
    if (firstId <= 0 || firstId > kMaxBotId - count)
        return "bot IDs must lie between 1 and " + std::to_string(kMaxBotId);
    std::string bad = CheckBotPlace(channelId);
    if (bad.empty()) bad = CheckName(nickPrefix, "nickname prefix");
    if (!bad.empty()) return bad;
    for (int id = firstId; id < firstId + count; ++id)
        if (FindUser(id) != nullptr) return "user " + std::to_string(id) + " already exists";
    std::string lines;
    for (int id = firstId; id < firstId + count; ++id)
        lines += BotArrival(MakeBot(id, nickPrefix + std::to_string(id), channelId));
    SendToLoggedIn(lines);
    return "";
}

std::string RemoveBot(int id) {
    const SimUser* bot = FindUser(id);
    if (bot == nullptr) return "user " + std::to_string(id) + " does not exist";
    if (bot->fd >= 0) return "user " + std::to_string(id) + " is a client, not a bot";
    LogOutUser(id);
    return "";
}

void LetBotAnswer(const SimUser& bot, const SimUser& sender, const std::string& text, bool more) {
    std::string line;
    if (bot.answer == BotAnswer::echo) {
        line = TextLine(bot, sender.id, 0, text, more);
    } else if (bot.answer == BotAnswer::reply && !more) {
        line = TextLine(bot, sender.id, 0, bot.replyText, false);
    }
    // An echo under a longer nickname could pass the limit: it is left out.
    if (!line.empty() && FitsOneLine(line)) SendToUser(sender.id, line);
}

bool ReadBotAnswer(const std::string& text, BotAnswer& answer) {
    if (text == "none")
        answer = BotAnswer::none;
    else if (text == "echo")
        answer = BotAnswer::echo;
    else if (text == "reply")
        answer = BotAnswer::reply;
    else
        return false;
    return true;
}
