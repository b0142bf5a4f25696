// wintool: what the process tests need to do as a Windows program, run
// under Wine beside the bridge, since Windows share modes hold only between
// Windows processes: hold or read a file the way games do, write commands
// in pieces as game runtimes do, consume private messages with the
// game-side library, and start the bridge with a command line that no
// POSIX argv can carry (unpaired surrogates).
//
//   wintool hold PATH RELEASE_PATH [SHARE]
//       holds PATH open (SHARE: none, the default, rw as the C runtime
//       does, or rwd), writes PATH.holding, lets go once RELEASE_PATH exists
//   wintool read PATH SHARE STOP_PATH RESULT_PATH
//       opens PATH with SHARE (r as .NET does, rw, rwd), reads it whole and
//       closes it, over and over until STOP_PATH exists; every 1,000 reads
//       and at the end writes "reads N empty N torn N refused N" to
//       RESULT_PATH. A read is torn unless it is seven whole lines.
//   wintool peek MS PATH...
//       opens each PATH in turn with read sharing only, as .NET's
//       File.ReadAllText does, reads it whole and closes it, over and over
//       for MS milliseconds; prints "peeking" once it has begun
//   wintool commands PATH COUNT
//       writes COUNT commands "pm 990|parte I inteira" into PATH with the C
//       runtime, each in two writes 0 to 20 ms apart, each at a random
//       moment once the one before is taken (PATH empty or absent); exits
//       4 on a timeout
//   wintool spawn EXE ARG...
//       runs EXE with the arguments, where \uXXXX stands for one UTF-16
//       unit; exits with EXE's exit code
//   wintool game RECIPE COMMAND STOP_PATH EXE ARG...
//       a game that starts the bridge in the current folder and sends one
//       command. With RECIPE 1 it follows the start recipe, then prints
//       "pm " and each entry it reads of pm_in.txt; with 0 it writes the
//       command a frame (16 ms) after the start, as a game that trusts the
//       state it finds. Prints "ready", then ends the bridge once STOP_PATH
//       exists; exits 3 when the start fails
//   wintool idle
//       prints its Windows process ID and waits until it is ended: a game
//       for the bridge to watch
//   wintool pms DATA_DIR COUNT TIMEOUT_MS
//       consumes DATA_DIR/pm_in.txt as a game does, with the game-side
//       library, printing each entry on its own line as it arrives, until
//       COUNT have come; exits 4 when TIMEOUT_MS pass first
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bridge_start.h"
#include "game_files.h"
#include "windows_command_line.h"

namespace {

std::wstring Widen(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

// \uXXXX becomes that one unit, so that a lone surrogate can be written.
std::wstring Decode(const char* text) {
    const std::wstring wide = Widen(text);
    std::wstring out;
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == L'\\' && i + 5 < wide.size() && wide[i + 1] == L'u') {
            out += static_cast<wchar_t>(std::wcstoul(wide.substr(i + 2, 4).c_str(), nullptr, 16));
            i += 5;
        } else {
            out += wide[i];
        }
    }
    return out;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Sharing(const char* name) {
    DWORD share = 0;
    for (const char* c = name; *c != 0; ++c) {
        if (*c == 'r') share |= FILE_SHARE_READ;
        if (*c == 'w') share |= FILE_SHARE_WRITE;
        if (*c == 'd') share |= FILE_SHARE_DELETE;
    }
    return share;
}

int Hold(const char* path, const char* releasePath, const char* share) {
    const std::wstring file = Widen(path);
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, Sharing(share), nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 3;
    HANDLE marker = CreateFileW((file + L".holding").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(marker);
    while (!Exists(Widen(releasePath))) Sleep(10);
    CloseHandle(handle);
    return 0;
}

// The whole file, or false when it cannot be opened.
bool ReadWhole(const std::wstring& path, DWORD share, std::string& text) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    text.clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(handle);
    return true;
}

void WriteResult(const char* path, long reads, long empty, long torn, long refused) {
    const std::string tmp = std::string(path) + ".tmp";
    FILE* out = std::fopen(tmp.c_str(), "wb");
    if (out == nullptr) return;
    std::fprintf(out, "reads %ld empty %ld torn %ld refused %ld\n", reads, empty, torn, refused);
    std::fclose(out);
    MoveFileExW(Widen(tmp.c_str()).c_str(), Widen(path).c_str(), MOVEFILE_REPLACE_EXISTING);
}

int Read(const char* path, const char* share, const char* stopPath, const char* resultPath) {
    const std::wstring file = Widen(path);
    const std::wstring stop = Widen(stopPath);
    long reads = 0, empty = 0, torn = 0, refused = 0;
    std::string text;
    while (!Exists(stop)) {
        for (int i = 0; i < 1000; ++i) {
            if (!ReadWhole(file, Sharing(share), text)) {
                ++refused;
                continue;
            }
            ++reads;
            size_t lines = 0;
            for (char c : text) lines += c == '\n';
            if (text.empty())
                ++empty;
            else if (lines != 7 || text.back() != '\n' || text.rfind("status|", 0) != 0)
                ++torn;
        }
        WriteResult(resultPath, reads, empty, torn, refused);
    }
    WriteResult(resultPath, reads, empty, torn, refused);
    return 0;
}

int Peek(int milliseconds, int count, char** paths) {
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) files.push_back(Widen(paths[i]));
    std::printf("peeking\n");
    std::fflush(stdout);
    const DWORD start = GetTickCount();
    std::string text;
    while (GetTickCount() - start < static_cast<DWORD>(milliseconds))
        for (const std::wstring& file : files) ReadWhole(file, FILE_SHARE_READ, text);
    return 0;
}

bool Free(const std::wstring& path) {
    std::string text;
    return !ReadWhole(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, text) ||
           text.empty();
}

int Commands(const char* path, int count) {
    const std::wstring file = Widen(path);
    unsigned seed = 12345;
    for (int i = 0; i < count; ++i) {
        int waited = 0;
        while (!Free(file)) {
            if (++waited > 2000) return 4;
            Sleep(10);
        }
        // At any moment of the bridge's loop turn.
        seed = seed * 1103515245u + 12345u;
        Sleep((seed >> 16) % 200);
        FILE* out = std::fopen(path, "wb");
        if (out == nullptr) return 3;
        std::fputs("pm 990|parte ", out);
        std::fflush(out);
        seed = seed * 1103515245u + 12345u;
        Sleep((seed >> 16) % 21);
        std::fprintf(out, "%d inteira", i);
        std::fclose(out);
    }
    return 0;
}

int Spawn(int argc, char** argv) {
    std::wstring commandLine;
    for (int i = 0; i < argc; ++i)
        commandLine += (i ? L" " : L"") + QuoteWindowsArgument(Decode(argv[i]));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 3;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 3;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

int Game(bool recipe, const std::string& command, const char* stopPath, int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const std::vector<std::string> args(argv + 1, argv + argc);
    BridgeStart start;
    if (recipe) {
        start = StartBridgeAsGame(".", argv[0], args, std::chrono::seconds(20));
        if (start.outcome != StartOutcome::Ready) return 3;
        LineReader reader;
        for (const std::string& entry : ReadNewMessages("data", reader))
            std::printf("pm %s\n", entry.c_str());
    } else {
        const std::optional<BridgeProcess> process = SpawnBridge(argv[0], args, ".");
        if (!process) return 3;
        start.process = *process;
        Sleep(16);
    }
    WriteCommand("data", command);
    std::printf("ready\n");
    std::fflush(stdout);
    while (!Exists(Widen(stopPath))) Sleep(10);
    EndBridge(start.process);
    return 0;
}

int Idle() {
    _setmode(_fileno(stdout), _O_BINARY);
    std::printf("%lu\n", GetCurrentProcessId());
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}

int Pms(const char* dataDir, int count, int timeoutMs) {
    // Entries as they are, without the C runtime's CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    LineReader reader;
    int seen = 0;
    const bool all = WaitFor(
        [&] {
            for (const std::string& entry : ReadNewMessages(dataDir, reader)) {
                std::fwrite(entry.data(), 1, entry.size(), stdout);
                std::fputc('\n', stdout);
                ++seen;
            }
            std::fflush(stdout);
            return seen >= count;
        },
        std::chrono::milliseconds(timeoutMs));
    return all ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if ((argc == 4 || argc == 5) && verb == "hold")
        return Hold(argv[2], argv[3], argc == 5 ? argv[4] : "");
    if (argc == 6 && verb == "read") return Read(argv[2], argv[3], argv[4], argv[5]);
    if (argc >= 4 && verb == "peek") return Peek(std::atoi(argv[2]), argc - 3, argv + 3);
    if (argc == 4 && verb == "commands") return Commands(argv[2], std::atoi(argv[3]));
    if (argc >= 3 && verb == "spawn") return Spawn(argc - 2, argv + 2);
    if (argc >= 6 && verb == "game")
        return Game(std::string(argv[2]) == "1", argv[3], argv[4], argc - 5, argv + 5);
    if (argc == 2 && verb == "idle") return Idle();
    if (argc == 5 && verb == "pms") return Pms(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    std::fputs("usage: wintool hold|read|peek|commands|spawn|game|idle|pms ... (see the source)\n",
               stderr);
    return 2;
}
