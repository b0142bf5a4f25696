// The bridge's own channel: the one place that changes it, whether the
// server reports a join, a leave or a change of the channel, the game asks
// to leave, or the session ends. Other users' moves are not tracked.
#pragma once

#include <cstdint>
#include <string>

#include "session/voice_library.h"

// The server put the bridge in this channel; its name, where the channel
// has been reported, is shown with it.
void OwnChannelJoined(int32_t channelId);

// Out of the channel, whether the server said so or the game asked.
void OwnChannelLeft();

// The server renamed or moved a channel; only the bridge's own shows in the
// state.
void OwnChannelRenamedOrMoved(int32_t channelId, const std::string& name);

// The session is over: no channel. Publishing is left to the caller, which
// publishes the end as a whole.
void OwnChannelCleared();

// Any user's join or leave moves it in the directory (members.txt); the
// bridge's own moves its own channel too.
void HandleUserJoined(const VoiceEvent& event);  // CLIENTEVENT_CMD_USER_JOINED
void HandleUserLeft(const VoiceEvent& event);    // CLIENTEVENT_CMD_USER_LEFT
// The channel's record is replaced in the directory, and a rename or a move
// of the own channel shows in the state.
void HandleChannelUpdate(const VoiceEvent& event);  // CLIENTEVENT_CMD_CHANNEL_UPDATE
