#pragma once
// Loading a shared library from a given folder and finding its exports.

#include <string>

namespace kestrow::platform {

class Library
{
public:
    Library() = default;
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Loads `fileSpec` (RTLD_NOW | RTLD_LOCAL). Returns false with error() set on failure.
    bool load(const std::string& fileSpec);
    void unload();
    bool isLoaded() const { return m_handle != nullptr; }
    // Address of `name`, or nullptr.
    void* symbol(const char* name) const;
    // Sets `fn` to the function exported as `name`; false (and null) when there is none.
    template <typename Fn> bool find(const char* name, Fn*& fn) const
    {
        fn = reinterpret_cast<Fn*>(symbol(name));
        return fn != nullptr;
    }
    const std::string& error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace kestrow::platform
