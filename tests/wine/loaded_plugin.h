// A fresh copy of Glyphory.dll in a plug-in folder on drive C:, with the settings file and
// image folders beside it that a test asks for, loaded and started as the mail client does;
// unloaded again at the end of the test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class LoadedPlugin {
public:
    // ini: the settings file's text, or nullptr for none; images: "docomo\\F89F.gif" and the like;
    // name: how the plug-in folder's name begins (code page 932).
    LoadedPlugin(const char* ini, const std::vector<std::string>& images, const std::string& name = "glyphory plug-ins");
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    template <typename Proc>
    Proc Export(const char* name) const {
        return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }
    HMODULE Module() const { return m_module; }
    // The folder of the module, ending in a backslash.
    const std::string& Folder() const { return m_folder; }
    std::string IniPath() const { return m_folder + "Glyphory.ini"; }
    // The <img> tag the plug-in makes for an image of the carrier's folder.
    std::string Tag(const std::string& carrier, const std::string& file) const;
    // The same in a UTF-8 HTML part.
    std::string Utf8Tag(const std::string& carrier, const std::string& file) const;

private:
    std::string m_folder;
    HMODULE m_module = nullptr;
};

std::string ReadWholeFile(const std::string& path);
// The UTF-8 text in code page 932.
std::string Cp932(const char* utf8);
