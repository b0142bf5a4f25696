// wintool: what the fault tests need to do as a Windows program, run under
// Wine beside the bridge: hold a file the way a careless game would (no
// sharing at all), and start the bridge with a command line that no POSIX
// argv can carry (unpaired surrogates).
//
//   wintool hold PATH RELEASE_PATH   holds PATH open without sharing, writes
//                                    PATH.holding, and lets go once
//                                    RELEASE_PATH exists
//   wintool spawn EXE ARG...         runs EXE with the arguments, where \uXXXX
//                                    stands for one UTF-16 unit; exits with
//                                    EXE's exit code
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

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

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring Quote(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int Hold(const char* path, const char* releasePath) {
    const std::wstring file = Widen(path);
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 3;
    HANDLE marker = CreateFileW((file + L".holding").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(marker);
    while (!Exists(Widen(releasePath))) Sleep(10);
    CloseHandle(handle);
    return 0;
}

int Spawn(int argc, char** argv) {
    std::wstring commandLine;
    for (int i = 0; i < argc; ++i) commandLine += (i ? L" " : L"") + Quote(Decode(argv[i]));
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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "hold") == 0) return Hold(argv[2], argv[3]);
    if (argc >= 3 && std::strcmp(argv[1], "spawn") == 0) return Spawn(argc - 2, argv + 2);
    std::fputs("usage: wintool hold PATH RELEASE_PATH | wintool spawn EXE ARG...\n", stderr);
    return 2;
}
