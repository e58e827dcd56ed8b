#include "platform/Library.h"

#include <dlfcn.h>

namespace kestrow::platform {

Library::~Library()
{
    unload();
}

bool Library::load(const std::string& fileSpec)
{
    unload();
    m_handle = ::dlopen(fileSpec.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* e = ::dlerror();
        m_error = e ? e : "unknown error";
        return false;
    }
    m_error.clear();
    return true;
}

void Library::unload()
{
    if (m_handle) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

void* Library::symbol(const char* name) const
{
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

} // namespace kestrow::platform
