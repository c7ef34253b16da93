// Loading a library on Windows: LoadLibraryW, GetProcAddress, FreeLibrary. NI's driver is
// GPIB-32.DLL where its 32-bit interface is installed and ni4882.dll in its 64-bit form.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scope/library_loader.h"

namespace scope {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool Ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A library's name for LoadLibraryW: the program's own paths are UTF-8 (a folder such as
// C:\Users\Jürgen\Downloads); a name that is not valid UTF-8 came from the environment in
// the system's ANSI code page.
std::wstring Wide_name(const char* name) {
    for (const UINT code_page : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        const DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int n = MultiByteToWideChar(code_page, flags, name, -1, nullptr, 0);
        if (n <= 0)
            continue;
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(code_page, flags, name, -1, wide.data(), n);
        wide.resize(static_cast<std::size_t>(n - 1));
        return wide;
    }
    return {};
}

// The file LoadLibraryW would find for a bare name, in the order it searches for this program:
// the program's folder, the folder SetDllDirectory added, then the system's search path.
std::filesystem::path Library_file(const std::wstring& name) {
    namespace fs = std::filesystem;
    const fs::path given(name);
    if (given.has_parent_path())
        return given;
    std::vector<fs::path> folders;
    wchar_t buffer[MAX_PATH + 1];
    if (const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH); n > 0 && n < MAX_PATH)
        folders.push_back(fs::path(std::wstring(buffer, n)).parent_path());
    if (const DWORD n = GetDllDirectoryW(MAX_PATH, buffer); n > 0 && n < MAX_PATH)
        folders.push_back(fs::path(std::wstring(buffer, n)));
    for (const fs::path& folder : folders) {
        std::error_code ec;
        if (fs::is_regular_file(folder / given, ec))
            return folder / given;
    }
    if (const DWORD n = SearchPathW(nullptr, name.c_str(), nullptr, MAX_PATH, buffer, nullptr);
        n > 0 && n < MAX_PATH)
        return fs::path(std::wstring(buffer, n));
    return {};
}

// The machine a library file was built for, from its PE header; 0 when it cannot be told.
WORD Machine_of(const std::wstring& name) {
    const std::filesystem::path file = Library_file(name);
    if (file.empty())
        return 0;
    std::ifstream in(file, std::ios::binary);
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    if (!in.read(reinterpret_cast<char*>(&dos), sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        dos.e_lfanew <= 0 || !in.seekg(dos.e_lfanew) ||
        !in.read(reinterpret_cast<char*>(&signature), sizeof signature) ||
        signature != IMAGE_NT_SIGNATURE ||
        !in.read(reinterpret_cast<char*>(&header), sizeof header))
        return 0;
    return header.Machine;
}

// The system's text for an error, its inserts ("%1") filled with the library's name.
std::string System_text(DWORD code, const char* name) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
    if (text != nullptr)
        LocalFree(text);
    const std::string inserted = name;
    for (std::size_t at = 0; (at = message.find("%1", at)) != std::string::npos;
         at += inserted.size())
        message.replace(at, 2, inserted);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    const std::string number = "error " + std::to_string(code);
    return message.empty() ? number : message + " (" + number + ")";
}

}  // namespace

const BoardDriverTexts& Board_driver_texts() {
    static const BoardDriverTexts texts{
        "NI-488.2", "an NI-488.2 board",
        "GPIB-32.DLL, else ni4882.dll, NI-488.2's library for 64-bit programs",
        "the program's folder", false};
    return texts;
}

std::string Board_driver_remedy(bool library_missing, const std::string& board) {
    if (library_missing)
        return "Install NI-488.2 (this 64-bit program uses its ni4882.dll), or the NI-488.2 "
               "compatible GPIB-32.DLL of your interface's maker.";
    return "Is the interface GPIB" + board +
           " listed in NI MAX (Measurement & Automation Explorer), and does its self-test pass?";
}

const std::vector<std::string>& Default_libraries() {
    static const std::vector<std::string> names{"GPIB-32.DLL", "ni4882.dll"};
    return names;
}

void* Open_library(const char* name, std::string& reason) {
    const std::wstring wide = Wide_name(name);
    HMODULE library = LoadLibraryW(wide.c_str());
    if (library == nullptr) {
        const DWORD code = GetLastError();
        // NI-488.2's 32-bit GPIB-32.DLL, found before its 64-bit ni4882.dll on a machine that
        // has both, is the usual case: said as such, and the search goes on.
        if (code == ERROR_BAD_EXE_FORMAT && Machine_of(wide) == IMAGE_FILE_MACHINE_I386)
            reason = std::string(name) +
                     " is a 32-bit library, which this 64-bit program cannot use; NI-488.2's "
                     "library for 64-bit programs is ni4882.dll";
        else
            reason = System_text(code, name);
    }
    return reinterpret_cast<void*>(library);
}

void* Library_export(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void Close_library(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

std::string Installed_library_path(const std::string& file_name, const std::string& program_dir) {
    return program_dir + "\\" + file_name;
}

std::string Library_file_name(const std::string& linux_name) {
    std::string name = linux_name;
    if (name.rfind("lib", 0) == 0)
        name.erase(0, 3);
    if (Ends_with(name, ".so"))
        name.resize(name.size() - 3);
    return name + ".dll";
}

std::string Linux_library_name(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    const std::string base = separator == std::string::npos ? path : path.substr(separator + 1);
    const std::string lower = Lower(base);
    if (lower == "gpib-32.dll" || lower == "ni4882.dll")
        return "libgpib.so.0";
    if (Ends_with(lower, ".dll"))
        return "lib" + base.substr(0, base.size() - 4) + ".so";
    return base;
}

}  // namespace scope
