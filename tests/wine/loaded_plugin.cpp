#include "tests/wine/loaded_plugin.h"

#include <fstream>
#include <iterator>
#include <string>

#include "host/mail_host.h"
#include "render/pictograph_map.h"

namespace {

std::string ExeFolder() {
    char path[MAX_PATH];
    const DWORD len = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, len);
    return folder.substr(0, folder.rfind('\\') + 1);
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + name + "\\");
            else
                DeleteFileA((folder + name).c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

LoadedPlugin::LoadedPlugin(const char* ini, const std::vector<std::string>& images, const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    // One folder per test process: two test programs run at once must not share it.
    m_folder = std::string(temp) + name + " " + std::to_string(GetCurrentProcessId()) + "\\";
    RemoveTree(m_folder);
    CreateDirectoryA(m_folder.c_str(), nullptr);
    CopyFileA((ExeFolder() + "Glyphory.dll").c_str(), (m_folder + "Glyphory.dll").c_str(), FALSE);
    if (ini) std::ofstream(IniPath(), std::ios::binary) << ini;
    CreateDirectoryA((m_folder + "Glyphory").c_str(), nullptr);
    for (const char* carrier : {"au", "softbank", "docomo"})
        CreateDirectoryA((m_folder + "Glyphory\\" + carrier).c_str(), nullptr);
    for (const std::string& image : images) std::ofstream(m_folder + "Glyphory\\" + image) << "GIF89a";
    m_module = LoadLibraryA((m_folder + "Glyphory.dll").c_str());
    if (m_module) Export<int32_t(WINAPI*)()>("BKC_OnStart")();
}

LoadedPlugin::~LoadedPlugin() {
    if (m_module) FreeLibrary(m_module);
    RemoveTree(m_folder);
}

std::string LoadedPlugin::Tag(const std::string& carrier, const std::string& file) const {
    std::string url = "file://localhost/" + m_folder + "Glyphory\\" + carrier + "\\";
    for (char& c : url)
        if (c == '\\') c = '/';
    return "<img src=\"" + url + file + "\">";
}

std::string LoadedPlugin::Utf8Tag(const std::string& carrier, const std::string& file) const {
    return "<img src=\"" + MakeUtf8FileUrl(m_folder + "Glyphory\\" + carrier + "\\") + file + "\">";
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Cp932(const char* utf8) {
    wchar_t wide[1024];
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    char out[2048];
    WideCharToMultiByte(932, 0, wide, n, out, sizeof out, nullptr, nullptr);
    return out;
}
