// A recording stand-in for the voice library, linked into the unit tests
// in its place: it records every call the bridge makes and hands out the
// events a test queues.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "voiceclient.h"

struct LibraryDouble {
    bool initFails = false;
    bool connectResult = true;
    bool soundDevicesFound = true;
    INT32 inputDevice = 11;
    INT32 outputDevice = 12;
    std::deque<TTMessage> events;
    // How long TT_GetMessage takes to hand out each event, as a busy link's
    // events come one after another.
    std::chrono::milliseconds eventDelay{0};
    // One line per call, e.g. "TT_DoJoinChannelByID 7 password=".
    std::vector<std::string> calls;
    std::vector<TextMessage> sentMessages;
    std::vector<INT32> waits;
    // Called with each call line as it is recorded, to look at the world
    // at that moment.
    std::function<void(const std::string&)> onCall;
};

extern LibraryDouble gLibraryDouble;

// The instance pointer that the double hands out.
TTInstance* DoubleInstance();

// Event builders, each record zeroed first as the library does.
TTMessage MakeEvent(INT32 code, INT32 source = 0);
TTMessage MakeUserEvent(INT32 code, INT32 userId, INT32 channelId, const std::u16string& nickname);
TTMessage MakeChannelEvent(INT32 code, INT32 channelId, INT32 parentId, const std::u16string& name);
TTMessage MakeTextEvent(INT32 msgType, INT32 fromUserId, INT32 toUserId,
                        const std::u16string& text);
TTMessage MakeErrorEvent(const std::u16string& text);

// Copies UTF-16 text into a fixed array, cut and zero-terminated.
void CopyText(TTCHAR* array, const std::u16string& text);

// UTF-16 of a recorded array, for readable assertions.
std::u16string TextOf(const TTCHAR* array);
