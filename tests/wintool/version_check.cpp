// Reads each named file's version resource as Windows shows it in the
// file's properties, and fails unless it names our product, the file itself
// and the project's version.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring Widen(const char* text) { return std::wstring(text, text + std::strlen(text)); }

std::wstring StringValue(const std::vector<char>& info, const wchar_t* name) {
    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &size) ||
        size < sizeof *translation)
        return L"";
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
             translation->codePage, name);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&value), &size)) return L"";
    return value;
}

bool Check(const char* file, const std::wstring& version) {
    const std::wstring name = Widen(file);
    std::vector<char> info(GetFileVersionInfoSizeW(name.c_str(), nullptr));
    if (info.empty() ||
        !GetFileVersionInfoW(name.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) {
        std::printf("%s: no version resource\n", file);
        return false;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size);
    wchar_t fixedText[64] = L"";
    if (fixed != nullptr)
        swprintf(fixedText, 64, L"%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                 LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS));
    const std::wstring product = StringValue(info, L"ProductName");
    const std::wstring original = StringValue(info, L"OriginalFilename");
    const std::wstring fileVersion = StringValue(info, L"FileVersion");
    std::printf("%s: ProductName \"%ls\", OriginalFilename \"%ls\", FileVersion \"%ls\" (%ls)\n",
                file, product.c_str(), original.c_str(), fileVersion.c_str(), fixedText);
    return product == L"voicebridge" && original == name && fileVersion == version &&
           version == fixedText;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::printf("usage: version_check VERSION FILE...\n");
        return 2;
    }
    bool all = true;
    for (int i = 2; i < argc; ++i) all = Check(argv[i], Widen(argv[1])) && all;
    return all ? 0 : 1;
}
