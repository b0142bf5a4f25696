// Bots: users without a connection, made by the control interface, that
// may answer the private messages they receive.
#pragma once

#include <string>

#include "sim_state.h"

// Each returns "" when done, else why it was refused (nothing changed).
// channelId 0 leaves the bot in no channel.
std::string AddBot(int id, const std::string& nickname, int channelId, BotAnswer answer,
                   const std::string& replyText);
// count bots firstId.. named nickPrefix + ID in channelId, announced as
// one burst.
std::string AddBots(int count, int firstId, const std::string& nickPrefix, int channelId);
std::string RemoveBot(int id);

// The bot's answer, if it gives one, to a private message from sender.
// echo mirrors every piece; reply answers once the text is complete.
void LetBotAnswer(const SimUser& bot, const SimUser& sender, const std::string& text, bool more);

bool ReadBotAnswer(const std::string& text, BotAnswer& answer);
