#include "platform/Library.h"

#include "platform/Utf.h"

#include <climits>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

bool EndsWithDll(std::string_view name)
{
    if (name.size() < 4)
        return false;
    std::string_view tail = name.substr(name.size() - 4);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return tail[0] == '.' && lower(tail[1]) == 'd' && lower(tail[2]) == 'l' && lower(tail[3]) == 'l';
}

// The folder of the executable or library this code is linked into: the
// $ORIGIN its RUNPATH names.
std::string OwnFolder()
{
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&OwnFolder), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0)
        return {};
    std::string file;
    if (map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0') {
        file = map->l_name;
    } else {
        char path[PATH_MAX];
        ssize_t size = readlink("/proc/self/exe", path, sizeof path);
        if (size <= 0 || static_cast<std::size_t>(size) >= sizeof path)
            return {};
        file.assign(path, static_cast<std::size_t>(size));
    }
    std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

} // namespace

std::string LibraryFileName(std::u16string_view name)
{
    std::string file = ToUtf8(name);
    std::size_t slash = file.rfind('/');
    std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (EndsWithDll(std::string_view(file).substr(base)))
        file.resize(file.size() - 4);
    else if (file.find('.', base) != std::string::npos)
        return file; // an extension of its own is taken as given
    return file + ".so";
}

Library::~Library() { Unload(); }

Library::Library(Library&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_error(std::move(other.m_error))
{
}

Library& Library::operator=(Library&& other) noexcept
{
    if (this != &other) {
        Unload();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool Library::Load(std::u16string_view name)
{
    Unload();
    m_error.clear();
    try {
        if (name.empty()) {
            m_error = "empty library name";
            return false;
        }
        std::string file = LibraryFileName(name);
        dlerror();
        m_handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle == nullptr) {
            const char* error = dlerror();
            m_error = error != nullptr ? error : file + ": cannot be loaded";
        }
        // dlopen takes $ORIGIN from its caller, and a sanitizer's interceptor
        // becomes that caller; look beside our own object ourselves then.
        if (m_handle == nullptr && file.find('/') == std::string::npos) {
            std::string folder = OwnFolder();
            std::string beside = folder + "/" + file;
            if (!folder.empty() && access(beside.c_str(), F_OK) == 0) {
                m_handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
                if (m_handle == nullptr) {
                    const char* error = dlerror();
                    m_error = error != nullptr ? error : beside + ": cannot be loaded";
                }
            }
        }
        if (m_handle == nullptr)
            return false;
        m_error.clear();
        return true;
    } catch (...) {
        m_error = "out of memory";
        return false;
    }
}

void* Library::Symbol(const char* name) const noexcept
{
    if (m_handle == nullptr || name == nullptr)
        return nullptr;
    return dlsym(m_handle, name);
}

void Library::Unload() noexcept
{
    if (m_handle != nullptr) {
        dlclose(m_handle);
        m_handle = nullptr;
    }
}

} // namespace platform
