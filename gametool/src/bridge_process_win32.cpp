// Starting and ending the bridge on Windows, as a game does: CreateProcessW
// with the arguments quoted by the system's rules, the game's folder as the
// working directory, and no flag to hide it, since it opens no window.
#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <cstring>

#include "bridge_start.h"
#include "windows_command_line.h"

namespace {

std::wstring Widen(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

std::string Narrow(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

std::wstring QuoteWindowsArgument(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote, where each must be doubled.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::optional<BridgeProcess> SpawnBridge(const std::string& program,
                                         const std::vector<std::string>& args,
                                         const std::string& workingDirectory) {
    std::wstring commandLine = QuoteWindowsArgument(Widen(program));
    for (const std::string& arg : args) commandLine += L" " + QuoteWindowsArgument(Widen(arg));
    const std::wstring directory = Widen(workingDirectory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &started))
        return std::nullopt;
    CloseHandle(started.hThread);
    return BridgeProcess{started.dwProcessId, started.hProcess};
}

std::optional<int> ExitCodeIfEnded(BridgeProcess& process) {
    if (process.handle == nullptr || WaitForSingleObject(process.handle, 0) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process.handle, &code);
    return static_cast<int>(code);
}

void EndBridge(BridgeProcess& process) {
    if (process.handle == nullptr) return;
    if (!ExitCodeIfEnded(process)) {
        TerminateProcess(process.handle, 1);
        WaitForSingleObject(process.handle, INFINITE);
    }
    CloseHandle(process.handle);
    process.handle = nullptr;
}
