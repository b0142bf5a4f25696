// The bridge's one door to the voice library. Every call into the library,
// and the crossing between the bridge's UTF-8 and the library's UTF-16,
// happen in voice_library.cpp; the rest of the bridge asks for what it
// wants in its own words and reads each event as a VoiceEvent, its text
// already in UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"
#include "voiceclient.h"

// An event as the handlers read it: the library's event code and source,
// and the fields of the record the event carries, converted once. Fields
// of records the event does not carry stay empty.
struct VoiceEvent {
    INT32 code = 0;
    int32_t source = 0;
    // User events (logged in or out, updated, joined, left).
    int32_t userId = 0;
    int32_t userChannelId = 0;
    std::string nickname;
    // Channel events (new, updated, removed).
    int32_t channelId = 0;
    int32_t parentId = 0;
    std::string channelName;
    // Text messages.
    int32_t messageType = 0;
    int32_t fromUserId = 0;
    std::string messageText;
    // The sender marked the text as going on in the next message.
    bool messageGoesOn = false;
    // Errors of a request.
    std::string errorText;
};

// The library's message, with the record its event code carries, as the
// bridge reads it.
VoiceEvent VoiceEventOf(const TTMessage& message);

enum class SessionStart { Started, NoInstance, NoConnection };

// Creates the library instance and starts connecting; the outcome of the
// connection arrives later as an event.
SessionStart StartVoiceSession(const std::string& host, int32_t tcpPort, int32_t udpPort,
                               bool encrypted);

// The next event, waiting at most `waitMs` for one. False when none came.
bool NextVoiceEvent(int32_t waitMs, VoiceEvent& event);

// A guest's login when `username` is empty.
void LogInToServer(const std::string& nickname, const std::string& username,
                   const std::string& password);

// Opens the system's default input and output devices; false when the
// system has none to offer.
bool OpenDefaultSoundDevices();

// Asks to join or to leave; the server's answer arrives as an event. Each
// returns the library's command ID for the request, which a refusal
// carries; 0 or less when the library did not take it.
int32_t RequestJoinChannel(int32_t channelId, const std::string& password);
int32_t RequestLeaveChannel();
void SetVoiceTransmission(bool on);

// Sends the text to one user; a text too long for one library message goes
// as several, in order, each but the last marked as going on in the next,
// so that the recipient sees one message. Returns the command ID of each
// piece, as RequestJoinChannel does.
std::vector<int32_t> SendPrivateText(int32_t recipient, const std::string& text);

// A message text cut into pieces of at most `maxUnits` UTF-16 units, never
// between the two halves of a surrogate pair. An empty text is one empty
// piece.
std::vector<WideString> SplitMessageText(const WideString& text, size_t maxUnits);
