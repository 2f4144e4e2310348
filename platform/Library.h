#pragma once
#include <string>
#include <string_view>

namespace platform {

// The one naming rule for libraries: a trailing ".dll" (any case) is dropped and
// ".so" appended, keeping the name's case ("vk2eng.dll" -> "vk2eng.so",
// "fsm3" -> "fsm3.so"); a name with another extension ("libc.so.6") is used as
// given. Only the part after the last "/" is looked at.
std::string LibraryFileName(std::u16string_view name);

// A loaded shared library; unloaded when destroyed.
class Library {
public:
    Library() = default;
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    Library(Library&& other) noexcept;
    Library& operator=(Library&& other) noexcept;

    // `name` as callers spell it ("vk2eng.dll", "fsm3"), optionally with a
    // folder ("/"-joined by the caller). A name without "/" is found by the
    // system's library search, and failing that beside the executable or
    // library this code is linked into.
    bool Load(std::u16string_view name);
    bool IsLoaded() const noexcept { return m_handle != nullptr; }
    void* Symbol(const char* name) const noexcept;
    void Unload() noexcept;
    const std::string& Error() const noexcept { return m_error; }

    template <typename Fn> Fn Function(const char* name) const noexcept
    {
        return reinterpret_cast<Fn>(Symbol(name));
    }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace platform
