// Sound devices and voice transmission. There is no audio: the choices are
// only told to the server so a test can see them.
#include <cstdlib>
#include <cstring>
#include <string>

#include "link_steps.h"
#include "wireline.h"

namespace {

constexpr INT32 kDefaultInputDevice = 1;
constexpr INT32 kDefaultOutputDevice = 2;

void SendNoteIfConnected(TTInstance& instance, const std::string& name, const std::string& value) {
    if (instance.state == LinkState::connected) SendLine(instance, MakeLine({name, value}));
}

}  // namespace

extern "C" {

VOICECLIENT_API TTBOOL TT_GetDefaultSoundDevices(INT32* inputDeviceId, INT32* outputDeviceId) {
    // Lets tests drive the caller's no-sound-device path.
    const char* noDevices = std::getenv("VOICECLIENT_NO_SOUND_DEVICES");
    if (noDevices != nullptr && std::strcmp(noDevices, "1") == 0) return 0;
    if (inputDeviceId == nullptr || outputDeviceId == nullptr) return 0;
    *inputDeviceId = kDefaultInputDevice;
    *outputDeviceId = kDefaultOutputDevice;
    return 1;
}

VOICECLIENT_API TTBOOL TT_InitSoundInputDevice(TTInstance* instance, INT32 deviceId) {
    if (instance == nullptr) return 0;
    instance->soundInputDevice = deviceId;
    SendNoteIfConnected(*instance, "SOUND_INPUT", std::to_string(deviceId));
    return 1;
}

VOICECLIENT_API TTBOOL TT_InitSoundOutputDevice(TTInstance* instance, INT32 deviceId) {
    if (instance == nullptr) return 0;
    instance->soundOutputDevice = deviceId;
    SendNoteIfConnected(*instance, "SOUND_OUTPUT", std::to_string(deviceId));
    return 1;
}

VOICECLIENT_API TTBOOL TT_EnableVoiceTransmission(TTInstance* instance, TTBOOL enable) {
    if (instance == nullptr) return 0;
    instance->voiceEnabled = enable != 0;
    SendNoteIfConnected(*instance, "VOICE", instance->voiceEnabled ? "1" : "0");
    return 1;
}

}  // extern "C"
